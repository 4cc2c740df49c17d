// The Polish plane coordinate systems this program converts between, in one
// table: the program's code of each system, its EPSG code, the name the
// messages use, its grid (ellipsoid, projection, false origin, scale), the
// ESRI WKT of its .prj file and the geodetic area it covers.  The routes,
// the .prj texts, the areas that tell the axis order of a file, the EPSG
// arguments and the wording of the run summary all come from this table.
//
// Codes: 1 to 5 the zones of the 1965 system (Krassowski), 10 the 1992 grid,
// and the 2000-grid zones by their central meridian in whole degrees east
// (GRS80).  Any other code names no system: 16, 17, 19, 20, 22 and 23 lie
// among the 2000-grid codes but the grid has no such zones.
//
// Sources: the grid parameters of the 1965 zones are those of the system's
// definition (angles as its nine-decimal radian values, the sphere radius
// R0 = sqrt(M N) at each zone centre and the Gauss-Krüger northing XC of the
// centre as its published constants); the 1992 and 2000 grids are those of
// the national regulation on the state system of spatial reference; the WKT
// texts are PROJ's database (projinfo -o WKT1_ESRI --single-line EPSG:NNNN).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "geodesy/gauss_kruger.h"

namespace egib {

enum class SystemFamily { kZone1965, kGrid1992, kGrid2000 };

// A geodetic box on the system's ellipsoid, radians.
struct GeoBox {
  double lat_min = 0;
  double lat_max = 0;
  double lon_min = 0;
  double lon_max = 0;
};

struct CoordinateSystem {
  int code;
  int epsg;
  SystemFamily family;
  std::string_view name;  // "1965 zone 2", "1992", "2000 zone 18 E"
  GridParameters grid;
  // The 1965 zones: the zone's area, outside which a point converted out of
  // or into the zone is warned about.  The grids of GRS80: Poland, within
  // 1.6 degrees of a 2000 zone's meridian.
  GeoBox area;
  std::string_view esri_wkt;  // one line, no line end
};

// The table, 1965 zones first.
std::span<const CoordinateSystem> coordinate_systems();
// The system of a code or an EPSG code; nullptr when it names none.
const CoordinateSystem* coordinate_system(int code);
const CoordinateSystem* coordinate_system_of_epsg(int epsg);

bool is_zone_1965(int code);
bool is_grid_1992(int code);
bool is_grid_2000(int code);
bool is_known_system(int code);

// "1965 zone 2 (EPSG:2172)", "1992 (EPSG:2180)", "unknown system 7".
std::string system_name(int code);

// The lines of the usage text that list the codes, one per family:
// "   1 .. 5       1965 system, zone by number (Krassowski)  EPSG 3120, 2172-2175".
std::string system_codes_usage();

// The area of a 1965 zone with its longitude bounds as unit vectors from
// the zone's meridian, for the converters' area check.
struct ZoneArea {
  double lat_min = 0;
  double lat_max = 0;
  double lon_min = 0;
  double lon_max = 0;
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

// The grids by family.  A zone outside 1..5 or a code of no 2000 zone gives
// a grid of no use (scale 0 for a 1965 zone; for a 2000 code, the meridian
// of the code with false easting 0).
const GridParameters& zone_1965_grid(int zone);
const ZoneArea& zone_1965_area(int zone);
GridParameters grid_1992_parameters();
GridParameters grid_2000_parameters(int code);

// The 2000-grid code whose central meridian (a multiple of 3 degrees) is
// nearest to the longitude (radians); exactly 1.5 degrees past goes to the
// lower one.
int zone_2000_for_longitude(double lon);

}  // namespace egib
