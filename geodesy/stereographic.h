// The stereographic mapping that zones 1 to 4 of the 1965 system put on top
// of the Gauss-Krüger plane: the Gauss-Krüger coordinates about the zone
// centre are taken onto a sphere of radius R0 (the geometric mean radius
// sqrt(M N) of Krassowski at the centre's latitude) and projected
// stereographically from it, about the centre's Gauss-Krüger northing XC.
//
// The zones are a conformal double projection (ellipsoid -> Gauss-Krüger
// plane -> sphere -> stereographic plane, after Gauss); the two formulas in
// their closed form:
//   forward  u = (X - XC)/R0, v = Y/R0, D = cos u + cosh v,
//            X' = 2 R0 sin u / D, Y' = 2 R0 sinh v / D;
//   inverse  p = X'/(2 R0), q = Y'/(2 R0),
//            X = R0 (atan(p/(1-q)) + atan(p/(1+q))) + XC,
//            Y = R0/2 (ln(p^2 + (1+q)^2) - ln(p^2 + (1-q)^2)),
// the two arctangents summed in one atan2 and the two logarithms in one.
#pragma once

namespace egib {

struct StereographicSphere {
  double sphere_radius;    // R0, metres
  double centre_northing;  // XC, metres, on the zone's own meridian
};

// Gauss-Krüger (northing x, easting y, unscaled) -> stereographic plane.
void stereographic_forward(const StereographicSphere& sphere, double x, double y, double* u,
                           double* v);
// Stereographic plane (unscaled, no false origin) -> Gauss-Krüger.
void stereographic_inverse(const StereographicSphere& sphere, double u, double v, double* x,
                           double* y);

}  // namespace egib
