#include "layers/record_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace egib {

namespace {

// Digits right-aligned in a cell of width w; false when they do not fit.
bool right_align(char* cell, int w, const char* digits, const char* end) {
  const auto n = static_cast<size_t>(end - digits);
  if (n > static_cast<size_t>(w)) return false;
  const auto pad = static_cast<size_t>(w) - n;
  std::memset(cell, ' ', pad);
  std::memcpy(cell + pad, digits, n);
  return true;
}

// A number in its cell as the library formats it ("%d", "%*.*f"); false
// when the library would cut it, or, for a real, when it is not finite.
// blank: the cell holds blanks already (a record made whole), only the
// digits are written.
bool format_integer(char* cell, int w, long value, bool blank = false) {
  // Its digits counted first and written in place: a county's records
  // hold millions of these, and copying a few digits by their length was
  // a call each.
  const int v = static_cast<int>(value);
  unsigned long rest = v < 0 ? 0UL - static_cast<unsigned long>(static_cast<long>(v))
                             : static_cast<unsigned long>(v);
  size_t n = v < 0 ? 2 : 1;
  while (rest >= 10) {
    rest /= 10;
    ++n;
  }
  const auto width = static_cast<size_t>(w);
  if (n > width) return false;
  if (blank) {
    // Only the digits are written.
  } else if (width == 10) {
    std::memset(cell, ' ', 10);  // the width of the identifiers and counts: stores of a known size
  } else {
    std::memset(cell, ' ', width - n);
  }
  std::to_chars(cell + width - n, cell + width, v);
  return true;
}

bool format_real(char* cell, int w, int decimals, double value) {
  if (!std::isfinite(value)) return false;
  char digits[64];
  const auto [end, ec] =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
  return ec == std::errc() && right_align(cell, w, digits, end);
}

}  // namespace

void RecordWriter::text(int field, std::string_view value) {
  const bool cut = static_cast<int>(value.size()) > width(field);
  const std::string terminated(value);
  check(DBFWriteStringAttribute(layer_.dbf(), record_, field, terminated.c_str()) != 0 || cut,
        field);
}

// Values the library would cut, and non-finite ones, take the library's
// own path, so they come out exactly as it makes them.
void RecordWriter::integer(int field, long value) {
  const int w = width(field);
  char cell[256];
  if (format_integer(cell, w, value)) {
    store_cell(field, cell, w);
    return;
  }
  const int v = static_cast<int>(value);
  const bool cut = std::snprintf(nullptr, 0, "%d", v) > w;
  check(DBFWriteIntegerAttribute(layer_.dbf(), record_, field, v) != 0 || cut, field);
}

void RecordWriter::real(int field, double value) {
  int w = 0;
  int decimals = 0;
  DBFGetFieldInfo(layer_.dbf(), field, nullptr, &w, &decimals);
  char cell[256];
  if (format_real(cell, w, decimals, value)) {
    store_cell(field, cell, w);
    return;
  }
  const bool cut = std::snprintf(nullptr, 0, "%*.*f", w, decimals, value) > w;
  check(DBFWriteDoubleAttribute(layer_.dbf(), record_, field, value) != 0 || cut, field);
}

void RecordWriter::store_cell(int field, char* cell, int w) {
  cell[w] = '\0';
  check(DBFWriteAttributeDirectly(layer_.dbf(), record_, field, cell) != 0, field);
}

int RecordWriter::width(int field) const {
  int w = 0;
  DBFGetFieldInfo(layer_.dbf(), field, nullptr, &w, nullptr);
  return w;
}

void RecordWriter::check(bool ok, int field) {
  if (ok) return;
  std::fprintf(stderr, "egib2shp: cannot write field %d of record %d of %s.dbf\n", field + 1,
               record_ + 1, layer_.final_base().c_str());
  layer_.note_write_failure();
}

RecordTuple::RecordTuple(LayerKind kind) : schema_(layer_schema(kind)) {
  for (const FieldSpec& f : schema_) {
    offset_.push_back(length_);
    length_ += static_cast<size_t>(f.width);
  }
}

void RecordTuple::start(std::string& out) {
  out_ = &out;
  start_ = out.size();
  out.append(length_, ' ');
  deferred_.clear();
}

void RecordTuple::text(int field, std::string_view value) {
  const auto width = static_cast<size_t>(schema_[static_cast<size_t>(field)].width);
  if (!value.empty()) std::memcpy(cell(field), value.data(), std::min(width, value.size()));
}

void RecordTuple::integer(int field, long value) {
  // The cell is blank since start().
  if (!format_integer(cell(field), schema_[static_cast<size_t>(field)].width, value, true)) {
    deferred_.push_back({field, false, value, 0.0});
  }
}

void RecordTuple::real(int field, double value) {
  const FieldSpec& f = schema_[static_cast<size_t>(field)];
  if (!format_real(cell(field), f.width, f.decimals, value)) {
    deferred_.push_back({field, true, 0, value});
  }
}

bool RecordTuple::put_integer(char* record, int field, long value) const {
  return format_integer(record + offset_[static_cast<size_t>(field)],
                        schema_[static_cast<size_t>(field)].width, value);
}

}  // namespace egib
