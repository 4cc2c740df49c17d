// Polynomial correction within a zone of the 1965 system: a bivariate
// polynomial in normalised coordinates (degree 16 in zones 1 to 4, 12 in
// zone 5), one set per zone and variant; variant 2 inverts variant 1.
// Coordinates follow the national convention: northing first, easting
// second.
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
  // True when every cell of the triangles holds the official coefficient;
  // false for a set that carries only part of them.
  bool complete;
};

// The set of a zone (1..5) and variant (1, 2), or nullptr.
const Poly1965Set* poly1965_set(int zone, int variant);

// True when every one of the ten built-in sets is complete.
bool poly1965_table_complete();

// Corrects one pair; the outputs may be the inputs themselves.  For a zone
// or variant without a set the pair is passed through unchanged.
void poly1965_transform(const double* in_northing, const double* in_easting, double* out_northing,
                        double* out_easting, int zone, int variant);

}  // namespace egib
