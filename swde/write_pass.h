// The writing pass: the second reading of the file, which hands every parcel
// (G5DZE, G5G_DZE) and building (G5BUD, G5G_BUD) object, and with the
// precinct layer every precinct (G5OBR, G5G_OBR), to its writer, which turns
// it into a record for its layer.
#pragma once

#include "diag/message_buffer.h"
#include "layers/outline.h"
#include "swde/file_grammar.h"

namespace egib {

// What the pass makes of one part of the file.
struct WrittenPart {
  ObjectBatch objects;
  MessageBuffer messages;
  OutlineStats stats;
  int64_t objects_without_vertex = 0;  // "error3"

  // Empty again, keeping its memory for the next part.
  void clear() {
    objects.clear();
    messages.clear();
    stats = {};
    objects_without_vertex = 0;
  }
};

class WritePass : public ObjectSection {
 public:
  WritePass(WrittenPart& part, ObjectAssembly& assembly) : part_(part), assembly_(assembly) {}
  bool read_section(LineReader& in, Line& line) override { return write_objects(in, line); }
  // One "SO" section; false when stopped at the reader's stop position.
  bool write_objects(LineReader& in, Line& line);

 private:
  WrittenPart& part_;
  ObjectAssembly& assembly_;
};

}  // namespace egib
