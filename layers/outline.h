// Outline assembly and the records of parcels, buildings and precincts.
//
// A parcel or building object lists its outline in geometry lists: ring
// starts (outer ring or hole) and vertices, given inline as written or as
// references to point objects by identifier.  The SWDE reader hands each
// list over as a GeometryList and the attributes kept as KeptAttributes;
// here the vertices of one object are gathered in a VertexBuffer,
// converted into the output system, each ring closed and oriented, and
// handed on as one record of an ObjectBatch, ready for its layer.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diag/message_buffer.h"
#include "geodesy/transform.h"
#include "layers/outline_check.h"
#include "layers/point_index.h"
#include "layers/record_writer.h"

struct tagSHPObject;

namespace egib {

// One geometry list as read: its ring starts and vertices in order, inline
// pairs as written and references by the point's identifier, kept until
// the references are looked up together (their memory is fetched at once).
struct GeometryList {
  struct Item {
    enum Kind : uint8_t { kOuterRing, kHole, kInline, kReference, kAltReference, kUnknown };
    Kind kind;
    double first = 0, second = 0;              // an inline pair as written
    uint32_t text_begin = 0, text_length = 0;  // a key, or what an unknown line says
    size_t lookup = 0;
  };
  std::vector<Item> items;
  std::string text;
  std::vector<PointTable::Lookup> lookups;

  void clear() {
    items.clear();
    text.clear();
  }
  void add_ring_start(bool outer) { items.push_back({outer ? Item::kOuterRing : Item::kHole}); }
  void add_inline(double first, double second) {
    Item i{Item::kInline};
    i.first = first;
    i.second = second;
    items.push_back(i);
  }
  // A reference by the point's identifier, or by its other key (alt).
  void add_reference(std::string_view key, bool alt) {
    add_text(alt ? Item::kAltReference : Item::kReference, key);
  }
  // A vertex line of no known kind, and the console line that says so.
  void add_unknown(std::string_view message) { add_text(Item::kUnknown, message); }

 private:
  void add_text(Item::Kind kind, std::string_view t) {
    Item i{kind};
    i.text_begin = static_cast<uint32_t>(text.size());
    i.text_length = static_cast<uint32_t>(t.size());
    text += t;
    items.push_back(i);
  }
};

// One object's outline.  x is the shapefile X (easting), y the shapefile Y
// (northing); source is the point a vertex came from (its index in the
// point table) or -1 for a vertex given inline.  Grows as needed, so no
// object is ever cut.
struct VertexBuffer {
  std::vector<double> x;
  std::vector<double> y;
  std::vector<int64_t> source;
  int vertex_count = 0;
  std::vector<int> part_start;
  std::vector<int> part_type;  // SHPP_RING (5) for "K,+", SHPP_INNERRING (3) for "K,-"
  int part_count = 0;

  // The geometry list being read, before its vertices are added.
  GeometryList list;

  void clear() {
    vertex_count = 0;
    part_count = 0;
  }
  void append(double vx, double vy, int64_t from = -1) {
    if (static_cast<size_t>(vertex_count) == x.size()) grow_vertices();
    const auto i = static_cast<size_t>(vertex_count);
    x[i] = vx;
    y[i] = vy;
    source[i] = from;
    ++vertex_count;
  }
  // A ring of the given type beginning at first_vertex.
  void start_part(int type, int first_vertex);
  // After the last geometry list of an object: gives vertices that no
  // ring start covers (a first list without one) a ring of their own and
  // drops empty rings.
  void finish_rings();
  // Every ring as the shapefile format wants it: no vertex equal to the one
  // before it (the input may repeat a point, or close a ring itself), and
  // closed by a copy of its first vertex only where its last one differs
  // (A B C A stays A B C A, A B C becomes A B C A).  Rings left empty are
  // dropped.  Safe to call again: a normalised outline stays as it is.
  void normalize_rings();
  // Turns every outer ring ("K,+", or a list without "K") clockwise and
  // every hole ("K,-") counter-clockwise (X east, Y north), in every
  // outline, single-ring ones too: shapefile readers take a lone
  // counter-clockwise ring for a hole.
  void orient_rings();
  // False for an outline of fewer than three distinct vertices, which
  // encloses no area.
  bool has_three_distinct_vertices() const;
  // Drops ring starts that hold no vertex (a ring start directly followed by
  // another, or at the very end), which readers reject as corrupt shapes.
  void drop_empty_parts();

 private:
  void grow_vertices();
  // normalize_rings builds the outline here and swaps it in.
  std::vector<double> scratch_x_, scratch_y_;
  std::vector<int64_t> scratch_source_;
};

// What reading outlines counts.
struct OutlineStats {
  int64_t unresolved_references = 0;       // "brak punktu", unknown vertex lines
  int64_t lists_without_ring_start = 0;    // logged in the run log
  int64_t points_without_coordinates = 0;  // references to points without a P,G line
  int64_t texts_cut = 0;                   // by a column's width or the reader's limits
  int64_t invalid_outlines = 0;            // not valid polygons for GEOS (--validate)

  void add(const OutlineStats& other) {
    unresolved_references += other.unresolved_references;
    lists_without_ring_start += other.lists_without_ring_start;
    points_without_coordinates += other.points_without_coordinates;
    texts_cut += other.texts_cut;
    invalid_outlines += other.invalid_outlines;
  }
};

// What read_outline needs besides the lines.
struct OutlineReading {
  // Null while the points are being collected: references are passed over
  // without a word (they are resolved in the writing pass).
  const PointTable* points = nullptr;
  bool easting_first = false;  // inline pairs are written easting first
  MessageBuffer* messages = nullptr;
  OutlineStats* stats = nullptr;
};

// Adds the vertices and rings of the buffer's list, references resolved
// through the reading's points (passed over while there are none).  line
// is the input line the list ended on, for the run log; input_ended says
// the input ended inside the list.
void add_geometry_list(VertexBuffer& vb, const OutlineReading& reading, int32_t line,
                       bool input_ended);

// Signed area of a ring (fan of triangles from its first vertex): positive
// clockwise with X east and Y north.
double ring_area(int n, const double* x, const double* y);
// Sum of the rings' areas, no absolute value taken.
double outline_area(const tagSHPObject* shape);

enum class ObjectKind : uint8_t { kParcel, kBuilding, kPrecinct };

// The attributes ("D" lines) an object kind keeps, by name: the identifier
// (G5IDD, G5IDB, G5IDR) first, then a building's G5FUZ, a precinct's G5NRO
// and G5NAZ.  The later value wins when an object carries one twice.
struct KeptAttributes {
  static constexpr int kMax = 3;
  std::string_view names[kMax];
  // Room for a value as long as the widest column (the 100-wide name).
  static constexpr size_t kChars = 100;
  char values[kMax][kChars] = {};
  uint8_t lengths[kMax] = {};
  bool cut_by_reader[kMax] = {};
  bool longer[kMax] = {};  // the value goes on past kChars
  // Keeps attribute i, whole as the line holds it; cut_by_reader when the
  // line's reader cut the value short.
  void set(int i, std::string_view whole, bool cut) {
    const std::string_view v = whole.substr(0, kChars);
    if (!v.empty()) std::memcpy(values[i], v.data(), v.size());
    lengths[i] = static_cast<uint8_t>(v.size());
    longer[i] = whole.size() > kChars;
    cut_by_reader[i] = cut;
  }
  std::string_view value(int i) const { return {values[i], lengths[i]}; }
};
KeptAttributes kept_attributes(ObjectKind kind);

// One object ready for its layer: its vertices and rings (as the shapefile
// library will store them) in the batch's arrays, and its attributes.
struct AssembledObject {
  ObjectKind kind;
  bool degenerate;  // fewer than three distinct vertices
  uint32_t vertex_begin;
  uint32_t vertex_count;
  uint32_t part_begin;
  uint32_t part_count;  // 0: one ring from the first vertex
  double area;          // the outline's area in the output grid
  // The identifier (G5IDD, G5IDB or G5IDR) in the batch's text, and its
  // identifier_hash.
  uint32_t ident_begin;
  uint32_t ident_length;
  uint64_t ident_hash;
  // The other attributes kept, whole, right after the identifier in the
  // batch's text: a building's G5FUZ; a precinct's G5NRO and G5NAZ.
  uint8_t value_length[2];
  // The record of the layer's table, ready but for its running number, in
  // the batch's tuples; cells left to the library in deferred.
  uint32_t tuple_begin;
  uint32_t tuple_length;
  uint32_t deferred_begin;
  uint32_t deferred_count;
  // Where the object's head line starts in the input: the whole register
  // adds its columns to exactly the objects written.
  uint64_t head_offset;
};

struct ObjectBatch {
  std::vector<AssembledObject> objects;
  std::vector<double> x;
  std::vector<double> y;
  std::vector<int> part_start;
  std::vector<int> part_type;
  std::string text;
  std::string tuples;
  std::vector<RecordTuple::Deferred> deferred;

  std::string_view ident(const AssembledObject& o) const {
    return std::string_view(text).substr(o.ident_begin, o.ident_length);
  }
  // The attribute kept after the identifier, 1 or 2 (see value_length).
  std::string_view value(const AssembledObject& o, int i) const {
    const size_t at = o.ident_begin + o.ident_length + (i == 2 ? o.value_length[0] : 0);
    return std::string_view(text).substr(at, o.value_length[i - 1]);
  }
  void clear();
};

// Converts every point of the table into the output system, in place, for
// the routes that change coordinates, the two halves on two threads when
// threads > 1.  A point whose conversion warns keeps its coordinates as
// read beside the converted ones: it is converted again, warning, each time
// it is used.
void convert_points(PointTable& points, const CoordinateTransform& transform, int threads);

// What turning objects into records needs: the points, the conversion and
// its cache (one per thread), the run's settings, a buffer for one
// outline, and what it counts.
struct ObjectAssembly {
  ObjectAssembly(const PointTable& points_, const CoordinateTransform& transform_,
                 ConversionCache& cache_, bool easting_first_, bool precincts_)
      : points(points_),
        transform(transform_),
        cache(cache_),
        easting_first(easting_first_),
        precincts(precincts_) {}
  const PointTable& points;  // converted already
  const CoordinateTransform& transform;
  ConversionCache& cache;
  bool easting_first = false;
  bool precincts = false;  // the precinct layer is written
  // Outlines checked with GEOS, and repaired with --make-valid.
  OutlineCheck check = OutlineCheck::kNone;
  std::unique_ptr<OutlineChecker> checker;
  void check_outlines(OutlineCheck c) {
    check = c;
    if (c != OutlineCheck::kNone) checker = std::make_unique<OutlineChecker>();
  }
  VertexBuffer vb;
  OutlineStats stats;
  int64_t objects_without_vertex = 0;  // "error3"
  // The records of the three tables.
  RecordTuple parcel_record{LayerKind::kParcel};
  RecordTuple building_record{LayerKind::kBuilding};
  RecordTuple precinct_record{LayerKind::kPrecinct};
};

// Appends the record of the object whose outline is in the assembly's
// buffer, or says "error3" when it has no vertex.  head_offset is where its
// head line starts in the input, line the input line it ended on.
void assemble_object(ObjectKind kind, const KeptAttributes& attributes, uint64_t head_offset,
                     int32_t line, ObjectAssembly& assembly, ObjectBatch& batch,
                     MessageBuffer& messages);

// Converts the outline in the assembly's buffer into the output system, as
// the writers of parcels and buildings do.
void convert_outline(ObjectAssembly& assembly, MessageBuffer& messages);

// Formats the warnings of one conversion as the console shows them.
void add_area_warnings(const AreaWarnings& warnings, MessageBuffer& messages);

}  // namespace egib
