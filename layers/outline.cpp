#include "layers/outline.h"

#include <shapefil.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "layers/decimal_text.h"

namespace egib {

void VertexBuffer::grow_vertices() {
  const size_t n = x.empty() ? size_t{1} << 12 : x.size() * 2;
  x.resize(n);
  y.resize(n);
  source.resize(n);
}

void VertexBuffer::start_part(int type, int first_vertex) {
  if (static_cast<size_t>(part_count) == part_start.size()) {
    const size_t n = part_start.empty() ? 64 : part_start.size() * 2;
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

void VertexBuffer::normalize_rings() {
  const int rings = part_count > 0 ? part_count : 1;
  // Most outlines come closed and without repeats: then nothing moves.
  bool as_wanted = true;
  for (int i = 0; i < rings && as_wanted; ++i) {
    const auto ring = static_cast<size_t>(i);
    const auto s = static_cast<size_t>(part_count > 0 ? part_start[ring] : 0);
    const auto e = static_cast<size_t>(i + 1 < part_count ? part_start[ring + 1] : vertex_count);
    if (e == s) as_wanted = false;  // an empty ring goes
    if (e - s < 2) continue;        // a lone vertex stays as it is
    if (x[e - 1] != x[s] || y[e - 1] != y[s]) as_wanted = false;
    for (size_t v = s + 1; v < e && as_wanted; ++v) {
      if (x[v] == x[v - 1] && y[v] == y[v - 1]) as_wanted = false;
    }
  }
  if (as_wanted) return;
  scratch_x_.clear();
  scratch_y_.clear();
  scratch_source_.clear();
  const size_t room = static_cast<size_t>(vertex_count) + static_cast<size_t>(rings);
  scratch_x_.reserve(room);
  scratch_y_.reserve(room);
  scratch_source_.reserve(room);
  int kept_parts = 0;
  for (int i = 0; i < rings; ++i) {
    const auto ring = static_cast<size_t>(i);
    const auto s = static_cast<size_t>(part_count > 0 ? part_start[ring] : 0);
    const auto e = static_cast<size_t>(i + 1 < part_count ? part_start[ring + 1] : vertex_count);
    const size_t first = scratch_x_.size();
    for (size_t v = s; v < e; ++v) {
      if (scratch_x_.size() > first && scratch_x_.back() == x[v] && scratch_y_.back() == y[v]) {
        continue;
      }
      scratch_x_.push_back(x[v]);
      scratch_y_.push_back(y[v]);
      scratch_source_.push_back(source[v]);
    }
    const size_t n = scratch_x_.size() - first;
    if (n == 0) continue;  // a ring without a vertex is no ring
    if (n >= 2 &&
        (scratch_x_.back() != scratch_x_[first] || scratch_y_.back() != scratch_y_[first])) {
      scratch_x_.push_back(scratch_x_[first]);
      scratch_y_.push_back(scratch_y_[first]);
      scratch_source_.push_back(scratch_source_[first]);
    }
    if (part_count > 0) {
      part_start[static_cast<size_t>(kept_parts)] = static_cast<int>(first);
      part_type[static_cast<size_t>(kept_parts)] = part_type[ring];
      ++kept_parts;
    }
  }
  if (part_count > 0) part_count = kept_parts;
  vertex_count = static_cast<int>(scratch_x_.size());
  x.swap(scratch_x_);
  y.swap(scratch_y_);
  source.swap(scratch_source_);
}

void VertexBuffer::orient_rings() {
  const int rings = part_count > 0 ? part_count : 1;
  for (int i = 0; i < rings; ++i) {
    const auto ring = static_cast<size_t>(i);
    const auto s = static_cast<size_t>(part_count > 0 ? part_start[ring] : 0);
    const auto e = static_cast<size_t>(i + 1 < part_count ? part_start[ring + 1] : vertex_count);
    const double area = ring_area(static_cast<int>(e - s), &x[s], &y[s]);
    const bool outer = part_count == 0 || part_type[ring] != SHPP_INNERRING;
    if ((outer && area < 0) || (!outer && area > 0)) {
      const auto from = static_cast<std::ptrdiff_t>(s);
      const auto to = static_cast<std::ptrdiff_t>(e);
      std::reverse(x.begin() + from, x.begin() + to);
      std::reverse(y.begin() + from, y.begin() + to);
      std::reverse(source.begin() + from, source.begin() + to);
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

void add_geometry_list(VertexBuffer& vb, const OutlineReading& r, int32_t line, bool input_ended) {
  GeometryList& list = vb.list;
  const std::string_view text = list.text;
  auto& lookups = list.lookups;
  lookups.clear();
  for (GeometryList::Item& p : list.items) {
    if (p.kind != GeometryList::Item::kReference && p.kind != GeometryList::Item::kAltReference) {
      continue;
    }
    p.lookup = lookups.size();
    PointTable::Lookup l;
    l.key = text.substr(p.text_begin, p.text_length);
    l.alt = p.kind == GeometryList::Item::kAltReference;
    lookups.push_back(l);
  }
  if (!lookups.empty() && r.points != nullptr) r.points->find_batch(lookups);

  const int list_start = vb.vertex_count;
  const int parts_before = vb.part_count;
  int ring_starts = 0;
  for (const GeometryList::Item& p : list.items) {
    switch (p.kind) {
      case GeometryList::Item::kOuterRing:
      case GeometryList::Item::kHole: {
        const int type = p.kind == GeometryList::Item::kOuterRing ? SHPP_RING : SHPP_INNERRING;
        if (ring_starts == 0) {
          // The list's first ring also takes the vertices that came before
          // its ring start.
          vb.start_part(type, list_start);
        } else {
          vb.start_part(type, vb.vertex_count);
        }
        ++ring_starts;
        break;
      }
      case GeometryList::Item::kInline:
        if (r.easting_first) {
          vb.append(p.first, p.second);
        } else {
          vb.append(p.second, p.first);
        }
        break;
      case GeometryList::Item::kReference:
      case GeometryList::Item::kAltReference: {
        const PointTable::Lookup& l = lookups[p.lookup];
        if (r.points == nullptr) break;  // not resolved in this pass
        if (l.found != PointTable::kNone &&
            !r.points->has_coordinates(static_cast<size_t>(l.found))) {
          // A point object without a P,G line: no vertex, and no (0, 0).
          std::string message = "punkt bez wspolrzednych ID=";
          message += l.key;
          message += '\n';
          r.messages->add(Channel::kConsole, message);
          ++r.stats->points_without_coordinates;
        } else if (l.found == PointTable::kNone) {
          std::string message = "brak punktu ID=";
          message += l.key;
          message += '\n';
          r.messages->add(Channel::kConsole, message);
          ++r.stats->unresolved_references;
        } else {
          const auto k = static_cast<size_t>(l.found);
          vb.append(r.points->x(k), r.points->y(k), l.found);
        }
        break;
      }
      case GeometryList::Item::kUnknown:
        r.messages->add(Channel::kConsole, text.substr(p.text_begin, p.text_length));
        ++r.stats->unresolved_references;
        break;
    }
  }
  if (input_ended) return;  // no closing vertex
  if (ring_starts == 0) {
    r.messages->add_with_line(Channel::kRunLog, "#;;;brak K,+ lub K,- line=", line, "\n");
    ++r.stats->lists_without_ring_start;
    // Taken as one outer ring of its own; where it is the object's first,
    // no ring start is needed (the shape's first ring begins at vertex 0).
    if (parts_before > 0) vb.start_part(SHPP_RING, list_start);
  }
  // The rings are closed once the object is read (normalize_rings), each by
  // a copy of its own first vertex where the input leaves it open.
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

namespace {

// Sum of the rings' areas from the last ring to the first, no absolute
// value taken.
double rings_area(int parts, const int* part_start, int vertices, const double* x,
                  const double* y) {
  double sum = 0.0;
  int end = vertices;
  for (int i = parts - 1; i >= 0; --i) {
    const int s = part_start[i];
    sum += ring_area(end - s, x + s, y + s);
    end = s;
  }
  return sum;
}

}  // namespace

double outline_area(const SHPObject* shape) {
  return rings_area(shape->nParts, shape->panPartStart, shape->nVertices, shape->padfX,
                    shape->padfY);
}

void ObjectBatch::clear() {
  objects.clear();
  x.clear();
  y.clear();
  part_start.clear();
  part_type.clear();
  text.clear();
  tuples.clear();
  deferred.clear();
}

void add_area_warnings(const AreaWarnings& warnings, MessageBuffer& messages) {
  for (int i = 0; i < warnings.count; ++i) {
    messages.add(Channel::kConsole, area_warning_text(warnings.warning[i]));
  }
}

KeptAttributes kept_attributes(ObjectKind kind) {
  KeptAttributes a;
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

namespace {

// Characters first .. last (counted from 1) of an identifier; shorter when
// the identifier is, empty when it ends before first.
std::string_view slice(std::string_view ident, size_t first, size_t last = std::string::npos) {
  if (ident.size() < first) return {};
  const size_t end = last == std::string::npos ? ident.size() : std::min(ident.size(), last);
  return ident.substr(first - 1, end - (first - 1));
}

// Names a cut text with its object in the error log, and counts it.
void note_cut(std::string_view ident, std::string_view what, std::string_view value,
              const std::string& why, int32_t line, ObjectAssembly& a, MessageBuffer& messages) {
  messages.add_cut(line, "object", ident, what, value, why);
  ++a.stats.texts_cut;
}

// The object's record: the identifier, the codes cut from it, the area
// and, for buildings, the function code; for precincts the number and the
// name.  The running number is the writer's.  Every text that does not
// reach its column whole (cut by the reader, or wider than the column) is
// named in the error log and counted.
void format_record(ObjectKind kind, const KeptAttributes& attributes, AssembledObject& o,
                   ObjectAssembly& a, ObjectBatch& batch, int32_t line, MessageBuffer& messages) {
  RecordTuple& t = kind == ObjectKind::kBuilding   ? a.building_record
                   : kind == ObjectKind::kPrecinct ? a.precinct_record
                                                   : a.parcel_record;
  o.tuple_begin = static_cast<uint32_t>(batch.tuples.size());
  o.tuple_length = static_cast<uint32_t>(t.length());
  t.start(batch.tuples);
  const std::string_view ident = attributes.value(0);
  for (int i = 0; i < KeptAttributes::kMax; ++i) {
    if (attributes.cut_by_reader[i]) {
      note_cut(ident, attributes.names[i], attributes.value(i), "cut by the reader", line, a,
               messages);
    }
  }
  const auto text = [&](int field, std::string_view value, bool longer = false) {
    const FieldSpec& f = layer_schema(kind == ObjectKind::kBuilding ? LayerKind::kBuilding
                                      : kind == ObjectKind::kPrecinct
                                          ? LayerKind::kPrecinct
                                          : LayerKind::kParcel)[static_cast<size_t>(field)];
    if (value.size() > static_cast<size_t>(f.width) || longer) {
      note_cut(ident, f.name, value, "cut to " + std::to_string(f.width) + " characters", line, a,
               messages);
    }
    t.text(field, value);
  };
  if (kind == ObjectKind::kPrecinct) {
    text(kPrecinctFieldIdr, ident, attributes.longer[0]);
    text(kPrecinctFieldNro, attributes.value(1), attributes.longer[1]);
    text(kPrecinctFieldNaz, attributes.value(2), attributes.longer[2]);
    t.real(kPrecinctFieldPow, o.area);
  } else {
    text(kFieldIdent, ident, attributes.longer[0]);
    t.integer(kFieldKodWoj, to_long(slice(ident, 1, 2)));
    t.integer(kFieldKodPow, to_long(slice(ident, 1, 4)));
    text(kFieldKodGmi, slice(ident, 1, 8));
    text(kFieldKodObr, slice(ident, 1, 13));
    text(kFieldObr, slice(ident, 10, 13));
    if (kind == ObjectKind::kBuilding) {
      t.integer(kFieldFunkcja, to_long(attributes.value(1)));
    } else {
      text(kFieldDnr, slice(ident, 15));
    }
    t.real(kFieldPow, o.area);
  }
  o.deferred_begin = static_cast<uint32_t>(batch.deferred.size());
  o.deferred_count = static_cast<uint32_t>(t.deferred().size());
  batch.deferred.insert(batch.deferred.end(), t.deferred().begin(), t.deferred().end());
}

}  // namespace

// Converts the buffer into the output system, vertex by vertex in order, as
// the warnings must come: points came converted from the table (those that
// warn are converted again, warning), inline vertices go through the cache.
void convert_outline(ObjectAssembly& a, MessageBuffer& messages) {
  VertexBuffer& vb = a.vb;
  if (!a.transform.changes_coordinates()) return;
  const auto n = static_cast<size_t>(vb.vertex_count);
  for (size_t i = 0; i < n; ++i) {
    const int64_t from = vb.source[i];
    if (from >= 0) {
      const PointTable::Warned* w = a.points.warned(static_cast<size_t>(from));
      if (w == nullptr) continue;
      vb.x[i] = w->x;
      vb.y[i] = w->y;
    }
    AreaWarnings warnings;
    a.cache.convert(a.transform, vb.x[i], vb.y[i], warnings);
    add_area_warnings(warnings, messages);
  }
}

void assemble_object(ObjectKind kind, const KeptAttributes& attributes, uint64_t head_offset,
                     int32_t line, ObjectAssembly& a, ObjectBatch& batch, MessageBuffer& messages) {
  VertexBuffer& vb = a.vb;
  if (vb.vertex_count <= 0) {
    messages.add(Channel::kConsole, "error3\n");
    ++a.objects_without_vertex;
    return;
  }
  vb.finish_rings();
  vb.normalize_rings();
  convert_outline(a, messages);
  // Two points apart in the input may meet in the output grid.
  vb.normalize_rings();
  const std::string_view ident = attributes.value(0);
  if (a.check != OutlineCheck::kNone) {
    const OutlineChecker::Verdict verdict = a.checker->check(vb);
    if (!verdict.valid) {
      ++a.stats.invalid_outlines;
      std::string about = std::string(kind == ObjectKind::kBuilding   ? "G5IDB"
                                      : kind == ObjectKind::kPrecinct ? "G5IDR"
                                                                      : "G5IDD") +
                          "=" + std::string(ident) + ": " + verdict.reason;
      if (a.check == OutlineCheck::kMakeValid) {
        if (!a.checker->make_valid(vb)) {
          messages.add_with_line(Channel::kRunLog, "invalid outline line=", line,
                                 " " + about + "; no polygon is left, not written\n");
          ++a.objects_without_vertex;
          return;
        }
        about += "; written repaired";
        vb.normalize_rings();
      }
      messages.add_with_line(Channel::kRunLog, "invalid outline line=", line, " " + about + "\n");
    }
  }
  vb.orient_rings();

  AssembledObject o{};
  o.kind = kind;
  o.head_offset = head_offset;
  o.degenerate = !vb.has_three_distinct_vertices();
  o.vertex_begin = static_cast<uint32_t>(batch.x.size());
  o.vertex_count = static_cast<uint32_t>(vb.vertex_count);
  batch.x.insert(batch.x.end(), vb.x.begin(), vb.x.begin() + vb.vertex_count);
  batch.y.insert(batch.y.end(), vb.y.begin(), vb.y.begin() + vb.vertex_count);
  // The rings as the shapefile library stores them: one ring from vertex 0
  // unless there are several, the first always from vertex 0.
  o.part_begin = static_cast<uint32_t>(batch.part_start.size());
  const int one_ring = 0;
  const int* starts = &one_ring;
  if (vb.part_count > 1) {
    o.part_count = static_cast<uint32_t>(vb.part_count);
    batch.part_start.insert(batch.part_start.end(), vb.part_start.begin(),
                            vb.part_start.begin() + vb.part_count);
    batch.part_type.insert(batch.part_type.end(), vb.part_type.begin(),
                           vb.part_type.begin() + vb.part_count);
    batch.part_start[o.part_begin] = 0;
    starts = &batch.part_start[o.part_begin];
  }
  o.area = rings_area(std::max(1, static_cast<int>(o.part_count)), starts, vb.vertex_count,
                      &batch.x[o.vertex_begin], &batch.y[o.vertex_begin]);
  o.ident_begin = static_cast<uint32_t>(batch.text.size());
  o.ident_length = static_cast<uint32_t>(ident.size());
  o.ident_hash = identifier_hash(ident);
  batch.text += ident;
  for (int i = 1; i <= 2; ++i) {
    const std::string_view v = attributes.value(i);
    o.value_length[i - 1] = static_cast<uint8_t>(v.size());
    batch.text += v;
  }
  format_record(kind, attributes, o, a, batch, line, messages);
  batch.objects.push_back(o);
}

void convert_points(PointTable& points, const CoordinateTransform& transform, int threads) {
  if (!transform.changes_coordinates()) return;
  const size_t n = points.size();
  const auto convert_range = [&](size_t from, size_t to, std::vector<PointTable::Warned>* warned) {
    for (size_t i = from; i < to; ++i) {
      if (!points.has_coordinates(i)) continue;  // nothing to convert
      double x = points.x(i);
      double y = points.y(i);
      AreaWarnings warnings;
      transform.convert(x, y, warnings);
      if (warnings.count > 0) warned->push_back({i, points.x(i), points.y(i)});
      points.set_coordinates(i, x, y);
    }
  };
  std::vector<PointTable::Warned> warned, warned_second;
  if (threads > 1 && n > 8192) {
    const size_t half = n / 2;
    std::thread second(convert_range, half, n, &warned_second);
    convert_range(0, half, &warned);
    second.join();
    warned.insert(warned.end(), warned_second.begin(), warned_second.end());
  } else {
    convert_range(0, n, &warned);
  }
  points.set_warned(std::move(warned));
}

}  // namespace egib
