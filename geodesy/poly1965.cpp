#include "geodesy/poly1965.h"

#include <algorithm>
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
// ascending and j ascending within it, the highest powers they need, and
// how far from the origin a point may lie for every product of powers of
// the whole triangle to stay finite (with a margin).
struct Cell {
  int i;
  int j;
};

struct SparseSet {
  std::vector<Cell> cells;
  int max_i = 0;
  int max_j = 0;
  double finite_reach = 0;
};

SparseSet sparse_of(const Poly1965Set& set) {
  SparseSet s;
  for (int i = 0; i <= set.degree; ++i) {
    for (int j = 0; j <= set.degree - i; ++j) {
      if (set.a[i][j] != 0.0 || set.b[i][j] != 0.0) {
        s.cells.push_back({i, j});
        s.max_i = std::max(s.max_i, i);
        s.max_j = std::max(s.max_j, j);
      }
    }
  }
  // reach^degree stays below 1e300 for every reach below this; half of it
  // leaves room for the rounding of pow.
  s.finite_reach = std::pow(1e300, 1.0 / std::max(1, set.degree)) / 2;
  return s;
}

const SparseSet& sparse(const Poly1965Set& set) {
  static const std::array<SparseSet, 10> sets = [] {
    std::array<SparseSet, 10> c;
    for (size_t k = 0; k < kSets.size(); ++k) c[k] = sparse_of(kSets[k]);
    return c;
  }();
  return sets[static_cast<size_t>(&set - kSets.data())];
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
  // A cell holding 0 in both triangles adds +0 to each sum, which changes
  // nothing as long as every product of powers is finite (inf * 0 would
  // not be 0): then only the cells that hold a coefficient are visited,
  // and only the powers they need are formed.
  const SparseSet& cells = sparse(*set);
  const double reach = std::fmax(1.0, std::fmax(std::fabs(u), std::fabs(v)));
  if (reach < cells.finite_reach) {
    for (int i = 1; i <= cells.max_i; ++i) pu[i] = pu[i - 1] * u;
    for (int j = 1; j <= cells.max_j; ++j) pv[j] = pv[j - 1] * v;
    for (const Cell& c : cells.cells) {
      const double t = pu[c.i] * pv[c.j];
      north += t * set->a[c.i][c.j];
      east += t * set->b[c.i][c.j];
    }
  } else {
    for (int i = 1; i <= degree; ++i) {
      pu[i] = pu[i - 1] * u;
      pv[i] = pv[i - 1] * v;
    }
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
