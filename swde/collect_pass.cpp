#include "swde/collect_pass.h"

#include <cstring>

#include "diag/error_log.h"
#include "layers/outline.h"
#include "layers/point_index.h"
#include "swde/file_grammar.h"
#include "swde/point_entry.h"

namespace egib {

namespace {

// Copies a value into a 29-character text of a point; a longer value is cut
// there and the cut is reported.
void copy_point_text(char (&dst)[kPointText], const char* src, const char* what) {
  const size_t n = std::strlen(src);
  if (n >= kPointText) {
    log_error("line=%d %s '%s' longer than %d characters, cut\n", line_number, what, src,
              kPointText - 1);
  }
  const size_t keep = std::min(n, static_cast<size_t>(kPointText - 1));
  std::memcpy(dst, src, keep);
  dst[keep] = '\0';
}

int32_t to_int32(const char* s) {
  return static_cast<int32_t>(to_long(s));
}

}  // namespace

int collect_pass(SwdeInput& in) {
  return walk_swde_file(in, collect_objects, HeaderPolicy::kGoOn);
}

void collect_objects(SwdeInput& in, SwdeLine& line) {
  while (read_swde_line(in, line)) {
    if (line.code_is("RP")) {
      if (line.field_is(2, "G5PZG")) collect_point(in, line);
    } else if (line.code_is("RO")) {
      if (line.field_is(2, "G5G_OBR") || line.field_is(2, "G5OBR")) collect_precinct(in, line);
    } else if (line.is_section_end()) {
      return;
    } else if (line.code_is("P") && line.field_is(1, "G")) {
      // A vertex given inline in an object this pass reads past.
      point_store().sample_inline(to_double(line.field[2]), to_double(line.field[3]));
    }
  }
}

void collect_point(SwdeInput& in, SwdeLine& line) {
  PointEntry p{};
  std::strcpy(p.g5nrp, "?");
  copy_point_text(p.id, line.field[3], "id");
  copy_point_text(p.alt_id, line.field[4], "alt_id");

  while (read_swde_line(in, line)) {
    if (line.code_is("P")) {
      if (line.field_is(1, "G")) {
        p.y = to_double(line.field[2]);
        p.x = to_double(line.field[3]);
        p.z = 0.0;
      } else {
        log_error("line=%d code='%s' Unknown swde code\n", line_number, line.text);
      }
    } else if (line.code_is("D")) {
      const char* name = line.field[1];
      const char* value = line.field[3];
      if (std::strcmp(name, "G5NRP") == 0) {
        char cut[51];
        std::strncpy(cut, value, 50);
        cut[50] = '\0';
        copy_point_text(p.g5nrp, cut, "G5NRP");
      } else if (std::strcmp(name, "G5OZR") == 0) {
        copy_point_text(p.g5ozr, value, "G5OZR");
      } else if (std::strcmp(name, "G5STB") == 0) {
        p.g5stb = to_int32(value);
      } else if (std::strcmp(name, "G5ZRD") == 0) {
        p.g5zrd = to_int32(value);
      } else if (std::strcmp(name, "G5BPP") == 0) {
        p.g5bpp = to_int32(value);
      } else if (std::strcmp(name, "G5RZG") == 0) {
        p.g5rzg = to_int32(value);
      }
    } else if (line.code_is("WG")) {
      if (line.field_is(1, "G5RKRG")) {
        copy_point_text(p.g5rkrg, line.field[3], "G5RKRG");
        p.g5rkrg_from_wl = 0;
      }
    } else if (line.code_is("WL")) {
      if (line.field_is(1, "G5RKRG")) {
        copy_point_text(p.g5rkrg, line.field[2], "G5RKRG");
        p.g5rkrg_from_wl = 1;
      }
    } else if (line.is_object_end()) {
      Array* points = point_store().points;
      Array_insert_data(points, points->length, &p);
      return;
    }
  }
}

void collect_precinct(SwdeInput& in, SwdeLine& line) {
  VertexBuffer& vb = vertex_buffer();
  vb.clear();
  while (read_swde_line(in, line)) {
    if (line.code_is("GL")) {
      do {
        read_outline(in, line);
      } while (line.code_is("GL"));
      // Its vertices as written (northing first), for the axis order.
      for (int i = 0; i < vb.vertex_count; ++i) {
        point_store().sample_inline(vb.y[static_cast<size_t>(i)], vb.x[static_cast<size_t>(i)]);
      }
      vb.clear();
      if (line.is_object_end()) return;
    } else if (line.is_object_end()) {
      return;
    }
  }
}

}  // namespace egib
