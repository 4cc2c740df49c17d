#include "geodesy/grid_convert.h"

#include <cstdio>

#include "geodesy/projection.h"
#include "geodesy/utm.h"

namespace egib {

namespace {

int kind_of_zone(int zone) {
  return zone == 5 ? kGaussKruger : kStereographic;
}

// Zone numbers of the 1965 system run from 1 to 5.
bool zone_ok(int zone) {
  if (zone >= 1 && zone <= 5) return true;
  std::fputs("Nieprawidlowy numer strefy ukladu 1965\n", stdout);
  return false;
}

// Warns (and goes on) when a Krassowski position lies outside the area of
// the 1965 zone loaded in the state.  The message is in Windows-1250.
uint64_t g_area_warnings = 0;

void check_area(double lat, double lon, int zone, const GridPoint& source) {
  const ProjectionState& st = projection_state();
  if (lat < st.lat_min || lat > st.lat_max || lon < st.lon_min || lon > st.lon_max) {
    ++g_area_warnings;
    std::printf(
        "Punkt x,y (%lf, %lf) mo\xBF"
        "e by\xE6 poza %d stref\xB9 ukladu 1965\n",
        source.y, source.x, zone);
  }
}

void inverse(const GridPoint& p, int kind, double* lat, double* lon) {
  const ProjectionState& st = projection_state();
  grid_inverse(p.y, p.x, st.lambda0, st.false_northing, st.false_easting, st.scale, kind, lat, lon);
}

void forward(double lat, double lon, int kind, double* northing, double* easting) {
  const ProjectionState& st = projection_state();
  grid_forward(lat, lon, st.lambda0, st.false_northing, st.false_easting, st.scale, kind, northing,
               easting);
}

// Geodetic position through geocentric coordinates and a datum shift onto
// the other ellipsoid (the height is taken as 0 and dropped afterwards).
using DatumShift = void (*)(double, double, double, double*, double*, double*);

void shift_datum(DatumShift shift, char target_ellipsoid, double* lat, double* lon) {
  double x = 0, y = 0, z = 0, xs = 0, ys = 0, zs = 0, h = 0;
  geodetic_to_geocentric(*lat, *lon, 0, &x, &y, &z);
  shift(x, y, z, &xs, &ys, &zs);
  set_ellipsoid(target_ellipsoid);
  geocentric_to_geodetic(xs, ys, zs, lat, lon, &h);
}

void shift_to_grs80(double* lat, double* lon) {
  shift_datum(datum_shift_to_grs80, 'W', lat, lon);
}

void shift_to_krassowski(double* lat, double* lon) {
  shift_datum(datum_shift_to_krassowski, 'K', lat, lon);
}

void set_meridian_2000(int code) {
  projection_state().lambda0 = code / 180.0 * kPi;
}

void set_meridian_1992() {
  projection_state().lambda0 = kLambda1992;
}

int store(GridPoint* destination, GridPoint* source, double easting, double northing, double z) {
  GridPoint* out = destination != nullptr ? destination : source;
  out->x = easting;
  out->y = northing;
  out->z = z;
  return 0;
}

// Out of a 1965 zone to GRS80 geodetic coordinates, with the area check.
void from_1965_to_grs80(const GridPoint& p, int zone, double* lat, double* lon) {
  set_ellipsoid('K');
  set_zone_1965(zone);
  inverse(p, kind_of_zone(zone), lat, lon);
  check_area(*lat, *lon, zone, p);
  shift_to_grs80(lat, lon);
}

// GRS80 geodetic coordinates into a 1965 zone, with the area check.
void from_grs80_to_1965(const GridPoint& p, double lat, double lon, int zone, double* northing,
                        double* easting) {
  shift_to_krassowski(&lat, &lon);
  set_zone_1965(zone);
  check_area(lat, lon, zone, p);
  forward(lat, lon, kind_of_zone(zone), northing, easting);
}

// The grids on GRS80, each loading its parameters into the state.
struct Grid1992 {
  void load() const {
    set_grid_1992();
    set_meridian_1992();
  }
};
struct Grid2000 {
  int code;
  void load() const {
    set_meridian_2000(code);
    set_zone_2000(code);
  }
};

// Out of a GRS80 grid into geodetic coordinates.
template <typename Grid>
void from_grs80_grid(const GridPoint& p, const Grid& grid, double* lat, double* lon) {
  set_ellipsoid('W');
  grid.load();
  inverse(p, kGaussKruger, lat, lon);
}

// GRS80 geodetic coordinates into a GRS80 grid; stores the result.
template <typename Grid>
int into_grs80_grid(double lat, double lon, const Grid& grid, GridPoint* destination,
                    GridPoint* source, double z) {
  grid.load();
  double northing = 0, easting = 0;
  forward(lat, lon, kGaussKruger, &northing, &easting);
  return store(destination, source, easting, northing, z);
}

template <typename From, typename To>
int within_grs80(const From& from, const To& to, GridPoint* destination, GridPoint* source) {
  const GridPoint p = *source;
  double lat = 0, lon = 0;
  from_grs80_grid(p, from, &lat, &lon);
  return into_grs80_grid(lat, lon, to, destination, source, p.z);
}

template <typename From>
int from_grs80_grid_to_1965(const From& from, GridPoint* destination, GridPoint* source, int zone) {
  const GridPoint p = *source;
  double lat = 0, lon = 0;
  from_grs80_grid(p, from, &lat, &lon);
  double northing = 0, easting = 0;
  from_grs80_to_1965(p, lat, lon, zone, &northing, &easting);
  return store(destination, source, easting, northing, p.z);
}

}  // namespace

uint64_t area_warnings_printed() {
  return g_area_warnings;
}

int convert_1965_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  double lat = 0, lon = 0;
  from_1965_to_grs80(p, source_zone, &lat, &lon);
  const int code = target_code == -1 ? zone_2000_for_longitude(lon) : target_code;
  return into_grs80_grid(lat, lon, Grid2000{code}, destination, source, p.z);
}

int convert_2000_to_1965(GridPoint* destination, int target_zone, GridPoint* source,
                         int source_code) {
  if (!zone_ok(target_zone)) return kBadZone1965;
  return from_grs80_grid_to_1965(Grid2000{source_code}, destination, source, target_zone);
}

int convert_1965_to_1992(GridPoint* destination, int /*target_code*/, GridPoint* source,
                         int source_zone) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  double lat = 0, lon = 0;
  from_1965_to_grs80(p, source_zone, &lat, &lon);
  return into_grs80_grid(lat, lon, Grid1992{}, destination, source, p.z);
}

int convert_1992_to_1965(GridPoint* destination, int target_zone, GridPoint* source,
                         int /*unused*/) {
  if (!zone_ok(target_zone)) return kBadZone1965;
  return from_grs80_grid_to_1965(Grid1992{}, destination, source, target_zone);
}

int convert_1992_to_2000(GridPoint* destination, int target_code, GridPoint* source) {
  return within_grs80(Grid1992{}, Grid2000{target_code}, destination, source);
}

int convert_2000_to_1992(GridPoint* destination, int source_code, GridPoint* source) {
  return within_grs80(Grid2000{source_code}, Grid1992{}, destination, source);
}

int convert_2000_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_code) {
  return within_grs80(Grid2000{source_code}, Grid2000{target_code}, destination, source);
}

int convert_1965_to_utm(GridPoint* destination, int /*unused*/, GridPoint* source,
                        int source_zone) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  double lat = 0, lon = 0;
  from_1965_to_grs80(p, source_zone, &lat, &lon);
  const LatLon position{lat * 180 / kPi, lon * 180 / kPi};
  UtmPoint utm{};
  latlon_to_utm(position, &utm, 2);  // WGS 84 cannot fail
  return store(destination, source, utm.easting, utm.northing, p.z);
}

}  // namespace egib
