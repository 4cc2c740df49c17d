// The layers written for a few generated files and routes, against the
// records kept in tests/golden: attributes byte for byte, coordinates to a
// micrometre, areas to 0.01.  Speed work on reading, indexing, writing and
// the projection kernels must not change what comes out.
//
// EGIB_UPDATE_GOLDEN=1 rewrites the records (only when a change of the
// output is intended).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using namespace egib::test;

struct Golden {
  const char* name;
  const char* generator_args;
  std::vector<std::string> codes;
};

const Golden kGolden[] = {
    {"plain", "--parcels 60 --seed 3", {"0", "0", "0"}},
    {"zone2_to_2000", "--parcels 60 --seed 4", {"2", "18", "1"}},
    {"zone2_to_zone4", "--parcels 40 --seed 5", {"2", "4", "2"}},
    {"grid1992_to_2000", "--parcels 40 --seed 6 --north 460000 --east 600000", {"10", "21", "0"}},
    {"zone5_to_1992", "--parcels 40 --seed 7 --north 900000 --east 237000", {"5", "10", "1"}},
};

// A layer as text: per record its raw attributes (POW apart) and its
// vertices, so that a difference shows where it is.
std::string dump(const LayerContent& layer) {
  std::ostringstream out;
  out.precision(17);
  for (size_t r = 0; r < layer.raw.size(); ++r) {
    out << "record " << r;
    for (size_t f = 0; f < layer.raw[r].size(); ++f) {
      if (layer.field_names[f] == "POW") {
        out << " |POW=" << std::strtod(layer.raw[r][f].c_str(), nullptr);
      } else {
        out << " |" << layer.raw[r][f];
      }
    }
    out << "\n";
    if (r < layer.shapes.size()) {
      const auto& s = layer.shapes[r];
      out << "parts";
      for (const int p : s.part_start) out << " " << p;
      out << "\n";
      for (size_t v = 0; v < s.x.size(); ++v) out << s.x[v] << " " << s.y[v] << "\n";
    }
  }
  return out.str();
}

// Compares two dumps: text tokens exactly, numbers of vertex lines to 1 µm,
// POW to 0.01.
void expect_same(const std::string& want, const std::string& got, const std::string& what) {
  std::istringstream w(want), g(got);
  std::string wl, gl;
  int line = 0;
  while (true) {
    const bool more_w = static_cast<bool>(std::getline(w, wl));
    const bool more_g = static_cast<bool>(std::getline(g, gl));
    ++line;
    ASSERT_EQ(more_w, more_g) << what << ": lengths differ at line " << line;
    if (!more_w) return;
    if (wl == gl) continue;
    if (wl.rfind("record ", 0) == 0) {
      // Only POW may differ, and by at most 0.01.
      const size_t wp = wl.find("|POW="), gp = gl.find("|POW=");
      ASSERT_TRUE(wp != std::string::npos && gp != std::string::npos)
          << what << " line " << line << "\n  want " << wl << "\n  got  " << gl;
      const size_t we = wl.find(" |", wp), ge = gl.find(" |", gp);
      ASSERT_EQ(wl.substr(0, wp), gl.substr(0, gp)) << what << " line " << line;
      ASSERT_EQ(we == std::string::npos ? "" : wl.substr(we),
                ge == std::string::npos ? "" : gl.substr(ge))
          << what << " line " << line;
      const double a = std::strtod(wl.c_str() + wp + 5, nullptr);
      const double b = std::strtod(gl.c_str() + gp + 5, nullptr);
      ASSERT_LE(std::fabs(a - b), 0.01) << what << " line " << line;
      continue;
    }
    double wx = 0, wy = 0, gx = 0, gy = 0;
    ASSERT_EQ(std::sscanf(wl.c_str(), "%lf %lf", &wx, &wy), 2)
        << what << " line " << line << "\n  want " << wl << "\n  got  " << gl;
    ASSERT_EQ(std::sscanf(gl.c_str(), "%lf %lf", &gx, &gy), 2) << what << " line " << line;
    ASSERT_LE(std::fabs(wx - gx), 1e-6) << what << " line " << line;
    ASSERT_LE(std::fabs(wy - gy), 1e-6) << what << " line " << line;
  }
}

TEST(GoldenLayers, GeneratedFilesConvertAsRecorded) {
  const bool update = std::getenv("EGIB_UPDATE_GOLDEN") != nullptr;
  for (const Golden& g : kGolden) {
    SCOPED_TRACE(g.name);
    TempDir dir;
    const std::string cmd = std::string(GEN_SWDE_BINARY) + " " + g.generator_args + " '" +
                            dir.file("in.swd") + "' >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<std::string> args = {"in.swd"};
    args.insert(args.end(), g.codes.begin(), g.codes.end());
    const auto r = run_converter(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* layer : {"DZE", "BUD"}) {
      const std::string got = dump(read_layer(dir.file(std::string("in_") + layer)));
      const std::string path =
          std::string(EGIB_SOURCE_DIR) + "/tests/golden/" + g.name + "_" + layer + ".txt";
      if (update) {
        write_file(path, got);
        continue;
      }
      ASSERT_TRUE(egib::test::file_exists(path)) << path;
      expect_same(read_file(path), got, std::string(g.name) + "_" + layer);
    }
    // What the program prints is part of what must not change.
    const std::string out_path =
        std::string(EGIB_SOURCE_DIR) + "/tests/golden/" + g.name + "_stdout.txt";
    if (update) {
      write_file(out_path, r.out);
    } else {
      EXPECT_EQ(read_file(out_path), r.out);
    }
  }
}

}  // namespace

namespace {

// Every file a run writes, byte for byte, with what it prints.
std::string everything_written(const TempDir& dir, const RunResult& r) {
  std::string all = "status " + std::to_string(r.status) + "\n" + r.out;
  for (const char* f :
       {"err.log", "ZOV_uriri.txt", "in_DZE.shp", "in_DZE.shx", "in_DZE.dbf", "in_BUD.shp",
        "in_BUD.shx", "in_BUD.dbf", "in_PKT.shp", "in_PKT.dbf", "in_OBR.shp", "in_OBR.dbf"}) {
    all += std::string("\n== ") + f + "\n";
    if (egib::test::file_exists(dir.file(f))) all += read_file(dir.file(f));
  }
  return all;
}

// A file large enough to be read in several parts (about 12 MB), with
// unknown codes and bad lines to give every channel something, converted
// with one, two and three threads: the same bytes.
TEST(GoldenLayers, ThreadsChangeNothing) {
  TempDir source;
  const std::string cmd = std::string(GEN_SWDE_BINARY) + " --parcels 13000 --seed 17 '" +
                          source.file("g.swd") + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string content = read_file(source.file("g.swd"));
  // Oddities spread through the file: unknown vertex lines, references to
  // nothing, lists without a ring start, a point far outside the zone.
  size_t at = 0;
  for (int k = 0; (at = content.find("\nGL\nK,+\n", at + 1000000)) != std::string::npos; ++k) {
    content.insert(at + 1, k % 2 == 0 ? "GL\nP,Q,1\nP,P,,nothing\n" : "GL\nP,G,100,100\n");
  }
  // Boundary points far outside the zone, whose warnings the point layer's
  // writing says, in their order, whichever thread writes the shapes.
  at = 0;
  for (int k = 0; (at = content.find("\nRP,", at + 2000000)) != std::string::npos; ++k) {
    const std::string far = std::to_string(100 + k);
    content.insert(at + 1, "RP,,G5PZG,far" + far + ",far" + far + "\nP,G," + far + "," + far +
                               "\nD,G5NRP,,far\nX\n");
  }
  for (const std::vector<std::string>& codes :
       {std::vector<std::string>{"2", "18", "1"}, {"0", "0", "0"}}) {
    std::string first;
    for (const char* threads : {"--threads=1", "--threads=2", "--threads=3"}) {
      SCOPED_TRACE(std::string(threads) + " " + codes[0]);
      TempDir dir;
      write_file(dir.file("in.swd"), content);
      std::vector<std::string> args = {threads, "--points", "--precincts", "in.swd"};
      args.insert(args.end(), codes.begin(), codes.end());
      const RunResult r = run_converter(dir, args, "SOURCE_DATE_EPOCH=1796774400");
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string all = everything_written(dir, r);
      if (first.empty()) {
        first = all;
        ASSERT_NE(all.find("nieznay punkt"), std::string::npos);
        ASSERT_NE(all.find("#;;;brak K"), std::string::npos);
        if (codes[0] == "2") {
          ASSERT_NE(all.find("Punkt x,y"), std::string::npos);
        }
      } else {
        // What the run said, to tell a failure of the program from one of
        // the platform it ran on (Wine, under load).
        ASSERT_EQ(all.size(), first.size()) << "stderr:\n" << r.err;
        EXPECT_TRUE(all == first) << "stderr:\n" << r.err;
      }
    }
  }
}

}  // namespace
