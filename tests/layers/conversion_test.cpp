// End-to-end runs of the converter on small SWDE files, read back with
// shapelib.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layers/outline.h"
#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

std::string point(const std::string& id, const std::string& alt, const std::string& northing,
                  const std::string& easting) {
  return "RP,,G5PZG," + id + "," + alt + "\nP,G," + northing + "," + easting + "\nD,G5NRP,,1\nX\n";
}

// Three points of a 10 m square's corners and one more.
std::string square_points() {
  return point("p1", "k1", "100", "200") + point("p2", "k2", "100", "210") +
         point("p3", "k3", "110", "210") + point("p4", "k4", "110", "200");
}

// A run with both logs read back as well.
struct Outcome : egib::test::Conversion {
  std::string run_log;
  std::string error_log;
};

Outcome convert(const TempDir& dir, const std::string& content,
                const std::vector<std::string>& codes = {"0", "0", "0"}) {
  Outcome r;
  static_cast<egib::test::Conversion&>(r) = egib::test::convert_swde(dir, content, codes);
  r.run_log = read_file(dir.file("err.log"));
  r.error_log = file_exists(dir.file("ZOV_uriri.txt")) ? read_file(dir.file("ZOV_uriri.txt")) : "";
  return r;
}

std::string trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

TEST(Conversion, ParcelOutlineAttributesAndArea) {
  TempDir dir;
  const Outcome r = convert(
      dir, swde_file(square_points() + "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.123\nGL\nK,+\n"
                                       "P,P,,p1\nP,K,k4\nP,P,,p3\nP,G,100,210\nP,P,,p1\nX\n"));
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  ASSERT_EQ(r.parcels.shape_count, 1);
  ASSERT_EQ(r.parcels.record_count, 1);
  const auto& s = r.parcels.shapes[0];
  // The list is closed in the input and stays so: no second copy of its
  // first vertex.
  EXPECT_EQ(s.x, (std::vector<double>{200, 200, 210, 210, 200}));
  EXPECT_EQ(s.y, (std::vector<double>{100, 110, 110, 100, 100}));
  EXPECT_EQ(s.part_start, (std::vector<int>{0}));
  const auto& row = r.parcels.raw[0];
  EXPECT_EQ(row[0], "         1");
  EXPECT_EQ(trimmed(row[1]), "146518_8.0001.123");
  EXPECT_EQ(row[2], "        14");
  EXPECT_EQ(row[3], "      1465");
  EXPECT_EQ(trimmed(row[4]), "146518_8");
  EXPECT_EQ(trimmed(row[5]), "146518_8.0001");
  EXPECT_EQ(trimmed(row[6]), "0001");
  EXPECT_EQ(trimmed(row[7]), "123");
  EXPECT_EQ(row[8], "          100.00");  // clockwise with X east, Y north: positive
  EXPECT_EQ(r.buildings.record_count, 0);
  EXPECT_EQ(r.result.out, "SWDE.w.3.00\n\nSWDE.w.3.00\n\nfaza10KONIEC\n");
  EXPECT_EQ(r.run_log, "KONIEC\n");
  EXPECT_EQ(r.error_log, "");
}

TEST(Conversion, BuildingsBothSpellingsFunctionCodeAndTurnedRing) {
  TempDir dir;
  const Outcome r = convert(
      dir, swde_file(square_points() + "RO,,G5BUD,b1\nD,G5IDB,,146518_8.0001.12_BUD\n"
                                       "D,G5FUZ,,110\nGL\nK,+\nP,P,,p1\nP,P,,p2\nP,P,,p3\nX\n"
                                       "RO,,G5G_BUD,b2\nD,G5IDB,,14651\nGL\nK,+\n"
                                       "P,P,,p1\nP,P,,p4\nP,P,,p3\nX\n"
                                       "RO,,G5G_DZE,d1\nD,G5IDD,,146518_8.0001\nGL\nK,+\n"
                                       "P,P,,p1\nP,P,,p3\nP,P,,p4\nX\n"));
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  ASSERT_EQ(r.buildings.record_count, 2);
  ASSERT_EQ(r.buildings.shape_count, 2);
  const auto& b1 = r.buildings.raw[0];
  EXPECT_EQ(trimmed(b1[1]), "146518_8.0001.12_BUD");
  EXPECT_EQ(trimmed(b1[7]), "");         // DNR is never written for buildings
  EXPECT_EQ(b1[8], "           50.00");  // counter-clockwise in the input, turned
  EXPECT_EQ(b1[9], "       110");
  const auto& b2 = r.buildings.raw[1];
  EXPECT_EQ(b2[0], "         2");
  EXPECT_EQ(trimmed(b2[4]), "14651");
  EXPECT_EQ(trimmed(b2[6]), "");   // identifier ends before character 10
  EXPECT_EQ(b2[9], "         0");  // no G5FUZ
  EXPECT_EQ(b2[8], "           50.00");
  ASSERT_EQ(r.parcels.record_count, 1);
  const auto& d = r.parcels.raw[0];
  EXPECT_EQ(trimmed(d[5]), "146518_8.0001");
  EXPECT_EQ(trimmed(d[6]), "0001");
  EXPECT_EQ(trimmed(d[7]), "");
}

TEST(Conversion, RingsHolesAndSeveralGeometryLists) {
  TempDir dir;
  const std::string outer = "K,+\nP,G,0,0\nP,G,100,0\nP,G,100,100\nP,G,0,100\n";
  const std::string hole = "K,-\nP,G,10,10\nP,G,10,20\nP,G,20,20\nP,G,20,10\n";
  const Outcome r = convert(
      dir, swde_file("RO,,G5DZE,d1\nD,G5IDD,,1\nGL\n" + outer + hole +
                     "X\n"
                     // P lines before the only ring start: still one ring from vertex 0.
                     "RO,,G5DZE,d2\nD,G5IDD,,2\nGL\nP,G,0,0\nK,+\nP,G,0,10\nP,G,10,10\nX\n"
                     // Two geometry lists, each closed by its own first vertex.
                     "RO,,G5DZE,d3\nD,G5IDD,,3\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nGL\nK,+\n"
                     "P,G,5,5\nP,G,5,6\nP,G,6,6\nX\n"));
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  ASSERT_EQ(r.parcels.shape_count, 3);
  const auto& d1 = r.parcels.shapes[0];
  // Each ring is closed by a copy of its own first vertex.
  EXPECT_EQ(d1.part_start, (std::vector<int>{0, 5}));
  EXPECT_EQ(d1.x, (std::vector<double>{0, 0, 100, 100, 0, 10, 20, 20, 10, 10}));
  EXPECT_EQ(d1.y, (std::vector<double>{0, 100, 100, 0, 0, 10, 10, 20, 20, 10}));
  // The outer ring less the hole.
  EXPECT_EQ(r.parcels.raw[0][8], "         9900.00");
  EXPECT_EQ(r.parcels.shapes[1].part_start, (std::vector<int>{0}));
  EXPECT_EQ(r.parcels.shapes[1].x.size(), 4u);
  const auto& d3 = r.parcels.shapes[2];
  EXPECT_EQ(d3.part_start, (std::vector<int>{0, 4}));
  EXPECT_EQ(d3.x, (std::vector<double>{0, 1, 1, 0, 5, 6, 6, 5}));
}

// The enclave of the bug report: a 100 m square around a 60 m hole, given
// in one list, rings not closed in the input; before the mend the hole ran
// on to the outer ring's first vertex and POW came out as 5800.00.
TEST(Conversion, HoleOfUnclosedRingsIsClosedAndSubtracted) {
  TempDir dir;
  const std::string body =
      "RO,,G5DZE,d1\nD,G5IDD,,1\nGL\nK,+\nP,G,0,0\nP,G,100,0\nP,G,100,100\nP,G,0,100\n"
      "K,-\nP,G,20,20\nP,G,20,80\nP,G,80,80\nP,G,80,20\nX\n";
  const Outcome r = convert(dir, swde_file(body));
  ASSERT_EQ(r.parcels.shape_count, 1);
  const auto& s = r.parcels.shapes[0];
  EXPECT_EQ(s.part_start, (std::vector<int>{0, 5}));
  EXPECT_EQ(s.x, (std::vector<double>{0, 0, 100, 100, 0, 20, 80, 80, 20, 20}));
  EXPECT_EQ(s.y, (std::vector<double>{0, 100, 100, 0, 0, 20, 20, 80, 80, 20}));
  EXPECT_EQ(r.parcels.raw[0][8], "         6400.00");

  // Two holes, the second one given clockwise like the outer ring: it is
  // turned, so that readers take it for a hole and not for an island.
  TempDir two;
  const Outcome t =
      convert(two, swde_file("RO,,G5DZE,d1\nGL\nK,+\nP,G,0,0\nP,G,100,0\nP,G,100,100\nP,G,0,100\n"
                             "P,G,0,0\nK,-\nP,G,10,10\nP,G,10,20\nP,G,20,20\nP,G,20,10\nP,G,10,10\n"
                             "K,-\nP,G,50,50\nP,G,60,50\nP,G,60,60\nP,G,50,60\nX\n"));
  ASSERT_EQ(t.parcels.shape_count, 1);
  // Rings closed in the input are not closed again.
  EXPECT_EQ(t.parcels.shapes[0].part_start, (std::vector<int>{0, 5, 10}));
  EXPECT_EQ(t.parcels.raw[0][8], "         9800.00");
  const auto& h2 = t.parcels.shapes[0];
  EXPECT_LT(egib::ring_area(5, h2.x.data() + 10, h2.y.data() + 10), 0);
}

TEST(Conversion, SingleRingOutlinesAreClosedOnceAndClockwise) {
  TempDir dir;
  // Closed and unclosed in the input, both orientations: each ring is
  // closed once and runs clockwise, so POW is positive.
  const Outcome r = convert(dir, swde_file("RO,,G5BUD,b1\nGL\nK,+\nP,G,0,0\nP,G,0,5\nP,G,5,5\n"
                                           "P,G,0,0\nX\nRO,,G5BUD,b2\nGL\nK,+\nP,G,0,0\n"
                                           "P,G,5,0\nP,G,5,5\nX\n"));
  ASSERT_EQ(r.buildings.shape_count, 2);
  EXPECT_EQ(r.buildings.shapes[0].x, (std::vector<double>{0, 5, 5, 0}));
  EXPECT_EQ(r.buildings.shapes[0].y, (std::vector<double>{0, 5, 0, 0}));
  EXPECT_EQ(r.buildings.raw[0][8], "           12.50");
  EXPECT_EQ(r.buildings.shapes[1].x, (std::vector<double>{0, 0, 5, 0}));
  EXPECT_EQ(r.buildings.shapes[1].y, (std::vector<double>{0, 5, 5, 0}));
  EXPECT_EQ(r.buildings.raw[1][8], "           12.50");
}

TEST(Conversion, MissingPointsAndEmptyOutlines) {
  TempDir dir;
  const Outcome r = convert(dir, swde_file(square_points() +
                                           // No geometry at all.
                                           "RO,,G5DZE,d0\nD,G5IDD,,0\nX\n"
                                           // One list gives nothing; no vertex of another leaks in.
                                           "RO,,G5DZE,d1\nD,G5IDD,,1\nGL\nK,+\nP,P,,missing\nX\n"
                                           "RO,,G5DZE,d2\nD,G5IDD,,2\nGL\nK,+\nP,P,,none\nGL\nK,+\n"
                                           "P,P,,p1\nP,P,,P2\nP,P,,p2\nP,P,,p3\nX\n"
                                           // A bad P line and a list without a ring start.
                                           "RO,,G5DZE,d3\nD,G5IDD,,3\nGL\nP,Q,1,2,3\nP,P,,p1\n"
                                           "P,P,,p2\nP,P,,p3\nX\n"));
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  EXPECT_EQ(r.result.out,
            "SWDE.w.3.00\n\nSWDE.w.3.00\n\nerror3\nbrak punktu ID=missing\nerror3\n"
            "brak punktu ID=none\nbrak punktu ID=P2\nnieznay punkt P,Q,1,2,3faza10KONIEC\n");
  ASSERT_EQ(r.parcels.shape_count, 2);
  ASSERT_EQ(r.parcels.record_count, 2);
  EXPECT_EQ(r.parcels.raw[0][0], "         1");
  EXPECT_EQ(trimmed(r.parcels.raw[0][1]), "2");
  EXPECT_EQ(r.parcels.shapes[0].part_start, (std::vector<int>{0}));
  EXPECT_EQ(r.parcels.shapes[0].x, (std::vector<double>{200, 210, 210, 200}));
  EXPECT_EQ(r.run_log,
            "#;;;brak K,+ lub K,- line=47"
            "\nKONIEC\n");
}

TEST(Conversion, PrecinctsFromPointReferencesSayNothingInTheCollectingPass) {
  TempDir dir;
  const std::string body = square_points() +
                           "RO,,G5OBR,o1\nGL\nK,+\nP,P,,p1\nP,P,,p2\nP,P,,p3\nX\n"
                           "RO,,G5DZE,d1\nGL\nK,+\nP,P,,p1\nP,P,,p2\nP,P,,p3\nX\n";
  const Outcome r = convert(dir, swde_file(body));
  EXPECT_EQ(r.result.out, "SWDE.w.3.00\n\nSWDE.w.3.00\n\nfaza10KONIEC\n");
  EXPECT_EQ(r.result.err.find("unresolved"), std::string::npos) << r.result.err;
  ASSERT_EQ(r.parcels.record_count, 1);
  // No identifier: the codes are 0 and the texts empty.
  EXPECT_EQ(r.parcels.raw[0][2], "         0");
  EXPECT_EQ(trimmed(r.parcels.raw[0][1]), "");

  // With the precinct layer its outline is resolved in the writing pass.
  TempDir with_layer;
  write_file(with_layer.file("in.swd"), swde_file(body));
  const RunResult p =
      run_converter(with_layer, {"--precincts", "--report=r.json", "in.swd", "0", "0", "0"});
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, "SWDE.w.3.00\n\nSWDE.w.3.00\n\nfaza10KONIEC\n");
  const LayerContent precincts = read_layer(with_layer.file("in_OBR"));
  ASSERT_EQ(precincts.shape_count, 1);
  EXPECT_EQ(precincts.shapes[0].x.size(), 4u);
  EXPECT_NE(read_file(with_layer.file("r.json")).find("\"unresolved_references\": 0"),
            std::string::npos);
}

TEST(Conversion, PointsWithoutCoordinatesAreNoVertices) {
  TempDir dir;
  const std::string body = square_points() + "RP,,G5PZG,nowhere,kn\nD,G5NRP,,7\nX\n" +
                           "RO,,G5DZE,d1\nD,G5IDD,,1\nGL\nK,+\nP,P,,p1\nP,P,,p2\nP,P,,nowhere\n"
                           "P,P,,p3\nP,K,kn\nP,P,,p4\nX\n";
  write_file(dir.file("in.swd"), swde_file(body));
  const RunResult r = run_converter(dir, {"--points", "--report=r.json", "in.swd", "0", "0", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Told in its own words, not as a missing point.
  EXPECT_NE(r.out.find("punkt bez wspolrzednych ID=nowhere\npunkt bez wspolrzednych ID=kn\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("brak punktu"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("2 references to points without coordinates"), std::string::npos) << r.err;
  const std::string report = read_file(dir.file("r.json"));
  EXPECT_NE(report.find("\"points_without_coordinates\": 2"), std::string::npos) << report;
  EXPECT_NE(report.find("\"unresolved_references\": 0"), std::string::npos) << report;
  const LayerContent parcels = read_layer(dir.file("in_DZE"));
  ASSERT_EQ(parcels.shape_count, 1);
  // The four corners and the closing one: no spike to the origin.
  ASSERT_EQ(parcels.shapes[0].x.size(), 5u);
  for (const double x : parcels.shapes[0].x) EXPECT_GE(x, 200);
  // In the point layer it is a null shape, its record kept.
  const LayerContent points = read_layer(dir.file("in_PKT"));
  ASSERT_EQ(points.shape_count, 5);
  ASSERT_EQ(points.record_count, 5);
  SHPHandle shp = SHPOpen(dir.file("in_PKT").c_str(), "rb");
  ASSERT_NE(shp, nullptr);
  SHPObject* o = SHPReadObject(shp, 4);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->nSHPType, SHPT_NULL);
  EXPECT_EQ(o->nVertices, 0);
  SHPDestroyObject(o);
  SHPClose(shp);
  EXPECT_EQ(trimmed(points.raw[4][1]), "nowhere");
}

TEST(Conversion, LongIdentifiersAndTextsCut) {
  TempDir dir;
  const std::string id40 = "1234567890abcdefghij1234567890ABCDEFGHIJ";
  const std::string idd59 = "146518_8.0001.1234567890123456789012345678901234567890abcd";
  const std::string name100 = std::string(99, 'N') + "Z";
  const std::string name130(130, 'M');
  const std::string outline = "\nGL\nK,+\nP,P,," + id40 + "\nP,P,,p2\nP,P,,p3\nX\n";
  const std::string body = point(id40, "k" + id40, "100", "200") + point("p2", "k2", "100", "210") +
                           point("p3", "k3", "110", "210") + "RO,,G5DZE,d1\nD,G5IDD,," + idd59 +
                           outline + "RO,,G5OBR,o1\nD,G5IDR,,o1\nD,G5NAZ,," + name100 + outline +
                           "RO,,G5OBR,o2\nD,G5IDR,,o2\nD,G5NAZ,," + name130 + outline;
  write_file(dir.file("in.swd"), swde_file(body));
  const RunResult r =
      run_converter(dir, {"--points", "--precincts", "--report=r.json", "in.swd", "0", "0", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("brak punktu"), std::string::npos) << r.out;
  const LayerContent parcels = read_layer(dir.file("in_DZE"));
  ASSERT_EQ(parcels.shape_count, 1);
  EXPECT_EQ(parcels.shapes[0].x, (std::vector<double>{200, 210, 210, 200}));
  // IDD stays 50 wide: the identifier is cut there; DNR fits.
  EXPECT_EQ(parcels.raw[0][1], idd59.substr(0, 50));
  EXPECT_EQ(trimmed(parcels.raw[0][7]), idd59.substr(14));
  const LayerContent points = read_layer(dir.file("in_PKT"));
  EXPECT_EQ(trimmed(points.raw[0][1]), id40);
  EXPECT_EQ(trimmed(points.raw[0][2]), "k" + id40);
  // The 100-character name reaches its 100-wide column whole; a longer one
  // is cut there, and that is counted.
  const LayerContent precincts = read_layer(dir.file("in_OBR"));
  ASSERT_EQ(precincts.record_count, 2);
  EXPECT_EQ(precincts.raw[0][3], name100);
  EXPECT_EQ(precincts.raw[1][3], name130.substr(0, 100));
  const std::string log = read_file(dir.file("ZOV_uriri.txt"));
  EXPECT_NE(log.find("object '" + idd59 + "': IDD '" + idd59 + "' cut to 50 characters"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("object 'o2': G5NAZ '" + name130.substr(0, 100) + "' cut to 100 characters"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("object 'o1'"), std::string::npos) << log;
  EXPECT_NE(read_file(dir.file("r.json")).find("\"texts_cut\": 2"), std::string::npos);
  EXPECT_NE(r.err.find("2 texts cut"), std::string::npos) << r.err;
}

TEST(Conversion, LineAfterAGeometryListIsRead) {
  TempDir dir;
  const Outcome r = convert(
      dir,
      swde_file("RO,,G5DZE,d1\nGL\nK,+\nP,G,0,0\nP,G,0,10\nP,G,10,10\nD,G5IDD,,146518_8.0001.7\n"
                "GL\nK,+\nP,G,50,50\nP,G,50,60\nP,G,60,60\nWG,G5RDZ,,x\nD,G5XXX,,1\nX\n"));
  ASSERT_EQ(r.parcels.record_count, 1);
  EXPECT_EQ(trimmed(r.parcels.raw[0][1]), "146518_8.0001.7");
  EXPECT_EQ(r.parcels.raw[0][2], "        14");
  EXPECT_EQ(r.parcels.shapes[0].part_start, (std::vector<int>{0, 4}));
}

TEST(Conversion, ReferencesAreCaseSensitiveAndDuplicatesResolve) {
  TempDir dir;
  const Outcome r = convert(dir, swde_file(point("a", "A1", "0", "0") +
                                           point("A", "a1", "0", "50") + point("d", "x", "7", "7") +
                                           point("d", "y", "7", "7") + point("b ", "b", "9", "9") +
                                           "RO,,G5DZE,d1\nGL\nK,+\nP,P,,a\nP,P,,A\nP,K,a1\nP,P,,d\n"
                                           "P,P,,b\nP,P,,b ,x\nX\n"));
  ASSERT_EQ(r.parcels.shape_count, 1);
  // a, A, A again (by its second key: not repeated), d, "b "; the ring
  // ran counter-clockwise and is turned.
  EXPECT_EQ(r.parcels.shapes[0].x, (std::vector<double>{0, 9, 7, 50, 0}));
  // "b" is not "b ": a trailing blank is part of the key.
  EXPECT_EQ(r.result.out, "SWDE.w.3.00\n\nSWDE.w.3.00\n\nbrak punktu ID=b\nfaza10KONIEC\n");
}

TEST(Conversion, GrammarMessagesGoToTheErrorLog) {
  TempDir dir;
  // Unknown top-level code, a parcel in an SP section, a bad P line in a
  // point, no SWDEX.
  const Outcome r =
      convert(dir,
              "SWDE.w.2.00 extra\nXYZ,1\nSP\nRO,,G5DZE,d0\nGL\nK,+\nP,G,0,0\nP,G,0,1\n"
              "P,G,1,1\nX\nSX\nSO\nRP,,G5PZG,p1\nP,X,1,2\nP,G,5,6\nX\nRO,,G5DZE,d1\nGL\n"
              "K,+\nP,P,,p1\nP,G,0,0\nP,G,0,1\nX\nSX\n");
  EXPECT_EQ(r.result.status, 0);
  EXPECT_EQ(r.error_log,
            "line=2 code='XYZ' Unknown swde code\n\n"
            "line=14 code='P,X,1,2' Unknown swde code\n\n"
            "read_swde_line failed 24\n\n"
            "line=2 code='XYZ' Unknown swde code\n\n"
            "read_swde_line failed 24\n\n");
  ASSERT_EQ(r.parcels.shape_count, 1);  // the one in SO, written before the truncated end
  EXPECT_EQ(r.parcels.shapes[0].x[0], 6);
  EXPECT_EQ(r.parcels.shapes[0].y[0], 5);
}

TEST(Conversion, UnacceptedHeaderGivesEmptyLayers) {
  TempDir dir;
  const Outcome r = convert(dir, swde_file(square_points() + "RO,,G5DZE,d1\nGL\nK,+\nP,P,,p1\n"
                                                             "P,P,,p2\nP,P,,p3\nX\n",
                                           "SWDE.w.1.00"));
  EXPECT_EQ(r.result.status, 0);
  EXPECT_EQ(r.parcels.shape_count, 0);
  EXPECT_EQ(r.parcels.record_count, 0);
  EXPECT_EQ(r.error_log, "ERROR line 1=SWDE.w.1.00\n\n\nERROR line 1=SWDE.w.1.00\n\n\n");
  EXPECT_EQ(r.result.out, "faza10KONIEC\n");
  const Outcome empty = convert(dir, "");
  EXPECT_EQ(empty.result.status, 0);
  EXPECT_EQ(empty.error_log.substr(r.error_log.size()),
            "Couldn't read: line 1\n\nCouldn't read: line 1\n\n");
  EXPECT_EQ(empty.parcels.shape_count, 0);
}

TEST(Conversion, WholeIdentifiersResolveAndColumnCutsAreReported) {
  TempDir dir;
  const std::string id40(40, 'i');
  const Outcome r =
      convert(dir, swde_file("RP,,G5PZG," + id40 +
                             ",alt\nP,G,1,2\nX\n"
                             "RO,,G5DZE,d1\nD,G5IDD,," +
                             std::string(60, '7') + "\nGL\nK,+\nP,P,," + id40 + "\nP,P,," +
                             id40.substr(0, 29) + "\nP,G,0,0\nP,G,9,0\nX\n"));
  EXPECT_EQ(r.result.status, 0) << r.result.err;
  // The identifier is kept whole: its first 29 characters are another one.
  EXPECT_NE(r.result.out.find("brak punktu ID=" + id40.substr(0, 29) + "\n"), std::string::npos);
  EXPECT_EQ(r.error_log, "line=14 object '" + std::string(60, '7') + "': IDD '" +
                             std::string(60, '7') + "' cut to 50 characters\n\n");
  ASSERT_EQ(r.parcels.shape_count, 1);
  EXPECT_EQ(r.parcels.shapes[0].x.size(), 4u);
  EXPECT_EQ(r.parcels.raw[0][1], std::string(50, '7'));  // cut to the column
  EXPECT_EQ(r.parcels.raw[0][3], "      7777");
}

TEST(Conversion, AreaOfALargeParcelFitsItsColumn) {
  TempDir dir;
  // A right triangle of legs 5000 and 4938.27... gives 12345678.91 m², and
  // one of 20,000 m by 11,380 m 113,800,000 m²: both whole in N 16.2.
  const Outcome r = convert(dir, swde_file("RO,,G5DZE,d1\nGL\nK,+\nP,G,0,0\nP,G,4938.271564,0\n"
                                           "P,G,0,5000\nX\nRO,,G5DZE,d2\nGL\nK,+\nP,G,0,0\n"
                                           "P,G,0,20000\nP,G,11380,0\nX\n"));
  EXPECT_EQ(r.result.status, 0) << r.result.err;
  EXPECT_EQ(r.parcels.raw[0][8], "     12345678.91");
  EXPECT_EQ(r.parcels.raw[1][8], "    113800000.00");
}

TEST(Conversion, HugeObjectsAreWrittenWhole) {
  TempDir dir;
  std::string body = "RO,,G5DZE,big\nD,G5IDD,,big\nGL\n";
  body.reserve(16u << 20);
  for (int ring = 0; ring < 1200; ++ring) {
    body += ring == 0 ? "K,+\n" : "K,-\n";
    const int n = ring == 0 ? 600000 - 1199 * 3 : 3;
    for (int i = 0; i < n; ++i) {
      body += "P,G," + std::to_string(ring * 10 + (i % 7)) + "," + std::to_string(i) + "\n";
    }
  }
  body += "X\n";
  const Outcome r = convert(dir, swde_file(body));
  ASSERT_EQ(r.result.status, 0) << r.result.err;
  ASSERT_EQ(r.parcels.shape_count, 1);
  // Every ring closed by its own copy of its first vertex.
  EXPECT_EQ(r.parcels.shapes[0].x.size(), 601200u);
  EXPECT_EQ(r.parcels.shapes[0].part_start.size(), 1200u);
}

TEST(Conversion, WriteFailuresAreNotReportedAsSuccess) {
  TempDir dir;
  std::string body;
  for (int i = 0; i < 3000; ++i) {
    body += "RO,,G5DZE,d\nD,G5IDD,,146518_8.0001." + std::to_string(i) +
            "\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n";
  }
  write_file(dir.file("in.swd"), swde_file(body));
  write_file(dir.file("in_DZE.shp"), "previous");
  const auto r = run_converter(dir, {"in.swd", "0", "0", "0"}, "trap '' XFSZ; ulimit -f 64;");
  EXPECT_EQ(r.status, 1);  // not 0, and not a memory checker's complaint
  EXPECT_NE(r.err.find("in_DZE"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(dir.file("in_DZE.shp")), "previous");
  EXPECT_FALSE(file_exists(dir.file("in_DZE.tmp.shp")));
}

}  // namespace

namespace {

// Numbers are formatted by the converter itself: they must come out as the
// dBase library formats them ("%10.0f", "%10.2f", right-aligned).
TEST(Conversion, NumbersAreFormattedAsTheLibraryDoes) {
  TempDir dir;
  std::string body;
  unsigned seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 100000;
  };
  for (int i = 0; i < 300; ++i) {
    // Triangles of all sizes and both orientations; areas with 3 decimals
    // and more, so the rounding to 2 decimals is exercised.
    const double a = next() / 1000.0, b = next() / 997.0, c = next() / 991.0;
    char obj[400];
    std::snprintf(obj, sizeof obj,
                  "RO,,G5DZE,d\nD,G5IDD,,%u_%u.%u.%d\nGL\nK,+\nP,G,0,0\nP,G,%.3f,%.4f\n"
                  "P,G,%.5f,%.3f\nX\n",
                  next() % 100, next() % 10, next() % 10000, i, a, b, c, i % 2 ? -a : a);
    body += obj;
  }
  const Outcome r = convert(dir, swde_file(body));
  ASSERT_EQ(r.result.status, 0);
  ASSERT_EQ(r.parcels.shape_count, 300);
  for (size_t i = 0; i < 300; ++i) {
    const auto& s = r.parcels.shapes[i];
    char want[64];
    std::snprintf(want, sizeof want, "%16.2f",
                  egib::ring_area(static_cast<int>(s.x.size()), s.x.data(), s.y.data()));
    EXPECT_EQ(r.parcels.raw[i][8], want) << i;
    std::snprintf(want, sizeof want, "%10.0f", static_cast<double>(i + 1));
    EXPECT_EQ(r.parcels.raw[i][0], want) << i;
  }
}

}  // namespace
