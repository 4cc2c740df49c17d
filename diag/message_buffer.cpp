#include "diag/message_buffer.h"

#include <charconv>

#include "diag/error_log.h"

namespace egib {

void MessageBuffer::add(Channel channel, std::string_view text) {
  const auto begin = static_cast<uint32_t>(text_.size());
  text_ += text;
  const auto end = static_cast<uint32_t>(text_.size());
  messages_.push_back({channel, false, 0, begin, end, end});
}

void MessageBuffer::add_with_line(Channel channel, std::string_view before, int32_t line,
                                  std::string_view after) {
  const auto begin = static_cast<uint32_t>(text_.size());
  text_ += before;
  const auto split = static_cast<uint32_t>(text_.size());
  text_ += after;
  messages_.push_back({channel, true, line, begin, split, static_cast<uint32_t>(text_.size())});
}

void MessageBuffer::add_cut(int32_t line, std::string_view kind, std::string_view name,
                            std::string_view what, std::string_view value, std::string_view why) {
  std::string after = " ";
  after += kind;
  after += " '";
  after += name;
  after += "': ";
  after += what;
  after += " '";
  after += value;
  after += "' ";
  after += why;
  after += '\n';
  add_with_line(Channel::kErrorLog, "line=", line, after);
}

void MessageBuffer::clear() {
  messages_.clear();
  text_.clear();
}

void MessageBuffer::replay(int32_t line_base, std::FILE* console, std::FILE* run_log,
                           ErrorLog& error_log) const {
  std::string message;
  for (const Message& m : messages_) {
    message.assign(text_, m.begin, m.split - m.begin);
    if (m.numbered) {
      char digits[16];
      const auto r = std::to_chars(digits, digits + sizeof digits, line_base + m.line);
      message.append(digits, r.ptr);
    }
    message.append(text_, m.split, m.end - m.split);
    switch (m.channel) {
      case Channel::kConsole:
        std::fwrite(message.data(), 1, message.size(), console);
        break;
      case Channel::kRunLog:
        if (run_log != nullptr) std::fwrite(message.data(), 1, message.size(), run_log);
        break;
      case Channel::kErrorLog:
        error_log.append(message);
        break;
    }
  }
}

}  // namespace egib
