// The file-level grammar shared by both passes: a header line
// ("SWDE.w.2.00" or "SWDE.w.3.00"), then sections "SN", "SP", "ST" (read
// past), "SO" (objects, handled by the pass) and the end "SWDEX"/"SWDEXC".
#pragma once

#include "swde/line_reader.h"

namespace egib {

using SectionReader = void (*)(SwdeInput&, SwdeLine&);

enum class HeaderPolicy { kGoOn, kStop };

// Reads the header, then the top-level lines, handing each "SO" section to
// objects.  1 when the end-of-file record was reached, 0 otherwise.
int walk_swde_file(SwdeInput& in, SectionReader objects, HeaderPolicy bad_header);

}  // namespace egib
