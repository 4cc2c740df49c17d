// Reference ellipsoids, grid parameters of the Polish plane coordinate
// systems, the Gauss-Krüger projection (Krüger series to the fourth order in
// the third flattening n) with the stereographic mapping that zones 1 to 4 of
// the 1965 system add on top of it, geodetic <-> geocentric coordinates and
// the seven-parameter datum shift between Krassowski (1965 system) and GRS80
// (1992 and 2000 grids).
//
// Angles are radians, lengths metres.  Two interfaces share one set of
// kernels: the classic one keeps the parameters in one process-wide
// ProjectionState that the setters load field by field; the other hands
// the kernels an explicit, immutable description of a grid, which any number
// of threads may use at once.
#pragma once

namespace egib {

// Everything the projections need that depends on the ellipsoid alone: its
// axes and eccentricities, and the coefficients of the Krüger series in the
// third flattening n (to the fourth order).
struct EllipsoidModel {
  double a = 0;    // semi-major axis
  double b = 0;    // semi-minor axis
  double e2 = 0;   // first eccentricity squared
  double ep2 = 0;  // second eccentricity squared
  double e = 0;
  double big_a = 0;      // rectifying radius
  double alpha[4] = {};  // conformal -> transverse Mercator
  double beta[4] = {};   // transverse Mercator -> conformal
  // Conformal latitude -> geodetic latitude, to the sixth order: the fourth
  // order leaves up to 2 micrometres.
  double delta[6] = {};
};

// The constants of an ellipsoid given by its axes (and e2 as the caller
// computed it).
EllipsoidModel derive_ellipsoid_model(double a, double b, double e2);
// The two ellipsoids of the Polish systems, derived once.
const EllipsoidModel& krassowski();  // 1965 system
const EllipsoidModel& grs80();       // 1992 and 2000 grids

// One plane grid: a Gauss-Krüger projection, and for zones 1 to 4 of the
// 1965 system the stereographic mapping on top of it.
struct GridParameters {
  const EllipsoidModel* ellipsoid = nullptr;
  double lambda0 = 0;
  double cos_lambda0 = 1;  // of lambda0, for the kernels that turn longitudes
  double sin_lambda0 = 0;
  double false_northing = 0;
  double false_easting = 0;
  double scale = 0;
  int kind = 1;                // kGaussKruger or kStereographic
  double sphere_radius = 0;    // R0, stereographic zones only
  double centre_northing = 0;  // XC, stereographic zones only
};

// Area of a 1965 zone, Krassowski latitude and longitude.
struct ZoneArea {
  double lat_min = 0;
  double lat_max = 0;
  double lon_min = 0;
  double lon_max = 0;
  // The longitude bounds less the zone's meridian, as unit vectors.
  double cos_west = 1, sin_west = 0, cos_east = 1, sin_east = 0;
  bool contains(double lat, double lon) const {
    return !(lat < lat_min || lat > lat_max || lon < lon_min || lon > lon_max);
  }
  // The same with the longitude as a unit vector (cos_dl, sin_dl) from the
  // zone's meridian: west of the east bound, east of the west bound.
  bool contains(double lat, double cos_dl, double sin_dl) const {
    return !(lat < lat_min || lat > lat_max) && cos_dl > 0 &&
           sin_dl * cos_west - cos_dl * sin_west >= 0 && sin_east * cos_dl - cos_east * sin_dl >= 0;
  }
};

// The grids of the system codes: 1..5 (Krassowski), 10 and 15, 18, 21, 24
// (GRS80).  Codes outside these give a grid of no use.
const GridParameters& zone_1965_grid(int zone);
const ZoneArea& zone_1965_area(int zone);
GridParameters grid_1992_parameters();
GridParameters grid_2000_parameters(int code);

void grid_forward(const GridParameters& grid, double lat, double lon, double* northing,
                  double* easting);
void grid_inverse(const GridParameters& grid, double northing, double easting, double* lat,
                  double* lon);
// A geodetic position for the kernels of the routes: the latitude with its
// sine and cosine, the longitude as a unit vector (cos, sin).
struct GeoPosition {
  double lat;
  double sin_lat;
  double cos_lat;
  double cos_lon;
  double sin_lon;
};

// Out of a grid onto its ellipsoid, with the longitude from the grid's
// meridian as a unit vector in (*cos_dl, *sin_dl): the conformal latitude
// and the transverse coordinates give it without an angle, and the
// geodetic latitude comes from the conformal one through its series.
GeoPosition grid_to_position(const GridParameters& grid, double northing, double easting,
                             double* cos_dl, double* sin_dl);
// Onto a grid from a position on its ellipsoid.
void position_to_grid(const GridParameters& grid, const GeoPosition& position, double* northing,
                      double* easting);
// A position through geocentric coordinates and the seven-parameter datum
// shift onto the other ellipsoid (heights taken as 0).  The latitude itself
// is formed only when want_lat (its sine, cosine and the longitude always).
GeoPosition shift_to_grs80(const GeoPosition& on_krassowski, bool want_lat);
GeoPosition shift_to_krassowski(const GeoPosition& on_grs80, bool want_lat);

// From one Gauss-Krüger grid into another on the same ellipsoid, through
// the conformal sphere: the conformal latitude passes through unchanged, so
// neither the geodetic latitude nor its two series are needed.  The
// meridians differ by from.lambda0 - to.lambda0, whose cosine and sine the
// caller gives.
void gauss_kruger_between(const GridParameters& from, const GridParameters& to, double cos_shift,
                          double sin_shift, double northing, double easting, double* out_northing,
                          double* out_easting);
double prime_vertical_radius(const EllipsoidModel& ellipsoid, double lat);
void geodetic_to_geocentric(const EllipsoidModel& ellipsoid, double lat, double lon, double h,
                            double* x, double* y, double* z);
// h may be null: the height is then not computed.
void geocentric_to_geodetic(const EllipsoidModel& ellipsoid, double x, double y, double z,
                            double* lat, double* lon, double* h);

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
