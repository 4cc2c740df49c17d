#include "layers/table_schema.h"

#include <algorithm>
#include <cctype>

namespace egib {

namespace {

bool all_digits(std::string_view v) {
  return !v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number_at(std::string_view v, size_t from, size_t n) {
  int r = 0;
  for (size_t i = from; i < from + n; ++i) r = r * 10 + (v[i] - '0');
  return r;
}

bool valid_day(std::string_view v) {
  const int year = number_at(v, 0, 4);
  const int month = number_at(v, 4, 2);
  const int day = number_at(v, 6, 2);
  if (year < 1000 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

}  // namespace

bool is_swde_date(std::string_view v) {
  return v.size() == 8 && all_digits(v) && valid_day(v);
}

bool is_swde_date_time(std::string_view v) {
  return v.size() == 14 && all_digits(v) && valid_day(v) && number_at(v, 8, 2) < 24 &&
         number_at(v, 10, 2) < 60 && number_at(v, 12, 2) < 60;
}

bool is_plain_number(std::string_view v) {
  if (!v.empty() && v[0] == '-') v.remove_prefix(1);
  const size_t dot = v.find('.');
  const std::string_view whole = v.substr(0, dot);
  if (!all_digits(whole)) return false;
  if (whole.size() > 1 && whole[0] == '0') return false;
  return dot == std::string_view::npos || all_digits(v.substr(dot + 1));
}

void ColumnCensus::add_value(std::string_view v) {
  ++values_;
  const bool date = is_swde_date(v);
  const bool time = !date && is_swde_date_time(v);
  if (!date) all_dates_ = false;
  if (!date && !time) all_dates_or_times_ = false;
  if (time) any_time_ = true;
  if (all_numbers_ && !is_plain_number(v)) all_numbers_ = false;
  if (all_numbers_) {
    std::string_view d = v;
    if (!d.empty() && d[0] == '-') {
      any_negative_ = true;
      d.remove_prefix(1);
    }
    const size_t dot = d.find('.');
    int_digits_ = std::max(int_digits_, static_cast<int>(d.substr(0, dot).size()));
    if (dot != std::string_view::npos) {
      any_fraction_ = true;
      frac_digits_ = std::max(frac_digits_, static_cast<int>(d.size() - dot - 1));
    }
  }
}

void ColumnCensus::add_cell(size_t length, size_t values) {
  ++cells_;
  if (values > 1) multi_ = true;
  max_length_ = std::max(max_length_, length);
}

void ColumnCensus::merge(const ColumnCensus& o) {
  values_ += o.values_;
  cells_ += o.cells_;
  multi_ = multi_ || o.multi_;
  all_dates_ = all_dates_ && o.all_dates_;
  all_dates_or_times_ = all_dates_or_times_ && o.all_dates_or_times_;
  any_time_ = any_time_ || o.any_time_;
  all_numbers_ = all_numbers_ && o.all_numbers_;
  any_fraction_ = any_fraction_ || o.any_fraction_;
  any_negative_ = any_negative_ || o.any_negative_;
  int_digits_ = std::max(int_digits_, o.int_digits_);
  frac_digits_ = std::max(frac_digits_, o.frac_digits_);
  max_length_ = std::max(max_length_, o.max_length_);
}

ColumnType ColumnCensus::type() const {
  // Joined values are a text, and so is a column the file never fills.
  if (values_ == 0 || multi_) return ColumnType::kText;
  if (all_dates_) return ColumnType::kDate;
  // A dBase table has no date and time: such values stay texts as written.
  if (all_dates_or_times_ && any_time_) return ColumnType::kText;
  if (all_numbers_) {
    // A dBase number holds 19 characters with its sign and point; the
    // double a reader makes of it keeps about 15 digits.
    const int digits = int_digits_ + frac_digits_;
    if (digits > 15) return ColumnType::kText;
    return any_fraction_ ? ColumnType::kDecimal : ColumnType::kInteger;
  }
  return ColumnType::kText;
}

int ColumnCensus::width() const {
  switch (type()) {
    case ColumnType::kDate:
      return 8;
    case ColumnType::kInteger:
      return std::max(1, int_digits_ + (any_negative_ ? 1 : 0));
    case ColumnType::kDecimal:
      return std::max(1, int_digits_) + 1 + frac_digits_ + (any_negative_ ? 1 : 0);
    case ColumnType::kText:
      break;
  }
  return static_cast<int>(std::clamp<size_t>(max_length_, 1, kDbaseTextWidth));
}

int ColumnCensus::decimals() const {
  return type() == ColumnType::kDecimal ? frac_digits_ : 0;
}

void assign_dbase_names(std::vector<Column>& columns, const std::vector<std::string>& reserved) {
  std::vector<std::string> taken;
  for (const std::string& r : reserved) taken.push_back(upper(r));
  const auto is_taken = [&](const std::string& n) {
    return std::find(taken.begin(), taken.end(), upper(n)) != taken.end();
  };
  for (Column& c : columns) {
    std::string name = c.full_name;
    if (name.empty() || name.size() > 10 || is_taken(name)) {
      const std::string stem = c.full_name.substr(0, 7);
      for (int n = 1;; ++n) {
        const std::string number = std::to_string(n);
        name = stem.substr(0, 10 - number.size() - 1) + "_" + number;
        if (!is_taken(name)) break;
      }
    }
    c.name = name;
    taken.push_back(upper(name));
  }
}

bool cut_to_width(std::string_view value, int width, std::string_view* out) {
  const auto w = static_cast<size_t>(std::max(width, 0));
  *out = value.substr(0, w);
  return value.size() > w;
}

}  // namespace egib
