#include "geodesy/prj_wkt.h"

namespace egib {

namespace {

struct SystemWkt {
  int system;
  int epsg;
  const char* wkt;
};

// ESRI WKT of each system, as PROJ's database gives it
// (projinfo -o WKT1_ESRI --single-line EPSG:NNNN).
constexpr SystemWkt kSystems[] = {
    {1, 3120,
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_I\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",4637000.0],PARAMETER[\"False_Northing\",5467000.0],PARAMETER["
     "\"Central_Meridian\",21.0833333333333],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",50.625],UNIT[\"Meter\",1.0]]"},
    {2, 2172,
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_II\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",4603000.0],PARAMETER[\"False_Northing\",5806000.0],PARAMETER["
     "\"Central_Meridian\",21.5027777777778],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",53.0019444444444],UNIT[\"Meter\",1.0]]"},
    {3, 2173,
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_III\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",3501000.0],PARAMETER[\"False_Northing\",5999000.0],PARAMETER["
     "\"Central_Meridian\",17.0083333333333],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",53.5833333333333],UNIT[\"Meter\",1.0]]"},
    {4, 2174,
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_IV\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",3703000.0],PARAMETER[\"False_Northing\",5627000.0],PARAMETER["
     "\"Central_Meridian\",16.6722222222222],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",51.6708333333333],UNIT[\"Meter\",1.0]]"},
    {5, 2175,
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_V\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
     "PARAMETER[\"False_Easting\",237000.0],PARAMETER[\"False_Northing\",-4700000.0],PARAMETER["
     "\"Central_Meridian\",18.9583333333333],PARAMETER[\"Scale_Factor\",0.999983],PARAMETER["
     "\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {10, 2180,
     "PROJCS[\"ETRS_1989_Poland_CS92\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\",SPHEROID["
     "\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",500000.0],"
     "PARAMETER[\"False_Northing\",-5300000.0],PARAMETER[\"Central_Meridian\",19.0],PARAMETER["
     "\"Scale_Factor\",0.9993],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {15, 2176,
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_5\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",5500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",15.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {18, 2177,
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_6\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",6500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",18.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {21, 2178,
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_7\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",7500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",21.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {24, 2179,
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_8\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",8500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",24.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
};

}  // namespace

int epsg_of_system(int system) {
  for (const SystemWkt& s : kSystems) {
    if (s.system == system) return s.epsg;
  }
  return 0;
}

int system_of_epsg(int epsg) {
  for (const SystemWkt& s : kSystems) {
    if (s.epsg == epsg) return s.system;
  }
  return 0;
}

std::string_view esri_wkt_of_system(int system) {
  for (const SystemWkt& s : kSystems) {
    if (s.system == system) return s.wkt;
  }
  return {};
}

}  // namespace egib
