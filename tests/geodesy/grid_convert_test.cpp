// Converters between the national grids, against published figures, with
// the area warnings they hand back (they print nothing themselves).
#include "geodesy/grid_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace egib {
namespace {

constexpr double kMm = 0.001;

std::string captured_stdout() {
  return testing::internal::GetCapturedStdout();
}

TEST(GridConvert, Zone1CentreToGrid2000And1992) {
  testing::internal::CaptureStdout();
  GridPoint centre{4637000, 5467000, 0};
  GridPoint out{};
  EXPECT_EQ(convert_1965_to_2000(&out, 21, &centre, 1), 0);
  EXPECT_NEAR(out.x, 7505772.632, kMm);
  EXPECT_NEAR(out.y, 5609908.608, kMm);

  GridPoint back{};
  EXPECT_EQ(convert_2000_to_1965(&back, 1, &out, 21), 0);
  EXPECT_NEAR(back.x, 4637000, 0.002);
  EXPECT_NEAR(back.y, 5467000, 0.002);

  GridPoint p92{};
  EXPECT_EQ(convert_1965_to_1992(&p92, 10, &centre, 1), 0);
  EXPECT_NEAR(p92.x, 647188.552, kMm);
  EXPECT_NEAR(p92.y, 308477.405, kMm);

  GridPoint back92{};
  EXPECT_EQ(convert_1992_to_1965(&back92, 1, &p92, 0), 0);
  EXPECT_NEAR(back92.x, 4637000, 0.002);
  EXPECT_NEAR(back92.y, 5467000, 0.002);
  EXPECT_EQ(captured_stdout(), "");
}

TEST(GridConvert, WithinGrs80) {
  GridPoint p92{500000, 459309.209, 0};
  GridPoint p2000{};
  EXPECT_EQ(convert_1992_to_2000(&p2000, 18, &p92), 0);
  EXPECT_NEAR(p2000.x, 6568671.888, kMm);
  EXPECT_NEAR(p2000.y, 5763372.029, kMm);
  GridPoint back{};
  EXPECT_EQ(convert_2000_to_1992(&back, 18, &p2000), 0);
  EXPECT_NEAR(back.x, 500000, kMm);
  EXPECT_NEAR(back.y, 459309.209, kMm);

  // 18 -> 21 -> 18 comes back; 18 -> 18 is a round trip through one zone.
  GridPoint p21{}, p18{}, same{};
  EXPECT_EQ(convert_2000_to_2000(&p21, 21, &p2000, 18), 0);
  EXPECT_NEAR(p21.x, 7500000 - 137253.161, 200.0);  // 2 degrees west of 21 E
  EXPECT_EQ(convert_2000_to_2000(&p18, 18, &p21, 21), 0);
  EXPECT_NEAR(p18.x, p2000.x, kMm);
  EXPECT_NEAR(p18.y, p2000.y, kMm);
  EXPECT_EQ(convert_2000_to_2000(&same, 18, &p2000, 18), 0);
  EXPECT_NEAR(same.x, p2000.x, 1e-6);
  EXPECT_NEAR(same.y, p2000.y, 1e-6);
}

TEST(GridConvert, Zone5IsGaussKruger) {
  testing::internal::CaptureStdout();
  GridPoint p{237000, 900000, 0};
  GridPoint out{};
  EXPECT_EQ(convert_1965_to_2000(&out, 18, &p, 5), 0);
  EXPECT_NEAR(out.x, 6567817.841, kMm);
  EXPECT_NEAR(out.y, 5599967.103, kMm);
  EXPECT_EQ(captured_stdout(), "");
}

TEST(GridConvert, ZoneToZoneWarnsOnceFromTheTargetZone) {
  testing::internal::CaptureStdout();
  GridPoint p{4603000, 5806000, 0};
  GridPoint mid{};
  AreaWarnings warnings;
  EXPECT_EQ(convert_1965_to_2000(&mid, 18, &p, 2, &warnings), 0);
  EXPECT_EQ(warnings.count, 0);
  GridPoint out{};
  EXPECT_EQ(convert_2000_to_1965(&out, 4, &mid, 18, &warnings), 0);
  ASSERT_EQ(warnings.count, 1);
  EXPECT_EQ(warnings.warning[0].zone, 4);
  EXPECT_NEAR(out.x, 4027110.692, kMm);
  EXPECT_NEAR(out.y, 5785919.964, kMm);
  EXPECT_NEAR(mid.y, 5880093.108, kMm);
  EXPECT_NEAR(mid.x, 6734974.991, kMm);
  // Northing first, six decimals, Windows-1250 letters.
  char expected[200];
  std::snprintf(expected, sizeof expected,
                "Punkt x,y (%lf, %lf) mo\xBF"
                "e by\xE6 poza 4 stref\xB9 ukladu 1965\n",
                mid.y, mid.x);
  const std::string text = area_warning_text(warnings.warning[0]);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.rfind("Punkt x,y (5880093.1", 0), 0u);
  EXPECT_EQ(captured_stdout(), "");
}

TEST(GridConvert, AreaCheckOfTheSourceZone) {
  // Far east of zone 3: warned, converted all the same.
  testing::internal::CaptureStdout();
  GridPoint p{3900000, 5999000, 7};
  GridPoint out{};
  AreaWarnings warnings;
  EXPECT_EQ(convert_1965_to_1992(&out, 10, &p, 3, &warnings), 0);
  ASSERT_EQ(warnings.count, 1);
  EXPECT_EQ(area_warning_text(warnings.warning[0]),
            "Punkt x,y (5999000.000000, 3900000.000000) mo\xBF"
            "e by\xE6 poza 3 stref\xB9 ukladu 1965\n");
  EXPECT_EQ(captured_stdout(), "");
  // Without a place for the warnings the point is converted the same.
  GridPoint quiet{};
  EXPECT_EQ(convert_1965_to_1992(&quiet, 10, &p, 3), 0);
  EXPECT_EQ(quiet.x, out.x);
  EXPECT_EQ(quiet.y, out.y);
  EXPECT_EQ(out.z, 7);
  EXPECT_GT(out.x, 600000);
}

TEST(GridConvert, BadZoneNumbers) {
  using Converter = int (*)(GridPoint*, int, GridPoint*, int, AreaWarnings*);
  struct Case {
    Converter convert;
    int code;
    int zone_arg;  // 1: the second argument is the zone, 3: the fourth
  };
  const Case cases[] = {
      {convert_1965_to_2000, 21, 3}, {convert_2000_to_1965, 21, 1}, {convert_1965_to_1992, 10, 3},
      {convert_1992_to_1965, 0, 1},  {convert_1965_to_utm, 0, 3},
  };
  for (const Case& c : cases) {
    for (const int zone : {0, 6, -1}) {
      testing::internal::CaptureStdout();
      GridPoint src{4637000, 5467000, 1};
      GridPoint dst{11, 22, 33};
      AreaWarnings warnings;
      const int status = c.zone_arg == 1 ? c.convert(&dst, zone, &src, c.code, &warnings)
                                         : c.convert(&dst, c.code, &src, zone, &warnings);
      EXPECT_EQ(status, kBadZone1965);
      EXPECT_EQ(status, 0x8000);
      EXPECT_EQ(captured_stdout(), "");  // the caller says it, in these words:
      EXPECT_STREQ(kBadZone1965Message, "Nieprawidlowy numer strefy ukladu 1965\n");
      EXPECT_EQ(warnings.count, 0);
      EXPECT_EQ(dst.x, 11);
      EXPECT_EQ(dst.y, 22);
      EXPECT_EQ(dst.z, 33);
      EXPECT_EQ(src.x, 4637000);
    }
  }
}

TEST(GridConvert, HeightAliasingAndNullDestination) {
  GridPoint src{4637000, 5467000, 0};
  GridPoint reference{};
  convert_1965_to_2000(&reference, 21, &src, 1);

  GridPoint high{4637000, 5467000, 1234.5};
  GridPoint out{};
  convert_1965_to_2000(&out, 21, &high, 1);
  EXPECT_EQ(out.x, reference.x);
  EXPECT_EQ(out.y, reference.y);
  EXPECT_EQ(out.z, 1234.5);

  GridPoint alias{4637000, 5467000, -3};
  convert_1965_to_2000(&alias, 21, &alias, 1);
  EXPECT_EQ(alias.x, reference.x);
  EXPECT_EQ(alias.y, reference.y);
  EXPECT_EQ(alias.z, -3);

  GridPoint in_place{4637000, 5467000, 0};
  convert_1965_to_2000(nullptr, 21, &in_place, 1);
  EXPECT_EQ(in_place.x, reference.x);
  EXPECT_EQ(in_place.y, reference.y);

  GridPoint p92{647188.552, 308477.405, 5};
  convert_1992_to_2000(nullptr, 18, &p92);
  EXPECT_EQ(p92.z, 5);
  EXPECT_GT(p92.x, 6500000);
}

TEST(GridConvert, NearestZoneOfTheGrid2000) {
  GridPoint centre{4637000, 5467000, 0};
  GridPoint nearest{}, in21{};
  convert_1965_to_2000(&nearest, -1, &centre, 1);
  convert_1965_to_2000(&in21, 21, &centre, 1);
  EXPECT_EQ(nearest.x, in21.x);
  EXPECT_EQ(nearest.y, in21.y);
  // The zone-4 centre lies at 16 40' E, more than 1.5 degrees east of
  // 15 E: the nearest zone is the one of 18 E.
  GridPoint z4{3703000, 5627000, 0}, n4{}, in18{};
  convert_1965_to_2000(&n4, -1, &z4, 4);
  convert_1965_to_2000(&in18, 18, &z4, 4);
  EXPECT_EQ(n4.x, in18.x);
}

TEST(GridConvert, ResultsDoNotDependOnEarlierCalls) {
  GridPoint p{4603000, 5806000, 0};
  GridPoint first{}, again{};
  convert_1965_to_2000(&first, 21, &p, 2);
  // Load other parameters (another ellipsoid, zone and grid) in between.
  GridPoint q{500000, 459309.209, 0}, tmp{};
  convert_1992_to_1965(&tmp, 5, &q, 0);
  convert_2000_to_2000(&tmp, 24, &first, 21);
  convert_1965_to_2000(&again, 21, &p, 2);
  EXPECT_EQ(first.x, again.x);
  EXPECT_EQ(first.y, again.y);
}

TEST(GridConvert, Zone1965ToUtm) {
  GridPoint centre{4637000, 5467000, 2};
  GridPoint utm{};
  EXPECT_EQ(convert_1965_to_utm(&utm, 0, &centre, 1), 0);
  // The zone-1 centre (50 37' 30" N, about 21.08 E) lies in UTM zone 34,
  // just east of its central meridian 21 E.
  EXPECT_NEAR(utm.x, 500000 + 5700, 300);
  EXPECT_NEAR(utm.y, 5608000, 1500);
  EXPECT_EQ(utm.z, 2);
}

}  // namespace
}  // namespace egib
