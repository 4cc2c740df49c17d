#include "geodesy/system_area.h"

#include <algorithm>
#include <limits>

#include "geodesy/projection.h"

namespace egib {

namespace {

constexpr double kDegree = kPi / 180;

// Poland lies between 49.00 and 54.84 N and between 14.12 and 24.15 E.
constexpr double kLatSouth = 48.9 * kDegree;
constexpr double kLatNorth = 55.0 * kDegree;
constexpr double kLonWest = 14.0 * kDegree;
constexpr double kLonEast = 24.3 * kDegree;

// Grid coordinates of a lattice over a latitude/longitude box.
GridExtent project_box(const GridParameters& grid, double lat_min, double lat_max, double lon_min,
                       double lon_max) {
  constexpr int kSteps = 32;
  GridExtent e{std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
               std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
  for (int i = 0; i <= kSteps; ++i) {
    const double lat = lat_min + (lat_max - lat_min) * i / kSteps;
    for (int j = 0; j <= kSteps; ++j) {
      const double lon = lon_min + (lon_max - lon_min) * j / kSteps;
      double northing = 0, easting = 0;
      grid_forward(grid, lat, lon, &northing, &easting);
      e.northing_min = std::min(e.northing_min, northing);
      e.northing_max = std::max(e.northing_max, northing);
      e.easting_min = std::min(e.easting_min, easting);
      e.easting_max = std::max(e.easting_max, easting);
    }
  }
  return e;
}

}  // namespace

std::optional<GridExtent> system_extent(int system) {
  if (system >= 1 && system <= 5) {
    const ZoneArea& area = zone_1965_area(system);
    return project_box(zone_1965_grid(system), area.lat_min, area.lat_max, area.lon_min,
                       area.lon_max);
  }
  if (system == 10) {
    return project_box(grid_1992_parameters(), kLatSouth, kLatNorth, kLonWest, kLonEast);
  }
  if (system == 15 || system == 18 || system == 21 || system == 24) {
    const GridParameters grid = grid_2000_parameters(system);
    // A zone reaches 1.5 degrees either side of its meridian; counties on a
    // zone border may lie a little beyond.
    const double half_width = 1.6 * kDegree;
    return project_box(grid, kLatSouth, kLatNorth, std::max(kLonWest, grid.lambda0 - half_width),
                       std::min(kLonEast, grid.lambda0 + half_width));
  }
  return std::nullopt;
}

}  // namespace egib
