// A real GIS reader (GDAL's ogrinfo) opens both layers, counts the same
// features and decodes the national letters through the .cpg files.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/test_support.h"

namespace {

using egib::test::run_converter;
using egib::test::swde_file;
using egib::test::TempDir;
using egib::test::write_file;

std::string capture(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) return out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

TEST(GdalReads, LayersOpenWithTheirFeaturesAndPolishLetters) {
  ASSERT_EQ(std::system("command -v ogrinfo >/dev/null"), 0) << "gdal-bin is not installed";
  TempDir dir;
  // "Łąka" and "Świętokrzyska" in ISO 8859-2.
  const std::string body =
      "RO,,G5DZE,d1\nD,G5IDD,,\xA3\xB1ka.0001.1\nGL\nK,+\nP,G,0,0\nP,G,10,0\nP,G,10,10\nX\n"
      "RO,,G5DZE,d2\nD,G5IDD,,x.0001.2\nGL\nK,+\nP,G,0,0\nP,G,10,0\nP,G,10,10\nX\n"
      "RO,,G5BUD,b1\nD,G5IDB,,\xA6wi\xEAtokrzyska\nGL\nK,+\nP,G,0,0\nP,G,5,0\nP,G,5,5\nX\n";
  write_file(dir.file("gis.swd"), swde_file(body));
  ASSERT_EQ(run_converter(dir, {"gis.swd", "0", "0", "0"}).status, 0);

  const std::string parcels = capture("ogrinfo -al -so " + dir.file("gis_DZE.shp") + " 2>&1");
  EXPECT_NE(parcels.find("Feature Count: 2"), std::string::npos) << parcels;
  EXPECT_NE(parcels.find("Polygon"), std::string::npos) << parcels;
  const std::string features = capture("ogrinfo -al -q " + dir.file("gis_DZE.shp") + " 2>&1");
  EXPECT_NE(features.find("IDD (String) = \xC5\x81\xC4\x85ka.0001.1"), std::string::npos)
      << features;
  const std::string buildings = capture("ogrinfo -al -q " + dir.file("gis_BUD.shp") + " 2>&1");
  EXPECT_NE(buildings.find("IDB (String) = \xC5\x9Awi\xC4\x99tokrzyska"), std::string::npos)
      << buildings;
  EXPECT_NE(buildings.find("FUNKCJA (Integer"), std::string::npos) << buildings;
}

}  // namespace
