#include "swde/line_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "swde/file_grammar.h"

namespace {

using egib::SwdeInput;
using egib::SwdeLine;

// An input holding the given bytes.
struct MemoryInput {
  explicit MemoryInput(const std::string& text) : input(make(text)) {}
  static SwdeInput make(const std::string& text) {
    return SwdeInput(egib::InputFile::from_bytes(text));
  }
  SwdeInput input;
};

std::vector<std::string> fields(const SwdeLine& l) {
  std::vector<std::string> f;
  for (const auto& x : l.field) f.emplace_back(x);
  return f;
}

SwdeLine read_one(const std::string& text) {
  MemoryInput m(text);
  SwdeLine line{};
  EXPECT_EQ(egib::read_swde_line(m.input, line), 1);
  return line;
}

TEST(LineReader, SplitsFieldsKeepingEmptyOnes) {
  const SwdeLine l = read_one("D,G5NRP,,12\n");
  EXPECT_STREQ(l.text, "D,G5NRP,,12");
  const std::vector<std::string> want = {"D", "G5NRP", "", "12", "", "", "", "", "", "", ""};
  EXPECT_EQ(fields(l), want);

  EXPECT_EQ(fields(read_one("X,\n"))[0], "X");
  EXPECT_EQ(fields(read_one("X,\n"))[1], "");
}

TEST(LineReader, CutsAtSemicolonAndLineEndsAndBlanksApostrophes) {
  SwdeLine l = read_one("P,G,1,2;note,more\n");
  EXPECT_STREQ(l.text, "P,G,1,2");
  EXPECT_STREQ(l.field[3], "2");
  EXPECT_STREQ(l.field[4], "");

  l = read_one("D,G5IDD,,a'b'c\r\n");
  EXPECT_STREQ(l.field[3], "a b c");
  l = read_one("RO,x\rtail\n");
  EXPECT_STREQ(l.text, "RO,x");
  // An apostrophe at the end becomes a blank and is trimmed away.
  l = read_one("D,G5IDD,,abc'\n");
  EXPECT_STREQ(l.field[3], "abc");
}

TEST(LineReader, BlanksBeforeACommaStayAfterItGo) {
  SwdeLine l = read_one("D ,G5NRP\n");
  EXPECT_STREQ(l.field[0], "D ");
  EXPECT_FALSE(l.code_is("D"));
  l = read_one("  D, \t G5NRP  ,  x \n");
  EXPECT_STREQ(l.field[0], "D");
  EXPECT_STREQ(l.field[1], "G5NRP  ");
  EXPECT_STREQ(l.field[2], "x");
  l = read_one(" \t \n");
  EXPECT_STREQ(l.text, "");
  EXPECT_STREQ(l.field[0], "");
}

TEST(LineReader, LongFieldsAndManyFields) {
  const std::string f99(99, 'a');
  const std::string f150(150, 'b');
  SwdeLine l = read_one("D," + f150 + ",next\n");
  EXPECT_EQ(std::string(l.field[1]), std::string(99, 'b'));
  EXPECT_STREQ(l.field[2], "");  // the cut ends the split
  l = read_one("D," + f99 + ",next\n");
  EXPECT_EQ(std::string(l.field[1]), f99);
  EXPECT_STREQ(l.field[2], "");
  l = read_one("D," + std::string(98, 'c') + ",next\n");
  EXPECT_STREQ(l.field[2], "next");

  std::string many = "F0";
  for (int i = 1; i < 20; ++i) many += "," + std::to_string(i);
  l = read_one(many + "\n");
  EXPECT_STREQ(l.field[10], "10");
  EXPECT_EQ(std::string(l.text), many);
}

TEST(LineReader, ConvertsIso88592ToWindows1250) {
  const SwdeLine l = read_one("D,G5NAZ,,\xB1\xA6\xBC\xA1\x41\xE6\x8A\n");
  EXPECT_STREQ(l.field[3], "\xB9\x8C\x9F\xA5\x41\xE6\xA9");
  // The tables are inverse permutations: no byte is lost or merged.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::string round = all;
  egib::latin2_to_cp1250(round.data());
  std::vector<bool> seen(256, false);
  for (unsigned char c : round) {
    EXPECT_FALSE(seen[c]);
    seen[c] = true;
  }
  egib::cp1250_to_latin2(round.data());
  EXPECT_EQ(round, all);
  egib::latin2_to_cp1250(nullptr);
}

TEST(LineReader, PhysicalLinesLongerThanTheBufferAreSplitAndCounted) {
  const std::string six_hundred(600, 'z');
  MemoryInput m(six_hundred + "\n" + std::string(499, 'y') + "\nlast\n");
  SwdeLine l{};
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_EQ(std::string(l.text).size(), 499u);
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_EQ(std::string(l.text), std::string(101, 'z'));
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_EQ(std::string(l.text).size(), 499u);
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);  // the 499-character line's own end
  EXPECT_STREQ(l.text, "");
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_STREQ(l.text, "last");
  EXPECT_EQ(m.input.line_number(), 5);
  EXPECT_EQ(egib::read_swde_line(m.input, l), 0);
  EXPECT_STREQ(l.field[0], "");
  EXPECT_EQ(m.input.line_number(), 5);
}

TEST(LineReader, LastLineWithoutLineEndAndNulBytes) {
  MemoryInput m(std::string("A,1\nB,2\0hidden,3\nC", 18));
  SwdeLine l{};
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_STREQ(l.field[0], "A");
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_STREQ(l.text, "B,2");  // a NUL ends the line's text
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_STREQ(l.text, "C");
  EXPECT_EQ(egib::read_swde_line(m.input, l), 0);
  m.input.rewind();
  ASSERT_EQ(egib::read_swde_line(m.input, l), 1);
  EXPECT_STREQ(l.field[0], "A");
}

TEST(Trim, CountsWhatItRemoves) {
  char s[] = " \t abc \r\n";
  EXPECT_EQ(egib::trim_both(s), 6);
  EXPECT_STREQ(s, "abc");
  char blank[] = "   ";
  EXPECT_EQ(egib::trim_left(blank), 3);
  EXPECT_STREQ(blank, "");
  EXPECT_EQ(egib::is_blank(7), 1);
  EXPECT_EQ(egib::is_blank(13), 1);
  EXPECT_EQ(egib::is_blank(14), 0);
  EXPECT_EQ(egib::is_blank(0xA0), 0);
}

TEST(NextField, MatchesTheSplitter) {
  char src[] = "a , b,c";
  char dst[100];
  char* rest = egib::next_swde_field(src, dst, 100);
  EXPECT_STREQ(dst, "a ");
  rest = egib::next_swde_field(rest, dst, 100);
  EXPECT_STREQ(dst, "b");
  rest = egib::next_swde_field(rest, dst, 100);
  EXPECT_STREQ(dst, "c");
  EXPECT_EQ(egib::next_swde_field(rest, dst, 100), nullptr);
  EXPECT_STREQ(dst, "");
}

TEST(SkipSections, StopAtTheirTerminatorsAndTdBlocksAreOpaque) {
  const auto reader = [](std::string_view text) {
    return std::make_unique<egib::LineReader>(text, 0, text.size(), egib::TextEncoding::kIso8859_2);
  };
  egib::Line l;
  const std::string m = "TD,1\nSX\nX\nB,2\nSXC\nafter\n";
  auto in = reader(m);
  egib::skip_st_section(*in, l);
  EXPECT_EQ(l.code(), "SXC");
  ASSERT_TRUE(in->next(l));
  EXPECT_EQ(l.code(), "after");
  EXPECT_EQ(in->lines_read(), 6);

  const std::string n = "C,SX\nNS,1\nSX,\nafter\n";
  in = reader(n);
  egib::skip_sn_section(*in, l);
  EXPECT_EQ(l.code(), "SX");
  const std::string o = "a\nXC\nb\n";
  in = reader(o);
  egib::skip_to_object_end(*in, l);
  EXPECT_EQ(l.code(), "XC");
  const std::string p = "a\nb\n";
  in = reader(p);
  egib::skip_sp_section(*in, l);  // ends with the input
  EXPECT_EQ(l.code(), "");
}

TEST(Numbers, ConvertLikeTheCLibrary) {
  for (const char* s : {"5517488.50603", "-12.5", ".25", "1e3", "0x10", "  7", "+3.5", "abc", "",
                        "12abc", "1e999", "-1e999", "inf", "1e-400", "00012.000"}) {
    const double want = std::strtod(s, nullptr);
    const double got = egib::to_double(s);
    if (std::isnan(want)) {
      EXPECT_TRUE(std::isnan(got)) << s;
    } else {
      EXPECT_EQ(got, want) << s;
    }
  }
  EXPECT_TRUE(std::isnan(egib::to_double("nan")));
  EXPECT_EQ(egib::to_long(" -14x"), -14);
  EXPECT_EQ(egib::to_long("x14"), 0);
}

}  // namespace
