#include "layers/outline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "diag/error_log.h"
#include "driver/run_state.h"
#include "geodesy/transform.h"
#include "layers/point_index.h"
#include "layers/record_writer.h"

namespace egib {

VertexBuffer& vertex_buffer() {
  static VertexBuffer buffer;
  return buffer;
}

void VertexBuffer::grow_vertices() {
  const size_t n = x.empty() ? size_t{1} << 16 : x.size() * 2;
  x.resize(n);
  y.resize(n);
}

void VertexBuffer::start_part(int type, int first_vertex) {
  if (static_cast<size_t>(part_count) == part_start.size()) {
    const size_t n = part_start.empty() ? 1024 : part_start.size() * 2;
    part_start.resize(n);
    part_type.resize(n);
  }
  part_start[static_cast<size_t>(part_count)] = first_vertex;
  part_type[static_cast<size_t>(part_count)] = type;
  ++part_count;
}

void VertexBuffer::finish_rings() {
  // A first geometry list without a ring start, followed by lists with
  // one, still makes a ring of its own.
  if (part_count > 0 && part_start[0] > 0) {
    start_part(SHPP_RING, 0);
    std::rotate(part_start.begin(), part_start.begin() + part_count - 1,
                part_start.begin() + part_count);
    std::rotate(part_type.begin(), part_type.begin() + part_count - 1,
                part_type.begin() + part_count);
  }
  drop_empty_parts();
}

void VertexBuffer::orient_rings() {
  if (part_count < 2) return;
  const auto parts = static_cast<size_t>(part_count);
  if (std::find(part_type.begin(), part_type.begin() + part_count, SHPP_INNERRING) ==
      part_type.begin() + part_count) {
    return;
  }
  for (size_t i = 0; i < parts; ++i) {
    const auto s = static_cast<size_t>(part_start[i]);
    const auto e = static_cast<size_t>(i + 1 < parts ? part_start[i + 1] : vertex_count);
    const double area = ring_area(static_cast<int>(e - s), &x[s], &y[s]);
    const bool outer = part_type[i] != SHPP_INNERRING;
    if ((outer && area < 0) || (!outer && area > 0)) {
      std::reverse(x.begin() + static_cast<std::ptrdiff_t>(s),
                   x.begin() + static_cast<std::ptrdiff_t>(e));
      std::reverse(y.begin() + static_cast<std::ptrdiff_t>(s),
                   y.begin() + static_cast<std::ptrdiff_t>(e));
    }
  }
}

bool VertexBuffer::has_three_distinct_vertices() const {
  const auto n = static_cast<size_t>(vertex_count);
  size_t second = 0;
  for (size_t i = 1; i < n; ++i) {
    if (x[i] == x[0] && y[i] == y[0]) continue;
    if (second == 0) {
      second = i;
    } else if (x[i] != x[second] || y[i] != y[second]) {
      return true;
    }
  }
  return false;
}

void VertexBuffer::drop_empty_parts() {
  int kept = 0;
  for (int i = 0; i < part_count; ++i) {
    const auto s = static_cast<size_t>(i);
    const int next = i + 1 < part_count ? part_start[s + 1] : vertex_count;
    if (part_start[s] >= next) continue;
    part_start[static_cast<size_t>(kept)] = part_start[s];
    part_type[static_cast<size_t>(kept)] = part_type[s];
    ++kept;
  }
  part_count = kept;
}

void read_outline(SwdeInput& in, SwdeLine& line) {
  VertexBuffer& vb = vertex_buffer();
  const int list_start = vb.vertex_count;
  const int parts_before = vb.part_count;
  int ring_first = list_start;  // first vertex of the ring being read
  int ring_starts = 0;
  for (;;) {
    if (!read_swde_line(in, line)) return;  // end of input: no closing vertex
    if (line.is_ignorable()) continue;
    if (line.code_is("K")) {
      const bool outer = line.field_is(1, "+");
      if (!outer && !line.field_is(1, "-")) break;
      const int type = outer ? SHPP_RING : SHPP_INNERRING;
      if (ring_starts == 0) {
        // The list's first ring also takes the vertices that came before
        // its ring start.
        vb.start_part(type, list_start);
      } else {
        // The next ring starts: the one before it is closed first.
        vb.close_ring(ring_first);
        ring_first = vb.vertex_count;
        vb.start_part(type, ring_first);
      }
      ++ring_starts;
      continue;
    }
    if (!line.code_is("P")) break;
    double xyz[3];
    if (line.field_is(1, "G")) {
      if (run_state().swap_axes) {
        vb.append(to_double(line.field[2]), to_double(line.field[3]));
      } else {
        vb.append(to_double(line.field[3]), to_double(line.field[2]));
      }
    } else if (line.field_is(1, "P")) {
      if (find_point_by_id(xyz, line.field[3])) vb.append(xyz[0], xyz[1]);
    } else if (line.field_is(1, "K")) {
      if (find_point_by_alt_id(xyz, line.field[2])) vb.append(xyz[0], xyz[1]);
    } else {
      std::printf("nieznay punkt %s,%s,%s,%s,%s", line.field[0], line.field[1], line.field[2],
                  line.field[3], line.field[4]);
      ++run_state().stats.unresolved_references;
    }
  }
  if (ring_starts == 0) {
    std::fprintf(run_log(), "#;;;brak K,+ lub K,- line=%d\n", line_number);
    ++run_state().stats.lists_without_ring_start;
    // Taken as one outer ring of its own; where it is the object's first,
    // no ring start is needed (the shape's first ring begins at vertex 0).
    if (parts_before > 0) vb.start_part(SHPP_RING, list_start);
  }
  // Each ring is closed by a copy of its own first vertex; a ring that gave
  // no vertex gets none, so nothing of another ring leaks in.
  vb.close_ring(ring_first);
}

double ring_area(int n, const double* x, const double* y) {
  if (n < 3) return 0.0;
  const double x0 = x[0];
  const double y0 = y[0];
  double px = x[1] - x0;
  double py = y[1] - y0;
  double sum = 0.0;
  for (int i = 2; i < n; ++i) {
    const double dx = x[i] - x0;
    const double dy = y[i] - y0;
    sum += (dx * py - dy * px) * 0.5;
    px = dx;
    py = dy;
  }
  return sum;
}

double outline_area(const SHPObject* shape) {
  double sum = 0.0;
  int end = shape->nVertices;
  for (int i = shape->nParts - 1; i >= 0; --i) {
    const int s = shape->panPartStart[i];
    sum += ring_area(end - s, shape->padfX + s, shape->padfY + s);
    end = s;
  }
  return sum;
}

namespace {

struct ShapeDestroyer {
  void operator()(SHPObject* o) const noexcept { SHPDestroyObject(o); }
};
using ShapePtr = std::unique_ptr<SHPObject, ShapeDestroyer>;

// Characters first .. last (counted from 1) of an identifier; shorter when
// the identifier is, empty when it ends before first.
std::string slice(const char* ident, size_t first, size_t last = std::string::npos) {
  const size_t n = std::strlen(ident);
  if (n < first) return {};
  const size_t end = last == std::string::npos ? n : std::min(n, last);
  return std::string(ident + first - 1, end - (first - 1));
}

enum class ObjectKind { kParcel, kBuilding, kPrecinct };

// The attributes ("D" lines) an object kind keeps, by name; the later line
// wins when an object carries one twice.
struct Attributes {
  static constexpr int kMax = 3;
  const char* names[kMax] = {};
  char values[kMax][kFieldChars] = {};
  void keep(const SwdeLine& line) {
    for (int i = 0; i < kMax && names[i] != nullptr; ++i) {
      if (line.field_is(1, names[i])) std::memcpy(values[i], line.field[3], kFieldChars);
    }
  }
};

Attributes attributes_of(ObjectKind kind) {
  Attributes a;
  switch (kind) {
    case ObjectKind::kParcel:
      a.names[0] = "G5IDD";
      break;
    case ObjectKind::kBuilding:
      a.names[0] = "G5IDB";
      a.names[1] = "G5FUZ";
      break;
    case ObjectKind::kPrecinct:
      a.names[0] = "G5IDR";
      a.names[1] = "G5NRO";
      a.names[2] = "G5NAZ";
      break;
  }
  return a;
}

// Reads the rest of an object: its attributes and its outline into the
// buffer.  False when the input ends inside it.
bool read_object(SwdeInput& in, SwdeLine& line, Attributes& attributes) {
  for (;;) {
    if (!read_swde_line(in, line)) return false;
    if (line.is_ignorable()) continue;
    if (line.code_is("D")) {
      attributes.keep(line);
    } else if (line.code_is("GL")) {
      // A list may end on the next list's own "GL" line, which starts it.
      do {
        read_outline(in, line);
      } while (line.code_is("GL"));
      if (line.is_object_end()) return true;
    } else if (line.is_object_end()) {
      return true;
    }
  }
}

void write_object(SwdeInput& in, SwdeLine& line, ObjectKind kind) {
  VertexBuffer& vb = vertex_buffer();
  vb.clear();
  Attributes attributes = attributes_of(kind);
  if (!read_object(in, line, attributes)) return;  // end of input: the object is dropped

  RunState& run = run_state();
  if (vb.vertex_count <= 0) {
    std::printf("error3\n");
    ++run.stats.objects_without_vertex;
    return;
  }
  vb.finish_rings();

  Layer& layer = kind == ObjectKind::kBuilding   ? run.building
                 : kind == ObjectKind::kPrecinct ? run.precincts
                                                 : run.parcel;
  const int r = DBFGetRecordCount(layer.dbf());
  RecordWriter record(layer, r);
  const char* ident = attributes.values[0];
  int area_field = kFieldPow;
  if (kind == ObjectKind::kPrecinct) {
    record.integer(kPrecinctFieldId, r + 1);
    record.text(kPrecinctFieldIdr, ident);
    record.text(kPrecinctFieldNro, attributes.values[1]);
    record.text(kPrecinctFieldNaz, attributes.values[2]);
    area_field = kPrecinctFieldPow;
  } else {
    record.integer(kFieldId, r + 1);
    record.text(kFieldIdent, ident);
    record.integer(kFieldKodWoj, to_long(slice(ident, 1, 2).c_str()));
    record.integer(kFieldKodPow, to_long(slice(ident, 1, 4).c_str()));
    record.text(kFieldKodGmi, slice(ident, 1, 8));
    record.text(kFieldKodObr, slice(ident, 1, 13));
    record.text(kFieldObr, slice(ident, 10, 13));
    if (kind == ObjectKind::kBuilding) {
      record.integer(kFieldFunkcja, to_long(attributes.values[1]));
    } else {
      record.text(kFieldDnr, slice(ident, 15));
    }
  }

  const auto n = static_cast<size_t>(vb.vertex_count);
  transform_vertices({vb.x.data(), n}, {vb.y.data(), n}, run.input_system, run.output_system,
                     run.variant);
  vb.orient_rings();

  const bool with_parts = vb.part_count > 1;
  ShapePtr shape(SHPCreateObject(SHPT_POLYGON, -1, with_parts ? vb.part_count : 0,
                                 with_parts ? vb.part_start.data() : nullptr,
                                 with_parts ? vb.part_type.data() : nullptr, vb.vertex_count,
                                 vb.x.data(), vb.y.data(), nullptr, nullptr));
  if (!shape) {
    std::fprintf(stderr, "egib2shp: cannot create shape %d of %s.shp\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
    return;
  }
  record.real(area_field, outline_area(shape.get()));
  if (SHPWriteObject(layer.shp(), -1, shape.get()) < 0) {
    std::fprintf(stderr, "egib2shp: cannot write shape %d of %s.shp\n", r + 1,
                 layer.final_base().c_str());
    layer.note_write_failure();
    return;
  }
  RunStats& st = run.stats;
  if (kind == ObjectKind::kPrecinct) {
    ++st.precincts_written;
    return;
  }
  const bool building = kind == ObjectKind::kBuilding;
  ++(building ? st.buildings_written : st.parcels_written);
  st.vertices_written += vb.vertex_count;
  if (!vb.has_three_distinct_vertices()) ++st.degenerate_outlines;
  if (ident[0] != '\0') {
    auto& seen = building ? run.building_idents : run.parcel_idents;
    if (++seen[ident] == 2) ++(building ? st.duplicate_building_ids : st.duplicate_parcel_ids);
  }
}

}  // namespace

void write_parcel(SwdeInput& in, SwdeLine& line) {
  write_object(in, line, ObjectKind::kParcel);
}

void write_building(SwdeInput& in, SwdeLine& line) {
  write_object(in, line, ObjectKind::kBuilding);
}

void write_precinct(SwdeInput& in, SwdeLine& line) {
  // Without the precinct layer the object is read past line by line by the
  // caller, as any other object, and its references are not looked up.
  if (!run_state().precincts.created()) return;
  write_object(in, line, ObjectKind::kPrecinct);
}

}  // namespace egib
