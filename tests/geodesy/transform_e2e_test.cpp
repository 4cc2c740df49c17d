// The binary converts a file from one system into another: the vertices
// and the areas of the layers match the converters applied by hand, and
// each layer's .prj names the system its coordinates are in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "geodesy/grid_convert.h"
#include "geodesy/poly1965.h"
#include "layers/outline.h"
#include "tests/support/test_support.h"

namespace egib {
namespace {

using test::LayerContent;
using test::read_file;
using test::read_layer;
using test::run_converter;
using test::swde_file;
using test::TempDir;
using test::write_file;

using Step = std::function<void(GridPoint&)>;

struct Case {
  int in, out, variant;
  double easting, northing;  // where the parcel lies in the input system
  std::vector<Step> steps;
  int epsg;  // of the .prj, 0: none
};

Step poly(int zone, int variant) {
  return [=](GridPoint& g) { poly1965_transform(&g.y, &g.x, &g.y, &g.x, zone, variant); };
}
Step c65_2000(int zone, int code) {
  return [=](GridPoint& g) { convert_1965_to_2000(nullptr, code, &g, zone); };
}
Step c2000_65(int code, int zone) {
  return [=](GridPoint& g) { convert_2000_to_1965(nullptr, zone, &g, code); };
}

std::vector<Case> cases() {
  return {
      {3, 3, 1, 3501000, 5999000, {poly(3, 1)}, 2173},
      {10, 10, 1, 500000, 459309, {}, 2180},
      {2, 21, 1, 4603000, 5806000, {poly(2, 1), c65_2000(2, 21)}, 2178},
      {18, 2, 2, 6568672, 5763372, {c2000_65(18, 2), poly(2, 2)}, 2172},
      {2, 4, 1, 4603000, 5806000, {poly(2, 1), c65_2000(2, 18), c2000_65(18, 4)}, 2174},
      {18,
       21,
       0,
       6568672,
       5763372,
       {[](GridPoint& g) { convert_2000_to_2000(nullptr, 21, &g, 18); }},
       2178},
      {10,
       15,
       0,
       300000,
       400000,
       {[](GridPoint& g) { convert_1992_to_2000(nullptr, 15, &g); }},
       2176},
      {24,
       10,
       0,
       8500000,
       5700000,
       {[](GridPoint& g) { convert_2000_to_1992(nullptr, 24, &g); }},
       2180},
      {1,
       10,
       1,
       4637000,
       5467000,
       {poly(1, 1), [](GridPoint& g) { convert_1965_to_1992(nullptr, 10, &g, 1); }},
       2180},
      {10,
       5,
       2,
       500000,
       300000,
       {[](GridPoint& g) { convert_1992_to_1965(nullptr, 5, &g, 0); }, poly(5, 2)},
       2175},
      {2, 7, 1, 4603000, 5806000, {}, 2172},  // no route: written as read
      {7, 7, 1, 4603000, 5806000, {}, 0},
  };
}

// A 40 m by 25 m parcel (and a building on the same points), corners in
// the order of the outline, the first again at the end.
std::vector<GridPoint> corners(const Case& c) {
  return {{c.easting, c.northing, 0},
          {c.easting, c.northing + 40.125, 0},
          {c.easting + 25.5, c.northing + 40.125, 0},
          {c.easting + 25.5, c.northing, 0},
          {c.easting, c.northing, 0}};
}

std::string swde(const Case& c) {
  std::string points;
  std::string outline = "GL\nK,+\n";
  const std::vector<GridPoint> cs = corners(c);
  for (size_t i = 0; i + 1 < cs.size(); ++i) {
    char line[200];
    std::snprintf(line, sizeof line, "RP,,G5PZG,p%zu,\nP,G,%.3f,%.3f\nX\n", i, cs[i].y, cs[i].x);
    points += line;
    outline += "P,P,,p" + std::to_string(i) + "\n";
  }
  outline += "P,P,,p0\n";
  return swde_file(points + "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.1\n" + outline + "X\n" +
                   "RO,,G5BUD,b1\nD,G5IDB,,146518_8.0001.1_BUD\nD,G5FUZ,,110\n" + outline + "X\n");
}

std::string pow_text(const LayerContent& layer) {
  for (size_t f = 0; f < layer.field_names.size(); ++f) {
    if (layer.field_names[f] == "POW") return layer.raw.at(0).at(f);
  }
  return "";
}

std::string epsg_of_prj(const TempDir& dir, const std::string& prj) {
  const std::string cmd = "gdalsrsinfo -e '" + dir.file(prj) + "' 2>/dev/null | grep EPSG:";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
  if (p != nullptr) pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

TEST(ConversionEndToEnd, EveryRowOfTheRouteTable) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out) + " variant " +
                 std::to_string(c.variant));
    TempDir dir;
    write_file(dir.file("in.swd"), swde(c));
    const auto r = run_converter(
        dir, {"in.swd", std::to_string(c.in), std::to_string(c.out), std::to_string(c.variant)});
    ASSERT_EQ(r.status, 0) << r.err;

    // The outline as written: the corners through the route's steps, closed
    // in the input and so not closed again (clockwise, so not turned).
    std::vector<GridPoint> want = corners(c);
    std::vector<double> wx, wy;
    for (GridPoint g : want) {
      for (const Step& s : c.steps) s(g);
      wx.push_back(g.x);
      wy.push_back(g.y);
    }
    char pow[32];
    std::snprintf(pow, sizeof pow, "%16.2f",
                  ring_area(static_cast<int>(wx.size()), wx.data(), wy.data()));

    for (const char* layer : {"in_DZE", "in_BUD"}) {
      const LayerContent content = read_layer(dir.file(layer));
      ASSERT_EQ(content.shape_count, 1) << layer;
      const auto& shape = content.shapes[0];
      ASSERT_EQ(shape.x.size(), wx.size()) << layer;
      for (size_t i = 0; i < wx.size(); ++i) {
        // Shapefiles keep doubles as they are.
        EXPECT_EQ(shape.x[i], wx[i]) << layer << " vertex " << i;
        EXPECT_EQ(shape.y[i], wy[i]) << layer << " vertex " << i;
      }
      EXPECT_EQ(pow_text(content), pow) << layer;
      const std::string prj = std::string(layer) + ".prj";
      if (c.epsg == 0) {
        EXPECT_FALSE(test::file_exists(dir.file(prj))) << layer;
      } else {
        EXPECT_EQ(epsg_of_prj(dir, prj), "EPSG:" + std::to_string(c.epsg)) << layer;
      }
    }
    if (c.in != c.out && c.steps.empty()) {
      EXPECT_NE(r.err.find("no conversion from system 2 to system 7"), std::string::npos);
    }
  }
}

// The outline of a parcel and a building on the given corners (listed
// once, the writer closes the ring), coordinates to the nanometre.
std::string swde_of(const std::vector<GridPoint>& cs) {
  std::string points;
  std::string outline = "GL\nK,+\n";
  for (size_t i = 0; i < cs.size(); ++i) {
    char line[200];
    std::snprintf(line, sizeof line, "RP,,G5PZG,p%zu,\nP,G,%.9f,%.9f\nX\n", i, cs[i].y, cs[i].x);
    points += line;
    outline += "P,P,,p" + std::to_string(i) + "\n";
  }
  outline += "P,P,,p0\n";
  return swde_file(points + "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.1\n" + outline + "X\n" +
                   "RO,,G5BUD,b1\nD,G5IDB,,146518_8.0001.1_BUD\nD,G5FUZ,,110\n" + outline + "X\n");
}

// A county file in zone 2 holds catalogue coordinates: variant 2 takes them
// to mathematical 1965 coordinates on the way into the 2000 grid (EPSG
// 2177, zone of 18 E), and variant 1 gives them back on the way home.
TEST(ConversionEndToEnd, CountyFileIntoThe2000GridAndBack) {
  // Corners some 30 km from the zone-2 set's origin, in the file's order.
  const std::vector<GridPoint> county = {{4589500.25, 5771000.5, 0},
                                         {4589500.25, 5771040.625, 0},
                                         {4589525.75, 5771040.625, 0},
                                         {4589525.75, 5771000.5, 0}};
  TempDir dir;
  write_file(dir.file("plik.swd"), swde_of(county));
  const auto there = run_converter(dir, {"plik.swd", "2", "2177", "2"});
  ASSERT_EQ(there.status, 0) << there.err;
  EXPECT_EQ(epsg_of_prj(dir, "plik_DZE.prj"), "EPSG:2177");
  const LayerContent in_2000 = read_layer(dir.file("plik_DZE"));
  ASSERT_EQ(in_2000.shape_count, 1);
  const auto& shape = in_2000.shapes[0];
  ASSERT_EQ(shape.x.size(), county.size() + 1);  // the list closes the ring itself
  std::vector<GridPoint> mapped;
  for (size_t i = 0; i < county.size(); ++i) {
    GridPoint want = county[i], plain = county[i];
    poly(2, 2)(want);
    c65_2000(2, 18)(want);
    c65_2000(2, 18)(plain);
    EXPECT_EQ(shape.x[i], want.x) << "vertex " << i;
    EXPECT_EQ(shape.y[i], want.y) << "vertex " << i;
    // The correction moves the point by decimetres there, not by nothing
    // and not by metres.
    const double moved = std::hypot(want.x - plain.x, want.y - plain.y);
    EXPECT_GT(moved, 0.05) << "vertex " << i;
    EXPECT_LT(moved, 0.85) << "vertex " << i;
    mapped.push_back({shape.x[i], shape.y[i], 0});
  }

  write_file(dir.file("back.swd"), swde_of(mapped));
  const auto back = run_converter(dir, {"back.swd", "2177", "2", "1"});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(epsg_of_prj(dir, "back_DZE.prj"), "EPSG:2172");
  const LayerContent home = read_layer(dir.file("back_DZE"));
  ASSERT_EQ(home.shape_count, 1);
  ASSERT_EQ(home.shapes[0].x.size(), county.size() + 1);
  for (size_t i = 0; i < county.size(); ++i) {
    EXPECT_NEAR(home.shapes[0].x[i], county[i].x, 0.002) << "vertex " << i;
    EXPECT_NEAR(home.shapes[0].y[i], county[i].y, 0.002) << "vertex " << i;
  }
}

TEST(ConversionEndToEnd, StalePrjIsRemovedWhenTheSystemIsUnknown) {
  const Case known = cases()[2];
  TempDir dir;
  write_file(dir.file("in.swd"), swde(known));
  ASSERT_EQ(run_converter(dir, {"in.swd", "2", "21", "0"}).status, 0);
  ASSERT_TRUE(test::file_exists(dir.file("in_DZE.prj")));
  ASSERT_EQ(run_converter(dir, {"in.swd", "7", "7", "0"}).status, 0);
  EXPECT_FALSE(test::file_exists(dir.file("in_DZE.prj")));
  EXPECT_FALSE(test::file_exists(dir.file("in_BUD.prj")));
}

}  // namespace
}  // namespace egib
