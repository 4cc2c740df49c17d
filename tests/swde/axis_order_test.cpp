// Coordinate pairs written easting first: told from the coordinates when
// the input system is known, forced or kept by --axes.
#include "swde/axis_order.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "geodesy/system_area.h"
#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

TEST(AxisOrder, SystemAreasInGridCoordinates) {
  // Known places: Warsaw in 1965 zone 2 is north of 5.7 Mm, east of 4.4 Mm.
  const auto zone2 = egib::system_extent(2);
  ASSERT_TRUE(zone2.has_value());
  EXPECT_TRUE(zone2->contains(5806000, 4603000));
  EXPECT_FALSE(zone2->contains(4603000, 5806000));
  const auto zone5 = egib::system_extent(5);
  ASSERT_TRUE(zone5.has_value());
  EXPECT_TRUE(zone5->contains(880081.69, 231401.84));
  EXPECT_FALSE(zone5->contains(231401.84, 880081.69));
  const auto zone21 = egib::system_extent(21);
  ASSERT_TRUE(zone21.has_value());
  EXPECT_TRUE(zone21->contains(5790000, 7500000));
  EXPECT_FALSE(zone21->contains(7500000, 5790000));
  EXPECT_FALSE(zone21->contains(5790000, 6500000));  // that is zone 18
  const auto grid1992 = egib::system_extent(10);
  ASSERT_TRUE(grid1992.has_value());
  EXPECT_TRUE(grid1992->contains(480000, 640000));
  EXPECT_TRUE(grid1992->contains(640000, 480000));  // both readings fit
  EXPECT_FALSE(egib::system_extent(0).has_value());
  EXPECT_FALSE(egib::system_extent(7).has_value());
  EXPECT_FALSE(egib::system_extent(16).has_value());
}

TEST(AxisOrder, VotesDecideOnlyWhenOneReadingFitsFarBetter) {
  const auto zone2 = *egib::system_extent(2);
  std::vector<egib::WrittenPair> pairs(100, {4603000, 5806000});
  EXPECT_TRUE(egib::pairs_are_easting_first(egib::count_axis_votes(zone2, pairs)));
  // Points without coordinates (0, 0) fit neither reading.
  pairs.insert(pairs.end(), 300, {0, 0});
  EXPECT_TRUE(egib::pairs_are_easting_first(egib::count_axis_votes(zone2, pairs)));
  // A handful that fit northing first do not stop it; many do.
  pairs.insert(pairs.end(), 9, {5806000, 4603000});
  EXPECT_TRUE(egib::pairs_are_easting_first(egib::count_axis_votes(zone2, pairs)));
  pairs.insert(pairs.end(), 2, {5806000, 4603000});
  EXPECT_FALSE(egib::pairs_are_easting_first(egib::count_axis_votes(zone2, pairs)));
  EXPECT_FALSE(egib::pairs_are_easting_first(egib::count_axis_votes(zone2, {})));
  const std::vector<egib::WrittenPair> ambiguous(50, {480000, 640000});
  EXPECT_FALSE(
      egib::pairs_are_easting_first(egib::count_axis_votes(*egib::system_extent(10), ambiguous)));
}

// The file with the two numbers of every "P,G" pair exchanged.
std::string easting_first(const std::string& swde) {
  std::istringstream in(swde);
  std::string out, line;
  while (std::getline(in, line)) {
    if (line.rfind("P,G,", 0) == 0) {
      const size_t comma = line.find(',', 4);
      line = "P,G," + line.substr(comma + 1) + "," + line.substr(4, comma - 4);
    }
    out += line + "\n";
  }
  return out;
}

std::string generated(const std::string& args) {
  TempDir dir;
  const std::string path = dir.file("g.swd");
  const std::string cmd = std::string(GEN_SWDE_BINARY) + " " + args + " " + path + " 2>/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  return read_file(path);
}

struct Layers {
  RunResult result;
  std::string dze, bud;  // the .shp and .dbf bytes
};

Layers convert_file(const std::string& content, std::vector<std::string> args) {
  TempDir dir;
  write_file(dir.file("in.swd"), content);
  args.insert(args.end() - 3, "in.swd");
  Layers r;
  r.result = run_converter(dir, args, "SOURCE_DATE_EPOCH=1796774400");
  r.dze = read_file(dir.file("in_DZE.shp")) + read_file(dir.file("in_DZE.dbf"));
  r.bud = read_file(dir.file("in_BUD.shp")) + read_file(dir.file("in_BUD.dbf"));
  return r;
}

bool says_easting_first(const Layers& r) {
  return r.result.err.find("coordinate pairs read easting first (EN)") != std::string::npos;
}

TEST(AxisOrder, EastingFirstFilesGiveTheSameLayers) {
  struct Case {
    const char* generator;
    std::vector<std::string> codes;
  };
  const Case cases[] = {
      {"--parcels 30 --seed 11", {"2", "21", "1"}},                                  // 1965 zone 2
      {"--parcels 30 --seed 12 --north 5790000 --east 7500000", {"21", "10", "0"}},  // 2000/21
      {"--parcels 30 --seed 13 --north 880000 --east 231400", {"5", "5", "1"}},      // zone 5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.generator);
    const std::string ne = generated(c.generator);
    const Layers want = convert_file(ne, c.codes);
    const Layers got = convert_file(easting_first(ne), c.codes);
    ASSERT_EQ(got.result.status, 0) << got.result.err;
    EXPECT_FALSE(says_easting_first(want));
    EXPECT_TRUE(says_easting_first(got)) << got.result.err;
    EXPECT_EQ(want.dze, got.dze);
    EXPECT_EQ(want.bud, got.bud);
    EXPECT_EQ(want.result.out, got.result.out);
    ASSERT_GT(want.dze.size(), 1000u);
  }
}

TEST(AxisOrder, FilesWithoutPointObjectsAreToldByTheirInlineVertices) {
  const std::string ne = swde_file(
      "RO,,G5DZE,d1\nGL\nK,+\nP,G,5806000,4603000\nP,G,5806010,4603000\nP,G,5806010,4603010\n"
      "X\n");
  const Layers want = convert_file(ne, {"2", "18", "0"});
  const Layers got = convert_file(easting_first(ne), {"2", "18", "0"});
  EXPECT_TRUE(says_easting_first(got)) << got.result.err;
  EXPECT_EQ(want.dze, got.dze);
}

TEST(AxisOrder, UndecidableOrUnknownKeepsTheOrderAndTheOptionForcesIt) {
  // The 1992 grid: both readings of these coordinates lie in Poland.
  const std::string grid1992 = generated("--parcels 20 --seed 14 --north 460000 --east 600000");
  const Layers as_read = convert_file(grid1992, {"10", "10", "0"});
  EXPECT_FALSE(says_easting_first(as_read));
  EXPECT_FALSE(says_easting_first(convert_file(easting_first(grid1992), {"10", "10", "0"})));
  // No system: no reading is preferred, whatever the numbers.
  const std::string zone2 = generated("--parcels 20 --seed 15");
  const Layers plain = convert_file(zone2, {"0", "0", "0"});
  const Layers swapped_plain = convert_file(easting_first(zone2), {"0", "0", "0"});
  EXPECT_FALSE(says_easting_first(swapped_plain));
  EXPECT_NE(plain.dze, swapped_plain.dze);
  // --axes=EN turns them around, even with codes of no system.
  const Layers forced = convert_file(easting_first(zone2), {"--axes=EN", "0", "0", "0"});
  EXPECT_EQ(forced.dze, plain.dze);
  EXPECT_EQ(forced.bud, plain.bud);
  const Layers forced1992 = convert_file(easting_first(grid1992), {"--axes=EN", "10", "10", "0"});
  EXPECT_EQ(forced1992.dze, as_read.dze);
  // --axes=NE keeps the order where it would have been turned.
  const Layers kept = convert_file(easting_first(zone2), {"--axes=NE", "2", "2", "0"});
  EXPECT_FALSE(says_easting_first(kept));
  const Layers detected = convert_file(easting_first(zone2), {"2", "2", "0"});
  EXPECT_TRUE(says_easting_first(detected));
  EXPECT_NE(kept.dze, detected.dze);
}

}  // namespace
