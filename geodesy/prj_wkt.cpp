// The .prj text and EPSG code of a system, read from the table of systems.
#include "geodesy/prj_wkt.h"

#include "geodesy/coordinate_systems.h"

namespace egib {

int epsg_of_system(int system) {
  const CoordinateSystem* s = coordinate_system(system);
  return s != nullptr ? s->epsg : 0;
}

int system_of_epsg(int epsg) {
  const CoordinateSystem* s = coordinate_system_of_epsg(epsg);
  return s != nullptr ? s->code : 0;
}

std::string_view esri_wkt_of_system(int system) {
  const CoordinateSystem* s = coordinate_system(system);
  return s != nullptr ? s->esri_wkt : std::string_view{};
}

}  // namespace egib
