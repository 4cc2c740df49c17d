// UTM / UPS zones and projections.
#include "geodesy/utm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace egib {
namespace {

constexpr double kDeg = 3.141592653589793 / 180;

TEST(UtmZone, DesignationAndMeridianOfPositions) {
  struct Case {
    double lat, lon;
    const char* zone;
    double meridian_deg;
  };
  const Case cases[] = {
      {52, 21, "34U", 21},
      {-33.9, 18.4, "34H", 21},
      {0, 0, "31N", 3},
      {60, 5, "32V", 7.5},
      {60, 2, "31V", 1.5},
      {60, 20, "34V", 21},
      {60, 40, "37V", 39},
      {75, 5, "31X", 4.5},
      {75, 10, "33X", 15},
      {80, 50, "39X", 51},
      {81, 50, "39X", 51},
      {85, 0, "31Z", 0},
      {85, -0.1, "30Y", 0},
      {-85, 10, "31B", 0},
      {-85, -10, "30A", 0},
      // strict bounds of the special zones fall to the general rule
      {72, 5, "31X", 3},
      {56, 5, "31V", 3},
      {64, 5, "31W", 3},
      {75, 0, "31X", 3},
      {60, 12, "33V", 15},
      {75, 42, "38X", 45},
      {-80, 10, "32C", 9},
      {84, 10, "33X", 15},
      {-1, -179.9, "01M", -177},
  };
  for (const Case& c : cases) {
    char zone[4] = {'?', '?', '?', '?'};
    double meridian = -1;
    utm_zone_from_latlon({c.lat, c.lon}, zone, &meridian);
    EXPECT_STREQ(zone, c.zone) << c.lat << ", " << c.lon;
    EXPECT_NEAR(meridian, c.meridian_deg * kDeg, 1e-15) << c.lat << ", " << c.lon;
  }
}

TEST(UtmZone, OutOfDomainInputsStayWellFormed) {
  char zone[4];
  double meridian = 0;
  utm_zone_from_latlon({NAN, NAN}, zone, &meridian);
  EXPECT_TRUE(is_zone_digit(zone[0]) && is_zone_digit(zone[1]));
  EXPECT_EQ(zone[3], '\0');
  utm_zone_from_latlon({10, 1e300}, zone, &meridian);
  EXPECT_TRUE(is_zone_digit(zone[0]) && is_zone_digit(zone[1]));
}

TEST(UtmZone, MeridianOfDesignations) {
  struct Case {
    const char* zone;
    double meridian_deg;
  };
  const Case cases[] = {{"34U", 21}, {"34V", 21},  {"37V", 39},  {"37X", 37.5},
                        {"05A", 0},  {"31V", 1.5}, {"32V", 7.5}, {"33X", 15},
                        {"35X", 27}, {"31X", 4.5}, {"34u", 21},  {"99Q", 411}};
  for (const Case& c : cases) {
    double meridian = -1;
    EXPECT_EQ(utm_zone_meridian(c.zone, &meridian), 0) << c.zone;
    EXPECT_NEAR(meridian, c.meridian_deg * kDeg, 1e-15) << c.zone;
  }

  testing::internal::CaptureStderr();
  double meridian = 123;
  EXPECT_EQ(utm_zone_meridian("32X", &meridian), -1);
  EXPECT_EQ(utm_zone_meridian("3A", &meridian), -1);
  EXPECT_EQ(utm_zone_meridian("", &meridian), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Zone 32X does not exist!\n"
            "Invalid grid zone format: [3A]\n"
            "Invalid grid zone format: []\n");
  EXPECT_EQ(meridian, 123);
}

struct Projected {
  double lat, lon;
  int datum;
  const char* zone;
  double easting, northing;
};

const Projected kProjected[] = {
    {52, 21, 2, "34U", 500000, 5761038.213},
    {-33.9, 18.4, 2, "34H", 259583.222, 6245888.045},
    {87, 30, 2, "31Z", 2166572.243, 1711488.412},
    {-87, 30, 2, "31B", 2166572.243, 2288511.588},
};

TEST(UtmProjection, ForwardFigures) {
  for (const Projected& c : kProjected) {
    UtmPoint p{};
    ASSERT_EQ(latlon_to_utm({c.lat, c.lon}, &p, c.datum), 0);
    EXPECT_STREQ(p.zone, c.zone);
    EXPECT_NEAR(p.easting, c.easting, 0.001) << c.zone;
    EXPECT_NEAR(p.northing, c.northing, 0.001) << c.zone;
  }
  UtmPoint p{};
  ASSERT_EQ(latlon_to_utm({52, 21}, &p, 2), 0);
  EXPECT_EQ(p.easting, 500000.0);                // exactly, on the central meridian
  ASSERT_EQ(latlon_to_utm({52, 21}, &p, 0), 0);  // Clarke 1866
  EXPECT_NEAR(p.northing, 5760820.103, 0.001);
  // Only the low byte of the datum number counts.
  ASSERT_EQ(latlon_to_utm({52, 21}, &p, 256 + 2), 0);
  EXPECT_NEAR(p.northing, 5761038.213, 0.001);
}

TEST(UtmProjection, InverseReturnsThePosition) {
  for (const int datum : {0, 1, 2}) {
    for (const Projected& c : kProjected) {
      UtmPoint p{};
      ASSERT_EQ(latlon_to_utm({c.lat, c.lon}, &p, datum), 0);
      LatLon back{};
      ASSERT_EQ(utm_to_latlon(p, &back, datum), 0);
      EXPECT_NEAR(back.latitude, c.lat, 1e-8) << c.zone << " datum " << datum;
      EXPECT_NEAR(back.longitude, c.lon, 1e-8) << c.zone << " datum " << datum;
    }
  }
  // Over Poland, in and next to the zones the positions fall in.
  for (double lat = 49; lat <= 55; lat += 0.75) {
    for (double lon = 14; lon <= 24.5; lon += 0.75) {
      UtmPoint p{};
      ASSERT_EQ(latlon_to_utm({lat, lon}, &p, 2), 0);
      LatLon back{};
      ASSERT_EQ(utm_to_latlon(p, &back, 2), 0);
      ASSERT_NEAR(back.latitude, lat, 1e-8);
      ASSERT_NEAR(back.longitude, lon, 1e-8);
    }
  }
}

TEST(UtmProjection, NamedZoneUsesItsMeridianOnly) {
  UtmPoint p{};
  p.zone[0] = '3';
  p.zone[1] = '3';
  p.zone[2] = 'U';
  ASSERT_EQ(latlon_to_utm_in_zone({52, 21}, &p, 2), 0);
  EXPECT_STREQ(p.zone, "33U");   // kept as the caller gave it
  EXPECT_GT(p.easting, 900000);  // 6 degrees east of the zone's meridian
  LatLon back{};
  ASSERT_EQ(utm_to_latlon(p, &back, 2), 0);
  EXPECT_NEAR(back.latitude, 52, 1e-6);
  EXPECT_NEAR(back.longitude, 21, 1e-6);
}

TEST(UtmProjection, FailuresLeaveTheOutputUntouched) {
  testing::internal::CaptureStderr();
  UtmPoint p{{'3', '4', 'U', '\0'}, 1, 2};
  EXPECT_EQ(latlon_to_utm({52, 21}, &p, 3), -1);
  EXPECT_EQ(latlon_to_utm_in_zone({52, 21}, &p, 255), -1);
  EXPECT_EQ(p.easting, 1);
  EXPECT_EQ(p.northing, 2);
  LatLon out{7, 8};
  EXPECT_EQ(utm_to_latlon(p, &out, 3), -1);
  UtmPoint bad{{'3', '2', 'X', '\0'}, 1, 2};
  EXPECT_EQ(latlon_to_utm_in_zone({52, 21}, &bad, 2), -1);
  EXPECT_EQ(utm_to_latlon(bad, &out, 2), -1);
  UtmPoint short_zone{{'X', '\0', '\0', '\0'}, 1, 2};
  EXPECT_EQ(utm_to_latlon(short_zone, &out, 2), -1);
  EXPECT_EQ(out.latitude, 7);
  EXPECT_EQ(out.longitude, 8);
  EXPECT_EQ(bad.easting, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Unknown datum: 3\n"
            "Unknown datum: 255\n"
            "Unknown datum: 3\n"
            "Zone 32X does not exist!\n"
            "Zone 32X does not exist!\n"
            "unable to translate UTM to LL\n"
            "Invalid grid zone format: [X]\n"
            "unable to translate UTM to LL\n");
}

TEST(UtmProjection, PolarIterationEndsOnNonFiniteInput) {
  UtmPoint p{{'3', '1', 'Z', '\0'}, NAN, 2000000};
  LatLon out{};
  EXPECT_EQ(utm_to_latlon(p, &out, 2), 0);
  UtmPoint pole{{'3', '1', 'Z', '\0'}, 2000000, 2000000};
  EXPECT_EQ(utm_to_latlon(pole, &out, 2), 0);
  EXPECT_NEAR(out.latitude, 90, 1e-9);
}

}  // namespace
}  // namespace egib
