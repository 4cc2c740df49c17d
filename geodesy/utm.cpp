// UTM grid zones and the UTM / UPS projections.
//
// Sources: the zone and band layout and the special zones 31V, 32V and
// 31X-37X are those of the military grid reference system (DMA TM 8358.2,
// "The Universal Grids", 1989).  The transverse Mercator series in both
// directions (meridian arc to e^6, the footpoint latitude through e1) and
// the polar stereographic projection with its conformal-latitude series are
// J. P. Snyder, "Map Projections - A Working Manual", USGS Professional
// Paper 1395 (1987), chapters 8 and 21 and eq. 3-5; the scale factors and
// false origins are those of UTM (0.9996, 500 km, 10,000 km south) and UPS
// (0.994, 2,000 km).
#include "geodesy/utm.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "geodesy/ellipsoid.h"

namespace egib {

namespace {

constexpr double kDegToRad = kPi / 180;
constexpr double kRadToDeg = 180 / kPi;

constexpr double kUtmScale = 0.9996;
constexpr double kUtmFalseEasting = 500000;
constexpr double kUtmFalseNorthingSouth = 10000000;
constexpr double kUpsScale = 0.994;
constexpr double kUpsFalseOrigin = 2000000;

// The UPS latitude iteration converges in a handful of steps anywhere on
// the ellipsoid; the bound only keeps a non-finite input from looping.
constexpr int kMaxUpsIterations = 64;

struct Ellipsoid {
  double a;
  double e2;
  double e;
  double e4;
  double e6;
  double e8;
  double ep2;
};

// Derives the constants of a datum's ellipsoid; false (with the message)
// for an unknown datum.  Only the low byte of the datum number counts.
bool ellipsoid_for_datum(int datum, Ellipsoid* out) {
  const unsigned datum_byte = static_cast<unsigned>(datum) & 0xFFu;
  double a = 0;
  double b = 0;
  switch (datum_byte) {
    case 0:
      a = 6378206.4;
      b = 6356583.8;
      break;  // Clarke 1866
    case 1:
      a = 6378137.0;
      b = 6356752.3;
      break;  // GRS 80
    case 2:
      a = 6378137.0;
      b = 6356752.31425;
      break;  // WGS 84
    default:
      std::fprintf(stderr, "Unknown datum: %d\n", static_cast<int>(datum_byte));
      return false;
  }
  const double f = 1 - b / a;
  Ellipsoid el{};
  el.a = a;
  el.e2 = 2 * f - f * f;
  el.e = std::sqrt(el.e2);
  el.e4 = el.e2 * el.e2;
  el.e6 = el.e2 * el.e4;
  el.e8 = el.e4 * el.e4;
  el.ep2 = el.e2 / (1 - el.e2);
  *out = el;
  return true;
}

// Truncation toward zero that stays defined for huge or non-finite values.
int truncate_to_int(double v) {
  if (!(v > -1e6)) return v != v ? 0 : -1000000;
  if (v > 1e6) return 1000000;
  return static_cast<int>(v);
}

void set_designation(char (&zone)[4], int number, char letter) {
  const int n = ((number % 100) + 100) % 100;
  zone[0] = static_cast<char>('0' + n / 10);
  zone[1] = static_cast<char>('0' + n % 10);
  zone[2] = letter;
  zone[3] = '\0';
}

void set_designation(char (&zone)[4], const char* text) {
  for (int i = 0; i < 4; ++i) zone[i] = text[i];
}

// Polar stereographic radius of latitude phi (north pole aspect).
double ups_radius(const Ellipsoid& el, double phi) {
  const double s = std::sin(phi);
  const double es = el.e * s;
  const double t = std::sqrt((1 - s) / (1 + s) * std::pow((1 + es) / (1 - es), el.e));
  return 2 * el.a * kUpsScale * t /
         std::sqrt(std::pow(1 + el.e, 1 + el.e) * std::pow(1 - el.e, 1 - el.e));
}

double meridian_arc(const Ellipsoid& el, double phi) {
  return el.a * ((1 - el.e2 / 4 - 3 * el.e4 / 64 - 5 * el.e6 / 256) * phi -
                 (3 * el.e2 / 8 + 3 * el.e4 / 32 + 45 * el.e6 / 1024) * std::sin(2 * phi) +
                 (15 * el.e4 / 256 + 45 * el.e6 / 1024) * std::sin(4 * phi) -
                 (35 * el.e6 / 3072) * std::sin(6 * phi));
}

// Projects phi, lambda (radians) about the meridian lambda0; the latitude
// alone decides between UTM and the two polar grids.
void project(const Ellipsoid& el, double phi, double lambda, double lambda0, double* easting,
             double* northing) {
  if (phi > 84 * kDegToRad) {
    const double rho = ups_radius(el, phi);
    *easting = rho * std::sin(lambda - lambda0) + kUpsFalseOrigin;
    *northing = -rho * std::cos(lambda - lambda0) + kUpsFalseOrigin;
    return;
  }
  if (phi < -80 * kDegToRad) {
    const double rho = ups_radius(el, -phi);
    const double dl = -lambda + lambda0;
    *easting = -(rho * std::sin(dl)) + kUpsFalseOrigin;
    *northing = -(-rho * std::cos(dl)) + kUpsFalseOrigin;
    return;
  }
  const double s = std::sin(phi);
  const double c = std::cos(phi);
  const double tn = std::tan(phi);
  const double n = el.a / std::sqrt(1 - el.e2 * s * s);
  const double t = tn * tn;
  const double cc = el.ep2 * c * c;
  const double aa = c * (lambda - lambda0);
  const double a2 = aa * aa;
  const double a3 = a2 * aa;
  const double a4 = a3 * aa;
  const double a5 = a4 * aa;
  const double a6 = a5 * aa;
  const double m = meridian_arc(el, phi);
  constexpr double m0 = 0;
  *easting =
      kUtmScale * n *
          (aa + (1 - t + cc) * a3 / 6 + (5 - 18 * t + t * t + 72 * cc - 58 * el.ep2) * a5 / 120) +
      kUtmFalseEasting;
  double north = kUtmScale * (m - m0 +
                              n * tn *
                                  (a2 / 2 + (5 - t + 9 * cc + 4 * cc * cc) * a4 / 24 +
                                   (61 - 58 * t + t * t + 600 * cc - 330 * el.ep2) * a6 / 720));
  if (north < 0) north += kUtmFalseNorthingSouth;
  *northing = north;
}

// Latitude of the polar stereographic radius rho (north pole aspect).
double ups_latitude(const Ellipsoid& el, double rho) {
  const double t = rho * std::sqrt(std::pow(1 + el.e, 1 + el.e) * std::pow(1 - el.e, 1 - el.e)) /
                   (2 * el.a * kUpsScale);
  const double chi = kPi / 2 - 2 * std::atan(t);
  const double e2 = el.e2, e4 = el.e4, e6 = el.e6, e8 = el.e8;
  double phi = chi + (e2 / 2 + 5 * e4 / 24 + e6 / 12 + 13 * e8 / 360) * std::sin(2 * chi) +
               (7 * e4 / 48 + 29 * e6 / 240 + 811 * e8 / 11520) * std::sin(4 * chi) +
               (7 * e6 / 120 + 81 * e8 / 1120) * std::sin(6 * chi) +
               (4279 * e8 / 161280) * std::sin(8 * chi);
  double previous = phi;
  for (int i = 0; i < kMaxUpsIterations; ++i) {
    previous = phi;
    const double es = el.e * std::sin(previous);
    phi = kPi / 2 - 2 * std::atan(t * std::pow((1 - es) / (1 + es), el.e / 2));
    if (std::fabs(previous - phi) <= 1e-14) break;
  }
  return previous;
}

}  // namespace

int is_zone_digit(char c) {
  return c >= '0' && c <= '9' ? 1 : 0;
}

void utm_zone_from_latlon(const LatLon& position, char (&zone)[4], double* meridian) {
  const double lat = position.latitude;
  const double lon = position.longitude;
  if (lat < -80) {
    set_designation(zone, lon < 0 ? "30A" : "31B");
    *meridian = 0;
    return;
  }
  if (lat > 84) {
    set_designation(zone, lon < 0 ? "30Y" : "31Z");
    *meridian = 0;
    return;
  }
  if (lat > 72 && lon > 0 && lon < 42) {
    if (lon < 9) {
      set_designation(zone, "31X");
      *meridian = 4.5 * kDegToRad;
    } else if (lon < 21) {
      set_designation(zone, "33X");
      *meridian = 15 * kDegToRad;
    } else if (lon < 33) {
      set_designation(zone, "35X");
      *meridian = 27 * kDegToRad;
    } else {
      set_designation(zone, "37X");
      *meridian = 37.5 * kDegToRad;
    }
    return;
  }
  if (lat > 56 && lat < 64 && lon > 0 && lon < 12) {
    if (lon < 3) {
      set_designation(zone, "31V");
      *meridian = 1.5 * kDegToRad;
    } else {
      set_designation(zone, "32V");
      *meridian = 7.5 * kDegToRad;
    }
    return;
  }
  const int k = truncate_to_int((lon + 180) / 6);
  *meridian = (6.0 * k - 180 + 3) * kDegToRad;
  const int band = truncate_to_int((lat + 80) / 8);
  char letter = static_cast<char>('C' + band);
  if (letter > 'H') ++letter;
  if (letter > 'N') ++letter;
  if (lat >= 80) letter = 'X';
  set_designation(zone, k + 1, letter);
}

int utm_zone_meridian(std::string_view zone, double* meridian) {
  const auto at = [&](size_t i) { return i < zone.size() ? zone[i] : '\0'; };
  const char d0 = at(0);
  const char d1 = at(1);
  if (!is_zone_digit(d0) || !is_zone_digit(d1)) {
    std::fprintf(stderr, "Invalid grid zone format: [%.*s]\n", static_cast<int>(zone.size()),
                 zone.data());
    return -1;
  }
  const int n = 10 * (d0 - '0') + (d1 - '0');
  const char letter = at(2);
  switch (letter) {
    case 'A':
    case 'B':
    case 'Y':
    case 'Z':
      *meridian = 0;
      return 0;
    case 'V':
      if (n == 31) {
        *meridian = 1.5 * kDegToRad;
        return 0;
      }
      if (n == 32) {
        *meridian = 7.5 * kDegToRad;
        return 0;
      }
      break;
    case 'X':
      if (n == 31) {
        *meridian = 4.5 * kDegToRad;
        return 0;
      }
      if (n == 33) {
        *meridian = 15 * kDegToRad;
        return 0;
      }
      if (n == 35) {
        *meridian = 27 * kDegToRad;
        return 0;
      }
      if (n == 37) {
        *meridian = 37.5 * kDegToRad;
        return 0;
      }
      if (n == 32 || n == 34 || n == 36) {
        std::fprintf(stderr, "Zone %02d%c does not exist!\n", n, letter);
        return -1;
      }
      break;
    default:
      break;
  }
  *meridian = ((n - 1) * 6.0 - 180 + 3) * kDegToRad;
  return 0;
}

int latlon_to_utm_in_zone(const LatLon& position, UtmPoint* point, int datum) {
  Ellipsoid el{};
  if (!ellipsoid_for_datum(datum, &el)) return -1;
  double lambda0 = 0;
  if (utm_zone_meridian(std::string_view(point->zone, strnlen(point->zone, 3)), &lambda0) != 0) {
    return -1;
  }
  project(el, position.latitude * kDegToRad, position.longitude * kDegToRad, lambda0,
          &point->easting, &point->northing);
  return 0;
}

int latlon_to_utm(const LatLon& position, UtmPoint* point, int datum) {
  Ellipsoid el{};
  if (!ellipsoid_for_datum(datum, &el)) return -1;
  double lambda0 = 0;
  utm_zone_from_latlon(position, point->zone, &lambda0);
  project(el, position.latitude * kDegToRad, position.longitude * kDegToRad, lambda0,
          &point->easting, &point->northing);
  return 0;
}

int utm_to_latlon(const UtmPoint& point, LatLon* position, int datum) {
  Ellipsoid el{};
  if (!ellipsoid_for_datum(datum, &el)) return -1;
  double lambda0 = 0;
  const std::string_view zone(point.zone, strnlen(point.zone, 3));
  if (utm_zone_meridian(zone, &lambda0) != 0) {
    std::fprintf(stderr, "unable to translate UTM to LL\n");
    return -1;
  }
  const char letter = point.zone[2];
  double phi = 0;
  double lambda = 0;
  if (letter == 'Y' || letter == 'Z') {
    const double x = point.easting - kUpsFalseOrigin;
    const double y = point.northing - kUpsFalseOrigin;
    phi = ups_latitude(el, std::sqrt(x * x + y * y));
    lambda = lambda0 + std::atan2(x, -y);
  } else if (letter == 'A' || letter == 'B') {
    const double x = -(point.easting - kUpsFalseOrigin);
    const double y = -(point.northing - kUpsFalseOrigin);
    phi = -ups_latitude(el, std::sqrt(x * x + y * y));
    lambda = -(std::atan2(x, -y) - lambda0);
  } else {
    const double x = point.easting - kUtmFalseEasting;
    double y = point.northing;
    if (letter > 'B' && letter < 'N') y -= kUtmFalseNorthingSouth;
    const double e2 = el.e2, e4 = el.e4, e6 = el.e6;
    const double root = std::sqrt(1 - e2);
    const double e1 = (1 - root) / (1 + root);
    const double e1_2 = e1 * e1;
    const double e1_3 = e1_2 * e1;
    const double e1_4 = e1_3 * e1;
    constexpr double m0 = 0;
    const double mu = (m0 + y / kUtmScale) / (el.a * (1 - e2 / 4 - 3 * e4 / 64 - 5 * e6 / 256));
    const double phi1 = mu + (3 * e1 / 2 - 27 * e1_3 / 32) * std::sin(2 * mu) +
                        (21 * e1_2 / 16 - 55 * e1_4 / 32) * std::sin(4 * mu) +
                        (151 * e1_3 / 96) * std::sin(6 * mu) +
                        (1097 * e1_4 / 512) * std::sin(8 * mu);
    const double s1 = std::sin(phi1);
    const double c1 = std::cos(phi1);
    const double tn1 = std::tan(phi1);
    const double cc1 = el.ep2 * c1 * c1;
    const double t1 = tn1 * tn1;
    const double w = 1 - e2 * s1 * s1;
    const double n1 = el.a / std::sqrt(w);
    const double r1 = el.a * (1 - e2) / std::pow(w, 1.5);
    const double d = x / (n1 * kUtmScale);
    const double d2 = d * d;
    const double d3 = d2 * d;
    const double d4 = d3 * d;
    const double d5 = d4 * d;
    const double d6 = d5 * d;
    phi = phi1 -
          (n1 * tn1 / r1) *
              (d2 / 2 - (5 + 3 * t1 + 10 * cc1 - 4 * cc1 * cc1 - 9 * el.ep2) * d4 / 24 +
               (61 + 90 * t1 + 298 * cc1 + 45 * t1 * t1 - 252 * el.ep2 - 3 * cc1 * cc1) * d6 / 720);
    lambda =
        lambda0 + (d - (1 + 2 * t1 + cc1) * d3 / 6 +
                   (5 - 2 * cc1 + 28 * t1 - 3 * cc1 * cc1 + 8 * el.ep2 + 24 * t1 * t1) * d5 / 120) /
                      c1;
  }
  position->latitude = phi * kRadToDeg;
  position->longitude = lambda * kRadToDeg;
  return 0;
}

}  // namespace egib
