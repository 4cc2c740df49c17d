// Evaluation of the 1965-system correction polynomials.  The order of the
// terms is part of the result: the published procedure sums the terms one by
// one, i ascending and j ascending within it, with the powers of u and v
// built by repeated multiplication, each step in double precision.  Any
// evaluation in that order agrees with it to the last bit; a Horner scheme or
// a pairwise sum would not.
#include "geodesy/poly1965.h"

#include <array>
#include <cstddef>

namespace egib {

namespace {

// The ten sets, zone 1 variant 1 first, variant 2 after variant 1.
constexpr std::array<Poly1965Set, 10> kSets = {{
#include "geodesy/poly1965_builtin.inc"
}};

}  // namespace

const Poly1965Set* poly1965_set(int zone, int variant) {
  if (zone < 1 || zone > 5 || (variant != 1 && variant != 2)) return nullptr;
  return &kSets[static_cast<std::size_t>((zone - 1) * 2 + (variant - 1))];
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
  // The powers are formed once, each by one more multiplication from the
  // one before, which are the very products the row-by-row loop forms again
  // for every row: the same bits, without the repetition.
  const int degree = set->degree;
  double pu[kPolyCells];
  double pv[kPolyCells];
  pu[0] = pv[0] = 1.0;
  for (int k = 1; k <= degree; ++k) {
    pu[k] = pu[k - 1] * u;
    pv[k] = pv[k - 1] * v;
  }
  double north = set->out_x0;
  double east = set->out_y0;
  for (int i = 0; i <= degree; ++i) {
    const double* a = set->a[i];
    const double* b = set->b[i];
    for (int j = 0; j <= degree - i; ++j) {
      const double t = pu[i] * pv[j];
      north += t * a[j];
      east += t * b[j];
    }
  }
  *out_northing = north;
  *out_easting = east;
}

}  // namespace egib
