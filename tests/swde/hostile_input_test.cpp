// Broken and hostile input: the converter ends normally, writes as many
// shapes as records in both layers and keeps every complete object that
// came before the fault.
#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

using Converted = Conversion;

Converted convert(const TempDir& dir, const std::string& content,
                  const std::vector<std::string>& codes = {"0", "0", "0"}) {
  return convert_swde(dir, content, codes);
}

// The layers are consistent: one record per shape in both.
void expect_consistent(const Converted& c) {
  EXPECT_EQ(c.result.status, 0) << c.result.err;
  EXPECT_EQ(c.parcels.shape_count, c.parcels.record_count);
  EXPECT_EQ(c.buildings.shape_count, c.buildings.record_count);
  EXPECT_GE(c.parcels.shape_count, 0);
  EXPECT_GE(c.buildings.shape_count, 0);
}

// A parcel on inline vertices, a 10 m square at (e, n).
std::string parcel(const std::string& id, int e, int n) {
  const std::string E = std::to_string(e), E2 = std::to_string(e + 10);
  const std::string N = std::to_string(n), N2 = std::to_string(n + 10);
  return "RO,,G5DZE,x" + id + "\nD,G5IDD,,146518_8.0001." + id + "\nGL\nK,+\nP,G," + N + "," + E +
         "\nP,G," + N2 + "," + E + "\nP,G," + N2 + "," + E2 + "\nP,G," + N + "," + E2 + "\nX\n";
}

std::string building(const std::string& id, int e, int n) {
  std::string p = parcel(id, e, n);
  p.replace(p.find("G5DZE"), 5, "G5BUD");
  p.replace(p.find("G5IDD"), 5, "G5IDB");
  return p;
}

// The bytes of a literal, NUL bytes included, without the terminating one.
template <size_t N>
std::string bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

TEST(HostileInput, OverlongLinesFieldsAndNulBytes) {
  const std::string before = parcel("1", 0, 0) + building("1", 0, 0);
  const std::string after = parcel("3", 100, 100);
  const std::vector<std::string> faults = {
      "D,G5NAZ,," + std::string(10000, 'a') + "\n",  // 10,000 characters
      "RO,,G5DZE,x2\nD,G5IDD,," + std::string(150, '7') + "\nGL\nK,+\nP,G,1,1\nX\n",
      "D,a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t\n",  // 20 fields
      bytes("D,G5\0IDD,,12\0\0\n"),                   // NUL bytes
      bytes("RO,,G5D\0ZE,x\0\nGL\nK,+\nP,G,5,5\nX\n"),
      "P,G," + std::string(10000, '9') + "," + std::string(10000, '1') + "\n",
      std::string(150, ',') + "\n",
  };
  for (size_t i = 0; i < faults.size(); ++i) {
    SCOPED_TRACE(i);
    TempDir dir;
    const Converted c = convert(dir, swde_file(before + faults[i] + after));
    expect_consistent(c);
    EXPECT_GE(c.parcels.shape_count, 2);  // the objects around the fault
    EXPECT_GE(c.buildings.shape_count, 1);
  }
}

TEST(HostileInput, ManyRingsAndNonFiniteNumbers) {
  std::string rings = "RO,,G5DZE,r\nD,G5IDD,,146518_8.0001.9\nGL\n";
  for (int r = 0; r < 2000; ++r) {
    const std::string n = std::to_string(r * 20);
    rings += "K,+\nP,G," + n + ",0\nP,G," + n + ",10\nP,G,1" + n + ",10\n";
  }
  rings += "X\n";
  const std::string odd =
      "RO,,G5BUD,o\nD,G5IDB,,1\nGL\nK,+\nP,G,1e999,-1e999\nP,G,nan,inf\nP,G,-inf,NAN\n"
      "P,G,1e-999,0x1p3\nP,G,,\nP,G,5\nX\n";
  for (const std::vector<std::string>& codes :
       {std::vector<std::string>{"0", "0", "0"}, {"2", "18", "1"}, {"10", "2", "2"}}) {
    TempDir dir;
    const Converted c = convert(dir, swde_file(rings + odd + parcel("z", 0, 0)), codes);
    expect_consistent(c);
    ASSERT_EQ(c.parcels.shape_count, 2);
    EXPECT_EQ(c.parcels.shapes[0].part_start.size(), 2000u);
    EXPECT_EQ(c.buildings.shape_count, 1);
  }
}

// A finite but enormous coordinate passes the route and ends in the
// console's area warning, printed with every integer digit (300 of them for
// 1e299): the whole line, nothing cut and nothing read past it.
TEST(HostileInput, EnormousCoordinatesInAreaWarningsArePrintedWhole) {
  TempDir dir;
  const Converted c =
      convert(dir,
              swde_file("RO,,G5DZE,h\nD,G5IDD,,146518_8.0001.7\nGL\nK,+\nP,G,1e299,5\n"
                        "P,G,-1e299,5\nP,G,5,7\nX\n"),
              {"18", "2", "2"});
  expect_consistent(c);
  char digits[400];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, 1e299, std::chars_format::fixed, 6);
  ASSERT_EQ(end.ec, std::errc());
  const std::string huge(digits, end.ptr);
  EXPECT_NE(c.result.out.find("Punkt x,y (" + huge + ", "), std::string::npos);
  EXPECT_NE(c.result.out.find("Punkt x,y (-" + huge + ", "), std::string::npos);
  const std::regex warning(
      "Punkt x,y \\((-?[0-9]+\\.[0-9]{6}|-?nan|-?inf), (-?[0-9]+\\.[0-9]{6}|-?nan|-?inf)\\) "
      "mo\xBF"
      "e by\xE6 poza 2 stref\xB9 ukladu 1965");
  std::istringstream lines(c.result.out);
  int warnings = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Punkt", 0) != 0) continue;
    ++warnings;
    EXPECT_TRUE(std::regex_match(line, warning)) << line.size() << ": " << line.substr(0, 80);
  }
  EXPECT_GE(warnings, 2);
}

TEST(HostileInput, GarbageEmptyAndWrongCodePage) {
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage.push_back(static_cast<char>(rng()));
  // Windows-1250 letters (s-acute 0x9C, z-acute 0x9F) where ISO 8859-2 was
  // expected: converted as they come, no harm.
  const std::string cp1250 = parcel("1", 0, 0) + "RO,,G5OBR,o\nD,G5NAZ,,\x9C\x9F\xB9\nX\n";
  const std::vector<std::string> inputs = {
      garbage,
      "SWDE.w.3.00\n" + garbage,
      swde_file(parcel("1", 0, 0) + garbage),
      "",
      "SWDE.w.3.00\n",
      "SWDE.w.3.00",
      swde_file(cp1250),
      std::string(1000, '\n'),
      std::string(5000, '\0'),
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(i);
    TempDir dir;
    expect_consistent(convert(dir, inputs[i]));
  }
}

// A small file of points and objects, each object's end offset noted.
struct Sample {
  std::string text;
  std::vector<size_t> parcel_ends, building_ends;
};

Sample small_sample() {
  Sample s;
  s.text = "SWDE.w.3.00\nSO\n";
  for (int i = 0; i < 4; ++i) {
    const std::string id = std::to_string(i);
    s.text += "RP,,G5PZG,p" + id + ",k" + id + "\nP,G," + std::to_string(i * 10) + ",0\nX\n";
  }
  for (int i = 0; i < 3; ++i) {
    s.text += "RO,,G5DZE,d" + std::to_string(i) + "\nD,G5IDD,,146518_8.0001." + std::to_string(i) +
              "\nGL\nK,+\nP,P,,p0\nP,K,k1\nP,P,,p2\nP,G,5,5\nX\n";
    s.parcel_ends.push_back(s.text.size());
    s.text += building(std::to_string(i), i * 20, 0);
    s.building_ends.push_back(s.text.size());
  }
  s.text += "SX\nSWDEX\n";
  return s;
}

TEST(HostileInput, TruncatedAtEveryOffset) {
  const Sample s = small_sample();
  TempDir dir;
  for (size_t cut = 0; cut <= s.text.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Converted c = convert(dir, s.text.substr(0, cut));
    expect_consistent(c);
    int whole_parcels = 0, whole_buildings = 0;
    for (const size_t end : s.parcel_ends) whole_parcels += end <= cut;
    for (const size_t end : s.building_ends) whole_buildings += end <= cut;
    // Every complete object is there; the one cut short may be too.
    EXPECT_GE(c.parcels.shape_count, whole_parcels);
    EXPECT_LE(c.parcels.shape_count, whole_parcels + 1);
    EXPECT_GE(c.buildings.shape_count, whole_buildings);
    EXPECT_LE(c.buildings.shape_count, whole_buildings + 1);
    if (::testing::Test::HasFailure()) break;  // one offset says enough
  }
}

}  // namespace
