// Reference ellipsoids of the Polish plane coordinate systems and the
// quantities every projection on them needs: Krassowski (1965 system) and
// GRS80 (1992 and 2000 grids).
//
// Sources: the axes and inverse flattenings are the ellipsoids' defining
// constants (Krassowski 1940; GRS80, Moritz, Bull. Géod. 54, 1980).  The
// coefficients of the Krüger series in the third flattening n are those of
// Krüger (1912) as given by Karney, "Transverse Mercator with an accuracy of
// a few nanometers", J. Geodesy 85 (2011), eqs. 35 and 36 (to n^4), and
// eq. 11 for the conformal latitude back to the geodetic one (to n^6).
// Geodetic <-> geocentric coordinates: the closed form forward, Bowring's
// formula (Survey Review 23, 1976) in one step back.
//
// Angles are radians, lengths metres.
#pragma once

namespace egib {

inline constexpr double kPi = 3.141592653589793;

// Everything the projections need that depends on the ellipsoid alone.
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
// The same from the semi-major axis and the inverse flattening rf:
// b = (1 - 1/rf) a, e2 = (2 rf - 1) / rf^2.
EllipsoidModel ellipsoid_of_flattening(double a, double rf);

// The two ellipsoids of the Polish systems, derived once.
const EllipsoidModel& krassowski();  // a 6378245, rf 298.3
const EllipsoidModel& grs80();       // a 6378137, rf 298.257222101

// A geodetic position for the kernels of the routes: the latitude with its
// sine and cosine, the longitude as a unit vector (cos, sin).
struct GeoPosition {
  double lat;
  double sin_lat;
  double cos_lat;
  double cos_lon;
  double sin_lon;
};

// N = a / sqrt(1 - e2 sin^2 lat).
double prime_vertical_radius(const EllipsoidModel& ellipsoid, double lat);
void geodetic_to_geocentric(const EllipsoidModel& ellipsoid, double lat, double lon, double h,
                            double* x, double* y, double* z);
// Bowring's formula, one step.  h may be null: the height is then not
// computed.
void geocentric_to_geodetic(const EllipsoidModel& ellipsoid, double x, double y, double z,
                            double* lat, double* lon, double* h);

}  // namespace egib
