// The route table of the dispatcher: every row, the variant rules and the
// pairs that are left alone.
#include "geodesy/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/poly1965.h"

namespace egib {
namespace {

struct Vertex {
  double x, y;  // easting, northing
};

// Runs the dispatcher on the given vertices with the given settings.
std::vector<Vertex> dispatch(int in, int out, int variant, const std::vector<Vertex>& vs) {
  std::vector<double> x, y;
  for (const Vertex& v : vs) {
    x.push_back(v.x);
    y.push_back(v.y);
  }
  const CoordinateTransform transform(in, out, variant);
  EXPECT_EQ(transform_vertices(x, y, transform, stdout), 0);
  std::vector<Vertex> result;
  for (size_t i = 0; i < x.size(); ++i) result.push_back({x[i], y[i]});
  return result;
}

// A few vertices around a grid position, metres apart.
std::vector<Vertex> around(double easting, double northing) {
  return {{easting, northing},
          {easting + 12.5, northing},
          {easting + 12.5, northing + 30.25},
          {easting - 1000.125, northing + 2500.5}};
}

using Step = std::function<void(GridPoint&)>;

Step poly(int zone, int variant) {
  return [=](GridPoint& g) { poly1965_transform(&g.y, &g.x, &g.y, &g.x, zone, variant); };
}

// The expected result: the steps applied by hand to each vertex.
void expect_route(int in, int out, int variant, const std::vector<Vertex>& vs,
                  const std::vector<Step>& steps) {
  testing::internal::CaptureStdout();
  const std::vector<Vertex> got = dispatch(in, out, variant, vs);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(got.size(), vs.size());
  for (size_t i = 0; i < vs.size(); ++i) {
    GridPoint g{vs[i].x, vs[i].y, 0};
    for (const Step& s : steps) s(g);
    EXPECT_EQ(got[i].x, g.x) << in << "->" << out << " v" << variant << " vertex " << i;
    EXPECT_EQ(got[i].y, g.y) << in << "->" << out << " v" << variant << " vertex " << i;
  }
}

const std::vector<Vertex> kZone2 = around(4603000, 5806000);
const std::vector<Vertex> kZone3 = around(3501000, 5999000);
const std::vector<Vertex> kZone5 = around(237000, 900000);
const std::vector<Vertex> k1992 = around(500000, 459309.209);
const std::vector<Vertex> k2000z18 = around(6568671.888, 5763372.029);
const std::vector<Vertex> k2000z21 = around(7505772.632, 5609908.608);
const std::vector<Vertex> kZone1 = around(4637000, 5467000);

TEST(Route, TableInRowOrder) {
  EXPECT_EQ(choose_route(3, 3), Route::kPolynomialOnly);
  EXPECT_EQ(choose_route(10, 10), Route::kNothing);
  EXPECT_EQ(choose_route(18, 18), Route::kNothing);
  EXPECT_EQ(choose_route(2, 21), Route::k1965To2000);
  EXPECT_EQ(choose_route(24, 5), Route::k2000To1965);
  EXPECT_EQ(choose_route(2, 4), Route::k1965To1965);
  EXPECT_EQ(choose_route(15, 24), Route::k2000To2000);
  EXPECT_EQ(choose_route(10, 15), Route::k1992To2000);
  EXPECT_EQ(choose_route(21, 10), Route::k2000To1992);
  EXPECT_EQ(choose_route(1, 10), Route::k1965To1992);
  EXPECT_EQ(choose_route(10, 1), Route::k1992To1965);
  // Codes without zone parameters, or no system at all.
  for (const int odd : {16, 17, 19, 20, 22, 23, 0, 6, 7, 8, 9, 11, 14, 25, -1}) {
    for (const int other : {1, 5, 10, 15, 18, 24}) {
      EXPECT_EQ(choose_route(odd, other), Route::kNothing) << odd << "->" << other;
      EXPECT_EQ(choose_route(other, odd), Route::kNothing) << other << "->" << odd;
    }
  }
}

TEST(Route, EqualCodesAndPairsWithoutRouteLeaveCoordinatesBitForBit) {
  std::vector<Vertex> vs = around(6568671.888123456, 5763372.029987654);
  vs.push_back({NAN, -0.0});
  const std::pair<int, int> pairs[] = {{10, 10}, {15, 15}, {18, 18}, {21, 21}, {24, 24},
                                       {7, 7},   {16, 16}, {0, 0},   {-4, -4}, {2, 7},
                                       {7, 2},   {10, 6},  {16, 10}, {18, 16}, {2, 17},
                                       {23, 1},  {25, 18}, {-1, 10}, {10, 0}};
  for (const auto& [in, out] : pairs) {
    for (const int variant : {0, 1, 2}) {
      testing::internal::CaptureStdout();
      const std::vector<Vertex> got = dispatch(in, out, variant, vs);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << in << "->" << out;
      ASSERT_EQ(got.size(), vs.size());
      for (size_t i = 0; i < vs.size(); ++i) {
        EXPECT_EQ(std::memcmp(&got[i], &vs[i], sizeof(Vertex)), 0) << in << "->" << out;
      }
    }
  }
}

TEST(Route, PolynomialAloneOnlyForVariantsOneAndTwo) {
  expect_route(3, 3, 1, kZone3, {poly(3, 1)});
  expect_route(3, 3, 2, kZone3, {poly(3, 2)});
  for (const int variant : {0, 3, -1, 257}) {
    const std::vector<Vertex> got = dispatch(3, 3, variant, kZone3);
    for (size_t i = 0; i < kZone3.size(); ++i) {
      EXPECT_EQ(got[i].x, kZone3[i].x);
      EXPECT_EQ(got[i].y, kZone3[i].y);
    }
  }
  // The correction does move points.
  const std::vector<Vertex> got = dispatch(3, 3, 1, kZone3);
  EXPECT_NE(got[0].y, kZone3[0].y);
}

TEST(Route, Zone1965ToGrid2000) {
  const Step to21 = [](GridPoint& g) {
    GridPoint r{};
    convert_1965_to_2000(&r, 21, &g, 2);
    g = r;
  };
  expect_route(2, 21, 1, kZone2, {poly(2, 1), to21});
  expect_route(2, 21, 0, kZone2, {to21});
}

TEST(Route, Grid2000ToZone1965) {
  const Step to2 = [](GridPoint& g) {
    GridPoint r{};
    convert_2000_to_1965(&r, 2, &g, 18);
    g = r;
  };
  expect_route(18, 2, 2, k2000z18, {to2, poly(2, 2)});
  expect_route(18, 2, 5, k2000z18, {to2});
}

TEST(Route, ZoneToZoneThroughThe18EZoneWithSourceCorrectionOnly) {
  const Step through18 = [](GridPoint& g) {
    GridPoint r{};
    convert_1965_to_2000(&r, 18, &g, 2);
    convert_2000_to_1965(&r, 4, &r, 18);
    g = r;
  };
  expect_route(2, 4, 1, kZone2, {poly(2, 1), through18});
  expect_route(2, 4, 0, kZone2, {through18});
}

TEST(Route, WithinGrs80) {
  expect_route(18, 21, 1, k2000z18, {[](GridPoint& g) {
                 GridPoint r{};
                 convert_2000_to_2000(&r, 21, &g, 18);
                 g = r;
               }});
  expect_route(10, 18, 2, k1992, {[](GridPoint& g) {
                 GridPoint r{};
                 convert_1992_to_2000(&r, 18, &g);
                 g = r;
               }});
  expect_route(21, 10, 1, k2000z21, {[](GridPoint& g) {
                 GridPoint r{};
                 convert_2000_to_1992(&r, 21, &g);
                 g = r;
               }});
}

TEST(Route, Zone1965And1992) {
  const Step to92 = [](GridPoint& g) {
    GridPoint r{};
    convert_1965_to_1992(&r, 10, &g, 1);
    g = r;
  };
  expect_route(1, 10, 1, kZone1, {poly(1, 1), to92});
  expect_route(1, 10, 0, kZone1, {to92});
  const Step to5 = [](GridPoint& g) {
    GridPoint r{};
    convert_1992_to_1965(&r, 5, &g, 0);
    g = r;
  };
  const std::vector<Vertex> near5 = around(500000, 300000);
  expect_route(10, 5, 2, near5, {to5, poly(5, 2)});
  expect_route(10, 5, 0, near5, {to5});
}

TEST(Route, OnlyTheGivenPairsAreTouched) {
  std::vector<double> x = {4603000.5, 1.5};
  std::vector<double> y = {5806000.5, 2.5};
  const CoordinateTransform transform(2, 18, 1);
  transform_vertices(std::span<double>(x).first(1), std::span<double>(y).first(1), transform,
                     stdout);
  EXPECT_NE(x[0], 4603000.5);
  EXPECT_EQ(x[1], 1.5);
  EXPECT_EQ(y[1], 2.5);
  transform_vertices(std::span<double>(x).first(0), std::span<double>(y).first(0), transform,
                     stdout);
  EXPECT_EQ(x[1], 1.5);
}

int written_system(int in, int out) {
  return CoordinateTransform(in, out, 0).written_system();
}

TEST(Route, WrittenSystemOfTheLayers) {
  EXPECT_EQ(written_system(2, 18), 18);
  EXPECT_EQ(written_system(10, 1), 1);
  EXPECT_EQ(written_system(3, 3), 3);
  EXPECT_EQ(written_system(10, 10), 10);
  EXPECT_EQ(written_system(2, 7), 2);  // not converted: still in zone 2
  EXPECT_EQ(written_system(7, 2), 0);
  EXPECT_EQ(written_system(7, 7), 0);
  EXPECT_EQ(written_system(16, 16), 0);
  EXPECT_EQ(written_system(16, 18), 0);
}

std::string announced(int in, int out, int variant) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* f = open_memstream(&buffer, &size);
  CoordinateTransform(in, out, variant).announce(f);
  std::fclose(f);
  std::string text(buffer, size);
  std::free(buffer);
  EXPECT_EQ(text, CoordinateTransform(in, out, variant).announcement());
  return text;
}

// What the run summary says: the systems, the route, which correction and
// which way it goes, and nothing about a correction the route has no place
// for.
TEST(Route, DescriptionForTheSummary) {
  EXPECT_EQ(CoordinateTransform(2, 18, 2).description(),
            "1965 zone 2 (EPSG:2172) -> 2000 zone 18 E (EPSG:2177), 1965 zone 2 correction "
            "variant 2 (catalogue to mathematical coordinates)");
  EXPECT_EQ(CoordinateTransform(18, 2, 1).description(),
            "2000 zone 18 E (EPSG:2177) -> 1965 zone 2 (EPSG:2172), 1965 zone 2 correction "
            "variant 1 (mathematical to catalogue coordinates)");
  EXPECT_EQ(CoordinateTransform(2, 4, 0).description(),
            "1965 zone 2 (EPSG:2172) -> 1965 zone 4 (EPSG:2174) through 2000 zone 18 E, no 1965 "
            "correction (variant 0)");
  EXPECT_EQ(CoordinateTransform(3, 3, 1).description(),
            "coordinates stay in 1965 zone 3 (EPSG:2173), 1965 zone 3 correction variant 1 "
            "(mathematical to catalogue coordinates)");
  // A route without a 1965 zone has no correction to name.
  EXPECT_EQ(CoordinateTransform(10, 18, 1).description(),
            "1992 (EPSG:2180) -> 2000 zone 18 E (EPSG:2177)");
  EXPECT_EQ(CoordinateTransform(10, 10, 0).description(),
            "no conversion, coordinates in 1992 (EPSG:2180)");
  EXPECT_EQ(CoordinateTransform(2, 7, 1).description(),
            "no conversion possible from 1965 zone 2 (EPSG:2172) to unknown system 7, coordinates "
            "as read");
  EXPECT_EQ(CoordinateTransform(2, 18, 1).corrected_zone(), 2);
  EXPECT_EQ(CoordinateTransform(18, 4, 2).corrected_zone(), 4);
  EXPECT_EQ(CoordinateTransform(18, 4, 0).corrected_zone(), 0);
  EXPECT_EQ(CoordinateTransform(10, 18, 1).corrected_zone(), 0);
}

TEST(Route, AnnouncementsBeforeThePasses) {
  const std::string no_route =
      "egib2shp: no conversion from system 2 to system 7 is possible; coordinates are written as "
      "read\n";
  EXPECT_EQ(announced(2, 7, 0), no_route);
  EXPECT_EQ(announced(2, 7, 1), no_route);
  EXPECT_NE(announced(10, 16, 0), "");
  EXPECT_EQ(announced(7, 7, 0), "");
  EXPECT_EQ(announced(16, 16, 1), "");
  EXPECT_EQ(announced(10, 18, 1), "");  // no correction on this route
  EXPECT_EQ(announced(2, 18, 0), "");   // correction not asked for

  // The correction is the complete one: nothing to warn about.
  EXPECT_EQ(announced(2, 4, 1), "");
  EXPECT_EQ(announced(18, 4, 2), "");
}

}  // namespace
}  // namespace egib

namespace egib {
namespace {

// Shared points are converted once; vertices that warn still warn each
// time they occur.
TEST(Route, RepeatedVerticesConvertAlikeAndWarnEveryTime) {
  const Vertex inside{4603000, 5806000}, outside{4603000 + 400000, 5806000};
  const std::vector<Vertex> vs = {inside, outside, inside, outside, inside};
  testing::internal::CaptureStdout();
  const std::vector<Vertex> got = dispatch(2, 21, 1, vs);
  const std::string printed = testing::internal::GetCapturedStdout();
  size_t warnings = 0;
  for (size_t at = printed.find("Punkt"); at != std::string::npos;
       at = printed.find("Punkt", at + 1)) {
    ++warnings;
  }
  EXPECT_EQ(warnings, 2u);
  for (size_t i = 0; i < vs.size(); ++i) {
    GridPoint g{vs[i].x, vs[i].y, 0};
    poly1965_transform(&g.y, &g.x, &g.y, &g.x, 2, 1);
    convert_1965_to_2000(nullptr, 21, &g, 2);
    EXPECT_EQ(got[i].x, g.x) << i;
    EXPECT_EQ(got[i].y, g.y) << i;
  }
  // Other settings, other results: nothing kept from the run before.
  const std::vector<Vertex> other = dispatch(2, 18, 1, {inside});
  EXPECT_NE(other[0].x, got[0].x);
}

}  // namespace
}  // namespace egib
