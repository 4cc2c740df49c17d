// Outputs are never half-written: unwritable places and interrupted runs
// leave the layers of an earlier run as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

std::string parcels(int count) {
  std::string body;
  for (int i = 0; i < count; ++i) {
    body += "RO,,G5DZE,d\nD,G5IDD,,146518_8.0001." + std::to_string(i) +
            "\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n";
  }
  return swde_file(body);
}

std::vector<std::string> layer_bytes(const TempDir& dir) {
  std::vector<std::string> out;
  for (const char* f : {"in_DZE.shp", "in_DZE.shx", "in_DZE.dbf", "in_BUD.shp", "in_BUD.dbf"}) {
    out.push_back(read_file(dir.file(f)));
  }
  return out;
}

bool no_work_files(const TempDir& dir) {
  for (const char* f : {"in_DZE.tmp.shp", "in_DZE.tmp.dbf", "in_BUD.tmp.shp", "in_BUD.tmp.shx"}) {
    if (file_exists(dir.file(f))) return false;
  }
  return true;
}

TEST(Outputs, ReadOnlyDirectoryFailsNamingTheFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0755), 0);
  write_file(dir.file("ro/in.swd"), parcels(3));
  ASSERT_EQ(chmod(dir.file("ro").c_str(), 0555), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  // Root writes anywhere: run as nobody then.
  const std::string as_user =
      geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups env" : "";
  const auto r = run_converter(dir, {"ro/in.swd", "0", "0", "0"}, as_user);
  chmod(dir.file("ro").c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot create ro/in_DZE"), std::string::npos) << r.err;
  EXPECT_FALSE(file_exists(dir.file("ro/in_DZE.shp")));
}

TEST(Outputs, KilledRunLeavesThePreviousLayers) {
  TempDir dir;
  write_file(dir.file("in.swd"), parcels(2));
  ASSERT_EQ(run_converter(dir, {"in.swd", "0", "0", "0"}).status, 0);
  const std::vector<std::string> before = layer_bytes(dir);

  // A file long enough to be still running when the kill comes.
  write_file(dir.file("in.swd"), parcels(400000));
  const std::pair<const char*, int> signals[] = {{"KILL", 9}, {"TERM", 15}, {"INT", 2}};
  for (const auto& [sig, number] : signals) {
    SCOPED_TRACE(sig);
    const auto r =
        run_converter(dir, {"in.swd", "2", "18", "1"},
                      std::string("{ ( sleep 0.4; kill -") + sig + " $$ ) & } ; exec env");
    EXPECT_EQ(r.status, 128 + number) << r.err;  // ended by the signal
    EXPECT_EQ(layer_bytes(dir), before);
    if (std::string(sig) != "KILL") {
      // Interrupted politely, the run removes its working files itself.
      EXPECT_TRUE(no_work_files(dir));
    }
  }
  // The next complete run replaces the layers and leaves no working file.
  write_file(dir.file("in.swd"), parcels(5));
  ASSERT_EQ(run_converter(dir, {"in.swd", "0", "0", "0"}).status, 0);
  EXPECT_NE(layer_bytes(dir), before);
  EXPECT_TRUE(no_work_files(dir));
}

// A layer that would pass the format's 4 GiB, shown with the limit made
// small: said once, the run stops and fails, earlier layers stay.
TEST(Outputs, LayerPastTheFormatLimitStopsTheRunOnce) {
  TempDir dir;
  write_file(dir.file("in.swd"), parcels(2));
  ASSERT_EQ(run_converter(dir, {"in.swd", "0", "0", "0"}).status, 0);
  const std::vector<std::string> before = layer_bytes(dir);

  // 227 bytes a record in the .dbf after a header of 322: the 11th
  // passes 2,500 bytes (the .shp, 120 bytes a triangle, is behind).
  write_file(dir.file("in.swd"), parcels(5000));
  const auto r = run_converter(dir, {"--report=r.json", "in.swd", "0", "0", "0"},
                               "EGIB_TEST_LAYER_LIMITS=2500,1000000");
  EXPECT_EQ(r.status, 1);
  const std::string said = "in_DZE.dbf would pass 4 GiB";
  const size_t at = r.err.find(said);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(said, at + 1), std::string::npos) << "said twice:\n" << r.err;
  EXPECT_NE(r.err.find("at record 11;"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("-f GPKG"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("cannot write shape"), std::string::npos) << r.err;
  // Stopped at once: the ten that fit, not the 5,000, and none kept.
  EXPECT_NE(r.err.find("egib2shp: 10 parcels and 0 buildings assembled, none of them written"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("no layer written"), std::string::npos) << r.err;
  EXPECT_EQ(layer_bytes(dir), before);
  EXPECT_TRUE(no_work_files(dir));
  const std::string report = read_file(dir.file("r.json"));
  EXPECT_NE(report.find("\"exit_status\": 1"), std::string::npos) << report;

  // Past the size most readers assume: one warning, and the run succeeds.
  write_file(dir.file("in.swd"), parcels(30));
  const auto w =
      run_converter(dir, {"in.swd", "0", "0", "0"}, "EGIB_TEST_LAYER_LIMITS=100000,1000");
  EXPECT_EQ(w.status, 0) << w.err;
  const std::string warning = "warning: in_DZE.shp is larger than 2 GiB";
  const size_t wat = w.err.find(warning);
  ASSERT_NE(wat, std::string::npos) << w.err;
  EXPECT_EQ(w.err.find(warning, wat + 1), std::string::npos) << w.err;
  EXPECT_NE(w.err.find("warning: in_DZE.dbf is larger"), std::string::npos) << w.err;
  EXPECT_EQ(w.err.find("in_BUD.shp is larger"), std::string::npos) << w.err;
}

// The list of the register's columns belongs to the layers it describes:
// a run that fails leaves the list of the earlier layers as it was, and no
// working file of it.
TEST(Outputs, FailedRegisterRunLeavesTheEarlierListOfColumns) {
  TempDir dir;
  write_file(dir.file("in.swd"), parcels(2));
  const auto ok = run_converter(dir, {"--all", "in.swd", "0", "0", "0"});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.err.find("in_META.{dbf,cpg} and in_fields.csv\n"), std::string::npos) << ok.err;
  const std::string before = read_file(dir.file("in_fields.csv"));
  ASSERT_NE(before.find("DZE,IDENT"), std::string::npos) << before;

  // Another attribute, so another list; the parcel table passes the limit.
  const std::string area = "\nD,G5POW,,0.09";
  std::string more = parcels(5000);
  for (size_t at = 0; (at = more.find("\nGL\n", at)) != std::string::npos;) {
    more.insert(at, area);
    at += area.size() + 4;
  }
  write_file(dir.file("in.swd"), more);
  const auto r =
      run_converter(dir, {"--all", "in.swd", "0", "0", "0"}, "EGIB_TEST_LAYER_LIMITS=2500,1000000");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no layer written"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(dir.file("in_fields.csv")), before);
  EXPECT_FALSE(file_exists(dir.file("in_fields.tmp.csv")));

  // Written in full, the new list replaces it.
  ASSERT_EQ(run_converter(dir, {"--all", "in.swd", "0", "0", "0"}).status, 0);
  EXPECT_NE(read_file(dir.file("in_fields.csv")).find("DZE,G5POW"), std::string::npos);
  EXPECT_FALSE(file_exists(dir.file("in_fields.tmp.csv")));
}

}  // namespace
