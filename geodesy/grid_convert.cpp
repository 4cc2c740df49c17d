// The grid converters, made of the steps of a route: out of a grid onto
// its ellipsoid, the datum shift, onto the other grid.
#include "geodesy/grid_convert.h"

#include <cmath>
#include <cstdio>

#include "geodesy/coordinate_systems.h"
#include "geodesy/datum_shift.h"
#include "geodesy/gauss_kruger.h"
#include "geodesy/utm.h"

namespace egib {

namespace {

bool zone_ok(int zone) {
  return is_zone_1965(zone);
}

// The caller's warnings, or a place for those it does not want.
struct WarningsOut {
  AreaWarnings discarded;
  AreaWarnings& to;
  explicit WarningsOut(AreaWarnings* w) : to(w != nullptr ? *w : discarded) {}
};

int store(GridPoint* destination, GridPoint* source, const GridPoint& result) {
  GridPoint* out = destination != nullptr ? destination : source;
  *out = result;
  return 0;
}

}  // namespace

void print_area_warnings(const AreaWarnings& w, std::FILE* out) {
  for (int i = 0; i < w.count; ++i) print_area_warning(w.warning[i], out);
}

std::string area_warning_text(const AreaWarning& w) {
  static constexpr char kFormat[] =
      "Punkt x,y (%lf, %lf) mo\xBF"
      "e by\xE6 poza %d stref\xB9 ukladu 1965\n";
  // %lf prints every integer digit: a coordinate of 1e299 takes three
  // hundred characters, so the text is sized from the formatted length.
  const int n = std::snprintf(nullptr, 0, kFormat, w.northing, w.easting, w.zone);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n), '\0');
  std::snprintf(text.data(), text.size() + 1, kFormat, w.northing, w.easting, w.zone);
  return text;
}

void print_area_warning(const AreaWarning& w, std::FILE* out) {
  const std::string text = area_warning_text(w);
  std::fwrite(text.data(), 1, text.size(), out);
}

GeoPosition from_1965_to_grs80(const GridPoint& p, int zone, AreaWarnings& warnings) {
  double cos_dl = 1, sin_dl = 0;
  const GeoPosition k = grid_to_position(zone_1965_grid(zone), p.y, p.x, &cos_dl, &sin_dl);
  if (!zone_1965_area(zone).contains(k.lat, cos_dl, sin_dl)) warnings.add({zone, p.y, p.x});
  return shift_to_grs80(k, false);
}

GridPoint from_grs80_to_1965(const GridPoint& p, const GeoPosition& position, int zone,
                             AreaWarnings& warnings) {
  const GeoPosition k = shift_to_krassowski(position, true);
  const GridParameters& grid = zone_1965_grid(zone);
  const double cos_dl = k.cos_lon * grid.cos_lambda0 + k.sin_lon * grid.sin_lambda0;
  const double sin_dl = k.sin_lon * grid.cos_lambda0 - k.cos_lon * grid.sin_lambda0;
  if (!zone_1965_area(zone).contains(k.lat, cos_dl, sin_dl)) warnings.add({zone, p.y, p.x});
  double northing = 0, easting = 0;
  position_to_grid(grid, k, &northing, &easting);
  return {easting, northing, p.z};
}

GeoPosition from_grs80_grid(const GridParameters& grid, const GridPoint& p) {
  double cos_dl = 1, sin_dl = 0;
  return grid_to_position(grid, p.y, p.x, &cos_dl, &sin_dl);
}

GridPoint to_grid(const GridParameters& grid, const GeoPosition& position, double z) {
  double northing = 0, easting = 0;
  position_to_grid(grid, position, &northing, &easting);
  return {easting, northing, z};
}

int convert_1965_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone, AreaWarnings* warnings) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  WarningsOut w(warnings);
  const GeoPosition g = from_1965_to_grs80(p, source_zone, w.to);
  const int code =
      target_code == -1 ? zone_2000_for_longitude(std::atan2(g.sin_lon, g.cos_lon)) : target_code;
  return store(destination, source, to_grid(grid_2000_parameters(code), g, p.z));
}

int convert_2000_to_1965(GridPoint* destination, int target_zone, GridPoint* source,
                         int source_code, AreaWarnings* warnings) {
  if (!zone_ok(target_zone)) return kBadZone1965;
  const GridPoint p = *source;
  WarningsOut w(warnings);
  return store(destination, source,
               from_grs80_to_1965(p, from_grs80_grid(grid_2000_parameters(source_code), p),
                                  target_zone, w.to));
}

int convert_1965_to_1992(GridPoint* destination, int /*target_code*/, GridPoint* source,
                         int source_zone, AreaWarnings* warnings) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  WarningsOut w(warnings);
  const GeoPosition g = from_1965_to_grs80(p, source_zone, w.to);
  return store(destination, source, to_grid(grid_1992_parameters(), g, p.z));
}

int convert_1992_to_1965(GridPoint* destination, int target_zone, GridPoint* source, int /*unused*/,
                         AreaWarnings* warnings) {
  if (!zone_ok(target_zone)) return kBadZone1965;
  const GridPoint p = *source;
  WarningsOut w(warnings);
  return store(
      destination, source,
      from_grs80_to_1965(p, from_grs80_grid(grid_1992_parameters(), p), target_zone, w.to));
}

GridPoint between_grs80_grids(const GridParameters& from, const GridParameters& to,
                              double cos_shift, double sin_shift, const GridPoint& p) {
  GridPoint r{0, 0, p.z};
  gauss_kruger_between(from, to, cos_shift, sin_shift, p.y, p.x, &r.y, &r.x);
  return r;
}

namespace {
int within_grs80(const GridParameters& from, const GridParameters& to, GridPoint* destination,
                 GridPoint* source) {
  const double shift = from.lambda0 - to.lambda0;
  return store(destination, source,
               between_grs80_grids(from, to, std::cos(shift), std::sin(shift), *source));
}
}  // namespace

int convert_1992_to_2000(GridPoint* destination, int target_code, GridPoint* source) {
  return within_grs80(grid_1992_parameters(), grid_2000_parameters(target_code), destination,
                      source);
}

int convert_2000_to_1992(GridPoint* destination, int source_code, GridPoint* source) {
  return within_grs80(grid_2000_parameters(source_code), grid_1992_parameters(), destination,
                      source);
}

int convert_2000_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_code) {
  return within_grs80(grid_2000_parameters(source_code), grid_2000_parameters(target_code),
                      destination, source);
}

int convert_1965_to_utm(GridPoint* destination, int /*unused*/, GridPoint* source, int source_zone,
                        AreaWarnings* warnings) {
  if (!zone_ok(source_zone)) return kBadZone1965;
  const GridPoint p = *source;
  WarningsOut w(warnings);
  const GeoPosition g = from_1965_to_grs80(p, source_zone, w.to);
  const double lat = std::atan2(g.sin_lat, g.cos_lat);
  const double lon = std::atan2(g.sin_lon, g.cos_lon);
  const LatLon position{lat * 180 / kPi, lon * 180 / kPi};
  UtmPoint utm{};
  latlon_to_utm(position, &utm, 2);  // WGS 84 cannot fail
  return store(destination, source, {utm.easting, utm.northing, p.z});
}

}  // namespace egib
