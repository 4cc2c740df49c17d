// The Gauss-Krüger projection and the stereographic zones on top of it;
// the sources are named in gauss_kruger.h.
#include "geodesy/gauss_kruger.h"

#include <cmath>

namespace egib {

namespace {

// The sums  sum_j c[j] * sin(2j*p) * cosh(2j*q)  and
//           sum_j c[j] * cos(2j*p) * sinh(2j*q),  j = 1..4,
// accumulated in order of j.  The multiple angles come from the angle
// addition formulas, so each sum costs one sine/cosine and one sinh/cosh
// pair instead of sixteen transcendental calls.
struct KrugerSums {
  double sin_cosh = 0;
  double cos_sinh = 0;
};

KrugerSums kruger_sums(const double (&c)[4], double p, double q) {
  const double s1 = std::sin(2 * p);
  const double c1 = std::cos(2 * p);
  // sinh and cosh from one exponential; |2q| stays below about 0.2 for any
  // point of a grid zone, where this loses nothing that matters at 1e-12 m.
  const double ex = std::exp(2 * q);
  const double inv = 1 / ex;
  const double sh1 = (ex - inv) / 2;
  const double ch1 = (ex + inv) / 2;
  double s = s1, co = c1, sh = sh1, ch = ch1;
  KrugerSums sums;
  for (int j = 0; j < 4; ++j) {
    sums.sin_cosh += c[j] * s * ch;
    sums.cos_sinh += c[j] * co * sh;
    const double s_next = s * c1 + co * s1;
    const double c_next = co * c1 - s * s1;
    const double sh_next = sh * ch1 + ch * sh1;
    const double ch_next = ch * ch1 + sh * sh1;
    s = s_next;
    co = c_next;
    sh = sh_next;
    ch = ch_next;
  }
  return sums;
}

// A point on the conformal sphere in transverse coordinates (xi1, eta1),
// by the sines and hyperbolic functions the kernels use.
struct SphereTransverse {
  double sin_xi, cos_xi, sinh_eta, cosh_eta;
};

// From the Gauss-Krüger plane (northing xi, easting eta, unscaled) onto the
// conformal sphere through the Krüger series.
SphereTransverse onto_sphere(const EllipsoidModel& s, double xi, double eta) {
  const double big_a = s.big_a;
  const KrugerSums sums = kruger_sums(s.beta, xi / big_a, eta / big_a);
  const double xi1 = (xi - big_a * sums.sin_cosh) / big_a;
  const double eta1 = (eta - big_a * sums.cos_sinh) / big_a;
  const double ex = std::exp(eta1);
  return {std::sin(xi1), std::cos(xi1), (ex - 1 / ex) / 2, (ex + 1 / ex) / 2};
}

// From the transverse coordinates on the conformal sphere onto the
// Gauss-Krüger plane (northing x, easting y, unscaled).
void onto_plane(const EllipsoidModel& s, double xi, double eta, double* x, double* y) {
  const KrugerSums sums = kruger_sums(s.alpha, xi, eta);
  *x = s.big_a * xi + s.big_a * sums.sin_cosh;
  *y = s.big_a * eta + s.big_a * sums.cos_sinh;
}

}  // namespace

GridParameters make_grid(const EllipsoidModel& ellipsoid, double lambda0, double false_northing,
                         double false_easting, double scale, int kind) {
  GridParameters g;
  g.ellipsoid = &ellipsoid;
  g.lambda0 = lambda0;
  g.cos_lambda0 = std::cos(lambda0);
  g.sin_lambda0 = std::sin(lambda0);
  g.false_northing = false_northing;
  g.false_easting = false_easting;
  g.scale = scale;
  g.kind = kind;
  return g;
}

void grid_forward(const GridParameters& grid, double lat, double lon, double* northing,
                  double* easting) {
  position_to_grid(grid, {lat, std::sin(lat), std::cos(lat), std::cos(lon), std::sin(lon)},
                   northing, easting);
}

void grid_inverse(const GridParameters& grid, double northing, double easting, double* lat,
                  double* lon) {
  double cos_dl = 1, sin_dl = 0;
  *lat = grid_to_position(grid, northing, easting, &cos_dl, &sin_dl).lat;
  *lon = grid.lambda0 + std::atan2(sin_dl, cos_dl);
}

GeoPosition grid_to_position(const GridParameters& grid, double northing, double easting,
                             double* cos_dl, double* sin_dl) {
  const EllipsoidModel& s = *grid.ellipsoid;
  const double u = (northing - grid.false_northing) / grid.scale;
  const double v = (easting - grid.false_easting) / grid.scale;
  double xi = u;
  double eta = v;
  // Back from the sphere onto the Gauss-Krüger plane.
  if (grid.kind == kStereographic) stereographic_inverse(grid.sphere, u, v, &xi, &eta);
  const auto [sin_xi, cos_xi, sinh_eta, cosh_eta] = onto_sphere(s, xi, eta);

  // The conformal latitude chi and the longitude difference dl from the
  // transverse coordinates: sin(chi) = sin(xi1)/cosh(eta1),
  // cos(chi) = r/cosh(eta1) and (cos(dl), sin(dl)) = (cos(xi1), sinh(eta1))/r
  // with r = hypot(cos(xi1), sinh(eta1)).
  const double r = std::sqrt(cos_xi * cos_xi + sinh_eta * sinh_eta);
  const double chi = std::atan2(sin_xi, r);
  // The geodetic latitude: chi + sum of delta_j sin(2j chi), the multiple
  // angles by recurrence from sin(2 chi) and cos(2 chi).
  const double s1 = 2 * sin_xi * r / (cosh_eta * cosh_eta);
  const double c1 = (r * r - sin_xi * sin_xi) / (cosh_eta * cosh_eta);
  double sn = s1, cn = c1;
  double phi = chi;
  for (int j = 0; j < 6; ++j) {
    phi += s.delta[j] * sn;
    const double s_next = sn * c1 + cn * s1;
    cn = cn * c1 - sn * s1;
    sn = s_next;
  }
  *cos_dl = cos_xi / r;
  *sin_dl = sinh_eta / r;
  GeoPosition g;
  g.lat = phi;
  g.sin_lat = std::sin(phi);
  g.cos_lat = std::cos(phi);
  // The longitude: the meridian turned by dl.
  g.cos_lon = grid.cos_lambda0 * *cos_dl - grid.sin_lambda0 * *sin_dl;
  g.sin_lon = grid.sin_lambda0 * *cos_dl + grid.cos_lambda0 * *sin_dl;
  return g;
}

void position_to_grid(const GridParameters& grid, const GeoPosition& g, double* northing,
                      double* easting) {
  const EllipsoidModel& s = *grid.ellipsoid;
  // The tangent of the conformal latitude (Karney 2011, eqs 7 and 8):
  // tau' = tau sqrt(1 + sigma^2) - sigma sqrt(1 + tau^2),
  // sigma = sinh(e atanh(e sin(lat))).
  const double tau = g.sin_lat / g.cos_lat;
  const double es = s.e * g.sin_lat;
  const double ez = std::exp(0.5 * s.e * std::log((1 + es) / (1 - es)));
  const double sigma = (ez - 1 / ez) / 2;
  const double tau1 = tau * std::sqrt(1 + sigma * sigma) - sigma / g.cos_lat;
  // The longitude from the grid's meridian, then the transverse coordinates
  // on the sphere: xi = atan2(tau', cos(dl)),
  // eta = asinh(sin(dl) / hypot(tau', cos(dl))).
  const double cos_dl = g.cos_lon * grid.cos_lambda0 + g.sin_lon * grid.sin_lambda0;
  const double sin_dl = g.sin_lon * grid.cos_lambda0 - g.cos_lon * grid.sin_lambda0;
  const double xi = std::atan2(tau1, cos_dl);
  const double eta = std::asinh(sin_dl / std::sqrt(tau1 * tau1 + cos_dl * cos_dl));

  double x = 0, y = 0;
  onto_plane(s, xi, eta, &x, &y);
  if (grid.kind == kStereographic) stereographic_forward(grid.sphere, x, y, &x, &y);
  *northing = grid.scale * x + grid.false_northing;
  *easting = grid.scale * y + grid.false_easting;
}

void gauss_kruger_between(const GridParameters& from, const GridParameters& to, double cos_shift,
                          double sin_shift, double northing, double easting, double* out_northing,
                          double* out_easting) {
  const EllipsoidModel& s = *from.ellipsoid;
  // Out of the first grid onto the conformal sphere.
  const SphereTransverse t = onto_sphere(s, (northing - from.false_northing) / from.scale,
                                         (easting - from.false_easting) / from.scale);

  // The same point in the transverse coordinates of the second meridian:
  // with sin(chi) = sin(xi1)/cosh(eta1) and tan(dl) = sinh(eta1)/cos(xi1),
  // a turn of the longitude by the meridians' difference gives
  //   xi2 = atan2(sin(xi1), cos(xi1) cos(d) - sinh(eta1) sin(d))
  //   eta2 = atanh((sinh(eta1) cos(d) + cos(xi1) sin(d)) / cosh(eta1)).
  const double xi2 = std::atan2(t.sin_xi, t.cos_xi * cos_shift - t.sinh_eta * sin_shift);
  const double eta2 = std::atanh((t.sinh_eta * cos_shift + t.cos_xi * sin_shift) / t.cosh_eta);

  // Onto the second grid, as grid_forward does it.
  double x = 0, y = 0;
  onto_plane(s, xi2, eta2, &x, &y);
  *out_northing = to.scale * x + to.false_northing;
  *out_easting = to.scale * y + to.false_easting;
}

}  // namespace egib
