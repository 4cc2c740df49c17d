// The part of the plane that each coordinate system covers: the grid
// coordinates of the area of a 1965 zone, of a 2000-grid zone over Poland,
// or of Poland in the 1992 grid.  Used to tell the order of the numbers of a
// coordinate pair from the coordinates themselves.
#pragma once

#include <optional>

namespace egib {

struct GridExtent {
  double northing_min = 0;
  double northing_max = 0;
  double easting_min = 0;
  double easting_max = 0;

  bool contains(double northing, double easting) const {
    return northing >= northing_min && northing <= northing_max && easting >= easting_min &&
           easting <= easting_max;
  }
};

// The extent of a system's area in its grid; none for a code of no system.
std::optional<GridExtent> system_extent(int system);

}  // namespace egib
