// The census of the whole register taken by the collecting pass: on
// random files, well formed and not, in parts of any size and with one or
// two threads, the collecting pass gives out exactly what it gives without
// the census (points, their heads, the sample of inline vertices, every
// message), and its census, whenever it says it is whole, is the census
// pass's own.  A file that the two readings take differently (a point
// without its "X", a list in a point, a long line) must say it is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "swde/collect_pass.h"
#include "swde/register_object.h"
#include "swde/segmented_pass.h"

namespace egib {
namespace {

// What a malformed file has, one kind each: a point with a geometry list,
// a point with a line longer than the reader's 499 characters, a point, a
// precinct or a parcel without its "X".
enum class Fault {
  kNone,
  kListInPoint,
  kLongLineInPoint,
  kPointUnended,
  kPrecinctUnended,
  kParcelUnended
};

// One random object section: points, precincts, parcels, objects of other
// types, lines between objects, and the fault asked for here and there.
std::string random_file(std::mt19937& rng, Fault fault) {
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const auto number = [&] { return std::to_string(pick(1000)) + "." + std::to_string(pick(100)); };
  std::string f = "SWDE.w.3.00\nSN\nSX\nSO\n";
  const int objects = 40 + pick(80);
  for (int i = 0; i < objects; ++i) {
    const std::string id = std::to_string(i);
    const int kind = pick(10);
    if (kind < 5) {  // a point
      f += "RP,,G5PZG,P" + id + ",K" + id + "\n";
      if (pick(4) != 0) f += "P,G," + number() + "," + number() + "\n";
      f += "D,G5NRP,," + std::to_string(pick(50)) + "\n";
      if (pick(2) == 0) f += "D,G5STB,,1\nD,G5STB,,2\n";
      if (pick(3) == 0) f += "WG,G5RKRG,,R" + id + "\n";
      if (pick(4) == 0) f += "WL,G5RKRG,Q" + id + "\n";
      if (pick(5) == 0) f += "D,G5OZR,,'a' b\xB1\n";  // cleaned: blanked, converted
      if (pick(6) == 0) f += "D,G5UWG,,jeden, dwa\n";
      if (pick(6) == 0) f += "Q,nieznane\n";
      if (fault == Fault::kListInPoint && pick(5) == 0) f += "GL\nK,+\nP,G,1,2\nP,P,,X1\n";
      if (fault == Fault::kLongLineInPoint && pick(6) == 0) {
        f += "D,G5OPIS,," + std::string(600, 'z') + "\n";
      }
      if (fault != Fault::kPointUnended || pick(6) != 0) f += "X\n";
    } else if (kind == 5) {  // a precinct
      f += "RO,,G5OBR,O" + id + "\nD,G5IDR,,1\nGL\nK,+\nP,G,1,1\nP,G,2,2\nP,G,1,1\n";
      if (fault != Fault::kPrecinctUnended || pick(3) != 0) f += "X\n";
    } else if (kind < 9) {  // a parcel or a building
      f += std::string(pick(2) == 0 ? "RO,,G5DZE,D" : "RO,,G5BUD,B") + id + "\nD,G5IDD,," +
           number() + "\nWG,G5RPOD,,J" + id + "\nGL\nK,+\n";
      for (int v = 0; v < 3 + pick(4); ++v) {
        f += pick(2) == 0 ? "P,P,,P" + std::to_string(pick(objects)) + "\n"
                          : "P,G," + number() + "," + number() + "\n";
      }
      if (pick(3) == 0) f += "P,G,5,5\n";  // after the list: the object's own place
      if (fault != Fault::kParcelUnended || pick(4) != 0) f += "X\n";
    } else {  // other types, heads of other codes, lines between objects
      const char* heads[] = {"RD,,G5JRG,J", "RC,,G5OSF,S", "RP,,G5G_PZG,G", "RO,,G5KLU,L"};
      f += std::string(heads[pick(4)]) + id + "\nD,G5RJR,,2\nD,G5DTW,,20240131\n";
      if (pick(2) == 0) f += "P,G,7,8\n";
      f += "X\n";
      if (pick(3) == 0) f += "P,G,3,4\n";
      if (pick(4) == 0) f += "C komentarz\n";
    }
  }
  f += "SX\nSWDEX\n";
  return f;
}

struct Collected {
  std::string points, heads, pairs, messages;
  RegisterCensus census;
  bool census_whole = true;
};

Collected collect(const std::string& file, size_t part_bytes, int threads, bool count) {
  Collected c;
  const Header header = read_header(file, TextEncoding::kIso8859_2);
  run_in_parts<CollectedPart>(
      file, header.next, TextEncoding::kIso8859_2, threads, part_bytes,
      [&](LineReader& in, Line& line, GrammarState state, CollectedPart& part) {
        CollectPass pass(part, true, true, count);
        return walk_sections(in, line, state, pass, part.messages);
      },
      [&](CollectedPart& part, int32_t line_base, size_t) {
        // The messages with their line numbers, as the run replays them.
        char* text = nullptr;
        size_t size = 0;
        std::FILE* console = open_memstream(&text, &size);
        ErrorLog error_log;
        part.messages.replay(line_base, console, console, error_log);
        std::fclose(console);
        c.messages.append(text, size);
        std::free(text);
        for (size_t i = 0; i < part.points.size(); ++i) {
          c.points += std::string(part.points.id(i)) + "/" + std::string(part.points.alt_id(i)) +
                      "/" + std::string(part.points.nrp(i)) + "/" +
                      std::string(part.points.rkrg(i)) + " " + std::to_string(part.points.x(i)) +
                      "\n";
        }
        for (const uint64_t h : part.point_heads) c.heads += std::to_string(h) + " ";
        for (const WrittenPair& p : part.inline_pairs) {
          c.pairs += std::to_string(p.first) + "," + std::to_string(p.second) + " ";
        }
        c.census.merge(part.census);
        c.census_whole = c.census_whole && part.census_whole;
      });
  return c;
}

RegisterCensus census_pass(const std::string& file) {
  RegisterCensus census;
  const Header header = read_header(file, TextEncoding::kIso8859_2);
  run_in_parts<CensusPart>(
      file, header.next, TextEncoding::kIso8859_2, 1, file.size() + 1,
      [](LineReader& in, Line& line, GrammarState state, CensusPart& part) {
        CensusPass pass(part);
        return walk_sections(in, line, state, pass, part.messages);
      },
      [&](CensusPart& part, int32_t, size_t) { census.merge(part.census); });
  return census;
}

void expect_same_census(const RegisterCensus& got, const RegisterCensus& want) {
  ASSERT_EQ(got.types.size(), want.types.size());
  for (size_t i = 0; i < want.types.size(); ++i) {
    const TypeCensus& g = got.types[i];
    const TypeCensus& w = want.types[i];
    SCOPED_TRACE(w.name);
    EXPECT_EQ(g.name, w.name);
    EXPECT_EQ(g.types, w.types);
    EXPECT_EQ(g.objects, w.objects);
    EXPECT_EQ(g.lists, w.lists);
    EXPECT_EQ(g.lists_with_ring_start, w.lists_with_ring_start);
    EXPECT_EQ(g.own_points, w.own_points);
    EXPECT_TRUE(g.ident == w.ident);
    EXPECT_TRUE(g.second_key == w.second_key);
    EXPECT_EQ(g.attribute_names, w.attribute_names);
    EXPECT_TRUE(g.attributes == w.attributes);
    EXPECT_EQ(g.relation_names, w.relation_names);
    EXPECT_TRUE(g.relations == w.relations);
  }
  std::vector<uint64_t> g = got.identifiers, w = want.identifiers;
  std::sort(g.begin(), g.end());
  std::sort(w.begin(), w.end());
  EXPECT_EQ(g, w);
}

TEST(CollectCensus, TheCollectingPassCountsAsTheCensusDoes) {
  std::mt19937 rng(20261209);
  int whole = 0, not_whole = 0;
  for (int round = 0; round < 180; ++round) {
    const auto fault = static_cast<Fault>(round % 6);
    const std::string file = random_file(rng, fault);
    SCOPED_TRACE("round " + std::to_string(round));
    const Collected plain = collect(file, file.size() + 1, 1, false);
    const RegisterCensus want = census_pass(file);
    for (const size_t part_bytes : {size_t{61}, size_t{997}, file.size() + 1}) {
      for (const int threads : {1, 2}) {
        const Collected counted = collect(file, part_bytes, threads, true);
        EXPECT_EQ(counted.points, plain.points);
        EXPECT_EQ(counted.heads, plain.heads);
        EXPECT_EQ(counted.pairs, plain.pairs);
        EXPECT_EQ(counted.messages, plain.messages);
        if (counted.census_whole) {
          ++whole;
          expect_same_census(counted.census, want);
        } else {
          // Only where the two readings end an object in different places.
          ++not_whole;
          EXPECT_TRUE(fault == Fault::kPointUnended || fault == Fault::kPrecinctUnended);
        }
      }
    }
  }
  // Both ways were taken.
  EXPECT_GT(whole, 600);
  EXPECT_GT(not_whole, 60);
}

}  // namespace
}  // namespace egib
