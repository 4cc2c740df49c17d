// --validate and --make-valid: outlines that are not valid polygons as read
// (a bow-tie, a hole outside its shell, a ring of two vertices), counted,
// named with GEOS's reason in the run log, and repaired.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "layers/outline.h"
#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

// Northing first, as SWDE writes its pairs.
const std::string kBowTie =
    "RO,,G5DZE,d1\nD,G5IDD,,bowtie\nGL\nK,+\nP,G,0,0\nP,G,10,10\n"
    "P,G,0,10\nP,G,10,0\nX\n";
const std::string kHoleOutside =
    "RO,,G5DZE,d2\nD,G5IDD,,outside\nGL\nK,+\nP,G,0,0\nP,G,10,0\n"
    "P,G,10,10\nP,G,0,10\nK,-\nP,G,20,20\nP,G,20,25\nP,G,25,25\n"
    "P,G,25,20\nX\n";
const std::string kTwoVertices = "RO,,G5DZE,d3\nD,G5IDD,,two\nGL\nK,+\nP,G,0,0\nP,G,5,5\nX\n";
const std::string kValid =
    "RO,,G5BUD,b1\nD,G5IDB,,fine\nGL\nK,+\nP,G,0,0\nP,G,4,0\nP,G,4,4\n"
    "P,G,0,4\nX\n";

struct CheckedRun {
  RunResult result;
  std::string run_log;
  std::string report;
  LayerContent parcels;
  LayerContent buildings;
};

CheckedRun run(const TempDir& dir, const std::string& option) {
  write_file(dir.file("in.swd"), swde_file(kBowTie + kHoleOutside + kTwoVertices + kValid));
  std::vector<std::string> args;
  for (size_t b = 0, e = 0; b < option.size(); b = e + 1) {
    e = std::min(option.find(' ', b), option.size());
    args.push_back(option.substr(b, e - b));
  }
  for (const char* a : {"--report=r.json", "in.swd", "0", "0", "0"}) args.emplace_back(a);
  CheckedRun r;
  r.result = run_converter(dir, args);
  r.run_log = read_file(dir.file("err.log"));
  r.report = read_file(dir.file("r.json"));
  r.parcels = read_layer(dir.file("in_DZE"));
  r.buildings = read_layer(dir.file("in_BUD"));
  return r;
}

double area_of(const ShapeRecord& s) {
  double sum = 0;
  for (size_t p = 0; p < s.part_start.size(); ++p) {
    const size_t b = static_cast<size_t>(s.part_start[p]);
    const size_t e =
        p + 1 < s.part_start.size() ? static_cast<size_t>(s.part_start[p + 1]) : s.x.size();
    sum += egib::ring_area(static_cast<int>(e - b), &s.x[b], &s.y[b]);
  }
  return sum;
}

TEST(OutlineCheck, ValidateCountsAndNamesWhatGeosRejects) {
  TempDir dir;
  const CheckedRun r = run(dir, "--validate");
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  EXPECT_NE(r.result.err.find("3 outlines not valid polygons as read (GEOS; see err.log)"),
            std::string::npos)
      << r.result.err;
  EXPECT_NE(r.report.find("\"invalid_outlines\": 3"), std::string::npos) << r.report;
  // Each by its identifier, with GEOS's reason and where.
  EXPECT_NE(r.run_log.find("G5IDD=bowtie: Self-intersection at 5.000 5.000"), std::string::npos)
      << r.run_log;
  EXPECT_NE(r.run_log.find("G5IDD=outside: Hole lies outside shell at 20.000 20.000"),
            std::string::npos)
      << r.run_log;
  EXPECT_NE(r.run_log.find("G5IDD=two: Too few points in a ring (3) at "), std::string::npos)
      << r.run_log;
  EXPECT_EQ(r.run_log.find("fine"), std::string::npos) << r.run_log;
  // Validating alone writes everything as read.
  EXPECT_EQ(r.parcels.shape_count, 3);
  EXPECT_EQ(r.buildings.shape_count, 1);

  // Without the option nothing is checked and the report says null.
  TempDir plain;
  const CheckedRun p = run(plain, "");
  EXPECT_NE(p.report.find("\"invalid_outlines\": null"), std::string::npos) << p.report;
  EXPECT_EQ(p.run_log.find("invalid outline"), std::string::npos) << p.run_log;
}

TEST(OutlineCheck, MakeValidWritesTheRepairOrNothing) {
  TempDir dir;
  const CheckedRun r = run(dir, "--make-valid");
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  EXPECT_NE(r.result.err.find("3 outlines not valid polygons as read, written as repaired"),
            std::string::npos)
      << r.result.err;
  // The two-vertex ring leaves no polygon: not written, counted with the
  // objects without a vertex.
  EXPECT_NE(r.run_log.find("G5IDD=two: Too few points in a ring (3) at 0.000 0.000; no polygon "
                           "is left, not written"),
            std::string::npos)
      << r.run_log;
  EXPECT_NE(r.report.find("\"objects_without_vertex\": 1"), std::string::npos) << r.report;
  ASSERT_EQ(r.parcels.shape_count, 2);
  ASSERT_EQ(r.parcels.record_count, 2);
  EXPECT_EQ(r.parcels.raw[1][1].substr(0, 7), "outside");

  // The bow-tie as its two triangles of 25 m² each; POW is the area written.
  const ShapeRecord& bowtie = r.parcels.shapes[0];
  EXPECT_EQ(bowtie.part_start.size(), 2u);
  EXPECT_DOUBLE_EQ(area_of(bowtie), 50.0);
  EXPECT_EQ(r.parcels.raw[0][8], "           50.00");
  // The hole outside the shell becomes a second outer ring: 100 + 25 m².
  const ShapeRecord& outside = r.parcels.shapes[1];
  EXPECT_EQ(outside.part_start.size(), 2u);
  EXPECT_DOUBLE_EQ(area_of(outside), 125.0);
  EXPECT_EQ(r.parcels.raw[1][8], "          125.00");
  // Every ring written clockwise (no hole is left here).
  for (const ShapeRecord* s : {&bowtie, &outside}) {
    for (size_t p = 0; p < s->part_start.size(); ++p) {
      const size_t b = static_cast<size_t>(s->part_start[p]);
      const size_t e =
          p + 1 < s->part_start.size() ? static_cast<size_t>(s->part_start[p + 1]) : s->x.size();
      EXPECT_GT(egib::ring_area(static_cast<int>(e - b), &s->x[b], &s->y[b]), 0);
      EXPECT_EQ(s->x[b], s->x[e - 1]);
      EXPECT_EQ(s->y[b], s->y[e - 1]);
    }
  }
  // A valid outline is written as it was.
  ASSERT_EQ(r.buildings.shape_count, 1);
  EXPECT_EQ(r.buildings.shapes[0].x, (std::vector<double>{0, 0, 4, 4, 0}));
  EXPECT_EQ(r.buildings.shapes[0].y, (std::vector<double>{0, 4, 4, 0, 0}));
}

// With the whole register, the parcel dropped by the repair gets no row of
// added columns either: every record keeps its own object's identifier.
TEST(OutlineCheck, MakeValidKeepsTheRegisterColumnsInStep) {
  TempDir dir;
  const CheckedRun r = run(dir, "--make-valid --all");
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  ASSERT_EQ(r.parcels.record_count, 2);
  size_t ident = r.parcels.field_names.size();
  for (size_t f = 0; f < r.parcels.field_names.size(); ++f) {
    if (r.parcels.field_names[f] == "IDENT") ident = f;
  }
  ASSERT_LT(ident, r.parcels.field_names.size()) << "no IDENT column added";
  EXPECT_EQ(r.parcels.raw[0][ident].substr(0, 2), "d1");
  EXPECT_EQ(r.parcels.raw[1][ident].substr(0, 2), "d2");
  EXPECT_EQ(r.parcels.raw[1][1].substr(0, 7), "outside");
}

}  // namespace
