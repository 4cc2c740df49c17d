// Grid extents of the systems' areas: the geodetic area of each system in
// the table (coordinate_systems.h), projected onto its grid.
#include "geodesy/system_area.h"

#include <algorithm>
#include <limits>

#include "geodesy/coordinate_systems.h"

namespace egib {

namespace {

// Grid coordinates of a 33 x 33 lattice over a latitude/longitude box: the
// bounds of a box's image, which no grid here bends far enough for its
// edges' midpoints to matter at the margins the callers allow.
GridExtent project_box(const GridParameters& grid, const GeoBox& box) {
  constexpr int kSteps = 32;
  GridExtent e{std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
               std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
  for (int i = 0; i <= kSteps; ++i) {
    const double lat = box.lat_min + (box.lat_max - box.lat_min) * i / kSteps;
    for (int j = 0; j <= kSteps; ++j) {
      const double lon = box.lon_min + (box.lon_max - box.lon_min) * j / kSteps;
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
  const CoordinateSystem* s = coordinate_system(system);
  if (s == nullptr) return std::nullopt;
  return project_box(s->grid, s->area);
}

}  // namespace egib
