// The line reader splits in place in one pass.  Here it is held against the
// straightforward reading of a line (cut, blank the apostrophes, trim,
// convert, split) on random lines full of the characters that matter; and
// the passes' line views (plain lines split in place, the code read alone)
// against the reader, in all three code pages.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "swde/line.h"
#include "swde/line_reader.h"

namespace egib {
namespace {

bool is_blank_char(char c) {
  return (c >= 7 && c <= 13) || c == ' ';
}

// The plain reading of one chunk (as read_chunk gives it).
SwdeLine plain_reading(const char* chunk, size_t size) {
  std::string work(chunk, size);
  std::string line;
  for (const char c : work) {
    if (c == '\0' || c == '\n' || c == '\r' || c == ';') break;
    line += c == '\'' ? ' ' : c;
  }
  while (!line.empty() && is_blank_char(line.back())) line.pop_back();
  size_t b = 0;
  while (b < line.size() && is_blank_char(line[b])) ++b;
  line = line.substr(b);
  // ISO 8859-2 to Windows-1250, through the reader's own helper.
  latin2_to_cp1250(line.data());

  SwdeLine out{};
  std::memcpy(out.text, line.c_str(), line.size() + 1);
  size_t s = 0;
  for (int k = 0; k < kFieldCount; ++k) {
    if (s >= line.size()) break;
    const size_t comma = line.find(',', s);
    const size_t stop = comma == std::string::npos ? line.size() : comma;
    const std::string f = line.substr(s, stop - s);
    if (f.size() >= kFieldChars - 1) {
      std::memcpy(out.field[k], f.data(), kFieldChars - 1);
      break;
    }
    std::memcpy(out.field[k], f.c_str(), f.size() + 1);
    if (comma == std::string::npos) break;
    s = comma + 1;
    while (s < line.size() && is_blank_char(line[s])) ++s;
  }
  return out;
}

// Random lines: long ones, ones with fields about 99 characters long, and
// short ones, of the characters that matter.
std::string random_lines(unsigned seed, const std::string& alphabet, int count) {
  std::mt19937 rng(seed);
  std::string input;
  for (int line = 0; line < count; ++line) {
    const int kind = static_cast<int>(rng() % 10);
    const size_t length = kind == 0 ? rng() % 700 : kind == 1 ? 95 + rng() % 10 : rng() % 40;
    for (size_t i = 0; i < length; ++i) {
      if (kind == 1 && rng() % 3 != 0) {
        input += 'x';
      } else {
        input += alphabet[rng() % alphabet.size()];
      }
    }
    input += '\n';
  }
  return input;
}

TEST(LineReaderEquivalence, LineViewsGiveTheReadersFields) {
  static const char kAlphabet[] = "ab,,,,  \t';\r\0\xB1\xA6\xE6\xC5\x9BZ9.-XRPO";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (const TextEncoding encoding :
       {TextEncoding::kIso8859_2, TextEncoding::kWindows1250, TextEncoding::kUtf8}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    const std::string input = random_lines(7 + static_cast<unsigned>(encoding), alphabet, 20000);
    SwdeInput reader(InputFile::from_bytes(input));
    reader.set_encoding(encoding);
    LineReader views(input, 0, input.size(), encoding);
    SwdeLine want{};
    Line code_only, whole;
    int n = 0;
    while (read_swde_line(reader, want) == 1) {
      ASSERT_TRUE(views.next(whole)) << n;
      // The code as read without splitting the rest, then every field.
      ASSERT_EQ(whole.code(), std::string_view(want.field[0])) << "line " << n;
      ASSERT_EQ(whole.text(), std::string_view(want.text)) << "line " << n;
      for (int k = 0; k < kFieldCount; ++k) {
        ASSERT_EQ(whole.field(k), std::string_view(want.field[k])) << "line " << n << " " << k;
      }
      // Whether a field was cut: the same from the line split in place as
      // from the same chunk taken by the full cleaning.
      Line cleaned;
      SwdeLine scratch{};
      cleaned.assign(whole.chunk().data(), whole.chunk().size(), encoding, &scratch);
      for (int k = 0; k < kFieldCount; ++k) {
        ASSERT_EQ(whole.field_cut(k), cleaned.field_cut(k)) << "line " << n << " " << k;
      }
      ++n;
    }
    EXPECT_FALSE(views.next(whole));
    EXPECT_EQ(views.lines_read(), n);
    EXPECT_TRUE(whole.code().empty());
  }
}

TEST(LineReaderEquivalence, RandomLines) {
  static const char kAlphabet[] = "ab,,,  \t';\r\0\xB1\xA6\xE6Z9.-";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);  // the NUL inside kept
  const std::string input = random_lines(5, alphabet, 20000);
  // Read twice from the same bytes: once by chunks, once by the reader.
  SwdeInput chunks(InputFile::from_bytes(input)), lines(InputFile::from_bytes(input));
  char chunk[kLineChars];
  size_t size = 0;
  SwdeLine line{};
  int n = 0;
  while (chunks.read_chunk(chunk, &size)) {
    ASSERT_EQ(read_swde_line(lines, line), 1);
    const SwdeLine want = plain_reading(chunk, size);
    ASSERT_STREQ(line.text, want.text) << "line " << n;
    for (int k = 0; k < kFieldCount; ++k) {
      ASSERT_STREQ(line.field[k], want.field[k]) << "line " << n << " field " << k;
    }
    ++n;
  }
  EXPECT_EQ(read_swde_line(lines, line), 0);
  EXPECT_GT(n, 20000);  // long lines come as several chunks
}

// Skipping the vertices of a list leaves the reader where reading them
// line by line does: the same position, the same line count (a vertex line
// longer than 499 characters counts as its chunks), and a line whose code
// merely begins with P ("PS") is not taken for a vertex.
TEST(LineReaderEquivalence, SkippedVertexLinesCountAsRead) {
  const std::string text =
      "P,P,1\nP,G,2,3\nP," + std::string(600, '7') + "\nP,P,4\nPS,x\nP,P,5\nK,+\nX\n";
  const std::span<const char> bytes(text.data(), text.size());
  LineReader skipping(bytes, 0, bytes.size(), TextEncoding::kIso8859_2);
  LineReader reading(bytes, 0, bytes.size(), TextEncoding::kIso8859_2);
  Line a, b;
  skipping.skip_vertex_lines();
  ASSERT_TRUE(skipping.next(a));
  // Line by line up to the same line: a chunk of the long line's tail has
  // no code "P" and ends the vertices as it would in a list.
  do {
    ASSERT_TRUE(reading.next(b));
  } while (b.code_is("P"));
  EXPECT_EQ(a.code(), b.code());
  EXPECT_EQ(skipping.position(), reading.position());
  EXPECT_EQ(skipping.lines_read(), reading.lines_read());
  // Then past "P,P,4" to "PS", which is kept.
  skipping.skip_vertex_lines();
  ASSERT_TRUE(skipping.next(a));
  EXPECT_EQ(a.code(), "PS");
  EXPECT_EQ(skipping.lines_read(), 6);  // the long line counts as two chunks
}

// Passing the lines a pass does not look at (those whose first byte it
// does not want, or the vertices of a list) ends where reading them one by
// one does: on random files
// of short and long lines (up to three chunks), blank and empty ones, with
// and without a last line end, from every start and with stops anywhere.
TEST(LineReaderEquivalence, SkippedLinesEndWhereReadingEnds) {
  std::mt19937 random(20261209);
  const std::array<bool, 256> wanted = LineReader::wanted_first_bytes("RS");
  const char firsts[] = "PPPPPDDWXKRS ';\n\r\t";
  for (int file = 0; file < 300; ++file) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 60);
    for (int l = 0; l < lines; ++l) {
      text += firsts[random() % (sizeof firsts - 1)];
      const size_t length = random() % 8 == 0 ? random() % 1400 : random() % 70;
      if (random() % 2 == 0) text += ',';
      for (size_t i = 0; i < length; ++i) text += "P,G.0123456789;'"[random() % 16];
      if (l + 1 < lines || random() % 2 == 0) text += '\n';
    }
    const std::span<const char> bytes(text.data(), text.size());
    for (size_t start = 0; start < text.size(); start += 1 + random() % 40) {
      if (start > 0 && text[start - 1] != '\n') continue;  // from line starts only
      const size_t stop =
          random() % 3 == 0 ? start + random() % (text.size() - start + 1) : text.size();
      LineReader skipping(bytes, start, stop, TextEncoding::kIso8859_2);
      LineReader reading(bytes, start, stop, TextEncoding::kIso8859_2);
      LineReader vertices(bytes, start, stop, TextEncoding::kIso8859_2);
      LineReader reading_vertices(bytes, start, stop, TextEncoding::kIso8859_2);
      skipping.skip_lines_not_starting_with(wanted);
      vertices.skip_vertex_lines();
      // Line by line: while a line begins before the stop and its first
      // byte is not wanted, it is read past.
      Line line;
      while (!reading.at_stop() && reading.position() < text.size() &&
             !wanted[static_cast<unsigned char>(text[reading.position()])]) {
        ASSERT_TRUE(reading.next(line));
      }
      ASSERT_EQ(skipping.position(), reading.position()) << file << " " << start << " " << stop;
      ASSERT_EQ(skipping.lines_read(), reading.lines_read()) << file << " " << start;
      // And the vertices of a list: lines that begin with "P,".
      const auto at = [&](size_t i) { return i < text.size() ? text[i] : '\0'; };
      while (!reading_vertices.at_stop() && at(reading_vertices.position()) == 'P' &&
             at(reading_vertices.position() + 1) == ',') {
        ASSERT_TRUE(reading_vertices.next(line));
      }
      ASSERT_EQ(vertices.position(), reading_vertices.position()) << file << " " << start;
      ASSERT_EQ(vertices.lines_read(), reading_vertices.lines_read()) << file << " " << start;
    }
  }
}

}  // namespace
}  // namespace egib
