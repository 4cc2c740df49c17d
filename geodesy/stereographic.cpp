// The stereographic mapping of the 1965 zones 1 to 4; the formulas and
// their source are given in stereographic.h.
#include "geodesy/stereographic.h"

#include <cmath>

namespace egib {

void stereographic_forward(const StereographicSphere& sphere, double x, double y, double* u,
                           double* v) {
  const double r0 = sphere.sphere_radius;
  const double su = (x - sphere.centre_northing) / r0;
  const double sv = y / r0;
  // cosh and sinh from one exponential.
  const double ev = std::exp(sv);
  const double d = std::cos(su) + (ev + 1 / ev) / 2;
  *u = 2 * r0 * std::sin(su) / d;
  *v = 2 * r0 * ((ev - 1 / ev) / 2) / d;
}

void stereographic_inverse(const StereographicSphere& sphere, double u, double v, double* x,
                           double* y) {
  const double r0 = sphere.sphere_radius;
  const double p = u / (2 * r0);
  const double q = v / (2 * r0);
  // atan(p/(1-q)) + atan(p/(1+q)) = atan2(2p, 1 - q^2 - p^2), and the
  // difference of the logarithms is the logarithm of the quotient.
  *x = r0 * std::atan2(2 * p, 1 - q * q - p * p) + sphere.centre_northing;
  *y = 0.5 * r0 * std::log((p * p + (1 + q) * (1 + q)) / (p * p + (1 - q) * (1 - q)));
}

}  // namespace egib
