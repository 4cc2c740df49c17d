// The seven-parameter datum shift between the Krassowski-based 1965 system
// and the GRS80-based 1992 and 2000 grids, on geocentric coordinates.
//
// The form is the small-angle seven-parameter (Bursa-Wolf) similarity
// transformation: a translation T and a matrix whose diagonal is the scale
// change (-0.84078 ppm towards GRS80) and whose off-diagonal elements are
// the three small rotations, one matrix for each direction.  The figures are
// the constants of the conversions between the 1965 system and the 1992 and
// 2000 grids.  Towards GRS80 the translation comes first, towards Krassowski
// last, so the two shifts are each other's inverse to well under a
// millimetre.
#pragma once

#include "geodesy/ellipsoid.h"

namespace egib {

// Geocentric coordinates on the Krassowski datum -> on GRS80.
void datum_shift_to_grs80(double x, double y, double z, double* xs, double* ys, double* zs);
// GRS80 -> Krassowski.
void datum_shift_to_krassowski(double x, double y, double z, double* xs, double* ys, double* zs);

// A position through geocentric coordinates (height 0) and the shift onto
// the other ellipsoid, back to a position there by Bowring's formula; the
// height is dropped.  The latitude itself is formed only when want_lat (its
// sine, cosine and the longitude always).
GeoPosition shift_to_grs80(const GeoPosition& on_krassowski, bool want_lat);
GeoPosition shift_to_krassowski(const GeoPosition& on_grs80, bool want_lat);

}  // namespace egib
