// Objects of the register read as values: attributes with all their values
// in order, relations by both layouts, geometry lists, a point's own place,
// long values whole, and the file's description and declarations.
#include "swde/register_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace egib {
namespace {

struct Read {
  // The input, which the object's texts may view, kept with it.
  std::shared_ptr<const std::string> input;
  bool complete = false;
  RegisterObject object;
  std::string after;  // the code of the line the reader stopped at
};

Read read_one(const std::string& text, TextEncoding encoding = TextEncoding::kWindows1250) {
  Read r;
  r.input = std::make_shared<const std::string>(text);
  LineReader in(std::span<const char>(r.input->data(), r.input->size()), 0, r.input->size(),
                encoding);
  Line line;
  in.next(line);
  r.complete = read_register_object(in, line, r.object, nullptr);
  in.next(line);
  r.after = line.code();
  return r;
}

TEST(RegisterObject, EveryLineOfTheObjectIsKept) {
  const Read r = read_one(
      "RO,,G5OSF,OSF1,K1\n"
      "D,G5PIM,,Jan\n"
      "C,komentarz\n"
      "D,G5PIM,,Pawel\n"
      "WG,G5RADR,,ADR1\n"
      "WL,G5RWLS,INS1\n"
      "GL\nK,+\nP,G,1,2\nP,P,,A\n"
      "D,G5NZW,,Kowalski\n"  // after the list: the object's next line
      "GL\nP,G,3,4\n"
      "X\n"
      "RO,,G5ADR,ADR1\nX\n");
  ASSERT_TRUE(r.complete);
  EXPECT_EQ(r.object.type, "G5OSF");
  EXPECT_EQ(r.object.ident, "OSF1");
  EXPECT_EQ(r.object.second_key, "K1");
  ASSERT_EQ(r.object.attributes.size(), 3U);
  EXPECT_EQ(r.object.attributes[0].value, "Jan");
  EXPECT_EQ(r.object.attributes[1].value, "Pawel");
  EXPECT_EQ(r.object.attributes[2].name, "G5NZW");
  ASSERT_EQ(r.object.relations.size(), 2U);
  EXPECT_EQ(r.object.relations[0].value, "ADR1");
  EXPECT_EQ(r.object.relations[1].value, "INS1");
  EXPECT_EQ(r.object.lists, 2);
  EXPECT_EQ(r.object.lists_with_ring_start, 1);
  EXPECT_FALSE(r.object.has_own_point);
  EXPECT_EQ(r.after, "RO");  // the reader stopped at the object's X

  TableColumns columns;
  columns.attribute_names = {"G5PIM", "G5NZW"};
  columns.attribute_index = {{"G5PIM", 0}, {"G5NZW", 1}};
  columns.relation_names = {"G5RWLS"};
  columns.relation_index = {{"G5RWLS", 0}};
  using Cells = std::vector<std::string_view>;
  Cells cells;
  CellScratch scratch;
  object_cells(r.object, columns, cells, scratch);
  EXPECT_EQ(cells, (Cells{"OSF1", "K1", "Jan|Pawel", "Kowalski", "INS1"}));
  // Again with what the first object left: the same cells; then an object
  // whose names come in another order, one of them empty first; then three
  // values of a name, and one alone after them (nothing of the joined
  // values before is left in it).
  object_cells(r.object, columns, cells, scratch);
  EXPECT_EQ(cells, (Cells{"OSF1", "K1", "Jan|Pawel", "Kowalski", "INS1"}));
  RegisterObject other;
  other.ident = "OSF2";
  other.attributes = {
      {"G5NZW", "Nowak"}, {"G5XXX", "nie ma kolumny"}, {"G5PIM", ""}, {"G5PIM", "Anna"}};
  object_cells(other, columns, cells, scratch);
  EXPECT_EQ(cells, (Cells{"OSF2", "", "|Anna", "Nowak", ""}));
  other.attributes = {{"G5PIM", "Ewa"}, {"G5NZW", "Lis"}, {"G5PIM", "Ola"}, {"G5PIM", "Iga"}};
  object_cells(other, columns, cells, scratch);
  EXPECT_EQ(cells, (Cells{"OSF2", "", "Ewa|Ola|Iga", "Lis", ""}));
  other.attributes = {{"G5PIM", "Jan"}};
  object_cells(other, columns, cells, scratch);
  EXPECT_EQ(cells, (Cells{"OSF2", "", "Jan", "", ""}));
}

TEST(RegisterObject, ValuesComeWhole) {
  // A value with commas, and one on a line longer than the line reader's
  // 499 characters, in ISO 8859-2: whole, converted, and the rest of the
  // long line not taken as lines of the object.
  const std::string long_value = std::string(700, 'a') + "\xB1";
  const Read r = read_one("RO,,G5DOK,D1\nD,G5OPD,,jeden, dwa,trzy\nD,G5TRE,,  " + long_value +
                              ";uwaga\nD,G5KDK,,1\nP,G,10.5,20\nX\nX\n",
                          TextEncoding::kIso8859_2);
  ASSERT_TRUE(r.complete);
  ASSERT_EQ(r.object.attributes.size(), 3U);
  EXPECT_EQ(r.object.attributes[0].value, "jeden, dwa,trzy");  // as written
  EXPECT_EQ(r.object.attributes[1].value, std::string(700, 'a') + "\xB9");
  EXPECT_EQ(r.object.attributes[2].value, "1");
  EXPECT_TRUE(r.object.has_own_point);
  EXPECT_EQ(r.object.point_first, 10.5);
  EXPECT_EQ(r.after, "X");

  // Lines the reader cleans or converts (an apostrophe blanked, ISO 8859-2
  // letters) are read into its own buffer, which the next line overwrites:
  // the object's texts from them, its head's too, outlive the lines after.
  const Read cleaned = read_one(
      "RP,,G5'PZG,P\xB1 1,K'1\nD,G5NRP,,\xA3\xF3"
      "d\xBC 7\nWL,G5RKRG,\xA6wi\xEAty\nD,G5STB,,2\n"
      "D,G5ZRD,,x'y\nD,G5BPP,,1\nX\n",
      TextEncoding::kIso8859_2);
  ASSERT_TRUE(cleaned.complete);
  EXPECT_EQ(cleaned.object.type, "G5 PZG");
  EXPECT_EQ(cleaned.object.ident, "P\xB9 1");
  EXPECT_EQ(cleaned.object.second_key, "K 1");
  ASSERT_EQ(cleaned.object.attributes.size(), 4U);
  EXPECT_EQ(cleaned.object.attributes[0].value,
            "\xA3\xF3"
            "d\x9F 7");
  EXPECT_EQ(cleaned.object.attributes[2].value, "x y");
  ASSERT_EQ(cleaned.object.relations.size(), 1U);
  EXPECT_EQ(cleaned.object.relations[0].name, "G5RKRG");
  EXPECT_EQ(cleaned.object.relations[0].value, "\x8Cwi\xEAty");

  // The input ends inside the object, or inside its geometry list.
  EXPECT_FALSE(read_one("RO,,G5KLU,K1\nD,G5OFU,,R\n").complete);
  EXPECT_FALSE(read_one("RO,,G5KLU,K1\nGL\nK,+\nP,G,1,2\n").complete);
}

TEST(RegisterObject, DescriptionAndDeclarations) {
  const std::string text =
      "SWDE.w.3.00\nSN\nNS,TEST\nNU,system, wersja 2\nSX\nSP\nB,1,,Kowalski\nSX\n"
      "ST\nTD,RO,G5JRG\nTA,G5RJR,N\nTA,G5IJR,C\nX\nTD,G5G_KLU\nSX\nTA,G5OFU\nX\nSX\n"
      "SO\nRO,,G5JRG,JR1\nX\nSX\nSWDEX\n";
  const FileDescription d = read_file_description(std::span<const char>(text.data(), text.size()),
                                                  TextEncoding::kWindows1250);
  ASSERT_EQ(d.entries.size(), 4U);
  EXPECT_EQ(d.entries[0].value, "SWDE.w.3.00");
  EXPECT_EQ(d.entries[2].section, "SN");
  EXPECT_EQ(d.entries[2].value, "system,wersja 2");
  EXPECT_EQ(d.entries[3].section, "SP");
  ASSERT_EQ(d.declarations.count("JRG"), 1U);
  EXPECT_EQ(d.declarations.at("JRG").attributes, (std::vector<std::string>{"G5RJR", "G5IJR"}));
  EXPECT_EQ(d.declarations.at("JRG").kinds, (std::vector<char>{'N', 'C'}));
  // An "SX" inside a "TD" block does not end the section.
  ASSERT_EQ(d.declarations.count("KLU"), 1U);
  EXPECT_EQ(d.declarations.at("KLU").attributes, (std::vector<std::string>{"G5OFU"}));
}

}  // namespace
}  // namespace egib

namespace {

TEST(IdentifierSet, FindsEveryHashItHoldsAndNoOther) {
  EXPECT_FALSE(egib::IdentifierSet().contains(0));
  EXPECT_FALSE(egib::IdentifierSet(std::vector<uint64_t>{}).contains(42));
  std::vector<uint8_t> none(3, 7);
  egib::IdentifierSet().find_all(std::vector<uint64_t>{1, 2, 3}, none);
  EXPECT_EQ(none, (std::vector<uint8_t>{0, 0, 0}));
  // Hashes of real identifiers, close neighbours, both ends of the range
  // and hashes given twice, in numbers around powers of two.
  for (const size_t n :
       {size_t{1}, size_t{2}, size_t{3}, size_t{1000}, size_t{1024}, size_t{1025}, size_t{70000}}) {
    std::vector<uint64_t> held;
    std::set<uint64_t> expected;
    for (size_t i = 0; i < n; ++i) {
      const uint64_t h =
          i % 7 == 0 ? i : std::hash<std::string>{}("PL.1234." + std::to_string(i) + "_BUD");
      held.push_back(h);
      expected.insert(h);
      if (i % 11 == 0) held.push_back(h);
    }
    held.push_back(UINT64_MAX);
    expected.insert(UINT64_MAX);
    const egib::IdentifierSet set(held);
    for (const uint64_t h : expected) ASSERT_TRUE(set.contains(h)) << n << " " << h;
    size_t absent = 0;
    for (size_t i = 0; i < 5000; ++i) {
      const uint64_t probe = std::hash<std::string>{}("inny." + std::to_string(i)) ^ (i << 3);
      if (expected.count(probe) == 0) {
        ASSERT_FALSE(set.contains(probe)) << n << " " << probe;
        ++absent;
      }
      ASSERT_EQ(set.contains(probe + 1), expected.count(probe + 1) != 0);
    }
    EXPECT_GT(absent, 4900u);
    // Many at once: the same answers, in the order asked.
    std::vector<uint64_t> asked(expected.begin(), expected.end());
    for (size_t i = 0; i < 300; ++i)
      asked.insert(asked.begin() + static_cast<ptrdiff_t>(i * 3 % asked.size()),
                   i * 0x9E3779B97F4A7C15u);
    std::vector<uint8_t> found(asked.size(), 7);
    set.find_all(asked, found);
    for (size_t i = 0; i < asked.size(); ++i) {
      ASSERT_EQ(found[i], expected.count(asked[i]) != 0 ? 1 : 0) << n << " " << i;
    }
  }
}

}  // namespace
