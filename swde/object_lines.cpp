#include "swde/object_lines.h"

#include <string_view>

namespace egib {

bool read_object_lines(LineReader& in, Line& line, ObjectLines& object) {
  bool have_line = false;  // a geometry list left its ending line to be taken
  for (;;) {
    if (!have_line && !in.next(line)) return false;
    have_line = false;
    if (line.is_ignorable()) continue;
    if (line.is_object_end()) return true;
    if (object.ends_before(line)) {
      in.unread(line);
      return true;
    }
    const std::string_view code = line.code();
    if (code == "D") {
      object.attribute(in, line);
    } else if (code == "WG" || code == "WL") {
      object.relation(in, line);
    } else if (code == "GL") {
      if (!object.geometry_list(in, line)) return false;
      have_line = true;
    } else if (code == "P" && line.field_is(1, "G")) {
      object.own_point(line);
    } else {
      object.other(in, line);
    }
  }
}

}  // namespace egib
