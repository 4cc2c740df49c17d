// Coordinate system descriptions for the .prj files beside the layers and
// for the EPSG arguments: the EPSG code and the ESRI WKT of each system of
// the table (coordinate_systems.h).
#pragma once

#include <string_view>

namespace egib {

// EPSG code of a system code, 0 for a code of no system.
int epsg_of_system(int system);
// The system code of an EPSG code, 0 for an EPSG code of no system here.
int system_of_epsg(int epsg);

// ESRI WKT (one line, no line end) of a system code; empty for any other.
std::string_view esri_wkt_of_system(int system);

}  // namespace egib
