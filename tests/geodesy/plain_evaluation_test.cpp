// The projection kernels use faster but equivalent evaluations (multiple
// angle recurrences, sinh/cosh from one exponential, constants derived
// once).  Here they are held against the plain evaluation of the Krüger
// series, term by term, over every zone: within a micrometre.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geodesy/coordinate_systems.h"
#include "geodesy/gauss_kruger.h"

namespace egib {
namespace {

struct Plain {
  double a, b, e2, n, big_a;
  double alpha[4], beta[4], delta[6];
};

// The constants from the axes alone, term by term with pow.
Plain plain_constants(const EllipsoidModel& el) {
  Plain p{};
  p.a = el.a;
  p.b = el.b;
  p.e2 = el.e2;
  const double n = (el.a - el.b) / (el.a + el.b);
  p.n = n;
  p.big_a = el.a / (1 + n) *
            (1 + std::pow(n, 2) / 4 + std::pow(n, 4) / 64 + std::pow(n, 6) / 256 +
             25 * std::pow(n, 8) / 16384);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n;
  const double alpha[4] = {n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180,
                           13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440,
                           61 * n3 / 240 - 103 * n4 / 140, 49561 * n4 / 161280};
  const double beta[4] = {n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360,
                          n2 / 48 + n3 / 15 - 437 * n4 / 1440, 17 * n3 / 480 - 37 * n4 / 840,
                          4397 * n4 / 161280};
  // The conformal latitude back to the geodetic one to the sixth order.
  const double n5 = std::pow(n, 5), n6 = std::pow(n, 6);
  const double delta[6] = {
      2 * n - 2 * n2 / 3 - 2 * n3 + 116 * n4 / 45 + 26 * n5 / 45 - 2854 * n6 / 675,
      7 * n2 / 3 - 8 * n3 / 5 - 227 * n4 / 45 + 2704 * n5 / 315 + 2323 * n6 / 945,
      56 * n3 / 15 - 136 * n4 / 35 - 1262 * n5 / 105 + 73814 * n6 / 2835,
      4279 * n4 / 630 - 332 * n5 / 35 - 399572 * n6 / 14175,
      4174 * n5 / 315 - 144838 * n6 / 6237,
      601676 * n6 / 22275};
  for (int j = 0; j < 4; ++j) {
    p.alpha[j] = alpha[j];
    p.beta[j] = beta[j];
  }
  for (int j = 0; j < 6; ++j) p.delta[j] = delta[j];
  return p;
}

void plain_forward(const GridParameters& g, double lat, double lon, double* northing,
                   double* easting) {
  const Plain c = plain_constants(*g.ellipsoid);
  const double lambda0 = g.lambda0, fn = g.false_northing, fe = g.false_easting, k = g.scale;
  const double e = std::sqrt(c.e2);
  const double t = std::atan(std::tan(kPi / 4 + lat / 2) *
                             std::pow((1 - e * std::sin(lat)) / (1 + e * std::sin(lat)), e / 2));
  const double chi = 2 * (t - kPi / 4);
  const double dl = lon - lambda0;
  const double xi = std::atan(std::tan(chi) / std::cos(dl));
  const double eta = std::atanh(std::cos(chi) * std::sin(dl));
  double x = c.big_a * xi, y = c.big_a * eta;
  for (int j = 1; j <= 4; ++j) {
    x += c.big_a * c.alpha[j - 1] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    y += c.big_a * c.alpha[j - 1] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  if (g.kind == kStereographic) {
    const double r0 = g.sphere.sphere_radius;
    const double u = (x - g.sphere.centre_northing) / r0, v = y / r0;
    const double d = std::cos(u) + std::cosh(v);
    x = 2 * r0 * std::sin(u) / d;
    y = 2 * r0 * std::sinh(v) / d;
  }
  *northing = k * x + fn;
  *easting = k * y + fe;
}

void plain_inverse(const GridParameters& grid, double northing, double easting, double* lat,
                   double* lon) {
  const Plain c = plain_constants(*grid.ellipsoid);
  const double lambda0 = grid.lambda0;
  double xi = (northing - grid.false_northing) / grid.scale,
         eta = (easting - grid.false_easting) / grid.scale;
  if (grid.kind == kStereographic) {
    const double r0 = grid.sphere.sphere_radius;
    const double p = xi / (2 * r0), q = eta / (2 * r0);
    xi = r0 * (std::atan(p / (1 - q)) + std::atan(p / (1 + q))) + grid.sphere.centre_northing;
    eta = 0.5 * r0 * (std::log(p * p + (1 + q) * (1 + q)) - std::log(p * p + (1 - q) * (1 - q)));
  }
  double xi1 = xi, eta1 = eta;
  for (int j = 1; j <= 4; ++j) {
    xi1 -=
        c.big_a * c.beta[j - 1] * std::sin(2 * j * xi / c.big_a) * std::cosh(2 * j * eta / c.big_a);
    eta1 -=
        c.big_a * c.beta[j - 1] * std::cos(2 * j * xi / c.big_a) * std::sinh(2 * j * eta / c.big_a);
  }
  xi1 /= c.big_a;
  eta1 /= c.big_a;
  const double g = 2 * std::atan(std::exp(eta1)) - kPi / 2;
  const double chi = std::asin(std::sin(xi1) * std::cos(g));
  double phi = chi;
  for (int j = 1; j <= 6; ++j) phi += c.delta[j - 1] * std::sin(2 * j * chi);
  *lat = phi;
  *lon = lambda0 + std::atan(std::tan(g) / std::cos(xi1));
}

// Every grid of the table, on its own ellipsoid.
TEST(PlainEvaluation, KernelsStayWithinAMicrometre) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> lat_d(48.8 * kPi / 180, 55.0 * kPi / 180);
  std::uniform_real_distribution<double> dl_d(-3.5 * kPi / 180, 3.5 * kPi / 180);
  double worst_plane = 0, worst_angle = 0;
  for (const CoordinateSystem& s : coordinate_systems()) {
    const GridParameters& g = s.grid;
    for (int i = 0; i < 5000; ++i) {
      const double lat = lat_d(rng), lon = g.lambda0 + dl_d(rng);
      double n1 = 0, e1 = 0, n2 = 0, e2 = 0;
      grid_forward(g, lat, lon, &n1, &e1);
      plain_forward(g, lat, lon, &n2, &e2);
      worst_plane = std::fmax(worst_plane, std::fmax(std::fabs(n1 - n2), std::fabs(e1 - e2)));
      double la1 = 0, lo1 = 0, la2 = 0, lo2 = 0;
      grid_inverse(g, n1, e1, &la1, &lo1);
      plain_inverse(g, n1, e1, &la2, &lo2);
      worst_angle = std::fmax(worst_angle, std::fmax(std::fabs(la1 - la2), std::fabs(lo1 - lo2)));
    }
  }
  EXPECT_LT(worst_plane, 1e-6);
  // 1 µm on the ground is about 1.6e-13 rad.
  EXPECT_LT(worst_angle, 1.5e-13);
  std::printf("worst difference to the plain evaluation: %.3g m, %.3g rad\n", worst_plane,
              worst_angle);
}

}  // namespace
}  // namespace egib
