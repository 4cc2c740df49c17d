// Column typing from the values of a file, dBase names and the cells of a
// record.
#include "layers/table_schema.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layers/register_layers.h"

namespace egib {
namespace {

ColumnCensus census_of(const std::vector<std::vector<std::string>>& cells) {
  ColumnCensus c;
  for (const auto& values : cells) {
    size_t length = 0;
    for (const std::string& v : values) {
      c.add_value(v);
      length += v.size();
    }
    c.add_cell(length + values.size() - 1, values.size());
  }
  return c;
}

TEST(TableSchema, ValuesTellTheColumnType) {
  struct Case {
    std::vector<std::vector<std::string>> cells;
    ColumnType type;
    int width, decimals;
  };
  const Case cases[] = {
      {{{"20190312"}, {"20000229"}}, ColumnType::kDate, 8, 0},
      // 2019 is no leap year: the value is a number, not a date.
      {{{"20190229"}, {"20190312"}}, ColumnType::kInteger, 8, 0},
      {{{"20180115103000"}, {"20180115"}}, ColumnType::kText, 14, 0},  // no date-time in dBase
      // Room for the sign, the widest whole part and the most decimals.
      {{{"0.09"}, {"12.5"}, {"-3"}}, ColumnType::kDecimal, 6, 2},
      {{{"1"}, {"-250"}}, ColumnType::kInteger, 4, 0},
      {{{"0001"}, {"12"}}, ColumnType::kText, 4, 0},       // a code keeps its zeros
      {{{"000123456"}}, ColumnType::kText, 9, 0},          // a REGON
      {{{"1234567890123456"}}, ColumnType::kText, 16, 0},  // past what a double keeps
      {{{"Jan", "Paweł"}, {"Anna"}}, ColumnType::kText, 10, 0},
      {{{"1", "2"}}, ColumnType::kText, 3, 0},  // joined values are a text
      {{{"1.5"}, {"abc"}}, ColumnType::kText, 3, 0},
      {{}, ColumnType::kText, 1, 0},  // never filled
  };
  for (const Case& c : cases) {
    const ColumnCensus census = census_of(c.cells);
    const std::string what = c.cells.empty() ? "(none)" : c.cells[0][0];
    EXPECT_EQ(census.type(), c.type) << what;
    EXPECT_EQ(census.width(), c.width) << what;
    EXPECT_EQ(census.decimals(), c.decimals) << what;
  }
  // Parts of a file merged give what the whole gives.
  ColumnCensus a = census_of({{"12"}});
  a.merge(census_of({{"0.125"}}));
  EXPECT_EQ(a.type(), ColumnType::kDecimal);
  EXPECT_EQ(a.width(), 6);
  EXPECT_EQ(a.decimals(), 3);
  a.merge(census_of({{"0012"}}));
  EXPECT_EQ(a.type(), ColumnType::kText);
  // A text is as wide as its longest cell, at most what dBase holds.
  EXPECT_EQ(census_of({{std::string(300, 'a')}}).width(), kDbaseTextWidth);
}

TEST(TableSchema, DbaseNamesAreShortAndUnique) {
  std::vector<Column> columns(5);
  columns[0].full_name = "G5POW";
  columns[1].full_name = "G5DataUtworzenia";         // too long
  columns[2].full_name = "G5DataUtworzeniaObiektu";  // same stem
  columns[3].full_name = "KLUCZ";                    // a column of the layer has it
  columns[4].full_name = "g5pow";                    // dBase names know no case
  assign_dbase_names(columns, {"ID", "Klucz"});
  EXPECT_EQ(columns[0].name, "G5POW");
  EXPECT_EQ(columns[1].name, "G5DataU_1");
  EXPECT_EQ(columns[2].name, "G5DataU_2");
  EXPECT_EQ(columns[3].name, "KLUCZ_1");
  EXPECT_EQ(columns[4].name, "g5pow_1");
  for (const Column& c : columns) EXPECT_LE(c.name.size(), 10U);
}

TEST(TableSchema, RecordCellsFollowTheirTypes) {
  std::vector<Column> columns(5);
  columns[0] = {"ID", "ID", ColumnRole::kRunningNumber, ColumnType::kInteger, 4, 0};
  columns[1] = {"POW", "G5POW", ColumnRole::kAttribute, ColumnType::kDecimal, 6, 3};
  columns[2] = {"DTW", "G5DTW", ColumnRole::kAttribute, ColumnType::kDate, 8, 0};
  columns[3] = {"OPIS", "G5OPD", ColumnRole::kAttribute, ColumnType::kText, 5, 0};
  columns[4] = {"NR", "G5NR", ColumnRole::kAttribute, ColumnType::kInteger, 3, 0};
  std::string record;
  int64_t cut = 0;
  const std::string cells[] = {"0.09", "20190312", "abcdefg", ""};
  format_dbase_record(columns, 12, cells, record, &cut);
  // Numbers right-aligned with their column's decimals, texts cut to their
  // width and counted, a missing value blank.
  EXPECT_EQ(record, std::string("   12") + " 0.090" + "20190312" + "abcde" + "   ");
  EXPECT_EQ(cut, 1);
  const std::string short_cells[] = {"-1", "", "ab"};
  format_dbase_record(columns, 1, short_cells, record, &cut);
  EXPECT_EQ(record, std::string("    1") + "-1.000" + "        " + "ab   " + "   ");
  EXPECT_EQ(cut, 1);
}

}  // namespace
}  // namespace egib
