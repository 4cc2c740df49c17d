#include "geodesy/poly1965.h"

#include <array>
#include <cstddef>

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
  double pu = 1.0;
  for (int i = 0; i <= degree; ++i) {
    double pv = 1.0;
    for (int j = 0; j <= degree - i; ++j) {
      const double t = pu * pv;
      north += t * set->a[i][j];
      east += t * set->b[i][j];
      pv *= v;
    }
    pu *= u;
  }
  *out_northing = north;
  *out_easting = east;
}

}  // namespace egib
