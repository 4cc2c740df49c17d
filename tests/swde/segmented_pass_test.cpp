// Passes over the file in parts: whatever the parts and the number of
// threads, the collected points, the objects and every message (with its
// line number) are those of one pass over the whole file, also where an
// object or a section runs over a part's start.
#include "swde/segmented_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "swde/collect_pass.h"
#include "swde/write_pass.h"
#include "tests/support/test_support.h"

namespace egib {
namespace {

// Everything a pass gave out, as text.
struct Taken {
  std::string console, run_log, error_log, points, objects;
  int state = -1, result = -1, last_line = -1;
};

void expect_same(const Taken& got, const Taken& want) {
  EXPECT_EQ(got.console, want.console);
  EXPECT_EQ(got.run_log, want.run_log);
  EXPECT_EQ(got.error_log, want.error_log);
  EXPECT_EQ(got.points, want.points);
  EXPECT_EQ(got.objects, want.objects);
  EXPECT_EQ(got.state, want.state);
  EXPECT_EQ(got.result, want.result);
  EXPECT_EQ(got.last_line, want.last_line);
}

void note_end(Taken& t, const PassEnd& end) {
  t.state = static_cast<int>(end.end.state);
  t.result = end.end.result;
  t.last_line = end.last_line;
}

// Captures the console and the run log in memory, the error log in a
// temporary HOME.
class Capture {
 public:
  Capture() : home_(), old_home_(std::getenv("HOME") ? std::getenv("HOME") : "") {
    setenv("HOME", home_.path().c_str(), 1);
    console_ = open_memstream(&console_text_, &console_size_);
    run_log_ = open_memstream(&run_log_text_, &run_log_size_);
  }
  ~Capture() {
    finish();
    std::free(console_text_);
    std::free(run_log_text_);
    setenv("HOME", old_home_.c_str(), 1);
  }
  std::FILE* console() { return console_; }
  std::FILE* run_log() { return run_log_; }
  void into(Taken& t) {
    finish();
    t.console.assign(console_text_, console_size_);
    t.run_log.assign(run_log_text_, run_log_size_);
    t.error_log = test::file_exists(home_.file("ZOV_uriri.txt"))
                      ? test::read_file(home_.file("ZOV_uriri.txt"))
                      : "";
  }

 private:
  void finish() {
    if (console_ != nullptr) std::fclose(console_);
    if (run_log_ != nullptr) std::fclose(run_log_);
    console_ = run_log_ = nullptr;
  }
  test::TempDir home_;
  std::string old_home_;
  char* console_text_ = nullptr;
  char* run_log_text_ = nullptr;
  size_t console_size_ = 0, run_log_size_ = 0;
  std::FILE* console_ = nullptr;
  std::FILE* run_log_ = nullptr;
};

Taken collect(const std::string& file, size_t part_bytes, int threads) {
  Taken t;
  Capture capture;
  egib::ErrorLog error_log;
  const Header header = read_header(file, TextEncoding::kIso8859_2);
  const PassEnd end = run_in_parts<CollectedPart>(
      file, header.next, TextEncoding::kIso8859_2, threads, part_bytes,
      [](LineReader& in, Line& line, GrammarState state, CollectedPart& part) {
        CollectPass pass(part, true);
        return walk_sections(in, line, state, pass, part.messages);
      },
      [&](CollectedPart& part, int32_t line_base, size_t) {
        part.messages.replay(line_base, capture.console(), capture.run_log(), error_log);
        for (size_t i = 0; i < part.points.size(); ++i) {
          t.points += std::string(part.points.id(i)) + "/" + std::string(part.points.alt_id(i)) +
                      "/" + std::string(part.points.nrp(i)) + " " +
                      std::to_string(part.points.x(i)) + "\n";
        }
      });
  note_end(t, end);
  capture.into(t);
  return t;
}

Taken write(const std::string& file, size_t part_bytes, int threads) {
  // The points first, as one pass collects them.
  CollectedPart collected;
  {
    Capture quiet;
    const Header header = read_header(file, TextEncoding::kIso8859_2);
    run_in_parts<CollectedPart>(
        file, header.next, TextEncoding::kIso8859_2, 1, file.size() + 1,
        [](LineReader& in, Line& line, GrammarState state, CollectedPart& part) {
          CollectPass pass(part, false);
          return walk_sections(in, line, state, pass, part.messages);
        },
        [&](CollectedPart& part, int32_t, size_t) { collected.points = std::move(part.points); });
  }
  collected.points.build_indexes(1);
  const CoordinateTransform transform(2, 18, 1);  // with area warnings for points far out
  convert_points(collected.points, transform, threads);

  Taken t;
  Capture capture;
  egib::ErrorLog error_log;
  const Header header = read_header(file, TextEncoding::kIso8859_2);
  const PassEnd end = run_in_parts<WrittenPart>(
      file, header.next, TextEncoding::kIso8859_2, threads, part_bytes,
      [&](LineReader& in, Line& line, GrammarState state, WrittenPart& part) {
        ObjectAssembly a(collected.points, transform, ConversionCache::for_this_thread(transform),
                         false, true);
        WritePass pass(part, a);
        return walk_sections(in, line, state, pass, part.messages);
      },
      [&](WrittenPart& part, int32_t line_base, size_t) {
        part.messages.replay(line_base, capture.console(), capture.run_log(), error_log);
        for (const AssembledObject& o : part.objects.objects) {
          t.objects += std::to_string(static_cast<int>(o.kind)) + " " +
                       std::string(part.objects.ident(o)) + " " +
                       part.objects.tuples.substr(o.tuple_begin, o.tuple_length) + " " +
                       std::to_string(o.vertex_count) + " " + std::to_string(o.area) + " " +
                       std::to_string(part.objects.x[o.vertex_begin]) + "\n";
        }
      });
  note_end(t, end);
  capture.into(t);
  return t;
}

std::string point(int i, const std::string& end = "X") {
  const double n = 5806000 + i * 7.25, e = 4603000 + i * 3.5;
  return "RP,,G5PZG,p" + std::to_string(i) + ",k" + std::to_string(i) + "\nP,G," +
         std::to_string(n) + "," + std::to_string(e) + "\nD,G5NRP,," + std::to_string(i) + "\n" +
         end + "\n";
}

std::string parcel(int i, const std::string& end = "X") {
  return "RO,,G5DZE,d" + std::to_string(i) + "\nD,G5IDD,,146518_8.0001." + std::to_string(i) +
         "\nGL\nK,+\nP,P,,p" + std::to_string(i) + "\nP,K,k" + std::to_string(i + 1) + "\nP,P,,p" +
         std::to_string(i + 2) + "\nP,P,,missing" + std::to_string(i % 3) + "\n" + end + "\n";
}

// A file with everything that can run over a part's start: a point and a
// parcel without their end line, an object section holding an "SP"
// section's points, an "ST" section with object heads inside "TD" blocks, a
// point far outside the zone (warnings), unknown codes and long texts.
std::string awkward_file(bool with_end) {
  std::string body = "SWDE.w.3.00\nXYZ,top\nSN\nNS,x\nSX\n";
  body += "ST\nTD,G5DZE\nRO,,G5DZE,inside\nSX,not the end\nX\nSX\n";
  body += "SO\n";
  for (int i = 0; i < 40; ++i) body += point(i);
  body += "RP,,G5PZG,far,\nP,G,100,100\nX\n";
  body += point(40, "C");  // no end: runs on into the next object
  body += "RP,,G5PZG," + std::string(40, 'L') + ",alt\nP,Q,1\nP,G,5806000,4603000\nX\n";
  for (int i = 0; i < 30; ++i) body += parcel(i);
  body += parcel(30, "C");  // no end
  body += "RO,,G5BUD,b\nD,G5IDB,,b\nGL\nP,P,,far\nP,P,,p40\nP,P,,p2\nX\n";
  body += "RO,,G5OBR,o\nD,G5IDR,,o\nGL\nK,+\nP,P,,p3\nP,P,,p4\nP,P,,p5\nX\n";
  body += "SX\nSP\nRP,,G5PZG,hidden,\nP,G,1,1\nX\nSX\nSO\n";
  for (int i = 50; i < 60; ++i) body += point(i) + parcel(i - 50);
  body += "SX\nQQ,between\n";
  if (with_end) body += "SWDEX\nSO\n" + point(99) + "SX\n";
  return body;
}

TEST(SegmentedPass, PartsAndThreadsGiveTheResultOfOnePass) {
  for (const bool with_end : {true, false}) {
    const std::string file = awkward_file(with_end);
    const Taken whole_collect = collect(file, file.size() + 1, 1);
    const Taken whole_write = write(file, file.size() + 1, 1);
    ASSERT_FALSE(whole_collect.points.empty());
    ASSERT_FALSE(whole_write.objects.empty());
    ASSERT_FALSE(whole_collect.error_log.empty());
    ASSERT_FALSE(whole_write.run_log.empty());
    ASSERT_NE(whole_write.console.find("Punkt x,y"), std::string::npos);
    EXPECT_EQ(whole_collect.result, with_end ? 1 : 0);
    // Every part size from a line or two to a few objects, one and three
    // threads.
    for (size_t part = 1; part < 700; part += part < 40 ? 3 : 37) {
      for (const int threads : {1, 3}) {
        SCOPED_TRACE("part " + std::to_string(part) + ", threads " + std::to_string(threads));
        expect_same(collect(file, part, threads), whole_collect);
        expect_same(write(file, part, threads), whole_write);
      }
    }
  }
}

TEST(SegmentedPass, PartsStartAtObjectHeads) {
  const std::string file = "SWDE.w.3.00\nSO\nRP,,a\nX\nRO,,b\nX\nRX,,c\nX\nRO,,d\nX\n";
  const std::vector<size_t> starts = part_starts(file, 12, 1);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts[0], 12u);
  EXPECT_EQ(file.substr(starts[1], 3), "RP,");
  EXPECT_EQ(file.substr(starts[2], 3), "RO,");
  EXPECT_EQ(file.substr(starts[3], 6), "RO,,d\n");
  EXPECT_EQ(part_starts(file, 12, 1000).size(), 1u);
}

}  // namespace
}  // namespace egib
