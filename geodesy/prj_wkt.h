// Coordinate system descriptions for the .prj files beside the layers: the
// EPSG code and the ESRI WKT of each recognised system code.
#pragma once

#include <string_view>

namespace egib {

// EPSG code of a system code (1..5, 10, 15, 18, 21, 24), 0 for any other.
int epsg_of_system(int system);
// The system code of an EPSG code (3120 -> 1, 2172..2175 -> 2..5, 2180 -> 10,
// 2176..2179 -> 15, 18, 21, 24), 0 for any other.
int system_of_epsg(int epsg);

// ESRI WKT (one line, no line end) of a system code; empty for any other.
std::string_view esri_wkt_of_system(int system);

}  // namespace egib
