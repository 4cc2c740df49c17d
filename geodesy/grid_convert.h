// Converters between the Polish plane coordinate systems: the 1965 system
// (zones 1 to 5, Krassowski), the 1992 grid and the 2000 grid (zones with
// central meridians 15, 18, 21 and 24 E, GRS80).  Each goes through geodetic
// coordinates: inverse projection out of the source grid, the datum shift
// where the ellipsoids differ, forward projection into the target grid.
//
// A GridPoint carries the easting in x and the northing in y; the console
// messages follow the national convention and name the northing first.
// Every converter reads the source whole before writing the destination,
// so both may be the same point; a null destination means "write into the
// source".  Status: 0, or kBadZone1965 for a 1965 zone outside 1 to 5.
#pragma once

#include <cstdint>

namespace egib {

struct GridPoint {
  double x;  // easting, metres
  double y;  // northing, metres
  double z;  // height, copied through unchanged
};

inline constexpr int kBadZone1965 = 32768;

// How many area warnings the converters have printed so far.
uint64_t area_warnings_printed();

// target_code -1: the 2000 zone nearest to each point.
int convert_1965_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone);
int convert_2000_to_1965(GridPoint* destination, int target_zone, GridPoint* source,
                         int source_code);
int convert_1992_to_2000(GridPoint* destination, int target_code, GridPoint* source);
int convert_2000_to_1992(GridPoint* destination, int source_code, GridPoint* source);
int convert_2000_to_2000(GridPoint* destination, int target_code, GridPoint* source,
                         int source_code);
// The target code has no effect (the 1992 grid has one zone).
int convert_1965_to_1992(GridPoint* destination, int target_code, GridPoint* source,
                         int source_zone);
int convert_1992_to_1965(GridPoint* destination, int target_zone, GridPoint* source, int unused);
// UTM (WGS 84, zone chosen from the position) of a 1965 point.
int convert_1965_to_utm(GridPoint* destination, int unused, GridPoint* source, int source_zone);

}  // namespace egib
