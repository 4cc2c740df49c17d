#include "layers/record_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace egib {

void RecordWriter::text(int field, std::string_view value) {
  const bool cut = static_cast<int>(value.size()) > width(field);
  const std::string terminated(value);
  check(DBFWriteStringAttribute(layer_.dbf(), record_, field, terminated.c_str()) != 0 || cut,
        field);
}

// Values the library would cut, and non-finite ones, take the library's
// own path, so they come out exactly as it makes them.
void RecordWriter::integer(int field, long value) {
  const int v = static_cast<int>(value);
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  const int w = width(field);
  if (ec == std::errc() && end - digits <= w) {
    store_right_aligned(field, digits, static_cast<size_t>(end - digits), w);
    return;
  }
  char formatted[32];
  const bool cut = std::snprintf(formatted, sizeof formatted, "%d", v) > w;
  check(DBFWriteIntegerAttribute(layer_.dbf(), record_, field, v) != 0 || cut, field);
}

void RecordWriter::real(int field, double value) {
  int w = 0;
  int decimals = 0;
  DBFGetFieldInfo(layer_.dbf(), field, nullptr, &w, &decimals);
  if (std::isfinite(value)) {
    char digits[64];
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (ec == std::errc() && end - digits <= w) {
      store_right_aligned(field, digits, static_cast<size_t>(end - digits), w);
      return;
    }
  }
  char formatted[512];
  const bool cut = std::snprintf(formatted, sizeof formatted, "%*.*f", w, decimals, value) > w;
  check(DBFWriteDoubleAttribute(layer_.dbf(), record_, field, value) != 0 || cut, field);
}

void RecordWriter::store_right_aligned(int field, const char* digits, size_t n, int w) {
  char cell[256];
  const auto pad = static_cast<size_t>(w) - n;
  std::memset(cell, ' ', pad);
  std::memcpy(cell + pad, digits, n);
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

}  // namespace egib

namespace egib {

namespace {

// Right-aligned digits of an integer in a cell of width w; false when they
// do not fit.
bool format_integer(char* cell, int w, long value) {
  const int v = static_cast<int>(value);
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  const auto n = static_cast<size_t>(end - digits);
  if (ec != std::errc() || n > static_cast<size_t>(w)) return false;
  const auto pad = static_cast<size_t>(w) - n;
  std::memset(cell, ' ', pad);
  std::memcpy(cell + pad, digits, n);
  return true;
}

}  // namespace

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
  if (!format_integer(cell(field), schema_[static_cast<size_t>(field)].width, value)) {
    deferred_.push_back({field, false, value, 0.0});
  }
}

void RecordTuple::real(int field, double value) {
  const FieldSpec& f = schema_[static_cast<size_t>(field)];
  if (std::isfinite(value)) {
    char digits[64];
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, f.decimals);
    const auto n = static_cast<size_t>(end - digits);
    if (ec == std::errc() && n <= static_cast<size_t>(f.width)) {
      char* c = cell(field);
      const auto pad = static_cast<size_t>(f.width) - n;
      std::memset(c, ' ', pad);
      std::memcpy(c + pad, digits, n);
      return;
    }
  }
  deferred_.push_back({field, true, 0, value});
}

bool RecordTuple::put_integer(char* record, int field, long value) const {
  return format_integer(record + offset_[static_cast<size_t>(field)],
                        schema_[static_cast<size_t>(field)].width, value);
}

}  // namespace egib
