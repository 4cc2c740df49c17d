// The seven-parameter datum shift; where the figures come from is said in
// datum_shift.h.
#include "geodesy/datum_shift.h"

#include <cmath>

namespace egib {

namespace {

// Translation T, metres: Krassowski-based geocentric coordinates less T are
// the GRS80 ones before the rotation.
constexpr double kT1 = -33.4297;
constexpr double kT2 = 146.5746;
constexpr double kT3 = 76.2865;

// R (towards GRS80) and S (towards Krassowski), dimensionless: the diagonal
// is the scale change, the rest the rotations in radians.
constexpr double kR[3][3] = {
    {-8.4078048e-7, -4.08959962e-6, -2.5614575e-7},
    {4.08960007e-6, -8.4078196e-7, 1.73888389e-6},
    {2.5613864e-7, -1.73888494e-6, -8.4077363e-7},
};
constexpr double kS[3][3] = {
    {8.407644e-7, 4.08960694e-6, 2.5613907e-7},
    {-4.0896065e-6, 8.4076292e-7, -1.73888787e-6},
    {-2.5614618e-7, 1.73888682e-6, 8.4077125e-7},
};

using Shift = void (*)(double, double, double, double*, double*, double*);

// Geocentric coordinates of a position on one ellipsoid, shifted, and back
// to a position on the other by Bowring's formula in one step.
GeoPosition shift_position(const EllipsoidModel& from, const EllipsoidModel& to, Shift shift,
                           const GeoPosition& g, bool want_lat) {
  const double n = from.a / std::sqrt(1 - from.e2 * g.sin_lat * g.sin_lat);
  double x = 0, y = 0, z = 0;
  shift(n * g.cos_lat * g.cos_lon, n * g.cos_lat * g.sin_lon, n * (1 - from.e2) * g.sin_lat, &x, &y,
        &z);
  const double p = std::sqrt(x * x + y * y);
  // theta = atan(z a / (p b)): its cosine and sine without the angle.
  const double t = z * to.a / (p * to.b);
  const double cos_t = 1 / std::sqrt(1 + t * t);
  const double sin_t = t * cos_t;
  const double st3 = sin_t * sin_t * sin_t;
  const double ct3 = cos_t * cos_t * cos_t;
  const double tan_lat = (z + to.ep2 * to.b * st3) / (p - to.e2 * to.a * ct3);
  GeoPosition r;
  r.cos_lat = 1 / std::sqrt(1 + tan_lat * tan_lat);
  r.sin_lat = tan_lat * r.cos_lat;
  r.lat = want_lat ? std::atan(tan_lat) : 0.0;
  r.cos_lon = x / p;
  r.sin_lon = y / p;
  return r;
}

}  // namespace

void datum_shift_to_grs80(double x, double y, double z, double* xs, double* ys, double* zs) {
  const double d1 = x - kT1;
  const double d2 = y - kT2;
  const double d3 = z - kT3;
  *xs = d1 + kR[0][0] * d1 + kR[0][1] * d2 + kR[0][2] * d3;
  *ys = d2 + kR[1][0] * d1 + kR[1][1] * d2 + kR[1][2] * d3;
  *zs = d3 + kR[2][0] * d1 + kR[2][1] * d2 + kR[2][2] * d3;
}

void datum_shift_to_krassowski(double x, double y, double z, double* xs, double* ys, double* zs) {
  *xs = x + kS[0][0] * x + kS[0][1] * y + kS[0][2] * z + kT1;
  *ys = y + kS[1][0] * x + kS[1][1] * y + kS[1][2] * z + kT2;
  *zs = z + kS[2][0] * x + kS[2][1] * y + kS[2][2] * z + kT3;
}

GeoPosition shift_to_grs80(const GeoPosition& g, bool want_lat) {
  return shift_position(krassowski(), grs80(), datum_shift_to_grs80, g, want_lat);
}

GeoPosition shift_to_krassowski(const GeoPosition& g, bool want_lat) {
  return shift_position(grs80(), krassowski(), datum_shift_to_krassowski, g, want_lat);
}

}  // namespace egib
