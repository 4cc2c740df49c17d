// The optional layers of the register: boundary points (--points) and
// precinct outlines (--precincts), and what the four arguments alone keep.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "layers/outline.h"
#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

std::string trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Points with all their attributes, a parcel and a precinct through them.
std::string register_file() {
  return swde_file(
      "RP,,G5PZG,p1,k1\nP,G,5806000.25,4603000.50\nD,G5NRP,,101\nD,G5OZR,,OZR1\n"
      "D,G5STB,,1\nD,G5ZRD,,2\nD,G5BPP,,3\nD,G5RZG,,4\nWG,G5RKRG,,REL1\nX\n"
      "RP,,G5PZG,p2,k2\nP,G,5806100.00,4603000.50\nWL,G5RKRG,REL2\nX\n"
      "RP,,G5PZG,p3,\nP,G,5806100.00,4603100.75\nD,G5NRP,,103\nX\n"
      "RP,,G5PZG,p4,\nP,G,5806000.25,4603100.75\nX\n"
      "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.1\nGL\nK,+\nP,P,,p1\nP,K,k2\nP,P,,p3\nP,P,,p4\n"
      "P,P,,p1\nX\n"
      "RO,,G5OBR,o1\nD,G5IDR,,146518_8.0001\nD,G5NRO,,0001\nD,G5NAZ,,\xA3\xEA"
      "czyca "
      "\xA6r\xF3"
      "dmie\xB6"
      "cie\nGL\nK,+\nP,P,,p1\nP,P,,p2\nP,P,,p3\nP,P,,p4\nP,P,,p1\nX\n"
      "RO,,G5G_OBR,o2\nD,G5IDR,,146518_8.0002\nGL\nK,+\nP,G,5806000,4603200\n"
      "P,G,5806050,4603200\nP,G,5806050,4603250\nX\n");
}

struct Outcome {
  RunResult result;
  LayerContent parcels, buildings, points, precincts;
};

Outcome convert(const TempDir& dir, const std::string& content, std::vector<std::string> args) {
  write_file(dir.file("in.swd"), content);
  args.insert(args.end() - 3, "in.swd");
  Outcome o;
  o.result = run_converter(dir, args);
  o.parcels = read_layer(dir.file("in_DZE"));
  o.buildings = read_layer(dir.file("in_BUD"));
  if (file_exists(dir.file("in_PKT.shp"))) o.points = read_layer(dir.file("in_PKT"));
  if (file_exists(dir.file("in_OBR.shp"))) o.precincts = read_layer(dir.file("in_OBR"));
  return o;
}

TEST(RegisterLayers, BoundaryPointsWithTheirAttributesInInputOrder) {
  TempDir dir;
  const Outcome o = convert(dir, register_file(), {"--points", "0", "0", "0"});
  ASSERT_EQ(o.result.status, 0) << o.result.err;
  EXPECT_EQ(o.points.shape_type, 1);  // point
  ASSERT_EQ(o.points.shape_count, 4);
  ASSERT_EQ(o.points.record_count, 4);
  EXPECT_EQ(o.points.field_names,
            (std::vector<std::string>{"ID", "IDP", "KLUCZ", "G5NRP", "G5OZR", "G5STB", "G5ZRD",
                                      "G5BPP", "G5RZG", "G5RKRG"}));
  EXPECT_EQ(o.points.field_types,
            (std::vector<char>{'N', 'C', 'C', 'C', 'C', 'N', 'N', 'N', 'N', 'C'}));
  EXPECT_EQ(o.points.widths, (std::vector<int>{10, 50, 50, 50, 50, 10, 10, 10, 10, 50}));
  const auto& first = o.points.raw[0];
  EXPECT_EQ(first[0], "         1");
  EXPECT_EQ(trimmed(first[1]), "p1");
  EXPECT_EQ(trimmed(first[2]), "k1");
  EXPECT_EQ(trimmed(first[3]), "101");
  EXPECT_EQ(trimmed(first[4]), "OZR1");
  EXPECT_EQ(first[5], "         1");
  EXPECT_EQ(first[6], "         2");
  EXPECT_EQ(first[7], "         3");
  EXPECT_EQ(first[8], "         4");
  EXPECT_EQ(trimmed(first[9]), "REL1");
  EXPECT_EQ(trimmed(o.points.raw[1][3]), "?");  // no number
  EXPECT_EQ(trimmed(o.points.raw[1][9]), "REL2");
  EXPECT_EQ(trimmed(o.points.raw[3][1]), "p4");
  EXPECT_EQ(o.points.shapes[0].x, (std::vector<double>{4603000.50}));
  EXPECT_EQ(o.points.shapes[0].y, (std::vector<double>{5806000.25}));
  EXPECT_NE(o.result.err.find("4 boundary points and 0 precincts written"), std::string::npos);
  EXPECT_NE(o.result.err.find("in_PKT.{shp,shx,dbf,cpg}"), std::string::npos) << o.result.err;
  EXPECT_EQ(read_file(dir.file("in_PKT.cpg")), "1250");
  EXPECT_FALSE(file_exists(dir.file("in_OBR.shp")));
}

TEST(RegisterLayers, ANumberTooWideForItsCellIsWrittenAsTheLibraryWritesIt) {
  // The middle point's G5STB needs eleven characters in a cell of ten: the
  // library writes it (and says it could not); the records before and
  // after it keep their own cells, with and without the register's columns.
  const std::string file = swde_file(
      "RP,,G5PZG,p1,\nP,G,5806000.25,4603000.50\nD,G5STB,,1\nX\n"
      "RP,,G5PZG,p2,\nP,G,5806100.00,4603000.50\nD,G5STB,,-1234567890\nX\n"
      "RP,,G5PZG,p3,\nP,G,5806100.00,4603100.75\nD,G5STB,,3\nX\n");
  std::string expected;
  {
    TempDir scratch;
    DBFHandle dbf = DBFCreate(scratch.file("s.dbf").c_str());
    ASSERT_NE(dbf, nullptr);
    DBFAddField(dbf, "S", FTDouble, 10, 0);
    DBFWriteIntegerAttribute(dbf, 0, 0, -1234567890);
    DBFClose(dbf);
    const std::string bytes = read_file(scratch.file("s.dbf"));
    ASSERT_GE(bytes.size(), 65 + 11u);
    expected = bytes.substr(65 + 1, 10);
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--points", "0", "0", "0"},
                                               std::vector<std::string>{"--all", "0", "0", "0"}}) {
    TempDir dir;
    const Outcome o = convert(dir, file, args);
    ASSERT_EQ(o.result.status, 0) << o.result.err;
    ASSERT_EQ(o.points.record_count, 3);
    EXPECT_EQ(o.points.raw[1][5], expected) << args[0];
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(trimmed(o.points.raw[static_cast<size_t>(r)][0]), std::to_string(r + 1));
      EXPECT_EQ(trimmed(o.points.raw[static_cast<size_t>(r)][1]), "p" + std::to_string(r + 1));
    }
    EXPECT_EQ(o.points.raw[0][5], "         1");
    EXPECT_EQ(o.points.raw[2][5], "         3");
    if (args[0] == "--all") {
      ASSERT_GE(o.points.field_names.size(), 12u);
      EXPECT_EQ(o.points.field_names[10], "IDENT");
      EXPECT_EQ(trimmed(o.points.raw[1][10]), "p2");
      EXPECT_EQ(trimmed(o.points.raw[2][10]), "p3");
    }
  }
}

TEST(RegisterLayers, PointsConvertExactlyAsTheVerticesThatReferenceThem) {
  TempDir dir;
  const Outcome o = convert(dir, register_file(), {"--points", "--precincts", "2", "18", "1"});
  ASSERT_EQ(o.result.status, 0) << o.result.err;
  ASSERT_EQ(o.parcels.shape_count, 1);
  const auto& parcel = o.parcels.shapes[0];
  // The parcel runs p1, p2 (by its key), p3, p4, p1; the points layer holds
  // p1 .. p4: the same bits.
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(o.points.shapes[i].x[0], parcel.x[i]) << i;
    EXPECT_EQ(o.points.shapes[i].y[0], parcel.y[i]) << i;
  }
  EXPECT_GT(parcel.x[0], 6400000);  // in the 2000 zone of 18 E
  EXPECT_TRUE(file_exists(dir.file("in_PKT.prj")));
  EXPECT_TRUE(file_exists(dir.file("in_OBR.prj")));
  // The precinct's references resolve in the writing pass: its outline is
  // the parcel's.
  ASSERT_EQ(o.precincts.shape_count, 2);
  EXPECT_EQ(o.precincts.shapes[0].x, parcel.x);
  EXPECT_EQ(o.precincts.shapes[0].y, parcel.y);
}

TEST(RegisterLayers, PrecinctsWithNamesAndAreas) {
  TempDir dir;
  const Outcome o = convert(dir, register_file(), {"--precincts", "0", "0", "0"});
  ASSERT_EQ(o.result.status, 0) << o.result.err;
  EXPECT_EQ(o.precincts.shape_type, 5);
  EXPECT_EQ(o.precincts.field_names,
            (std::vector<std::string>{"ID", "G5IDR", "G5NRO", "G5NAZ", "POW"}));
  EXPECT_EQ(o.precincts.widths, (std::vector<int>{10, 50, 10, 100, 16}));
  EXPECT_EQ(o.precincts.decimals, (std::vector<int>{0, 0, 0, 0, 2}));
  ASSERT_EQ(o.precincts.record_count, 2);
  const auto& first = o.precincts.raw[0];
  EXPECT_EQ(trimmed(first[1]), "146518_8.0001");
  EXPECT_EQ(trimmed(first[2]), "0001");
  // ISO 8859-2 "Łęczyca Śródmieście" in Windows-1250.
  EXPECT_EQ(trimmed(first[3]),
            "\xA3\xEA"
            "czyca \x8Cr\xF3"
            "dmie\x9C"
            "cie");
  EXPECT_EQ(first[4], "         9999.94");
  const auto& second = o.precincts.raw[1];
  EXPECT_EQ(trimmed(second[2]), "");  // no G5NRO
  EXPECT_EQ(trimmed(second[3]), "");
  EXPECT_EQ(second[4], "         1250.00");
  // Closed per ring: the unclosed triangle gets its first vertex again.
  EXPECT_EQ(o.precincts.shapes[1].x.size(), 4u);
  // The precinct's references are resolved in the writing pass only: the
  // collecting pass says nothing of them.
  EXPECT_EQ(o.result.out, "SWDE.w.3.00\n\nSWDE.w.3.00\n\nfaza10KONIEC\n");
}

TEST(RegisterLayers, FourArgumentsWriteNothingNewAndEpsgCodesTheSameLayers) {
  TempDir plain;
  const Outcome o = convert(plain, register_file(), {"2", "21", "0"});
  ASSERT_EQ(o.result.status, 0);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(plain.path())) {
    const std::string name = e.path().filename().string();
    if (name[0] != '.') files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files,
            (std::vector<std::string>{"err.log", "in.swd", "in_BUD.cpg", "in_BUD.dbf", "in_BUD.prj",
                                      "in_BUD.shp", "in_BUD.shx", "in_DZE.cpg", "in_DZE.dbf",
                                      "in_DZE.prj", "in_DZE.shp", "in_DZE.shx"}));
  for (const std::vector<std::string>& codes :
       {std::vector<std::string>{"2172", "2178", "0"}, {"EPSG:2172", "epsg:2178", "0"}}) {
    TempDir epsg;
    const Outcome e = convert(epsg, register_file(), codes);
    ASSERT_EQ(e.result.status, 0) << e.result.err;
    EXPECT_EQ(e.result.out, o.result.out);
    for (const char* f : {"in_DZE.shp", "in_DZE.dbf", "in_DZE.prj", "in_BUD.shp"}) {
      EXPECT_EQ(read_file(epsg.file(f)), read_file(plain.file(f))) << f;
    }
  }
}

}  // namespace
