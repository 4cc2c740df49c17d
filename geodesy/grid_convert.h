// Converters between the Polish plane coordinate systems of the table
// (coordinate_systems.h): the 1965 system (Krassowski), the 1992 grid and
// the 2000 grid (GRS80).  Each goes through geodetic coordinates: inverse
// projection out of the source grid (gauss_kruger.h), the datum shift where
// the ellipsoids differ (datum_shift.h), forward projection into the target
// grid.  They print nothing: a point outside the area of a 1965 zone it is
// converted out of or into is converted all the same and added to the
// caller's warnings, which the caller prints (area_warning_text).
//
// A GridPoint carries the easting in x and the northing in y; the warnings
// follow the national convention and name the northing first.  Every
// converter reads the source whole before writing the destination, so both
// may be the same point; a null destination means "write into the source".
// Status: 0, or kBadZone1965 for a 1965 zone outside 1 to 5 (destination not
// written).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace egib {

struct GridPoint {
  double x;  // easting, metres
  double y;  // northing, metres
  double z;  // height, copied through unchanged
};

// The status of a 1965 zone number outside 1 to 5: 0x8000, the top bit of a
// 16-bit status word, which the converters have always set for their one
// failure so that a caller may test it as a flag; success is 0.
inline constexpr int kBadZone1965 = 32768;
// What to tell the user about such a number.
inline constexpr char kBadZone1965Message[] = "Nieprawidlowy numer strefy ukladu 1965\n";

// A point that lies outside the area of a 1965 zone it is converted out of
// or into: converted all the same, with a warning that names the point as
// the converter got it (northing first) and the zone.
struct AreaWarning {
  int zone;
  double northing;
  double easting;
};

// The warnings of one conversion: at most two (a 1965 zone left and one
// entered).
struct AreaWarnings {
  int count = 0;
  AreaWarning warning[2];
  void add(const AreaWarning& w) {
    if (count < 2) warning[count++] = w;
  }
};

// "Punkt x,y (%lf, %lf) może być poza %d strefą ukladu 1965\n" in
// Windows-1250, whole however many digits the coordinates take.
std::string area_warning_text(const AreaWarning& warning);
void print_area_warning(const AreaWarning& warning, std::FILE* out);
// All warnings of one conversion, in order.
void print_area_warnings(const AreaWarnings& warnings, std::FILE* out);

// The steps the converters are made of, on explicit grids; every one of
// them may run in any number of threads at once.  Points carry the easting
// in x, the northing in y.
struct GridParameters;
struct GeoPosition;
// Out of a 1965 zone onto GRS80, warning when the point lies outside the
// zone.
GeoPosition from_1965_to_grs80(const GridPoint& p, int zone, AreaWarnings& warnings);
// A GRS80 position (of the point p) into a 1965 zone, warning with p when
// it lies outside the zone.
GridPoint from_grs80_to_1965(const GridPoint& p, const GeoPosition& position, int zone,
                             AreaWarnings& warnings);
// Out of a GRS80 grid (1992 or 2000) onto GRS80.
GeoPosition from_grs80_grid(const GridParameters& grid, const GridPoint& p);
// A position onto a grid of its ellipsoid.
GridPoint to_grid(const GridParameters& grid, const GeoPosition& position, double z);
// Between two grids on GRS80 (1992 and 2000) through the conformal sphere;
// the cosine and sine of from.lambda0 - to.lambda0 given.
GridPoint between_grs80_grids(const GridParameters& from, const GridParameters& to,
                              double cos_shift, double sin_shift, const GridPoint& p);

// The converters of single points, each for one ordered pair of grid
// families; warnings may be null when the caller does not want them.  A
// 2000-grid code of no zone (16, 17, ...) gets its meridian and no false
// easting.  target_code -1: the 2000 zone nearest to each point.
int convert_1965_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone, AreaWarnings* warnings = nullptr);
int convert_2000_to_1965(GridPoint* destination, int target_zone, GridPoint* source,
                         int source_code, AreaWarnings* warnings = nullptr);
int convert_1992_to_2000(GridPoint* destination, int target_code, GridPoint* source);
int convert_2000_to_1992(GridPoint* destination, int source_code, GridPoint* source);
int convert_2000_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_code);
// The target code has no effect (the 1992 grid has one zone).
int convert_1965_to_1992(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone, AreaWarnings* warnings = nullptr);
int convert_1992_to_1965(GridPoint* destination, int target_zone, GridPoint* source, int unused,
                         AreaWarnings* warnings = nullptr);
// UTM (WGS 84, zone chosen from the position) of a 1965 point.
int convert_1965_to_utm(GridPoint* destination, int unused, GridPoint* source, int source_zone,
                        AreaWarnings* warnings = nullptr);

}  // namespace egib
