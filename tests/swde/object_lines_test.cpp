// The lines of an object, read once for every reader: which kind each line
// is taken as, the line after a geometry list, and the end of input.
#include "swde/object_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace egib {
namespace {

// Notes each line handed on: "D:<name>", "W:<name>", "GL" (the list's
// lines up to the first line that is not "K" or "P"), "PG".
class Recorder final : public ObjectLines {
 public:
  std::string seen;
  void attribute(LineReader&, Line& line) override { note("D:" + std::string(line.field(1))); }
  void relation(LineReader&, Line& line) override { note("W:" + std::string(line.field(1))); }
  bool geometry_list(LineReader& in, Line& line) override {
    note("GL");
    for (;;) {
      if (!in.next(line)) return false;
      if (!line.code_is("K") && !line.code_is("P")) return true;
    }
  }
  void own_point(Line&) override { note("PG"); }

 private:
  void note(const std::string& s) { seen += (seen.empty() ? "" : " ") + s; }
};

struct Walk {
  bool complete;
  std::string seen;
  std::string at;  // the code of the line the walk stopped at
};

Walk walk(const std::string& text) {
  LineReader in(std::span<const char>(text.data(), text.size()), 0, text.size(),
                TextEncoding::kWindows1250);
  Line line;
  in.next(line);  // the head line
  Recorder r;
  const bool complete = read_object_lines(in, line, r);
  return {complete, r.seen, std::string(line.code())};
}

TEST(ObjectLines, EachLineIsTakenAsItsKindAndTheLineAfterAListIsTheNext) {
  const Walk w = walk(
      "RO,,G5DZE,D1\n"
      "D,G5IDD,,1\n"
      "C,a comment\n"
      "\n"
      "WG,G5RPOD,,JR1\n"
      "Q,an unknown line\n"
      "GL\nK,+\nP,G,1,2\nP,P,,A\n"
      "GL\nP,G,3,4\n"    // a list right after a list
      "D,G5POW,,0.09\n"  // after the list: the object's next line
      "WL,G5RKRG,R1\n"
      "P,G,5,6\n"  // outside a list: the object's own point
      "P,X,7\n"
      "X\n"
      "D,G5NEXT,,2\n");
  EXPECT_TRUE(w.complete);
  EXPECT_EQ(w.seen, "D:G5IDD W:G5RPOD GL GL D:G5POW W:G5RKRG PG");
  EXPECT_EQ(w.at, "X");
}

TEST(ObjectLines, AListEndingTheObjectAndTheEndOfInput) {
  // The line that ends a list may end the object.
  Walk w = walk("RP,,G5BUD,B1\nGL\nK,+\nP,G,1,2\nXC\n");
  EXPECT_TRUE(w.complete);
  EXPECT_EQ(w.seen, "GL");
  EXPECT_EQ(w.at, "XC");
  // Input ending inside a list, or before the object's end: not complete.
  w = walk("RO,,G5DZE,D1\nD,G5IDD,,1\nGL\nK,+\nP,G,1,2\n");
  EXPECT_FALSE(w.complete);
  EXPECT_EQ(w.seen, "D:G5IDD GL");
  w = walk("RO,,G5DZE,D1\nD,G5IDD,,1\n");
  EXPECT_FALSE(w.complete);
  EXPECT_EQ(w.seen, "D:G5IDD");
}

}  // namespace
}  // namespace egib
