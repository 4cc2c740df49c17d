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

// Grid coordinates of a lattice over a latitude/longitude box, projected
// with the grid loaded in the projection state.
GridExtent project_box(double lat_min, double lat_max, double lon_min, double lon_max, int kind) {
  constexpr int kSteps = 32;
  const ProjectionState& st = projection_state();
  GridExtent e{std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
               std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
  for (int i = 0; i <= kSteps; ++i) {
    const double lat = lat_min + (lat_max - lat_min) * i / kSteps;
    for (int j = 0; j <= kSteps; ++j) {
      const double lon = lon_min + (lon_max - lon_min) * j / kSteps;
      double northing = 0, easting = 0;
      grid_forward(lat, lon, st.lambda0, st.false_northing, st.false_easting, st.scale, kind,
                   &northing, &easting);
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
  ProjectionState& st = projection_state();
  if (system >= 1 && system <= 5) {
    set_ellipsoid('K');
    set_zone_1965(system);
    return project_box(st.lat_min, st.lat_max, st.lon_min, st.lon_max,
                       system == 5 ? kGaussKruger : kStereographic);
  }
  if (system == 10) {
    set_ellipsoid('W');
    set_grid_1992();
    st.lambda0 = kLambda1992;
    return project_box(kLatSouth, kLatNorth, kLonWest, kLonEast, kGaussKruger);
  }
  if (system == 15 || system == 18 || system == 21 || system == 24) {
    set_ellipsoid('W');
    set_zone_2000(system);
    const double centre = system * kDegree;
    st.lambda0 = centre;
    // A zone reaches 1.5 degrees either side of its meridian; counties on a
    // zone border may lie a little beyond.
    const double half_width = 1.6 * kDegree;
    return project_box(kLatSouth, kLatNorth, std::max(kLonWest, centre - half_width),
                       std::min(kLonEast, centre + half_width), kGaussKruger);
  }
  return std::nullopt;
}

}  // namespace egib
