// One attribute record of a layer's dBase table, written field by field.
// Numbers are formatted here as the dBase library formats them ("%*.*f"
// right-aligned in the field's width) and stored directly: the library's
// own path goes through snprintf for every value.  A write that fails for
// another reason than the library's cut of a value too long for its column
// is reported on stderr and marks the layer as failed.
#pragma once

#include <string_view>

#include "layers/layer_files.h"

namespace egib {

class RecordWriter {
 public:
  RecordWriter(Layer& layer, int record) : layer_(layer), record_(record) {}

  void text(int field, std::string_view value);
  void integer(int field, long value);
  void real(int field, double value);

 private:
  void store_right_aligned(int field, const char* digits, size_t n, int w);
  int width(int field) const;
  void check(bool ok, int field);

  Layer& layer_;
  int record_;
};

}  // namespace egib
