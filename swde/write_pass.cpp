#include "swde/write_pass.h"

#include "swde/outline_reader.h"

namespace egib {

namespace {
// The section's loop looks at "RO", "SX" and "SXC" only.
const std::array<bool, 256> kWanted = LineReader::wanted_first_bytes("RS");
}  // namespace

bool WritePass::write_objects(LineReader& in, Line& line) {
  for (;;) {
    in.skip_lines_not_starting_with(kWanted);
    if (in.at_stop()) return false;
    if (!in.next(line)) return true;
    if (line.code_is("RO")) {
      const std::string_view type = line.field(2);
      if (type == "G5DZE" || type == "G5G_DZE") {
        write_parcel(in, line, assembly_, part_.objects, part_.messages);
      } else if (type == "G5G_BUD" || type == "G5BUD") {
        write_building(in, line, assembly_, part_.objects, part_.messages);
      } else if (type == "G5OBR" || type == "G5G_OBR") {
        write_precinct(in, line, assembly_, part_.objects, part_.messages);
      }
      if (line.is_section_end()) return true;
    } else if (line.is_section_end()) {
      return true;
    }
  }
}

}  // namespace egib
