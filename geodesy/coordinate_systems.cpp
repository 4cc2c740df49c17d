// The table of coordinate systems; what it holds and where its figures come
// from is said in coordinate_systems.h.
#include "geodesy/coordinate_systems.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace egib {

namespace {

constexpr double kDegree = kPi / 180;

// Units of the rows: angles in radians (the 1965 zones' as the nine-decimal
// values of the system's definition, not converted from degrees at run time;
// the degrees are given beside them), lengths in metres, scales
// dimensionless.  R0 and XC are 0 for the Gauss-Krüger grids, which have no
// sphere.
struct Row {
  int code;
  int epsg;
  SystemFamily family;
  const char* name;
  double lambda0;
  double false_northing;
  double false_easting;
  double scale;
  int kind;
  double sphere_radius;    // R0
  double centre_northing;  // XC
  GeoBox area;
  const char* wkt;
};

// Poland lies between 49.00 and 54.84 N and between 14.12 and 24.15 E; the
// grids of GRS80 cover it with a margin.
constexpr double kLatSouth = 48.9 * kDegree;
constexpr double kLatNorth = 55.0 * kDegree;
constexpr double kLonWest = 14.0 * kDegree;
constexpr double kLonEast = 24.3 * kDegree;
constexpr GeoBox kPoland{kLatSouth, kLatNorth, kLonWest, kLonEast};

// Central meridian of the 1992 grid, 19 degrees.
constexpr double kLambda1992 = 0.33161255787892263;

// A 2000-grid zone: its code is its central meridian in degrees.  A zone
// reaches 1.5 degrees either side of its meridian; counties on a zone border
// may lie a little beyond.
constexpr double lambda_2000(int code) {
  return code / 180.0 * kPi;
}
constexpr GeoBox area_2000(int code) {
  return {kLatSouth, kLatNorth, std::max(kLonWest, lambda_2000(code) - 1.6 * kDegree),
          std::min(kLonEast, lambda_2000(code) + 1.6 * kDegree)};
}

// clang-format off
constexpr Row kRows[] = {
    // 1965 zone 1: stereographic, centre 50°37'30" N 21°05' E
    {1, 3120, SystemFamily::kZone1965, "1965 zone 1",
     0.367973584 /* 21°05' */, 5467000, 4637000, 0.9998, kStereographic,
     6382390.1649837, 5610467.5770417,
     {0.853756892 /* 48°55' */, 0.913388975 /* 52°20' */,
      0.314159265 /* 18°00' */, 0.421787903 /* 24°10' */},
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_I\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",4637000.0],PARAMETER[\"False_Northing\",5467000.0],PARAMETER["
     "\"Central_Meridian\",21.0833333333333],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",50.625],UNIT[\"Meter\",1.0]]"},
    // 1965 zone 2: stereographic, centre 53°00'07" N 21°30'10" E
    {2, 2172, SystemFamily::kZone1965, "1965 zone 2",
     0.375294271 /* 21°30'10" */, 5806000, 4603000, 0.9998, kStereographic,
     6384119.4273046, 5874939.874115,
     {0.895935683 /* 51°20' */, 0.951204442 /* 54°30' */,
      0.331612558 /* 19°00' */, 0.41887902 /* 24°00' */},
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_II\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",4603000.0],PARAMETER[\"False_Northing\",5806000.0],PARAMETER["
     "\"Central_Meridian\",21.5027777777778],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",53.0019444444444],UNIT[\"Meter\",1.0]]"},
    // 1965 zone 3: stereographic, centre 53°35' N 17°00'30" E
    {3, 2173, SystemFamily::kZone1965, "1965 zone 3",
     0.296851417 /* 17°00'30" */, 5999000, 3501000, 0.9998, kStereographic,
     6384536.7935655, 5939644.7701117,
     {0.910480093 /* 52°10' */, 0.957022207 /* 54°50' */,
      0.245800536 /* 14°05' */, 0.34906585 /* 20°00' */},
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_III\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",3501000.0],PARAMETER[\"False_Northing\",5999000.0],PARAMETER["
     "\"Central_Meridian\",17.0083333333333],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",53.5833333333333],UNIT[\"Meter\",1.0]]"},
    // 1965 zone 4: stereographic, centre 51°40'15" N 16°40'20" E
    {4, 2174, SystemFamily::kZone1965, "1965 zone 4",
     0.290985171 /* 16°40'20" */, 5627000, 3703000, 0.9998, kStereographic,
     6383155.1651299, 5726819.6678288,
     {0.868301303 /* 49°45' */, 0.930842268 /* 53°20' */,
      0.248709418 /* 14°15' */, 0.333066999 /* 19°05' */},
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_IV\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Double_Stereographic\"],"
     "PARAMETER[\"False_Easting\",3703000.0],PARAMETER[\"False_Northing\",5627000.0],PARAMETER["
     "\"Central_Meridian\",16.6722222222222],PARAMETER[\"Scale_Factor\",0.9998],PARAMETER["
     "\"Latitude_Of_Origin\",51.6708333333333],UNIT[\"Meter\",1.0]]"},
    // 1965 zone 5: Gauss-Krüger, central meridian 18°57'30" E
    {5, 2175, SystemFamily::kZone1965, "1965 zone 5",
     0.330885337 /* 18°57'30" */, -4700000, 237000, 0.999983, kGaussKruger,
     0, 0,
     {0.861029098 /* 49°20' */, 0.895935683 /* 51°20' */,
      0.31997703 /* 18°20' */, 0.346156968 /* 19°50' */},
     "PROJCS[\"Pulkovo_1942_Adj_1958_Poland_Zone_V\",GEOGCS[\"GCS_Pulkovo_1942_Adj_1958\",DATUM["
     "\"D_Pulkovo_1942_Adj_1958\",SPHEROID[\"Krasovsky_1940\",6378245.0,298.3]],PRIMEM["
     "\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
     "PARAMETER[\"False_Easting\",237000.0],PARAMETER[\"False_Northing\",-4700000.0],PARAMETER["
     "\"Central_Meridian\",18.9583333333333],PARAMETER[\"Scale_Factor\",0.999983],PARAMETER["
     "\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    // 1992 grid: Gauss-Krüger, central meridian 19° E
    {10, 2180, SystemFamily::kGrid1992, "1992", kLambda1992, -5300000, 500000, 0.9993,
     kGaussKruger, 0, 0, kPoland,
     "PROJCS[\"ETRS_1989_Poland_CS92\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\",SPHEROID["
     "\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",500000.0],"
     "PARAMETER[\"False_Northing\",-5300000.0],PARAMETER[\"Central_Meridian\",19.0],PARAMETER["
     "\"Scale_Factor\",0.9993],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    // 2000 grid, zone of 15° E: Gauss-Krüger
    {15, 2176, SystemFamily::kGrid2000, "2000 zone 15 E",
     lambda_2000(15), 0, 5500000, 0.999923, kGaussKruger, 0, 0, area_2000(15),
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_5\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",5500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",15.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    // 2000 grid, zone of 18° E: Gauss-Krüger
    {18, 2177, SystemFamily::kGrid2000, "2000 zone 18 E",
     lambda_2000(18), 0, 6500000, 0.999923, kGaussKruger, 0, 0, area_2000(18),
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_6\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",6500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",18.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    // 2000 grid, zone of 21° E: Gauss-Krüger
    {21, 2178, SystemFamily::kGrid2000, "2000 zone 21 E",
     lambda_2000(21), 0, 7500000, 0.999923, kGaussKruger, 0, 0, area_2000(21),
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_7\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",7500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",21.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    // 2000 grid, zone of 24° E: Gauss-Krüger
    {24, 2179, SystemFamily::kGrid2000, "2000 zone 24 E",
     lambda_2000(24), 0, 8500000, 0.999923, kGaussKruger, 0, 0, area_2000(24),
     "PROJCS[\"ETRS_1989_Poland_CS2000_Zone_8\",GEOGCS[\"ETRF2000-PL\",DATUM[\"D_ETRF2000_Poland\","
     "SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0."
     "0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",8500000.0]"
     ",PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",24.0],PARAMETER[\"Scale_"
     "Factor\",0.999923],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
};
// clang-format on

const EllipsoidModel& ellipsoid_of(SystemFamily family) {
  return family == SystemFamily::kZone1965 ? krassowski() : grs80();
}

std::vector<CoordinateSystem> build_table() {
  std::vector<CoordinateSystem> table;
  for (const Row& r : kRows) {
    GridParameters grid = make_grid(ellipsoid_of(r.family), r.lambda0, r.false_northing,
                                    r.false_easting, r.scale, r.kind);
    grid.sphere = {r.sphere_radius, r.centre_northing};
    table.push_back({r.code, r.epsg, r.family, r.name, grid, r.area, r.wkt});
  }
  return table;
}

// The families in the order the usage text lists them.
struct FamilyText {
  SystemFamily family;
  const char* text;
};
constexpr FamilyText kFamilies[] = {
    {SystemFamily::kZone1965, "1965 system, zone by number (Krassowski)"},
    {SystemFamily::kGrid1992, "1992 grid (GRS80)"},
    {SystemFamily::kGrid2000, "2000 grid, zone by its meridian (GRS80)"},
};

// Numbers in the table's order, a run of three or more consecutive ones
// written as its ends joined by range.
std::string runs(const std::vector<int>& values, const char* range, const char* separator) {
  std::string text;
  for (size_t i = 0; i < values.size();) {
    size_t j = i;
    while (j + 1 < values.size() && values[j + 1] == values[j] + 1) ++j;
    if (!text.empty()) text += separator;
    text += std::to_string(values[i]);
    if (j >= i + 2) {
      text += range + std::to_string(values[j]);
      i = j + 1;
    } else {
      i = i + 1;
    }
  }
  return text;
}

bool of_family(int code, SystemFamily family) {
  const CoordinateSystem* s = coordinate_system(code);
  return s != nullptr && s->family == family;
}

}  // namespace

std::span<const CoordinateSystem> coordinate_systems() {
  static const std::vector<CoordinateSystem> table = build_table();
  return table;
}

const CoordinateSystem* coordinate_system(int code) {
  for (const CoordinateSystem& s : coordinate_systems()) {
    if (s.code == code) return &s;
  }
  return nullptr;
}

const CoordinateSystem* coordinate_system_of_epsg(int epsg) {
  for (const CoordinateSystem& s : coordinate_systems()) {
    if (s.epsg == epsg) return &s;
  }
  return nullptr;
}

bool is_zone_1965(int code) {
  return of_family(code, SystemFamily::kZone1965);
}
bool is_grid_1992(int code) {
  return of_family(code, SystemFamily::kGrid1992);
}
bool is_grid_2000(int code) {
  return of_family(code, SystemFamily::kGrid2000);
}
bool is_known_system(int code) {
  return coordinate_system(code) != nullptr;
}

std::string system_name(int code) {
  const CoordinateSystem* s = coordinate_system(code);
  if (s == nullptr) return "unknown system " + std::to_string(code);
  return std::string(s->name) + " (EPSG:" + std::to_string(s->epsg) + ")";
}

std::string system_codes_usage() {
  std::string text;
  for (const FamilyText& f : kFamilies) {
    std::vector<int> codes, epsg;
    for (const CoordinateSystem& s : coordinate_systems()) {
      if (s.family != f.family) continue;
      codes.push_back(s.code);
      epsg.push_back(s.epsg);
    }
    if (codes.empty()) continue;
    // The codes right-aligned on their first number's last digit.
    const std::string code_text = runs(codes, " .. ", " ");
    const std::string first = std::to_string(codes.front());
    std::string line(4 - std::min<size_t>(first.size(), 4), ' ');
    line += code_text;
    line.resize(std::max<size_t>(line.size() + 1, 16), ' ');
    line += f.text;
    line.resize(std::max<size_t>(line.size() + 2, 58), ' ');
    text += line + "EPSG " + runs(epsg, "-", ", ") + "\n";
  }
  return text;
}

const GridParameters& zone_1965_grid(int zone) {
  static const GridParameters none = [] {
    GridParameters g;
    g.ellipsoid = &krassowski();
    return g;
  }();
  return is_zone_1965(zone) ? coordinate_system(zone)->grid : none;
}

const ZoneArea& zone_1965_area(int zone) {
  static const std::array<ZoneArea, 6> areas = [] {
    std::array<ZoneArea, 6> a{};
    for (const CoordinateSystem& s : coordinate_systems()) {
      if (s.family != SystemFamily::kZone1965) continue;
      const GeoBox& b = s.area;
      const double l0 = s.grid.lambda0;
      a[static_cast<size_t>(s.code)] = {b.lat_min,
                                        b.lat_max,
                                        b.lon_min,
                                        b.lon_max,
                                        std::cos(b.lon_min - l0),
                                        std::sin(b.lon_min - l0),
                                        std::cos(b.lon_max - l0),
                                        std::sin(b.lon_max - l0)};
    }
    return a;
  }();
  return areas[static_cast<size_t>(is_zone_1965(zone) ? zone : 0)];
}

GridParameters grid_1992_parameters() {
  for (const CoordinateSystem& s : coordinate_systems()) {
    if (s.family == SystemFamily::kGrid1992) return s.grid;
  }
  return {};
}

GridParameters grid_2000_parameters(int code) {
  if (is_grid_2000(code)) return coordinate_system(code)->grid;
  // A code of no zone: its meridian, no false easting.
  return make_grid(grs80(), lambda_2000(code), 0, 0, 0.999923, kGaussKruger);
}

int zone_2000_for_longitude(double lon) {
  const double d = lon / kPi * 180;
  const int k = 3 * static_cast<int>(d / 3);
  return d - k > 1.5 ? k + 3 : k;
}

}  // namespace egib
