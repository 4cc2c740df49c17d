// Reference ellipsoids, grid parameters of the Polish plane coordinate
// systems, the Gauss-Krüger projection (Krüger series to the fourth order in
// the third flattening n) with the stereographic mapping that zones 1 to 4 of
// the 1965 system add on top of it, geodetic <-> geocentric coordinates and
// the seven-parameter datum shift between Krassowski (1965 system) and GRS80
// (1992 and 2000 grids).
//
// Angles are radians, lengths metres.  The parameters live in one
// process-wide ProjectionState; the setters load a grid into it field by
// field and the grid converters read it.
#pragma once

namespace egib {

struct ProjectionState {
  double a = 0;    // semi-major axis
  double b = 0;    // semi-minor axis
  double e2 = 0;   // first eccentricity squared
  double ep2 = 0;  // second eccentricity squared
  double lambda0 = 0;
  double false_northing = 0;
  double false_easting = 0;
  double scale = 0;
  double sphere_radius = 0;    // R0 of the stereographic zones 1..4 of 1965
  double centre_northing = 0;  // XC: Gauss-Krüger northing of the zone centre
  // Area of the current 1965 zone, Krassowski latitude and longitude.
  double lat_min = 0;
  double lat_max = 0;
  double lon_min = 0;
  double lon_max = 0;
};

ProjectionState& projection_state();

// Projection kinds of grid_forward / grid_inverse.
inline constexpr int kGaussKruger = 1;
inline constexpr int kStereographic = 2;  // Gauss-Krüger, then the sphere

inline constexpr double kPi = 3.141592653589793;
// Central meridian of the 1992 grid, 19 degrees.
inline constexpr double kLambda1992 = 0.33161255787892263;

// 'K' Krassowski, 'W' GRS80; any other letter changes nothing.
void set_ellipsoid(char letter);
// Zones 1 to 5 of the 1965 system; any other number changes nothing.
void set_zone_1965(int zone);
// 2000 grid: scale and false northing for every code, false easting only for
// 15, 18, 21 and 24 (other codes keep the previous false easting).
void set_zone_2000(int code);
void set_grid_1992();

double prime_vertical_radius(double lat);
// The 2000-grid code whose central meridian (a multiple of 3 degrees) is
// nearest to the longitude; exactly 1.5 degrees past goes to the lower one.
int zone_2000_for_longitude(double lon);

void geodetic_to_geocentric(double lat, double lon, double h, double* x, double* y, double* z);
// Bowring's formula, one step.
void geocentric_to_geodetic(double x, double y, double z, double* lat, double* lon, double* h);
void datum_shift_to_grs80(double x, double y, double z, double* xs, double* ys, double* zs);
void datum_shift_to_krassowski(double x, double y, double z, double* xs, double* ys, double* zs);

void grid_forward(double lat, double lon, double lambda0, double false_northing,
                  double false_easting, double scale, int kind, double* northing, double* easting);
void grid_inverse(double northing, double easting, double lambda0, double false_northing,
                  double false_easting, double scale, int kind, double* lat, double* lon);

}  // namespace egib
