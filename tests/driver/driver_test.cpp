#include "driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace {

using egib::test::file_exists;
using egib::test::read_file;
using egib::test::read_layer;
using egib::test::run_converter;
using egib::test::TempDir;
using egib::test::write_file;

TEST(LayerBaseName, CutsOnlyInsideTheFileName) {
  EXPECT_EQ(egib::layer_base_name("C:\\dane\\plik.swd"), "C:\\dane\\plik");
  EXPECT_EQ(egib::layer_base_name("C:\\dane.old\\plik"), "C:\\dane.old\\plik");
  EXPECT_EQ(egib::layer_base_name("/data/v1.2/plik"), "/data/v1.2/plik");
  EXPECT_EQ(egib::layer_base_name("plik"), "plik");
  EXPECT_EQ(egib::layer_base_name("a.b.swd"), "a.b");
  EXPECT_EQ(egib::layer_base_name("dir/x.swd"), "dir/x");
}

TEST(Driver, FewerThanFourArgumentsPrintsUsage) {
  TempDir dir;
  const auto r = run_converter(dir, {"plik.swd", "2", "18"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: egib2shp [OPTION]... INPUT.swd INPUT_SYSTEM OUTPUT_SYSTEM VARIANT"),
            std::string::npos);
  EXPECT_NE(r.err.find("1965"), std::string::npos);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(file_exists(dir.file("err.log")));
}

TEST(Driver, MissingInputFailsWithoutCreatingFiles) {
  TempDir dir;
  const auto r = run_converter(dir, {"brak.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "nie moge otworzyc pliku brak.swd\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Driver, RunLogThatCannotBeCreated) {
  TempDir dir;
  write_file(dir.file("p.swd"), "SWDE.w.3.00\nSWDEX\n");
  std::filesystem::create_directory(dir.file("err.log"));
  const auto r = run_converter(dir, {"p.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "nie moge otworzyc pliku err.log\n");
  EXPECT_FALSE(file_exists(dir.file("p_DZE.shp")));
  EXPECT_FALSE(file_exists(dir.file("p_DZE.tmp.shp")));
}

TEST(Driver, LayerThatCannotBeCreatedStopsBeforeThePasses) {
  TempDir dir;
  // /proc is not writable, not even by root.
  const auto r = run_converter(dir, {"/proc/version", "0", "0", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot create /proc/version_DZE.shp"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(Driver, HeaderOnlyFileGivesTwoEmptyLayersWithTheirSchemas) {
  TempDir dir;
  write_file(dir.file("a.b.swd"), "SWDE.w.3.00\nSWDEX\n");
  const auto r = run_converter(dir, {"a.b.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Nothing on stderr but the summary.
  EXPECT_EQ(
      r.err.rfind("egib2shp: 0 parcels and 0 buildings written (0 vertices), 0 points collected\n",
                  0),
      0u)
      << r.err;
  EXPECT_EQ(r.err.find("skipped"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("err.log")), "KONIEC\n");

  const auto parcels = read_layer(dir.file("a.b_DZE"));
  EXPECT_EQ(parcels.shape_type, 5);
  EXPECT_EQ(parcels.shape_count, 0);
  EXPECT_EQ(parcels.record_count, 0);
  const std::vector<std::string> parcel_fields = {"ID",      "IDD", "KOD_WOJ", "KOD_POW", "KOD_GMI",
                                                  "KOD_OBR", "OBR", "DNR",     "POW"};
  EXPECT_EQ(parcels.field_names, parcel_fields);
  EXPECT_EQ(parcels.field_types, (std::vector<char>{'N', 'C', 'N', 'N', 'C', 'C', 'C', 'C', 'N'}));
  EXPECT_EQ(parcels.widths, (std::vector<int>{10, 50, 10, 10, 10, 50, 10, 50, 16}));
  EXPECT_EQ(parcels.decimals, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 2}));

  const auto buildings = read_layer(dir.file("a.b_BUD"));
  EXPECT_EQ(buildings.shape_type, 5);
  EXPECT_EQ(buildings.record_count, 0);
  const std::vector<std::string> building_fields = {
      "ID", "IDB", "KOD_WOJ", "KOD_POW", "KOD_GMI", "KOD_OBR", "OBR", "DNR", "POW", "FUNKCJA"};
  EXPECT_EQ(buildings.field_names, building_fields);
  EXPECT_EQ(buildings.widths, (std::vector<int>{10, 50, 10, 10, 10, 50, 10, 50, 16, 10}));
  EXPECT_EQ(buildings.decimals, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 2, 0}));

  EXPECT_EQ(read_file(dir.file("a.b_DZE.cpg")), "1250");
  EXPECT_EQ(read_file(dir.file("a.b_BUD.cpg")), "1250");
  EXPECT_FALSE(file_exists(dir.file("a.b_DZE.tmp.shp")));
  EXPECT_FALSE(file_exists(dir.file("a.shp")));
}

TEST(Driver, LongPathsWork) {
  TempDir dir;
  std::filesystem::path deep = dir.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  const std::string input = (deep / "plik.swd").string();
  ASSERT_GT(input.size(), 1000u);
  write_file(input, "SWDE.w.2.00\nSWDEX\n");
  const auto r = run_converter(dir, {input, "0", "0", "0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(file_exists((deep / "plik_DZE.shp").string()));
  EXPECT_TRUE(file_exists((deep / "plik_BUD.dbf").string()));
}

}  // namespace

namespace {

TEST(Driver, SummaryTellsWhatTheRunDid) {
  egib::test::TempDir dir;
  egib::test::write_file(
      dir.file("in.swd"),
      // Inside zone 2, where its correction polynomial is meant to be used.
      egib::test::swde_file("RP,,G5PZG,p1,\nP,G,5771000,4589500\nX\n"
                            "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.1\nGL\nK,+\nP,P,,p1\n"
                            "P,P,,nope\nP,G,5771000,4589505\nP,G,5771005,4589505\nX\n"
                            "RO,,G5DZE,d2\nD,G5IDD,,146518_8.0001.2\nGL\nX\n"
                            "RO,,G5BUD,b1\nD,G5IDB,,1\nGL\nP,G,5771001,4589501\n"
                            "P,G,5771001,4589502\nP,G,5771002,4589502\nX\n"));
  const auto r = egib::test::run_converter(dir, {"in.swd", "2", "18", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& e = r.err;
  EXPECT_NE(e.find("egib2shp: 1 parcel and 1 building written (8 vertices), 1 point collected\n"),
            std::string::npos)
      << e;
  // The building's list and the empty list of d2 have no "K" line.
  EXPECT_NE(e.find("skipped: 1 object without any vertex, 1 unresolved point reference, 2 "
                   "geometry lists without a ring start"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("1965 zone 2 (EPSG:2172) -> 2000 zone 18 E (EPSG:2177), 1965 zone 2 "
                   "correction variant 1"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("wrote in_DZE.{shp,shx,dbf,cpg,prj} and in_BUD.{shp,shx,dbf,cpg,prj}"),
            std::string::npos)
      << e;
  // Not a terminal: no progress line.
  EXPECT_EQ(e.find('\r'), std::string::npos);
}

TEST(Driver, ProgressOnATerminalOnly) {
  egib::test::TempDir dir;
  std::string body;
  for (int i = 0; i < 2000; ++i) body += "RP,,G5PZG,p" + std::to_string(i) + ",\nP,G,1,1\nX\n";
  egib::test::write_file(dir.file("in.swd"), egib::test::swde_file(body));
  // script(1) gives the converter a pseudo-terminal for stderr; its
  // standard output goes to a file of its own.
  const std::string cmd = "cd '" + dir.path().string() + "' && HOME=. script -qec '" +
                          EGIB2SHP_BINARY + " in.swd 0 0 0 >stdout.txt' /dev/null >tty.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string tty = egib::test::read_file(dir.file("tty.txt"));
  EXPECT_NE(tty.find("\r\033[Kreading points"), std::string::npos) << tty;
  EXPECT_NE(tty.find("\r\033[Kwriting layers     100.0 %"), std::string::npos) << tty;
  EXPECT_NE(tty.find("taken"), std::string::npos) << tty;
  EXPECT_NE(tty.find("0 parcels and 0 buildings written (0 vertices), 2000 points collected"),
            std::string::npos);
  // Standard output is what it always is.
  EXPECT_EQ(egib::test::read_file(dir.file("stdout.txt")),
            "SWDE.w.3.00\n\nSWDE.w.3.00\n\nfaza10KONIEC\n");
}

}  // namespace

namespace {

using egib::test::swde_file;

TEST(Driver, DirectoryAsInputFailsWithoutCreatingAnything) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("dane.swd"));
  const auto r = run_converter(dir, {"dane.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "egib2shp: dane.swd is a directory, not an SWDE file\n");
  EXPECT_EQ(r.out, "");
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    entries += e.path().filename().string()[0] == '.' ? 0 : 1;  // the captured streams
  }
  EXPECT_EQ(entries, 1u);
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("dane.swd")));
}

TEST(Driver, ForeignFirstLineIsShownOnStderr) {
  TempDir dir;
  write_file(dir.file("p.swd"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\t<GML><still more of it>\nSWDEX\n");
  const auto r = run_converter(dir, {"p.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("egib2shp: the first line is not an SWDE header (SWDE.w.2.00 or "
                       "SWDE.w.3.00), so no object is written: \"<?xml version=\"1.0\" "
                       "encoding=\"UTF-8\"?>?<\"\n"),
            std::string::npos)
      << r.err;
  // Only once, and the run goes on as before: the error log has it per pass.
  EXPECT_EQ(r.err.find("not an SWDE header"), r.err.rfind("not an SWDE header"));
  EXPECT_EQ(r.out, "faza10KONIEC\n");
  EXPECT_NE(
      r.err.find("egib2shp: 2 messages written to the error log " + dir.file("ZOV_uriri.txt")),
      std::string::npos)
      << r.err;
}

TEST(Driver, SummaryCountsWhatToLookAt) {
  TempDir dir;
  write_file(dir.file("in.swd"),
             swde_file("RO,,G5DZE,d1\nD,G5IDD,,A\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,5,5\nX\n"
                       "RO,,G5DZE,d2\nD,G5IDD,,A\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,0,0\nX\n"
                       "RO,,G5DZE,d3\nD,G5IDD,,A\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,5,5\nX\n"
                       "RO,,G5DZE,d4\nD,G5IDD,,B\nGL\nK,+\nP,G,1,1\nX\n"
                       "RO,,G5BUD,b1\nD,G5IDB,,A\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,5,5\nX\n"));
  const auto r = run_converter(dir, {"in.swd", "0", "0", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("egib2shp: to look at: 2 outlines with fewer than three distinct "
                       "vertices, 1 parcel identifier and 0 building identifiers written more "
                       "than once\n"),
            std::string::npos)
      << r.err;
  // A clean run says nothing of it, nor of the error log.
  write_file(dir.file("clean.swd"), swde_file(""));
  const auto clean = run_converter(dir, {"clean.swd", "0", "0", "0"});
  EXPECT_EQ(clean.err.find("to look at"), std::string::npos);
  EXPECT_EQ(clean.err.find("error log"), std::string::npos);
}

TEST(Driver, HelpVersionAndUnknownOptions) {
  TempDir dir;
  const auto help = run_converter(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: egib2shp [OPTION]... INPUT.swd", 0), 0u);
  EXPECT_NE(help.out.find("--output-dir=DIR"), std::string::npos);
  EXPECT_EQ(help.err, "");
  const auto version = run_converter(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("egib2shp ", 0), 0u);
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
  write_file(dir.file("p.swd"), swde_file(""));
  const auto bad = run_converter(dir, {"--bogus", "p.swd", "0", "0", "0"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err.rfind("egib2shp: unknown option '--bogus'\nusage: egib2shp", 0), 0u) << bad.err;
  EXPECT_FALSE(file_exists(dir.file("err.log")));
  EXPECT_FALSE(file_exists(dir.file("p_DZE.shp")));
}

TEST(Driver, OutputDirectoryTakesTheLayers) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("dane"));
  write_file(dir.file("dane/plik.swd"),
             swde_file("RO,,G5DZE,d1\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,5,5\nX\n"));
  const auto r = run_converter(dir, {"-o", "wynik/a", "dane/plik.swd", "2", "2", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(file_exists(dir.file("wynik/a/plik_DZE.shp")));
  EXPECT_TRUE(file_exists(dir.file("wynik/a/plik_BUD.dbf")));
  EXPECT_TRUE(file_exists(dir.file("wynik/a/plik_DZE.prj")));
  EXPECT_TRUE(file_exists(dir.file("err.log")));
  EXPECT_FALSE(file_exists(dir.file("dane/plik_DZE.shp")));
  EXPECT_NE(r.err.find("wrote wynik/a/plik_DZE."), std::string::npos) << r.err;
  // A file in the way of the directory.
  write_file(dir.file("plik"), "");
  const auto blocked = run_converter(dir, {"--output-dir=plik", "dane/plik.swd", "2", "2", "0"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("cannot create the output directory plik"), std::string::npos);
}

}  // namespace

namespace {

using egib::test::swde_file;

TEST(Driver, RunLogWhereItIsTold) {
  TempDir dir;
  write_file(dir.file("p.swd"), swde_file("RO,,G5DZE,d\nGL\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n"));
  const auto r = run_converter(dir, {"--log=logi/p.log", "p.swd", "0", "0", "0"});
  EXPECT_EQ(r.status, 1);  // the folder does not exist
  EXPECT_EQ(r.err, "nie moge otworzyc pliku logi/p.log\n");
  std::filesystem::create_directory(dir.file("logi"));
  const auto ok = run_converter(dir, {"--log", "logi/p.log", "p.swd", "0", "0", "0"});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(read_file(dir.file("logi/p.log")), "#;;;brak K,+ lub K,- line=8\nKONIEC\n");
  EXPECT_FALSE(file_exists(dir.file("err.log")));
}

TEST(Driver, ReportSaysHowTheRunEnded) {
  TempDir dir;
  write_file(dir.file("p\"q.swd"),
             swde_file("RO,,G5DZE,d\nD,G5IDD,,1\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n"));
  const auto ok = run_converter(dir, {"--report=r.json", "p\"q.swd", "EPSG:2177", "10", "7"});
  ASSERT_EQ(ok.status, 0) << ok.err;
  const std::string json = read_file(dir.file("r.json"));
  for (const char* part :
       {"\"input\": \"p\\\"q.swd\"",
        "\"input_system\": {\n    \"code\": 18,\n    \"epsg\": 2177\n  }",
        "\"output_system\": {\n    \"code\": 10,", "\"variant\": 7", "\"parcels_written\": 1,",
        "\"points_written\": null,", "\"exit_status\": 0,", "\"error\": null\n}\n",
        "\"files\": [\n    \"p\\\"q_DZE.shp\",", "\"axis_order\": \"NE\"",
        "\"encoding\": \"iso-8859-2\""}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
  EXPECT_FALSE(file_exists(dir.file("r.json.tmp")));

  // An output directory that cannot be made: the run fails after the input
  // was opened, and the report says so.
  const auto bad =
      run_converter(dir, {"-o", "/proc/egib", "--report", "bad.json", "p\"q.swd", "0", "0", "0"});
  EXPECT_EQ(bad.status, 1);
  const std::string failed = read_file(dir.file("bad.json"));
  EXPECT_NE(failed.find("\"exit_status\": 1,"), std::string::npos) << failed;
  EXPECT_NE(failed.find("\"error\": \"egib2shp: cannot create the output directory /proc/egib"),
            std::string::npos)
      << failed;
  EXPECT_NE(failed.find("\"files\": []"), std::string::npos) << failed;

  // A layer that cannot be written (file-size limit): exit status 1, no file.
  std::string body;
  for (int i = 0; i < 3000; ++i) {
    body += "RO,,G5DZE,d\nD,G5IDD,,146518_8.0001." + std::to_string(i) +
            "\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n";
  }
  write_file(dir.file("big.swd"), swde_file(body));
  const auto full = run_converter(dir, {"--report=full.json", "big.swd", "0", "0", "0"},
                                  "trap '' XFSZ; ulimit -f 64;");
  EXPECT_EQ(full.status, 1);
  const std::string full_json = read_file(dir.file("full.json"));
  EXPECT_NE(full_json.find("\"exit_status\": 1,"), std::string::npos) << full_json;
  EXPECT_NE(full_json.find("\"files\": []"), std::string::npos) << full_json;
  EXPECT_NE(full_json.find("\"error\": \"egib2shp: cannot write big_DZE"), std::string::npos)
      << full_json;
  // The failure noticed inside shapelib's writes is named with its file
  // and its reason, once.
  const std::string named = "egib2shp: cannot write big_DZE.tmp.shp: ";
  EXPECT_NE(full.err.find(named), std::string::npos) << full.err;
  EXPECT_EQ(full.err.find(named), full.err.rfind(named)) << full.err;

  // The same where the records go to the file in blocks of their own (the
  // boundary points' table, hundreds of kilobytes a block): a block cut by
  // the limit is a failure too.
  std::string points;
  for (int i = 0; i < 3000; ++i) {
    points += "RP,,G5PZG,p" + std::to_string(i) + ",k\nP,G," + std::to_string(i) +
              ",0\nD,G5NRP,,n" + std::to_string(i) + "\nX\n";
  }
  write_file(dir.file("points.swd"), swde_file(points));
  const auto cut =
      run_converter(dir, {"--points", "points.swd", "0", "0", "0"}, "trap '' XFSZ; ulimit -f 128;");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("egib2shp: cannot write points_PKT.tmp.dbf: "), std::string::npos)
      << cut.err;
  EXPECT_FALSE(file_exists(dir.file("points_PKT.dbf")));
}

}  // namespace
