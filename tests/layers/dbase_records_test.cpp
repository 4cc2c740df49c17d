// Records stored in blocks beside the library's own table handling: the
// table must be the one the library writes record by record.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "layers/layer_files.h"
#include "layers/record_writer.h"
#include "layers/register_layers.h"
#include "tests/support/test_support.h"

namespace {

using namespace egib;

constexpr FieldSpec kFieldList[] = {{"NAZWA", FTString, 6, 0}, {"LICZBA", FTInteger, 3, 0}};
constexpr std::basic_string_view<FieldSpec> kFields(kFieldList, 2);

// A record of the table above: deletion flag, a text, a number.
std::string record(int i) {
  std::string r = " ";
  std::string name = "p" + std::to_string(i);
  name.resize(6, ' ');
  std::string number = std::to_string(i % 1000);
  r += name + std::string(3 - number.size(), ' ') + number;
  return r;
}

TEST(DbaseRecords, BlocksWriteTheBytesOfTheLibrarysRecords) {
  const egib::test::TempDir dir;
  const DbfDate date{124, 5, 6};
  Layer by_library, in_blocks;
  std::string error;
  ASSERT_TRUE(by_library.create_with_fields(dir.file("one"), SHPT_NULL, kFields, &error, date))
      << error;
  ASSERT_TRUE(in_blocks.create_with_fields(dir.file("block"), SHPT_NULL, kFields, &error, date))
      << error;
  // 2,500 records: a block of 1,000, one of 1, then a cell written through
  // the library into the last record stored (it reads the record back), and
  // the rest, in two blocks.
  for (int i = 0; i < 2500; ++i) {
    ASSERT_TRUE(DBFWriteTuple(by_library.dbf(), i, record(i).data()));
    if (i == 1000) {
      ASSERT_TRUE(DBFWriteIntegerAttribute(by_library.dbf(), i, 1, 77));
    }
  }
  const auto block = [](int from, int to) {
    std::string b;
    for (int i = from; i < to; ++i) b += record(i);
    return b;
  };
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), block(0, 1000)));
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), block(1000, 1001)));
  EXPECT_EQ(DBFGetRecordCount(in_blocks.dbf()), 1001);
  ASSERT_TRUE(DBFWriteIntegerAttribute(in_blocks.dbf(), 1000, 1, 77));
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), block(1001, 2000)));
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), block(2000, 2500)));
  // Not whole records: refused, nothing stored.
  EXPECT_FALSE(append_dbase_records(in_blocks.dbf(), record(1).substr(1)));
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), ""));
  EXPECT_EQ(DBFGetRecordCount(in_blocks.dbf()), 2500);
  ASSERT_TRUE(by_library.commit(&error)) << error;
  ASSERT_TRUE(in_blocks.commit(&error)) << error;

  const std::string expected = egib::test::read_file(dir.file("one.dbf"));
  const std::string got = egib::test::read_file(dir.file("block.dbf"));
  ASSERT_EQ(expected.size(), 32 + 2 * 32 + 1 + 2500 * 10 + 1u);
  EXPECT_TRUE(got == expected) << "the tables differ";
  EXPECT_EQ(got.back(), '\x1A');
  EXPECT_EQ(got.substr(97 + 1000 * 10 + 7, 3), " 77");
}

TEST(DbaseRecords, AnEmptyTableStaysTheLibrarys) {
  const egib::test::TempDir dir;
  Layer by_library, in_blocks;
  std::string error;
  ASSERT_TRUE(by_library.create_with_fields(dir.file("one"), SHPT_NULL, kFields, &error));
  ASSERT_TRUE(in_blocks.create_with_fields(dir.file("block"), SHPT_NULL, kFields, &error));
  EXPECT_TRUE(append_dbase_records(in_blocks.dbf(), ""));
  ASSERT_TRUE(by_library.commit(&error));
  ASSERT_TRUE(in_blocks.commit(&error));
  EXPECT_EQ(egib::test::read_file(dir.file("block.dbf")),
            egib::test::read_file(dir.file("one.dbf")));
}

// Columns added at the end of a run to a table written before: the table
// must be the one the library makes with all its columns from the start,
// however many blocks the records move in (they move in place, from the
// last), and a table whose records are not the rows given stays as it was.
TEST(DbaseRecords, AddedColumnsMakeTheLibrarysWiderTable) {
  const egib::test::TempDir dir;
  const DbfDate date{124, 5, 6};
  const std::vector<Column> extra = {
      {"DODANY", "G5DODANY", ColumnRole::kAttribute, ColumnType::kText, 5, 0},
      {"ILE", "G5ILE", ColumnRole::kAttribute, ColumnType::kInteger, 3, 0}};
  constexpr FieldSpec kWideList[] = {{"NAZWA", FTString, 6, 0},
                                     {"LICZBA", FTInteger, 3, 0},
                                     {"DODANY", FTString, 5, 0},
                                     {"ILE", FTInteger, 3, 0}};
  const std::basic_string_view<FieldSpec> wide_fields(kWideList, 4);
  // Records of 10 bytes growing to 18: some 9 MB moved in three blocks.
  constexpr int kRecords = 500000;
  const size_t width = cells_width(extra);
  ASSERT_EQ(width, 8u);
  std::string cells, narrow_records, wide_records;
  int64_t texts_cut = 0;
  for (int i = 0; i < kRecords; ++i) {
    const std::string text = "d" + std::to_string(i % 10000);
    const std::string number = std::to_string(i % 997);
    const std::string_view row[] = {text, number};
    std::string one;
    format_dbase_cells(extra, width, row, one, &texts_cut);
    cells += one;
    narrow_records += record(i);
    wide_records += record(i) + one;
  }
  EXPECT_EQ(texts_cut, 0);

  std::string error;
  Layer wide, appended, untouched;
  ASSERT_TRUE(wide.create_with_fields(dir.file("wide"), SHPT_NULL, wide_fields, &error, date))
      << error;
  ASSERT_TRUE(append_dbase_records(wide.dbf(), wide_records));
  ASSERT_TRUE(wide.commit(&error)) << error;
  ASSERT_TRUE(appended.create_with_fields(dir.file("more"), SHPT_NULL, kFields, &error, date))
      << error;
  ASSERT_TRUE(append_dbase_records(appended.dbf(), narrow_records));
  appended.close();
  ASSERT_TRUE(append_columns(appended, extra, cells, kRecords, &error)) << error;
  ASSERT_TRUE(appended.commit(&error)) << error;
  const std::string expected = egib::test::read_file(dir.file("wide.dbf"));
  const std::string got = egib::test::read_file(dir.file("more.dbf"));
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the tables differ";
  EXPECT_FALSE(std::filesystem::exists(dir.file("more.tmp.more.dbf")));

  // One row fewer than the table's records: refused, the table unchanged.
  ASSERT_TRUE(untouched.create_with_fields(dir.file("same"), SHPT_NULL, kFields, &error, date))
      << error;
  ASSERT_TRUE(append_dbase_records(untouched.dbf(), narrow_records.substr(0, 100 * 10)));
  untouched.close();
  const std::string before = egib::test::read_file(dir.file("same.tmp.dbf"));
  EXPECT_FALSE(
      append_columns(untouched, extra, std::string_view(cells).substr(0, 99 * width), 99, &error));
  EXPECT_NE(error.find("are not the objects read again"), std::string::npos) << error;
  EXPECT_EQ(egib::test::read_file(dir.file("same.tmp.dbf")), before);
}

#if !defined(_WIN32)
// A table that cannot grow by its added columns (here the file-size limit,
// as a full disk would) is a failure said, never a table taken as whole.
TEST(DbaseRecords, AddedColumnsThatCannotBeWrittenFailTheTable) {
  const egib::test::TempDir dir;
  const std::vector<Column> extra = {
      {"DODANY", "G5DODANY", ColumnRole::kAttribute, ColumnType::kText, 90, 0}};
  constexpr int kRecords = 2000;
  std::string error;
  Layer layer;
  ASSERT_TRUE(layer.create_with_fields(dir.file("full"), SHPT_NULL, kFields, &error)) << error;
  std::string records;
  for (int i = 0; i < kRecords; ++i) records += record(i);
  ASSERT_TRUE(append_dbase_records(layer.dbf(), records));
  layer.close();
  const std::string cells(static_cast<size_t>(kRecords) * 90, 'x');

  // 20 kB of table may grow to 64 kB at most, not to the 200 kB it needs.
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 64 << 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool appended = append_columns(layer, extra, cells, kRecords, &error);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(appended);
  EXPECT_NE(error.find("cannot write " + dir.file("full.tmp.dbf")), std::string::npos) << error;
}
#endif

}  // namespace

namespace {

// A number's cell made by the program is the library's own (and one the
// library would cut is left to it).
TEST(DbaseRecords, IntegerCellsAreTheLibrarys) {
  const egib::test::TempDir dir;
  DBFHandle dbf = DBFCreate(dir.file("n.dbf").c_str());
  ASSERT_NE(dbf, nullptr);
  ASSERT_EQ(DBFAddField(dbf, "N", FTDouble, 10, 0), 0);
  const long values[] = {0,
                         1,
                         -1,
                         7,
                         -7,
                         10,
                         99,
                         -100,
                         123456789,
                         999999999,
                         1000000000,
                         -999999999,
                         -1000000000,
                         2147483647,
                         -2147483647 - 1,
                         4294967296L + 5,
                         -42};
  std::vector<std::string> ours;
  for (size_t i = 0; i < std::size(values); ++i) {
    egib::RecordTuple tuple(egib::LayerKind::kPoint);
    std::string record;
    tuple.start(record);
    tuple.integer(egib::kPointFieldStb, values[i]);
    const bool deferred = !tuple.deferred().empty();
    const int written =
        DBFWriteIntegerAttribute(dbf, static_cast<int>(i), 0, static_cast<int>(values[i]));
    EXPECT_EQ(deferred, written == 0) << values[i];
    size_t at = 1;
    for (int f = 0; f < egib::kPointFieldStb; ++f)
      at += static_cast<size_t>(egib::layer_schema(egib::LayerKind::kPoint)[f].width);
    ours.push_back(deferred ? std::string() : record.substr(at, 10));
  }
  DBFClose(dbf);
  const std::string bytes = egib::test::read_file(dir.file("n.dbf"));
  for (size_t i = 0; i < std::size(values); ++i) {
    if (ours[i].empty()) continue;
    EXPECT_EQ(ours[i], bytes.substr(65 + i * 11 + 1, 10)) << values[i];
  }
}

}  // namespace
