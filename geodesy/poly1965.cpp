#include "geodesy/poly1965.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace egib {

namespace {

// The ten sets, zone 1 variant 1 first; see the table file for what it
// holds.  A build may name another table of the same layout.
constexpr std::array<Poly1965Set, 10> kSets = {{
#ifdef EGIB_POLY1965_TABLE
#include EGIB_POLY1965_TABLE
#else
#include "geodesy/poly1965_builtin.inc"
#endif
}};

// The cells of a set that hold a coefficient in either triangle, i
// ascending and j ascending within it.
struct Cell {
  int i;
  int j;
};

std::vector<Cell> nonzero_cells(const Poly1965Set& set) {
  std::vector<Cell> cells;
  for (int i = 0; i <= set.degree; ++i) {
    for (int j = 0; j <= set.degree - i; ++j) {
      if (set.a[i][j] != 0.0 || set.b[i][j] != 0.0) cells.push_back({i, j});
    }
  }
  return cells;
}

const std::vector<Cell>& cells_of(const Poly1965Set& set) {
  static const std::array<std::vector<Cell>, 10> cells = [] {
    std::array<std::vector<Cell>, 10> c;
    for (size_t k = 0; k < kSets.size(); ++k) c[k] = nonzero_cells(kSets[k]);
    return c;
  }();
  return cells[static_cast<size_t>(&set - kSets.data())];
}

}  // namespace

const Poly1965Set* poly1965_set(int zone, int variant) {
  if (zone < 1 || zone > 5 || (variant != 1 && variant != 2)) return nullptr;
  return &kSets[static_cast<std::size_t>((zone - 1) * 2 + (variant - 1))];
}

bool poly1965_table_complete() {
  for (const Poly1965Set& s : kSets) {
    if (!s.complete) return false;
  }
  return true;
}

void poly1965_transform(const double* in_northing, const double* in_easting, double* out_northing,
                        double* out_easting, int zone, int variant) {
  const double n = *in_northing;
  const double e = *in_easting;
  const Poly1965Set* set = poly1965_set(zone, variant);
  if (set == nullptr) {
    *out_northing = n;
    *out_easting = e;
    return;
  }
  // Both normalised coordinates are formed before an output is written, so
  // the outputs may alias the inputs.
  const double u = (n - set->x0) * set->scale;
  const double v = (e - set->y0) * set->scale;
  // Terms are added one by one, i ascending and j ascending within it, with
  // powers built by repeated multiplication, each step in double precision:
  // the results agree to the last bit with any evaluation in this order.
  double north = set->out_x0;
  double east = set->out_y0;
  const int degree = set->degree;
  double pu[kPolyCells];
  double pv[kPolyCells];
  pu[0] = pv[0] = 1.0;
  for (int i = 1; i <= degree; ++i) {
    pu[i] = pu[i - 1] * u;
    pv[i] = pv[i - 1] * v;
  }
  // A cell holding 0 in both triangles adds +0 to each sum, which changes
  // nothing as long as every product of powers is finite (inf * 0 would
  // not be 0): then only the cells that hold a coefficient are visited.
  const double reach = std::fmax(1.0, std::fmax(std::fabs(u), std::fabs(v)));
  const double largest = std::pow(reach, degree);
  if (largest < 1e300) {
    for (const Cell& c : cells_of(*set)) {
      const double t = pu[c.i] * pv[c.j];
      north += t * set->a[c.i][c.j];
      east += t * set->b[c.i][c.j];
    }
  } else {
    for (int i = 0; i <= degree; ++i) {
      for (int j = 0; j <= degree - i; ++j) {
        const double t = pu[i] * pv[j];
        north += t * set->a[i][j];
        east += t * set->b[i][j];
      }
    }
  }
  *out_northing = north;
  *out_easting = east;
}

}  // namespace egib
