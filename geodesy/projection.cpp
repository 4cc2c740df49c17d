#include "geodesy/projection.h"

#include <array>
#include <cmath>

namespace egib {

ProjectionState& projection_state() {
  static ProjectionState state;
  return state;
}

namespace {

// Parameters of one 1965 zone.  The angles are the published nine-decimal
// radian values (not converted from degrees at run time), and R0 (the radius
// of the conformal sphere at the zone centre, sqrt(M*N) on Krassowski) and
// XC (the Gauss-Krüger northing of the centre on its own meridian) are the
// published constants.
struct Zone1965 {
  double lambda0;
  double false_northing;
  double false_easting;
  double scale;
  double sphere_radius;    // 0: zone 5 has no stereographic sphere
  double centre_northing;  // 0: likewise
  double lat_min, lat_max, lon_min, lon_max;
};

constexpr std::array<Zone1965, 5> kZones1965 = {{
    // zone 1: centre 50°37'30" N 21°05' E
    {0.367973584, 5467000, 4637000, 0.9998, 6382390.1649837, 5610467.5770417, 0.853756892,
     0.913388975, 0.314159265, 0.421787903},
    // zone 2: centre 53°00'07" N 21°30'10" E
    {0.375294271, 5806000, 4603000, 0.9998, 6384119.4273046, 5874939.874115, 0.895935683,
     0.951204442, 0.331612558, 0.41887902},
    // zone 3: centre 53°35' N 17°00'30" E
    {0.296851417, 5999000, 3501000, 0.9998, 6384536.7935655, 5939644.7701117, 0.910480093,
     0.957022207, 0.245800536, 0.34906585},
    // zone 4: centre 51°40'15" N 16°40'20" E
    {0.290985171, 5627000, 3703000, 0.9998, 6383155.1651299, 5726819.6678288, 0.868301303,
     0.930842268, 0.248709418, 0.333066999},
    // zone 5: Gauss-Krüger, central meridian 18°57'30" E
    {0.330885337, -4700000, 237000, 0.999983, 0, 0, 0.861029098, 0.895935683, 0.31997703,
     0.346156968},
}};

// Seven-parameter shift Krassowski -> GRS80 (translation, then the matrix of
// scale change and rotations) and its reverse (matrix, then translation).
constexpr double kT1 = -33.4297;
constexpr double kT2 = 146.5746;
constexpr double kT3 = 76.2865;

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

// The constants of an ellipsoid a letter names, as set_ellipsoid computes
// its axes.
EllipsoidModel model_of_letter(double a, double rf) {
  const double b = (1 - 1 / rf) * a;
  const double e2 = (2 * rf - 1) / (rf * rf);
  return derive_ellipsoid_model(a, b, e2);
}

// The classic interface names its ellipsoid through the state.  The two of
// the Polish systems are derived once; any other (set by hand) is kept for
// the last two seen, so alternating between ellipsoids costs nothing.
const EllipsoidModel& model_of_state() {
  const ProjectionState& st = projection_state();
  for (const EllipsoidModel* m : {&krassowski(), &grs80()}) {
    if (m->a == st.a && m->b == st.b && m->e2 == st.e2) return *m;
  }
  static EllipsoidModel slots[2];
  static bool valid[2] = {false, false};
  static int next = 0;
  for (int i = 0; i < 2; ++i) {
    if (valid[i] && slots[i].a == st.a && slots[i].b == st.b && slots[i].e2 == st.e2) {
      return slots[i];
    }
  }
  EllipsoidModel& slot = slots[next];
  valid[next] = true;
  next ^= 1;
  slot = derive_ellipsoid_model(st.a, st.b, st.e2);
  return slot;
}

// The axes and eccentricities of the state, for the geocentric conversions
// (which read nothing else).
EllipsoidModel axes_of_state() {
  const ProjectionState& st = projection_state();
  EllipsoidModel m;
  m.a = st.a;
  m.b = st.b;
  m.e2 = st.e2;
  m.ep2 = st.ep2;
  return m;
}

// A grid on an ellipsoid; the sphere of a stereographic zone is set apart.
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

// The false easting of a 2000-grid zone, 0 for a code of no zone.
double false_easting_2000(int code) {
  switch (code) {
    case 15:
      return 5500000;
    case 18:
      return 6500000;
    case 21:
      return 7500000;
    case 24:
      return 8500000;
    default:
      return 0;
  }
}

// The grid the classic interface describes by its arguments and state.
GridParameters grid_of(double lambda0, double false_northing, double false_easting, double scale,
                       int kind) {
  const ProjectionState& st = projection_state();
  GridParameters g =
      make_grid(model_of_state(), lambda0, false_northing, false_easting, scale, kind);
  g.sphere_radius = st.sphere_radius;
  g.centre_northing = st.centre_northing;
  return g;
}

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

}  // namespace

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

const EllipsoidModel& krassowski() {
  static const EllipsoidModel model = model_of_letter(6378245.0, 298.3);
  return model;
}

const EllipsoidModel& grs80() {
  static const EllipsoidModel model = model_of_letter(6378137.0, 298.257222101);
  return model;
}

namespace {

GridParameters make_zone_1965_grid(int zone) {
  if (zone < 1 || zone > 5) {
    GridParameters g;
    g.ellipsoid = &krassowski();
    return g;
  }
  const Zone1965& z = kZones1965[static_cast<size_t>(zone - 1)];
  GridParameters g = make_grid(krassowski(), z.lambda0, z.false_northing, z.false_easting, z.scale,
                               zone == 5 ? kGaussKruger : kStereographic);
  g.sphere_radius = z.sphere_radius;
  g.centre_northing = z.centre_northing;
  return g;
}

ZoneArea make_zone_1965_area(int zone) {
  if (zone < 1 || zone > 5) return {};
  const Zone1965& z = kZones1965[static_cast<size_t>(zone - 1)];
  return {z.lat_min,
          z.lat_max,
          z.lon_min,
          z.lon_max,
          std::cos(z.lon_min - z.lambda0),
          std::sin(z.lon_min - z.lambda0),
          std::cos(z.lon_max - z.lambda0),
          std::sin(z.lon_max - z.lambda0)};
}

}  // namespace

const GridParameters& zone_1965_grid(int zone) {
  static const std::array<GridParameters, 6> grids = [] {
    std::array<GridParameters, 6> g;
    for (int z = 0; z < 6; ++z) g[static_cast<size_t>(z)] = make_zone_1965_grid(z);
    return g;
  }();
  return grids[static_cast<size_t>(zone >= 1 && zone <= 5 ? zone : 0)];
}

const ZoneArea& zone_1965_area(int zone) {
  static const std::array<ZoneArea, 6> areas = [] {
    std::array<ZoneArea, 6> a;
    for (int z = 0; z < 6; ++z) a[static_cast<size_t>(z)] = make_zone_1965_area(z);
    return a;
  }();
  return areas[static_cast<size_t>(zone >= 1 && zone <= 5 ? zone : 0)];
}

GridParameters grid_1992_parameters() {
  return make_grid(grs80(), kLambda1992, -5300000, 500000, 0.9993, kGaussKruger);
}

GridParameters grid_2000_parameters(int code) {
  return make_grid(grs80(), code / 180.0 * kPi, 0, false_easting_2000(code), 0.999923,
                   kGaussKruger);
}

void set_ellipsoid(char letter) {
  const EllipsoidModel* m = letter == 'K' ? &krassowski() : letter == 'W' ? &grs80() : nullptr;
  if (m == nullptr) return;
  ProjectionState& st = projection_state();
  st.a = m->a;
  st.b = m->b;
  st.e2 = m->e2;
  st.ep2 = m->ep2;
}

void set_zone_1965(int zone) {
  if (zone < 1 || zone > 5) return;
  const Zone1965& z = kZones1965[static_cast<size_t>(zone - 1)];
  ProjectionState& st = projection_state();
  st.lambda0 = z.lambda0;
  st.false_northing = z.false_northing;
  st.false_easting = z.false_easting;
  st.scale = z.scale;
  if (zone != 5) {
    st.sphere_radius = z.sphere_radius;
    st.centre_northing = z.centre_northing;
  }
  st.lat_min = z.lat_min;
  st.lat_max = z.lat_max;
  st.lon_min = z.lon_min;
  st.lon_max = z.lon_max;
}

void set_zone_2000(int code) {
  ProjectionState& st = projection_state();
  st.scale = 0.999923;
  st.false_northing = 0;
  // A code without zone parameters keeps the false easting.
  if (const double false_easting = false_easting_2000(code); false_easting != 0) {
    st.false_easting = false_easting;
  }
}

void set_grid_1992() {
  ProjectionState& st = projection_state();
  st.scale = 0.9993;
  st.false_northing = -5300000;
  st.false_easting = 500000;
}

double prime_vertical_radius(const EllipsoidModel& m, double lat) {
  const double s = std::sin(lat);
  return m.a / std::sqrt(1 - m.e2 * s * s);
}

double prime_vertical_radius(double lat) {
  return prime_vertical_radius(axes_of_state(), lat);
}

int zone_2000_for_longitude(double lon) {
  const double d = lon / kPi * 180;
  const int k = 3 * static_cast<int>(d / 3);
  return d - k > 1.5 ? k + 3 : k;
}

void geodetic_to_geocentric(const EllipsoidModel& m, double lat, double lon, double h, double* x,
                            double* y, double* z) {
  const double n = prime_vertical_radius(m, lat);
  const double cos_lat = std::cos(lat);
  *x = (n + h) * cos_lat * std::cos(lon);
  *y = (n + h) * cos_lat * std::sin(lon);
  *z = (n * (1 - m.e2) + h) * std::sin(lat);
}

void geodetic_to_geocentric(double lat, double lon, double h, double* x, double* y, double* z) {
  geodetic_to_geocentric(axes_of_state(), lat, lon, h, x, y, z);
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
  // The datum shift of the converters drops the height: only the classic
  // interface asks for it.
  if (h != nullptr) *h = p / std::cos(phi) - prime_vertical_radius(m, phi);
}

void geocentric_to_geodetic(double x, double y, double z, double* lat, double* lon, double* h) {
  geocentric_to_geodetic(axes_of_state(), x, y, z, lat, lon, h);
}

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

namespace {

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

GeoPosition grid_to_position(const GridParameters& grid, double northing, double easting,
                             double* cos_dl, double* sin_dl) {
  const EllipsoidModel& s = *grid.ellipsoid;
  const double u = (northing - grid.false_northing) / grid.scale;
  const double v = (easting - grid.false_easting) / grid.scale;
  double xi = u;
  double eta = v;
  if (grid.kind == kStereographic) {
    // Back from the sphere onto the Gauss-Krüger plane: the sum of the two
    // arctangents and the difference of the two logarithms, each in one.
    const double r0 = grid.sphere_radius;
    const double p = u / (2 * r0);
    const double q = v / (2 * r0);
    xi = r0 * std::atan2(2 * p, 1 - q * q - p * p) + grid.centre_northing;
    eta = 0.5 * r0 * std::log((p * p + (1 + q) * (1 + q)) / (p * p + (1 - q) * (1 - q)));
  }
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
  if (grid.kind == kStereographic) {
    const double r0 = grid.sphere_radius;
    const double u = (x - grid.centre_northing) / r0;
    const double v = y / r0;
    const double ev = std::exp(v);
    const double d = std::cos(u) + (ev + 1 / ev) / 2;
    x = 2 * r0 * std::sin(u) / d;
    y = 2 * r0 * ((ev - 1 / ev) / 2) / d;
  }
  *northing = grid.scale * x + grid.false_northing;
  *easting = grid.scale * y + grid.false_easting;
}

namespace {

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

GeoPosition shift_to_grs80(const GeoPosition& g, bool want_lat) {
  return shift_position(krassowski(), grs80(), datum_shift_to_grs80, g, want_lat);
}

GeoPosition shift_to_krassowski(const GeoPosition& g, bool want_lat) {
  return shift_position(grs80(), krassowski(), datum_shift_to_krassowski, g, want_lat);
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

void grid_forward(double lat, double lon, double lambda0, double false_northing,
                  double false_easting, double scale, int kind, double* northing, double* easting) {
  grid_forward(grid_of(lambda0, false_northing, false_easting, scale, kind), lat, lon, northing,
               easting);
}

void grid_inverse(double northing, double easting, double lambda0, double false_northing,
                  double false_easting, double scale, int kind, double* lat, double* lon) {
  grid_inverse(grid_of(lambda0, false_northing, false_easting, scale, kind), northing, easting, lat,
               lon);
}

}  // namespace egib
