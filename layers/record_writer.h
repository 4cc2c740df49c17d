// One attribute record of a layer's dBase table, written field by field.
// Numbers are formatted here as the dBase library formats them ("%*.*f"
// right-aligned in the field's width) and stored directly: the library's
// own path goes through snprintf for every value.  A write that fails for
// another reason than the library's cut of a value too long for its column
// is reported on stderr and marks the layer as failed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "layers/layer_files.h"

namespace egib {

class RecordWriter {
 public:
  RecordWriter(Layer& layer, int record) : layer_(layer), record_(record) {}

  void text(int field, std::string_view value);
  void integer(int field, long value);
  void real(int field, double value);

 private:
  // Stores a formatted cell (room for w + 1 bytes) as it stands.
  void store_cell(int field, char* cell, int w);
  int width(int field) const;
  void check(bool ok, int field);

  Layer& layer_;
  int record_;
};

}  // namespace egib

namespace egib {

// A whole record of a layer's table as the dBase file holds it (the
// deletion flag, then every cell), formatted here the way the library
// formats its values, so that any thread can prepare records and the
// writer stores each with one call.  A number the library would cut to its
// cell, or one that is not finite, is left to the library: it is noted as
// deferred, to be written through RecordWriter once the record exists.
class RecordTuple {
 public:
  struct Deferred {
    int field;
    bool real;
    long integer_value;
    double real_value;
  };

  explicit RecordTuple(LayerKind kind);
  size_t length() const { return length_; }

  // Appends a blank record to out; the cells below are written into it,
  // each once.
  void start(std::string& out);
  void text(int field, std::string_view value);
  void integer(int field, long value);
  void real(int field, double value);
  // The numbers of this record left to the library.
  const std::vector<Deferred>& deferred() const { return deferred_; }

  // Writes an integer into a cell of a record held elsewhere; false when
  // it does not fit (the library must write it).
  bool put_integer(char* record, int field, long value) const;

 private:
  char* cell(int field) { return out_->data() + start_ + offset_[static_cast<size_t>(field)]; }
  std::basic_string_view<FieldSpec> schema_;
  std::vector<size_t> offset_;
  size_t length_ = 1;
  std::string* out_ = nullptr;
  size_t start_ = 0;
  std::vector<Deferred> deferred_;
};

}  // namespace egib
