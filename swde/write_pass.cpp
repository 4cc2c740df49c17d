#include "swde/write_pass.h"

#include <cstring>

#include "layers/outline.h"
#include "swde/file_grammar.h"

namespace egib {

int write_pass(SwdeInput& in) {
  return walk_swde_file(in, write_objects, HeaderPolicy::kStop);
}

void write_objects(SwdeInput& in, SwdeLine& line) {
  while (read_swde_line(in, line)) {
    if (line.code_is("RO")) {
      const char* type = line.field[2];
      if (std::strcmp(type, "G5DZE") == 0 || std::strcmp(type, "G5G_DZE") == 0) {
        write_parcel(in, line);
      } else if (std::strcmp(type, "G5G_BUD") == 0 || std::strcmp(type, "G5BUD") == 0) {
        write_building(in, line);
      } else if (std::strcmp(type, "G5OBR") == 0 || std::strcmp(type, "G5G_OBR") == 0) {
        write_precinct(in, line);
      }
      if (line.is_section_end()) return;
    } else if (line.is_section_end()) {
      return;
    }
  }
}

}  // namespace egib
