// Ellipsoid constants, the Krüger series coefficients and the geodetic <->
// geocentric conversions; sources in ellipsoid.h.
#include "geodesy/ellipsoid.h"

#include <cmath>

namespace egib {

EllipsoidModel derive_ellipsoid_model(double a, double b, double e2) {
  EllipsoidModel s;
  s.a = a;
  s.b = b;
  s.e2 = e2;
  s.ep2 = e2 / (1 - e2);
  s.e = std::sqrt(e2);
  const double n = (a - b) / (a + b);
  const double n2 = n * n;
  const double n3 = n2 * n;
  const double n4 = n3 * n;
  const double n6 = n4 * n2;
  const double n8 = n4 * n4;
  s.big_a = a / (1 + n) * (1 + n2 / 4 + n4 / 64 + n6 / 256 + 25 * n8 / 16384);

  s.alpha[0] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180;
  s.alpha[1] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440;
  s.alpha[2] = 61 * n3 / 240 - 103 * n4 / 140;
  s.alpha[3] = 49561 * n4 / 161280;

  s.beta[0] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360;
  s.beta[1] = n2 / 48 + n3 / 15 - 437 * n4 / 1440;
  s.beta[2] = 17 * n3 / 480 - 37 * n4 / 840;
  s.beta[3] = 4397 * n4 / 161280;

  const double n5 = n4 * n;
  s.delta[0] = 2 * n - 2 * n2 / 3 - 2 * n3 + 116 * n4 / 45 + 26 * n5 / 45 - 2854 * n6 / 675;
  s.delta[1] = 7 * n2 / 3 - 8 * n3 / 5 - 227 * n4 / 45 + 2704 * n5 / 315 + 2323 * n6 / 945;
  s.delta[2] = 56 * n3 / 15 - 136 * n4 / 35 - 1262 * n5 / 105 + 73814 * n6 / 2835;
  s.delta[3] = 4279 * n4 / 630 - 332 * n5 / 35 - 399572 * n6 / 14175;
  s.delta[4] = 4174 * n5 / 315 - 144838 * n6 / 6237;
  s.delta[5] = 601676 * n6 / 22275;
  return s;
}

EllipsoidModel ellipsoid_of_flattening(double a, double rf) {
  const double b = (1 - 1 / rf) * a;
  const double e2 = (2 * rf - 1) / (rf * rf);
  return derive_ellipsoid_model(a, b, e2);
}

const EllipsoidModel& krassowski() {
  static const EllipsoidModel model = ellipsoid_of_flattening(6378245.0, 298.3);
  return model;
}

const EllipsoidModel& grs80() {
  static const EllipsoidModel model = ellipsoid_of_flattening(6378137.0, 298.257222101);
  return model;
}

double prime_vertical_radius(const EllipsoidModel& m, double lat) {
  const double s = std::sin(lat);
  return m.a / std::sqrt(1 - m.e2 * s * s);
}

void geodetic_to_geocentric(const EllipsoidModel& m, double lat, double lon, double h, double* x,
                            double* y, double* z) {
  const double n = prime_vertical_radius(m, lat);
  const double cos_lat = std::cos(lat);
  *x = (n + h) * cos_lat * std::cos(lon);
  *y = (n + h) * cos_lat * std::sin(lon);
  *z = (n * (1 - m.e2) + h) * std::sin(lat);
}

void geocentric_to_geodetic(const EllipsoidModel& m, double x, double y, double z, double* lat,
                            double* lon, double* h) {
  const double p = std::sqrt(x * x + y * y);
  const double theta = std::atan(z * m.a / (p * m.b));
  const double sin_t = std::sin(theta);
  const double cos_t = std::cos(theta);
  const double st3 = sin_t * sin_t * sin_t;
  const double ct3 = cos_t * cos_t * cos_t;
  const double phi = std::atan((z + m.ep2 * m.b * st3) / (p - m.e2 * m.a * ct3));
  *lat = phi;
  *lon = std::atan(y / x);
  if (h != nullptr) *h = p / std::cos(phi) - prime_vertical_radius(m, phi);
}

}  // namespace egib
