#include "layers/outline_check.h"

#include <geos_c.h>
#include <shapefil.h>

#include <cstdio>
#include <vector>

#include "layers/outline.h"

namespace egib {

namespace {

// GEOS reports through the context's handlers; the last message is kept
// (and shown nowhere else).
void keep_message(const char* message, void* user) {
  *static_cast<std::string*>(user) = message != nullptr ? message : "";
}

}  // namespace

// One GEOS context per checker: the reentrant functions need nothing
// else, so each thread that assembles outlines has its own.
struct OutlineChecker::Context {
  GEOSContextHandle_t handle;
  std::string last_message;

  Context() : handle(GEOS_init_r()) {
    GEOSContext_setErrorMessageHandler_r(handle, keep_message, &last_message);
    GEOSContext_setNoticeMessageHandler_r(handle, keep_message, &last_message);
  }
  ~Context() { GEOS_finish_r(handle); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

namespace {

// A geometry owned here until handed to GEOS or destroyed.
class Geometry {
 public:
  Geometry(GEOSContextHandle_t h, GEOSGeometry* g) : h_(h), g_(g) {}
  Geometry(Geometry&& o) noexcept : h_(o.h_), g_(o.g_) { o.g_ = nullptr; }
  Geometry& operator=(Geometry&&) = delete;
  Geometry(const Geometry&) = delete;
  ~Geometry() {
    if (g_ != nullptr) GEOSGeom_destroy_r(h_, g_);
  }
  GEOSGeometry* get() const { return g_; }
  GEOSGeometry* release() {
    GEOSGeometry* g = g_;
    g_ = nullptr;
    return g;
  }
  explicit operator bool() const { return g_ != nullptr; }

 private:
  GEOSContextHandle_t h_;
  GEOSGeometry* g_;
};

struct RingSpan {
  size_t begin;
  size_t end;
  bool hole;
};

std::vector<RingSpan> rings_of(const VertexBuffer& vb) {
  std::vector<RingSpan> rings;
  const int n = vb.part_count > 0 ? vb.part_count : 1;
  for (int i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    const auto s = static_cast<size_t>(vb.part_count > 0 ? vb.part_start[k] : 0);
    const auto e =
        static_cast<size_t>(i + 1 < vb.part_count ? vb.part_start[k + 1] : vb.vertex_count);
    rings.push_back({s, e, vb.part_count > 0 && vb.part_type[k] == SHPP_INNERRING});
  }
  return rings;
}

std::string location(double x, double y) {
  char text[96];
  std::snprintf(text, sizeof text, " at %.3f %.3f", x, y);
  return text;
}

// The outline as GEOS geometry: each outer ring with the holes after it a
// polygon (a hole before any outer ring stands as a polygon of its own),
// several polygons a multipolygon.  A ring of fewer than four points (three
// distinct ones and the closing one) cannot be a ring: with skip_short it
// is left out, otherwise the outline is not built and *short_ring names it.
Geometry build(GEOSContextHandle_t h, const VertexBuffer& vb, bool skip_short,
               std::string* short_ring) {
  struct Polygon {
    GEOSGeometry* shell = nullptr;
    std::vector<GEOSGeometry*> holes;
  };
  std::vector<Polygon> polygons;
  const auto destroy_all = [&] {
    for (Polygon& p : polygons) {
      if (p.shell != nullptr) GEOSGeom_destroy_r(h, p.shell);
      for (GEOSGeometry* g : p.holes) GEOSGeom_destroy_r(h, g);
    }
  };
  for (const RingSpan& r : rings_of(vb)) {
    const size_t n = r.end - r.begin;
    if (n < 4) {
      if (skip_short) continue;
      *short_ring = "Too few points in a ring (" + std::to_string(n) + ")" +
                    (n > 0 ? location(vb.x[r.begin], vb.y[r.begin]) : std::string());
      destroy_all();
      return {h, nullptr};
    }
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, static_cast<unsigned>(n), 2);
    if (seq == nullptr) {
      destroy_all();
      return {h, nullptr};
    }
    for (size_t i = 0; i < n; ++i) {
      GEOSCoordSeq_setXY_r(h, seq, static_cast<unsigned>(i), vb.x[r.begin + i], vb.y[r.begin + i]);
    }
    GEOSGeometry* ring = GEOSGeom_createLinearRing_r(h, seq);  // owns seq
    if (ring == nullptr) {
      destroy_all();
      return {h, nullptr};
    }
    if (r.hole && !polygons.empty()) {
      polygons.back().holes.push_back(ring);
    } else {
      polygons.push_back({ring, {}});
    }
  }
  std::vector<GEOSGeometry*> made;
  for (Polygon& p : polygons) {
    GEOSGeometry* poly =
        GEOSGeom_createPolygon_r(h, p.shell, p.holes.data(), static_cast<unsigned>(p.holes.size()));
    p.shell = nullptr;
    p.holes.clear();
    if (poly != nullptr) made.push_back(poly);
  }
  if (made.empty()) return {h, nullptr};
  if (made.size() == 1) return {h, made[0]};
  return {h, GEOSGeom_createCollection_r(h, GEOS_MULTIPOLYGON, made.data(),
                                         static_cast<unsigned>(made.size()))};
}

void append_ring(GEOSContextHandle_t h, const GEOSGeometry* ring, int type, VertexBuffer& vb) {
  const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h, ring);
  unsigned n = 0;
  if (seq == nullptr || GEOSCoordSeq_getSize_r(h, seq, &n) == 0 || n == 0) return;
  vb.start_part(type, vb.vertex_count);
  for (unsigned i = 0; i < n; ++i) {
    double x = 0, y = 0;
    GEOSCoordSeq_getXY_r(h, seq, i, &x, &y);
    vb.append(x, y);
  }
}

// The polygons of a geometry (of any collection in it, at any depth) into
// the buffer as outer rings and holes.
void append_polygons(GEOSContextHandle_t h, const GEOSGeometry* g, VertexBuffer& vb) {
  const int type = GEOSGeomTypeId_r(h, g);
  if (type == GEOS_POLYGON) {
    if (GEOSisEmpty_r(h, g) == 1) return;
    append_ring(h, GEOSGetExteriorRing_r(h, g), SHPP_RING, vb);
    const int holes = GEOSGetNumInteriorRings_r(h, g);
    for (int i = 0; i < holes; ++i)
      append_ring(h, GEOSGetInteriorRingN_r(h, g, i), SHPP_INNERRING, vb);
  } else if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION) {
    const int n = GEOSGetNumGeometries_r(h, g);
    for (int i = 0; i < n; ++i) append_polygons(h, GEOSGetGeometryN_r(h, g, i), vb);
  }
}

}  // namespace

OutlineChecker::OutlineChecker() : context_(std::make_unique<Context>()) {}
OutlineChecker::~OutlineChecker() = default;

OutlineChecker::Verdict OutlineChecker::check(const VertexBuffer& vb) {
  const GEOSContextHandle_t h = context_->handle;
  Verdict v;
  std::string short_ring;
  const Geometry g = build(h, vb, false, &short_ring);
  if (!g) {
    v.valid = false;
    v.reason = !short_ring.empty() ? short_ring : "not a polygon: " + context_->last_message;
    return v;
  }
  char* reason = nullptr;
  GEOSGeometry* where = nullptr;
  const char result = GEOSisValidDetail_r(h, g.get(), 0, &reason, &where);
  if (result == 1) return v;
  v.valid = false;
  v.reason = reason != nullptr ? reason : context_->last_message;
  if (where != nullptr) {
    double x = 0, y = 0;
    if (GEOSGeomGetX_r(h, where, &x) == 1 && GEOSGeomGetY_r(h, where, &y) == 1) {
      v.reason += location(x, y);
    }
    GEOSGeom_destroy_r(h, where);
  }
  if (reason != nullptr) GEOSFree_r(h, reason);
  return v;
}

bool OutlineChecker::make_valid(VertexBuffer& vb) {
  const GEOSContextHandle_t h = context_->handle;
  std::string unused;
  const Geometry g = build(h, vb, true, &unused);
  vb.clear();
  if (!g) return false;
  const Geometry repaired(h, GEOSMakeValid_r(h, g.get()));
  if (!repaired) return false;
  append_polygons(h, repaired.get(), vb);
  return vb.vertex_count > 0;
}

}  // namespace egib
