// Independent check of the transforms the program runs (every route
// between two grids, without the 1965 correction) against PROJ.
//
// For random positions over each zone a reference result is built from
// PROJ's exact transverse Mercator (Poder/Engsager) and PROJ's geocentric
// conversion, with the seven-parameter datum shift and the stereographic
// mapping of the 1965 zones 1 to 4 written out here in their own form
// (complex tangent of the Gauss-Krüger plane).  The transforms must agree
// with the reference to a micrometre.
#include <gtest/gtest.h>
#include <proj.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/transform.h"
#include "geodesy/utm.h"

namespace egib {
namespace {

constexpr double kRad = 3.141592653589793 / 180;

// A point through the transform a run from system `in` to system `out`
// builds (variant 0: no 1965 correction).
GridPoint run_transform(int in, int out, const GridPoint& p) {
  const CoordinateTransform transform(in, out, 0);
  GridPoint r = p;
  AreaWarnings warnings;
  transform.convert(r.x, r.y, warnings);
  return r;
}

struct ContextDeleter {
  void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

PJ_CONTEXT* context() {
  static std::unique_ptr<PJ_CONTEXT, ContextDeleter> ctx(proj_context_create());
  return ctx.get();
}

PjPtr make(const std::string& definition) {
  PjPtr p(proj_create(context(), definition.c_str()));
  if (!p) ADD_FAILURE() << "PROJ rejects " << definition;
  return p;
}

std::string tmerc(const char* ellps, double lon0_rad, double k, double x0, double y0) {
  char text[256];
  std::snprintf(text, sizeof text,
                "+proj=tmerc +algo=poder_engsager +ellps=%s +lon_0=%.15g "
                "+k=%.15g +x_0=%.15g +y_0=%.15g +units=m",
                ellps, lon0_rad / kRad, k, x0, y0);
  return text;
}

// Geodetic position (radians) <-> plane (easting, northing) via PROJ.
struct Plane {
  PjPtr pj;
  void forward(double lat, double lon, double* e, double* n) const {
    PJ_COORD c = proj_coord(lon, lat, 0, 0);
    c = proj_trans(pj.get(), PJ_FWD, c);
    *e = c.xy.x;
    *n = c.xy.y;
  }
};

// A 1965 zone: Gauss-Krüger (zone 5) or Gauss-Krüger followed by the
// stereographic mapping about the zone centre (zones 1 to 4).
struct Zone1965 {
  double lambda0, fn, fe, k, r0, xc;
  double lat_min, lat_max, lon_min, lon_max;
};

const Zone1965 kZones[5] = {
    {0.367973584, 5467000, 4637000, 0.9998, 6382390.1649837, 5610467.5770417, 0.853756892,
     0.913388975, 0.314159265, 0.421787903},
    {0.375294271, 5806000, 4603000, 0.9998, 6384119.4273046, 5874939.874115, 0.895935683,
     0.951204442, 0.331612558, 0.41887902},
    {0.296851417, 5999000, 3501000, 0.9998, 6384536.7935655, 5939644.7701117, 0.910480093,
     0.957022207, 0.245800536, 0.34906585},
    {0.290985171, 5627000, 3703000, 0.9998, 6383155.1651299, 5726819.6678288, 0.868301303,
     0.930842268, 0.248709418, 0.333066999},
    {0.330885337, -4700000, 237000, 0.999983, 0, 0, 0.861029098, 0.895935683, 0.31997703,
     0.346156968},
};

struct Reference {
  PjPtr cart_krass = make("+proj=cart +ellps=krass");
  PjPtr cart_grs80 = make("+proj=cart +ellps=GRS80");

  // Helmert-type shift Krassowski -> GRS80: translate, then scale/rotate.
  static void shift_to_grs80(double* x, double* y, double* z) {
    static constexpr double t[3] = {-33.4297, 146.5746, 76.2865};
    static constexpr double r[3][3] = {{-8.4078048e-7, -4.08959962e-6, -2.5614575e-7},
                                       {4.08960007e-6, -8.4078196e-7, 1.73888389e-6},
                                       {2.5613864e-7, -1.73888494e-6, -8.4077363e-7}};
    const double d[3] = {*x - t[0], *y - t[1], *z - t[2]};
    double out[3];
    for (int i = 0; i < 3; ++i) {
      out[i] = d[i];
      for (int j = 0; j < 3; ++j) out[i] += r[i][j] * d[j];
    }
    *x = out[0];
    *y = out[1];
    *z = out[2];
  }

  // Krassowski geodetic -> GRS80 geodetic (radians), exact geocentric maths.
  void to_grs80(double* lat, double* lon) const {
    PJ_COORD c = proj_coord(*lon, *lat, 0, 0);
    c = proj_trans(cart_krass.get(), PJ_FWD, c);
    shift_to_grs80(&c.xyz.x, &c.xyz.y, &c.xyz.z);
    c = proj_trans(cart_grs80.get(), PJ_INV, c);
    *lon = c.lpz.lam;
    *lat = c.lpz.phi;
  }
  // GRS80 geodetic -> Krassowski geodetic: the exact inverse of the shift
  // above (solved by fixed-point iteration), at height 0 on GRS80.
  void to_krassowski(double* lat, double* lon) const {
    PJ_COORD c = proj_coord(*lon, *lat, 0, 0);
    c = proj_trans(cart_grs80.get(), PJ_FWD, c);
    const double target[3] = {c.xyz.x, c.xyz.y, c.xyz.z};
    double p[3] = {target[0], target[1], target[2]};
    for (int i = 0; i < 6; ++i) {
      double q[3] = {p[0], p[1], p[2]};
      shift_to_grs80(&q[0], &q[1], &q[2]);
      for (int k = 0; k < 3; ++k) p[k] -= q[k] - target[k];
    }
    c = proj_coord(p[0], p[1], p[2], 0);
    c = proj_trans(cart_krass.get(), PJ_INV, c);
    *lon = c.lpz.lam;
    *lat = c.lpz.phi;
  }
};

// Krassowski position -> 1965 grid (easting, northing).
struct Grid1965 {
  Zone1965 z;
  Plane gk;
  explicit Grid1965(int zone) : z(kZones[zone - 1]) {
    gk.pj = make(zone == 5 ? tmerc("krass", z.lambda0, z.k, z.fe, z.fn)
                           : tmerc("krass", z.lambda0, 1, 0, 0));
    stereographic = zone != 5;
  }
  bool stereographic;
  void forward(double lat, double lon, double* e, double* n) const {
    gk.forward(lat, lon, e, n);
    if (!stereographic) return;
    // Stereographic image of the Gauss-Krüger plane on the sphere of radius
    // R0 touching at the zone centre: 2 R0 tan(w / 2), w in units of R0.
    const std::complex<double> w((*n - z.xc) / z.r0, *e / z.r0);
    const std::complex<double> s = 2.0 * z.r0 * std::tan(w / 2.0);
    *n = z.k * s.real() + z.fn;
    *e = z.k * s.imag() + z.fe;
  }
};

Plane grid_2000(int code) {
  return {make(tmerc("GRS80", code * kRad, 0.999923, 500000.0 + 1e6 * (code / 3), 0))};
}
Plane grid_1992() {
  return {make(tmerc("GRS80", 19 * kRad, 0.9993, 500000, -5300000))};
}

struct Worst {
  double metres = 0;
  double lat = 0, lon = 0;
};

void report(const std::string& name, const Worst& w) {
  std::printf("worst difference %-28s %.6f mm (at %.4f N %.4f E)\n", name.c_str(), w.metres * 1000,
              w.lat / kRad, w.lon / kRad);
  testing::Test::RecordProperty(name, std::to_string(w.metres * 1000));
}

constexpr int kPoints = 3000;
// Every converter between the national grids within a micrometre of PROJ's
// exact transverse Mercator with the same datum shift; UTM, of the classic
// sixth-order series, within a millimetre.
constexpr double kTolerance = 1e-6;  // metres
constexpr double kUtmTolerance = 0.001;

// Positions on the source ellipsoid spread uniformly over a box.
template <typename Check>
Worst sweep(double lat_min, double lat_max, double lon_min, double lon_max, unsigned seed,
            Check check) {
  // Kept a little inside the box, so that the datum shift does not carry a
  // point over a zone bound and set off the area warning.
  constexpr double kMargin = 1e-4;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> la(lat_min + kMargin, lat_max - kMargin);
  std::uniform_real_distribution<double> lo(lon_min + kMargin, lon_max - kMargin);
  Worst worst;
  for (int i = 0; i < kPoints; ++i) {
    const double lat = la(rng), lon = lo(rng);
    const double d = check(lat, lon);
    if (!(d <= worst.metres)) worst = {d, lat, lon};
  }
  return worst;
}

double distance(const GridPoint& a, double e, double n) {
  return std::hypot(a.x - e, a.y - n);
}

// The 2000-grid zones whose 3-degree band meets a longitude range, and the
// part of the range inside the band (plus a margin of 0.1 degree).
struct Band {
  int code;
  double lon_min, lon_max;
};
std::vector<Band> bands_over(double lon_min, double lon_max) {
  std::vector<Band> out;
  for (const int code : {15, 18, 21, 24}) {
    const double lo = std::max(lon_min, (code - 1.6) * kRad);
    const double hi = std::min(lon_max, (code + 1.6) * kRad);
    if (lo < hi) out.push_back({code, lo, hi});
  }
  return out;
}

class ProjCrossCheck : public testing::Test {
 protected:
  Reference ref;
};

TEST_F(ProjCrossCheck, Zone1965ToGrid2000AndBack) {
  Worst worst_to, worst_back;
  for (int zone = 1; zone <= 5; ++zone) {
    const Grid1965 g65(zone);
    const Zone1965& z = kZones[zone - 1];
    for (const Band& band : bands_over(z.lon_min, z.lon_max)) {
      const Plane g2000 = grid_2000(band.code);
      auto to = [&](double lat, double lon) {
        GridPoint src{};
        g65.forward(lat, lon, &src.x, &src.y);
        double glat = lat, glon = lon, e = 0, n = 0;
        ref.to_grs80(&glat, &glon);
        g2000.forward(glat, glon, &e, &n);
        GridPoint out{};
        out = run_transform(zone, band.code, src);
        return distance(out, e, n);
      };
      auto back = [&](double lat, double lon) {
        // lat, lon are GRS80 here.
        GridPoint src{};
        g2000.forward(lat, lon, &src.x, &src.y);
        double klat = lat, klon = lon, e = 0, n = 0;
        ref.to_krassowski(&klat, &klon);
        g65.forward(klat, klon, &e, &n);
        GridPoint out{};
        out = run_transform(band.code, zone, src);
        return distance(out, e, n);
      };
      const unsigned seed = static_cast<unsigned>(zone * 100 + band.code);
      const Worst w1 = sweep(z.lat_min, z.lat_max, band.lon_min, band.lon_max, seed, to);
      const Worst w2 = sweep(z.lat_min, z.lat_max, band.lon_min, band.lon_max, seed + 1, back);
      EXPECT_LT(w1.metres, kTolerance) << "zone " << zone << " to " << band.code;
      EXPECT_LT(w2.metres, kTolerance) << band.code << " to zone " << zone;
      if (w1.metres > worst_to.metres) worst_to = w1;
      if (w2.metres > worst_back.metres) worst_back = w2;
    }
  }
  report("1965 zone -> 2000 zone", worst_to);
  report("2000 zone -> 1965 zone", worst_back);
}

TEST_F(ProjCrossCheck, Zone1965To1992AndBack) {
  const Plane g92 = grid_1992();
  Worst worst_to, worst_back;
  for (int zone = 1; zone <= 5; ++zone) {
    const Grid1965 g65(zone);
    const Zone1965& z = kZones[zone - 1];
    auto to = [&](double lat, double lon) {
      GridPoint src{};
      g65.forward(lat, lon, &src.x, &src.y);
      double glat = lat, glon = lon, e = 0, n = 0;
      ref.to_grs80(&glat, &glon);
      g92.forward(glat, glon, &e, &n);
      GridPoint out{};
      out = run_transform(zone, 10, src);
      return distance(out, e, n);
    };
    auto back = [&](double lat, double lon) {
      GridPoint src{};
      g92.forward(lat, lon, &src.x, &src.y);
      double klat = lat, klon = lon, e = 0, n = 0;
      ref.to_krassowski(&klat, &klon);
      g65.forward(klat, klon, &e, &n);
      GridPoint out{};
      out = run_transform(10, zone, src);
      return distance(out, e, n);
    };
    const unsigned seed = static_cast<unsigned>(zone);
    const Worst w1 = sweep(z.lat_min, z.lat_max, z.lon_min, z.lon_max, seed, to);
    const Worst w2 = sweep(z.lat_min, z.lat_max, z.lon_min, z.lon_max, seed + 10, back);
    EXPECT_LT(w1.metres, kTolerance) << "zone " << zone;
    EXPECT_LT(w2.metres, kTolerance) << "zone " << zone;
    if (w1.metres > worst_to.metres) worst_to = w1;
    if (w2.metres > worst_back.metres) worst_back = w2;
  }
  report("1965 zone -> 1992", worst_to);
  report("1992 -> 1965 zone", worst_back);
}

// Poland lies within 49 to 55 N, 14 to 24.2 E.
constexpr double kLatMin = 49.0 * kRad, kLatMax = 55.0 * kRad;
constexpr double kLonMin = 14.0 * kRad, kLonMax = 24.2 * kRad;

TEST_F(ProjCrossCheck, WithinGrs80) {
  const Plane g92 = grid_1992();
  Worst w92_to_2000, w2000_to_92, w2000_to_2000;
  for (const Band& band : bands_over(kLonMin, kLonMax)) {
    const Plane g2000 = grid_2000(band.code);
    auto to = [&](double lat, double lon) {
      GridPoint src{};
      g92.forward(lat, lon, &src.x, &src.y);
      double e = 0, n = 0;
      g2000.forward(lat, lon, &e, &n);
      GridPoint out{};
      out = run_transform(10, band.code, src);
      return distance(out, e, n);
    };
    auto back = [&](double lat, double lon) {
      GridPoint src{};
      g2000.forward(lat, lon, &src.x, &src.y);
      double e = 0, n = 0;
      g92.forward(lat, lon, &e, &n);
      GridPoint out{};
      out = run_transform(band.code, 10, src);
      return distance(out, e, n);
    };
    const unsigned seed = static_cast<unsigned>(band.code);
    const Worst a = sweep(kLatMin, kLatMax, band.lon_min, band.lon_max, seed, to);
    const Worst b = sweep(kLatMin, kLatMax, band.lon_min, band.lon_max, seed + 1, back);
    EXPECT_LT(a.metres, kTolerance) << band.code;
    EXPECT_LT(b.metres, kTolerance) << band.code;
    if (a.metres > w92_to_2000.metres) w92_to_2000 = a;
    if (b.metres > w2000_to_92.metres) w2000_to_92 = b;

    // Into each neighbouring zone, as at a zone boundary.
    for (const int target : {band.code - 3, band.code + 3}) {
      if (target < 15 || target > 24) continue;
      const Plane gt = grid_2000(target);
      auto across = [&](double lat, double lon) {
        GridPoint src{};
        g2000.forward(lat, lon, &src.x, &src.y);
        double e = 0, n = 0;
        gt.forward(lat, lon, &e, &n);
        GridPoint out{};
        out = run_transform(band.code, target, src);
        return distance(out, e, n);
      };
      const Worst c = sweep(kLatMin, kLatMax, band.lon_min, band.lon_max,
                            seed + static_cast<unsigned>(target), across);
      EXPECT_LT(c.metres, kTolerance) << band.code << " to " << target;
      if (c.metres > w2000_to_2000.metres) w2000_to_2000 = c;
    }
  }
  report("1992 -> 2000 zone", w92_to_2000);
  report("2000 zone -> 1992", w2000_to_92);
  report("2000 zone -> 2000 zone", w2000_to_2000);
}

TEST_F(ProjCrossCheck, Zone1965ToUtm) {
  Worst worst;
  std::map<int, Plane> utm_zones;
  for (int zone = 1; zone <= 5; ++zone) {
    const Grid1965 g65(zone);
    const Zone1965& z = kZones[zone - 1];
    auto check = [&](double lat, double lon) {
      GridPoint src{};
      g65.forward(lat, lon, &src.x, &src.y);
      double glat = lat, glon = lon;
      ref.to_grs80(&glat, &glon);
      const int utm_zone = static_cast<int>((glon / kRad + 180) / 6) + 1;
      Plane& utm = utm_zones[utm_zone];
      if (!utm.pj) {
        utm.pj =
            make("+proj=utm +algo=poder_engsager +ellps=WGS84 +zone=" + std::to_string(utm_zone));
      }
      double e = 0, n = 0;
      utm.forward(glat, glon, &e, &n);
      GridPoint out{};
      convert_1965_to_utm(&out, 0, &src, zone);
      return distance(out, e, n);
    };
    const Worst w =
        sweep(z.lat_min, z.lat_max, z.lon_min, z.lon_max, static_cast<unsigned>(zone + 50), check);
    EXPECT_LT(w.metres, kUtmTolerance) << "zone " << zone;
    if (w.metres > worst.metres) worst = w;
  }
  report("convert_1965_to_utm", worst);
}

}  // namespace
}  // namespace egib
