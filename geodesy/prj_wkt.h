// Coordinate system descriptions for the .prj files beside the layers: the
// EPSG code and the ESRI WKT of each recognised system code.
#pragma once

#include <string_view>

namespace egib {

// EPSG code of a system code (1..5, 10, 15, 18, 21, 24), 0 for any other.
int epsg_of_system(int system);

// ESRI WKT (one line, no line end) of a system code; empty for any other.
std::string_view esri_wkt_of_system(int system);

}  // namespace egib
