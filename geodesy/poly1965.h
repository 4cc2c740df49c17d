// Correction polynomials of the 1965 system: a bivariate polynomial in
// normalised coordinates (degree 16 in zones 1 to 4, 12 in zone 5), one set
// per zone and variant.  Variant 1 turns mathematical 1965 coordinates (the
// stereographic or Gauss-Krüger projection of the Krassowski position) into
// the catalogue, empirical 1965 coordinates that county registers hold;
// variant 2 is its inverse.  Each set is the identity plus a correction of
// less than 0.6 m within 0.3 normalised units of its origin (some 64 km in
// zone 5 to 95 km in zone 1); further out it is not clamped and diverges.
//
// Coordinates follow the national convention: northing first, easting
// second.  The coefficient sets are the published global corrections of the
// 1965 system (2003), built in from geodesy/poly1965_builtin.inc.
#pragma once

namespace egib {

inline constexpr int kPolyCells = 17;

struct Poly1965Set {
  int degree;
  double scale;           // metres -> normalised units, both coordinates
  double x0, y0;          // input origin (northing, easting)
  double out_x0, out_y0;  // output origin X0, Y0
  // A[i][j] multiplies u^i v^j in the output northing, B[i][j] in the
  // easting; only the cells with i + j <= degree are read.
  double a[kPolyCells][kPolyCells];
  double b[kPolyCells][kPolyCells];
};

// The set of a zone (1..5) and variant (1, 2), or nullptr.
const Poly1965Set* poly1965_set(int zone, int variant);

// Corrects one pair; the outputs may be the inputs themselves.  For a zone
// or variant without a set the pair is passed through unchanged.
void poly1965_transform(const double* in_northing, const double* in_easting, double* out_northing,
                        double* out_easting, int zone, int variant);

}  // namespace egib
