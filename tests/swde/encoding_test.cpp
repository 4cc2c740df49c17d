// Code pages of the input: the Windows-1250 table against the C library's
// converter, the detector on texts of each page, and names in all three
// arriving in the tables as the same Windows-1250 bytes.
#include "swde/encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using namespace egib::test;
using egib::TextEncoding;

// "ą ę ś ź Ś Ź ż ó" in the three code pages.
const std::string kCp1250 = "\xB9\xEA\x9C\x9F\x8C\x8F\xBF\xF3";
const std::string kIso = "\xB1\xEA\xB6\xBC\xA6\xAC\xBF\xF3";
const std::string kUtf8 = "\xC4\x85\xC4\x99\xC5\x9B\xC5\xBA\xC5\x9A\xC5\xB9\xC5\xBC\xC3\xB3";

std::string iconv_text(const char* from, const char* to, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = text;
  std::string out(text.size() * 4 + 8, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - ol);
  return out;
}

std::string to_cp1250(const std::string& utf8) {
  std::string out(utf8.size(), '\0');
  const size_t n =
      egib::utf8_to_cp1250({reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size()},
                           reinterpret_cast<unsigned char*>(out.data()));
  out.resize(n);
  return out;
}

TextEncoding detect(const std::string& text) {
  egib::EncodingDetector d;
  d.feed({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
  return d.result();
}

TEST(Encoding, Windows1250TableAgreesWithTheCLibrary) {
  int defined = 0;
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = iconv_text("CP1250", "UTF-8", byte);
    if (utf8.empty()) continue;  // no character there
    ++defined;
    EXPECT_EQ(to_cp1250(utf8), byte) << std::hex << b;
  }
  EXPECT_EQ(defined, 123);
  EXPECT_EQ(to_cp1250(kUtf8), kCp1250);
  EXPECT_EQ(iconv_text("ISO-8859-2", "CP1250", kIso), kCp1250);
}

TEST(Encoding, BrokenOrForeignUtf8BecomesQuestionMarks) {
  EXPECT_EQ(to_cp1250("a\xC4"), "a?");              // cut short
  EXPECT_EQ(to_cp1250("\xC4z"), "?z");              // no continuation
  EXPECT_EQ(to_cp1250("\xE2\x82\xAC"), "\x80");     // the euro sign
  EXPECT_EQ(to_cp1250("\xE4\xB8\xAD"), "?");        // a character the page has not
  EXPECT_EQ(to_cp1250("\xC0\xAF"), "??");           // overlong
  EXPECT_EQ(to_cp1250("\xED\xA0\x80"), "???");      // a surrogate
  EXPECT_EQ(to_cp1250("\xF0\x9F\x98\x80x"), "?x");  // beyond the page
}

TEST(Encoding, DetectorWeighsTheBytesThatDiffer) {
  const std::string sentence =
      "Obr\xEA"
      "b ";
  EXPECT_EQ(detect("plain ASCII, no evidence"), TextEncoding::kIso8859_2);
  EXPECT_EQ(detect(sentence + kIso), TextEncoding::kIso8859_2);
  EXPECT_EQ(detect(sentence + kCp1250), TextEncoding::kWindows1250);
  EXPECT_EQ(detect(kUtf8 + " zwyk\xC5\x82y tekst"), TextEncoding::kUtf8);
  // ł and ó are the same in both 8-bit pages: no evidence either way.
  EXPECT_EQ(detect("\xB3\xF3\xB3\xF3"), TextEncoding::kIso8859_2);
  // ą alone: 0xB1 in ISO 8859-2 (± in Windows-1250), 0xB9 in Windows-1250
  // (š in ISO 8859-2, which Polish text does not use).
  EXPECT_EQ(detect("\xB1"), TextEncoding::kIso8859_2);
  EXPECT_EQ(detect("\xB9"), TextEncoding::kWindows1250);
  // Mostly Windows-1250 with a stray ISO letter, and the other way round.
  EXPECT_EQ(detect(kCp1250 + kCp1250 + "\xB1"), TextEncoding::kWindows1250);
  EXPECT_EQ(detect(kIso + kIso + "\x9C"), TextEncoding::kIso8859_2);
  // UTF-8 with one broken byte is still UTF-8; 8-bit text that happens to
  // hold a valid pair is not.
  EXPECT_EQ(detect(kUtf8 + kUtf8 + "\xB9"), TextEncoding::kUtf8);
  EXPECT_EQ(detect("\xD3\xA3 " + kIso + kIso), TextEncoding::kIso8859_2);
  // Fed in pieces that cut a sequence: the same result.
  egib::EncodingDetector pieces;
  for (const char c : kUtf8) pieces.feed({reinterpret_cast<const unsigned char*>(&c), 1});
  EXPECT_EQ(pieces.result(), TextEncoding::kUtf8);
  EXPECT_EQ(pieces.utf8_sequences(), 8);
  EXPECT_EQ(pieces.utf8_broken(), 0);
}

// A precinct named with the letters, and a parcel whose identifier carries
// them.
std::string named_file(const std::string& letters, const std::string& prefix = "") {
  return prefix + swde_file("RO,,G5OBR,o\nD,G5IDR,,1\nD,G5NAZ,,Obr " + letters +
                            "\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n"
                            "RO,,G5DZE,d\nD,G5IDD,,1.0001." +
                            letters + "\nGL\nK,+\nP,G,0,0\nP,G,0,1\nP,G,1,1\nX\n");
}

struct Named {
  RunResult result;
  std::string name, ident;
};

Named convert_named(const std::string& content, const std::vector<std::string>& options = {}) {
  TempDir dir;
  write_file(dir.file("in.swd"), content);
  std::vector<std::string> args = options;
  args.insert(args.end(), {"--precincts", "in.swd", "0", "0", "0"});
  Named n;
  n.result = run_converter(dir, args);
  const LayerContent precincts = read_layer(dir.file("in_OBR"));
  const LayerContent parcels = read_layer(dir.file("in_DZE"));
  if (!precincts.raw.empty()) n.name = precincts.raw[0][3];
  if (!parcels.raw.empty()) n.ident = parcels.raw[0][1];
  n.name = n.name.substr(0, n.name.find_last_not_of(' ') + 1);
  n.ident = n.ident.substr(0, n.ident.find_last_not_of(' ') + 1);
  return n;
}

TEST(Encoding, NamesInEveryCodePageReachTheTablesInWindows1250) {
  struct Case {
    std::string content;
    const char* told;
  };
  const Case cases[] = {
      {named_file(kIso), "texts read as ISO 8859-2 (told from the file)"},
      {named_file(kCp1250), "texts read as Windows-1250 (told from the file)"},
      {named_file(kUtf8), "texts read as UTF-8 (told from the file)"},
      {named_file(kUtf8, "\xEF\xBB\xBF"), "texts read as UTF-8 (told from the file)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.told);
    const Named n = convert_named(c.content);
    ASSERT_EQ(n.result.status, 0) << n.result.err;
    EXPECT_EQ(n.name, "Obr " + kCp1250);
    EXPECT_EQ(n.ident, "1.0001." + kCp1250);
    EXPECT_NE(n.result.err.find(c.told), std::string::npos) << n.result.err;
  }
  // Given on the command line, the code page is not told but taken.
  const Named given = convert_named(named_file(kCp1250), {"--encoding=windows-1250"});
  EXPECT_EQ(given.name, "Obr " + kCp1250);
  EXPECT_NE(given.result.err.find("texts read as Windows-1250 and"), std::string::npos);
  // Taken as ISO 8859-2 against the evidence: the format's byte
  // permutation, as the program always applied it (0xB9 is š there, 0x9C
  // and friends are sent to the codes the permutation frees).
  const Named forced = convert_named(named_file(kCp1250), {"--encoding=iso-8859-2"});
  EXPECT_EQ(forced.name, "Obr \x9A\xEA\xB6\xB7\xA6\xAC\xBF\xF3");
}

}  // namespace

namespace {

TEST(Encoding, LongAsciiRunsAreReadPastWithoutMissingAByte) {
  // Letters and broken sequences at every place of a 32-byte step, among
  // ASCII runs of every length: the detector fed at once counts what it
  // counts fed a byte at a time (which never steps past a run).
  std::string text;
  for (int run = 0; run < 70; ++run) {
    text += std::string(static_cast<size_t>(run), 'a');
    text += run % 4 == 0 ? "\xC5\x82" : run % 4 == 1 ? "\xB9" : run % 4 == 2 ? "\xB1" : "\xC5";
  }
  egib::EncodingDetector whole, bytewise;
  whole.feed({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
  for (const char c : text) bytewise.feed({reinterpret_cast<const unsigned char*>(&c), 1});
  EXPECT_EQ(whole.utf8_sequences(), bytewise.utf8_sequences());
  EXPECT_EQ(whole.utf8_broken(), bytewise.utf8_broken());
  EXPECT_EQ(whole.windows_letters(), bytewise.windows_letters());
  EXPECT_EQ(whole.iso_letters(), bytewise.iso_letters());
  // Every kind was met.
  EXPECT_GT(whole.utf8_sequences(), 0);
  EXPECT_GT(whole.utf8_broken(), 0);
  EXPECT_GT(whole.windows_letters(), 0);
  EXPECT_GT(whole.iso_letters(), 0);
}

// A large file read in two halves by two threads: the same evidence.
TEST(Encoding, TwoThreadsSeeWhatOneSees) {
  std::string text;
  for (int i = 0; i < 200000; ++i) {
    text += i % 3 == 0 ? "D,G5NAZ,," + kUtf8 + "\n" : "P,G,1,2\n";
  }
  text += std::string(10, '\xC4');  // broken at the very end
  const std::span<const char> bytes(text);
  EXPECT_EQ(egib::detect_encoding(bytes, 2), egib::detect_encoding(bytes, 1));
  egib::EncodingDetector whole, a, b;
  whole.feed({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
  const size_t half = text.find('\n', text.size() / 2) + 1;
  a.feed({reinterpret_cast<const unsigned char*>(text.data()), half});
  b.feed({reinterpret_cast<const unsigned char*>(text.data()) + half, text.size() - half});
  a.add(b);
  EXPECT_EQ(a.utf8_sequences(), whole.utf8_sequences());
  EXPECT_EQ(a.utf8_broken(), whole.utf8_broken());
  EXPECT_EQ(a.windows_letters(), whole.windows_letters());
  EXPECT_EQ(a.iso_letters(), whole.iso_letters());
}

}  // namespace
