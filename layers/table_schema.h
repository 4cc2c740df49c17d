// Columns of a table whose schema comes from the data: the typing of the
// values an attribute takes over a whole file, dBase names of ten
// characters at most for them, and rows of cells.  Nothing here is tied to
// one output format: a column has a full name, a short name, a type, a
// width and decimals, and a cell is the value's text (several values of
// one attribute joined by '|'), which each format's writer turns into its
// own representation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace egib {

enum class ColumnType : uint8_t { kText, kInteger, kDecimal, kDate };

// Separator of the values of an attribute given several times.
inline constexpr char kValueSeparator = '|';
// The widest text a dBase column holds.
inline constexpr int kDbaseTextWidth = 254;

// A valid calendar date written YYYYMMDD.
bool is_swde_date(std::string_view v);
// A valid date and time written YYYYMMDDhhmmss.
bool is_swde_date_time(std::string_view v);
// A decimal number (optional '-', digits, optional '.' and digits) with no
// zero leading another digit: "0.09" and "12" are numbers, "0001" (a code)
// is not.
bool is_plain_number(std::string_view v);

// What the values of one column look like, gathered value by value.
class ColumnCensus {
 public:
  // One value of an object's attribute.
  void add_value(std::string_view v);
  // One object's cell: the values joined, count of them.
  void add_cell(size_t length, size_t values);
  void merge(const ColumnCensus& other);

  ColumnType type() const;
  int width() const;
  int decimals() const;
  int64_t cells() const { return cells_; }
  bool operator==(const ColumnCensus&) const = default;

 private:
  int64_t values_ = 0;
  int64_t cells_ = 0;
  bool multi_ = false;
  bool all_dates_ = true;
  bool all_dates_or_times_ = true;
  bool any_time_ = false;
  bool all_numbers_ = true;
  bool any_fraction_ = false;
  bool any_negative_ = false;
  int int_digits_ = 0;
  int frac_digits_ = 0;
  size_t max_length_ = 0;
};

enum class ColumnRole : uint8_t { kRunningNumber, kIdentifier, kSecondKey, kAttribute, kRelation };

struct Column {
  std::string name;       // as written to the table (dBase: 10 characters at most)
  std::string full_name;  // the SWDE name ("G5POW", "G5RPOD") or the column's own
  ColumnRole role = ColumnRole::kAttribute;
  ColumnType type = ColumnType::kText;
  int width = 1;
  int decimals = 0;
};

// Gives every column a dBase name: its full name where that has ten
// characters or fewer and no earlier column (reserved names included)
// has it, in any case; otherwise the first characters and a number.
void assign_dbase_names(std::vector<Column>& columns, const std::vector<std::string>& reserved);

// The cell of a text column as the dBase table holds it: cut at width;
// true when something was cut.
bool cut_to_width(std::string_view value, int width, std::string_view* out);

}  // namespace egib
