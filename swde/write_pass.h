// The writing pass: the second reading of the file, which hands every parcel
// (G5DZE, G5G_DZE) and building (G5BUD, G5G_BUD) object to its layer writer.
#pragma once

#include "swde/line_reader.h"

namespace egib {

int write_pass(SwdeInput& in);
void write_objects(SwdeInput& in, SwdeLine& line);

}  // namespace egib
