// The Gauss-Krüger (transverse Mercator) projection of an ellipsoid, with
// the stereographic mapping that zones 1 to 4 of the 1965 system add on top
// of it.
//
// Source: the Krüger series in the third flattening n to the fourth order
// in both directions (L. Krüger, "Konforme Abbildung des Erdellipsoids in
// der Ebene", 1912), in the form C. F. F. Karney gives them ("Transverse
// Mercator with an accuracy of a few nanometers", J. Geodesy 85, 2011; his
// eqs. 7 and 8 for the conformal latitude).  The coefficients are in
// EllipsoidModel (ellipsoid.h).
//
// A grid is an immutable description: any number of threads may project
// with one at the same time.
#pragma once

#include "geodesy/ellipsoid.h"
#include "geodesy/stereographic.h"

namespace egib {

// Projection kinds of a grid.
inline constexpr int kGaussKruger = 1;
inline constexpr int kStereographic = 2;  // Gauss-Krüger, then the sphere

// One plane grid: a Gauss-Krüger projection, and for zones 1 to 4 of the
// 1965 system the stereographic mapping on top of it.
struct GridParameters {
  const EllipsoidModel* ellipsoid = nullptr;
  double lambda0 = 0;      // central meridian, radians
  double cos_lambda0 = 1;  // of lambda0, for the kernels that turn longitudes
  double sin_lambda0 = 0;
  double false_northing = 0;  // metres, added to the scaled northing
  double false_easting = 0;   // metres, added to the scaled easting
  double scale = 0;           // on the central meridian (stereographic: at the centre)
  int kind = kGaussKruger;
  StereographicSphere sphere{0, 0};  // stereographic zones only
};

// A grid on an ellipsoid (the sphere of a stereographic zone set apart).
GridParameters make_grid(const EllipsoidModel& ellipsoid, double lambda0, double false_northing,
                         double false_easting, double scale, int kind);

// Latitude and longitude -> northing and easting of the grid, and back.
void grid_forward(const GridParameters& grid, double lat, double lon, double* northing,
                  double* easting);
void grid_inverse(const GridParameters& grid, double northing, double easting, double* lat,
                  double* lon);

// Out of a grid onto its ellipsoid, with the longitude from the grid's
// meridian as a unit vector in (*cos_dl, *sin_dl): the conformal latitude
// and the transverse coordinates give it without an angle, and the
// geodetic latitude comes from the conformal one through its series.
GeoPosition grid_to_position(const GridParameters& grid, double northing, double easting,
                             double* cos_dl, double* sin_dl);
// Onto a grid from a position on its ellipsoid.
void position_to_grid(const GridParameters& grid, const GeoPosition& position, double* northing,
                      double* easting);

// From one Gauss-Krüger grid into another on the same ellipsoid, through
// the conformal sphere: the conformal latitude passes through unchanged, so
// neither the geodetic latitude nor its two series are needed.  The
// meridians differ by from.lambda0 - to.lambda0, whose cosine and sine the
// caller gives.
void gauss_kruger_between(const GridParameters& from, const GridParameters& to, double cos_shift,
                          double sin_shift, double northing, double easting, double* out_northing,
                          double* out_easting);

}  // namespace egib
