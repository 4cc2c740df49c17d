// The file-level grammar shared by both passes: a header line
// ("SWDE.w.2.00" or "SWDE.w.3.00"), then sections "SN", "SP", "ST" (read
// past), "SO" (objects, handled by the pass) and the end "SWDEX"/"SWDEXC".
//
// A pass may run over a part of the file: it starts in a given state (at
// the top level, or inside an object section) and stops at the first line
// at or after the part's end where its grammar is in one of those states
// again, so that another part can start there.
#pragma once

#include <cstdint>
#include <string_view>

#include "diag/message_buffer.h"
#include "swde/line.h"

namespace egib {

enum class GrammarState : uint8_t {
  kTop,      // between sections
  kObjects,  // in an object section, between its lines
  kDone,     // the end-of-file record was read, or the input ended
};

// What a pass does inside an object section.
class ObjectSection {
 public:
  virtual ~ObjectSection() = default;
  // Reads the lines after an "SO" line (or from the reader's position, in
  // the middle of a section) up to the section's "SX"/"SXC" line or the end
  // of input; false when it stopped at the reader's stop position instead,
  // at the top of its loop.
  virtual bool read_section(LineReader& in, Line& line) = 0;
};

struct GrammarEnd {
  GrammarState state;
  int result;  // when done: 1 the end-of-file record was read, 0 the input ended
};

// Walks the sections from the reader's position, in the given state, until
// the end of the file or the reader's stop position.  Messages: unknown
// top-level codes and the end of input to the error log.
GrammarEnd walk_sections(LineReader& in, Line& line, GrammarState state, ObjectSection& section,
                         MessageBuffer& messages);

// The header: the first chunk of the file as it stands (a UTF-8 byte order
// mark dropped), up to its first NUL.
struct Header {
  bool present = false;   // the file has a first line
  bool accepted = false;  // it begins with "SWDE.w.2.00" or "SWDE.w.3.00"
  std::string_view text;  // with its line end
  size_t next = 0;        // where the second line starts
};
Header read_header(std::span<const char> bytes, TextEncoding encoding);

// Messages of the header as a pass gives them: the header echoed on the
// console when accepted, else "ERROR line 1=..." in the error log; for an
// empty file "Couldn't read: line 1".
void header_messages(const Header& header, MessageBuffer& messages);

// Read past an object ("X"/"XC") or a section ("SX"/"SXC"); the terminating
// line stays in line.
void skip_to_object_end(LineReader& in, Line& line);
void skip_sn_section(LineReader& in, Line& line);
void skip_sp_section(LineReader& in, Line& line);
void skip_st_section(LineReader& in, Line& line);

}  // namespace egib
