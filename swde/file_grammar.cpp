#include "swde/file_grammar.h"

#include <cstring>
#include <string>

namespace egib {

namespace {

template <typename IsEnd>
void skip_until(LineReader& in, Line& line, IsEnd is_end) {
  while (in.next(line)) {
    if (is_end(line)) return;
  }
}

}  // namespace

void skip_to_object_end(LineReader& in, Line& line) {
  skip_until(in, line, [](const Line& l) { return l.is_object_end(); });
}

void skip_sn_section(LineReader& in, Line& line) {
  skip_until(in, line, [](const Line& l) { return l.is_section_end(); });
}

void skip_sp_section(LineReader& in, Line& line) {
  skip_until(in, line, [](const Line& l) { return l.is_section_end(); });
}

void skip_st_section(LineReader& in, Line& line) {
  while (in.next(line)) {
    if (line.code_is("TD")) {
      skip_to_object_end(in, line);
      continue;
    }
    if (line.is_section_end()) return;
  }
}

GrammarEnd walk_sections(LineReader& in, Line& line, GrammarState state, ObjectSection& section,
                         MessageBuffer& messages) {
  if (state == GrammarState::kObjects && !section.read_section(in, line)) {
    return {GrammarState::kObjects, 0};
  }
  for (;;) {
    if (in.at_stop()) return {GrammarState::kTop, 0};
    if (!in.next(line)) break;
    if (line.is_ignorable()) continue;
    if (line.code_is("SN")) {
      skip_sn_section(in, line);
    } else if (line.code_is("SP")) {
      skip_sp_section(in, line);
    } else if (line.code_is("ST")) {
      skip_st_section(in, line);
    } else if (line.code_is("SO")) {
      if (!section.read_section(in, line)) return {GrammarState::kObjects, 0};
    } else if (line.is_file_end()) {
      return {GrammarState::kDone, 1};
    } else {
      std::string after = " code='";
      after += line.code();
      after += "' Unknown swde code\n";
      messages.add_with_line(Channel::kErrorLog, "line=", in.lines_read(), after);
    }
  }
  messages.add_with_line(Channel::kErrorLog, "read_swde_line failed ", in.lines_read(), "\n");
  return {GrammarState::kDone, 0};
}

Header read_header(std::span<const char> bytes, TextEncoding encoding) {
  Header h;
  if (bytes.empty()) return h;
  h.present = true;
  const size_t n = chunk_length(bytes.data(), bytes.size());
  h.next = n;
  std::string_view text(bytes.data(), n);
  if (encoding == TextEncoding::kUtf8 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  h.text = text;
  h.accepted = text.substr(0, 11) == "SWDE.w.2.00" || text.substr(0, 11) == "SWDE.w.3.00";
  return h;
}

void header_messages(const Header& header, MessageBuffer& messages) {
  if (!header.present) {
    messages.add(Channel::kErrorLog, "Couldn't read: line 1\n");
    return;
  }
  std::string text(header.text);
  if (header.accepted) {
    messages.add(Channel::kConsole, text + "\n");
  } else {
    messages.add(Channel::kErrorLog, "ERROR line 1=" + text + "\n");
  }
}

}  // namespace egib
