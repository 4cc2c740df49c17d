// Outline assembly and the layer records of parcels and buildings.
//
// A parcel or building object lists its outline in geometry lists: a "GL"
// line, then "K,+" (outer ring) and "K,-" (hole) ring starts and "P" vertex
// lines: P,G,northing,easting inline, P,P,,id and P,K,alt_id references to
// point objects.  The vertices of one object are gathered in the process-wide
// VertexBuffer, converted into the output system and written as one polygon.
#pragma once

#include <shapefil.h>

#include <vector>

#include "swde/line_reader.h"

namespace egib {

// One object's outline.  x is the shapefile X (easting), y the shapefile Y
// (northing).  Grows as needed, so no object is ever cut.
struct VertexBuffer {
  std::vector<double> x;
  std::vector<double> y;
  int vertex_count = 0;
  std::vector<int> part_start;
  std::vector<int> part_type;  // SHPP_RING (5) for "K,+", SHPP_INNERRING (3) for "K,-"
  int part_count = 0;

  void clear() {
    vertex_count = 0;
    part_count = 0;
  }
  void append(double vx, double vy) {
    if (static_cast<size_t>(vertex_count) == x.size()) grow_vertices();
    x[static_cast<size_t>(vertex_count)] = vx;
    y[static_cast<size_t>(vertex_count)] = vy;
    ++vertex_count;
  }
  // A ring of the given type beginning at first_vertex.
  void start_part(int type, int first_vertex);
  // Closes the ring that began at first_vertex with a copy of that vertex,
  // when the ring holds any vertex.
  void close_ring(int first_vertex) {
    if (vertex_count > first_vertex) {
      const auto s = static_cast<size_t>(first_vertex);
      append(x[s], y[s]);
    }
  }
  // After the last geometry list of an object: gives vertices that no
  // ring start covers (a first list without one) a ring of their own and
  // drops empty rings.
  void finish_rings();
  // In an outline with holes, turns every outer ring ("K,+") clockwise and
  // every hole ("K,-") counter-clockwise (X east, Y north), the order that
  // shapefile readers take to tell holes from islands.  Outlines without a
  // hole keep their vertex order.
  void orient_rings();
  // False for an outline of fewer than three distinct vertices, which
  // encloses no area.
  bool has_three_distinct_vertices() const;
  // Drops ring starts that hold no vertex (a ring start directly followed by
  // another, or at the very end), which readers reject as corrupt shapes.
  void drop_empty_parts();

 private:
  void grow_vertices();
};

VertexBuffer& vertex_buffer();

// Reads one geometry list, the lines after a "GL" line, into the buffer;
// line holds the line that ended the list on return.
void read_outline(SwdeInput& in, SwdeLine& line);

// Signed area of a ring (fan of triangles from its first vertex): positive
// clockwise with X east and Y north.
double ring_area(int n, const double* x, const double* y);
// Sum of the rings' areas, no absolute value taken.
double outline_area(const SHPObject* shape);

// Read the rest of one object (line holds its "RO" line) and write its shape
// and attribute record into the parcel or building layer.
void write_parcel(SwdeInput& in, SwdeLine& line);
void write_building(SwdeInput& in, SwdeLine& line);
// The same for a precinct (G5OBR, G5G_OBR) into the precinct layer: G5IDR,
// G5NRO, G5NAZ and the area.  Reads nothing when the run has no precinct
// layer.
void write_precinct(SwdeInput& in, SwdeLine& line);

}  // namespace egib
