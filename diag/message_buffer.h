// Messages of a stretch of work held back to be given out later, in their
// order: the console (standard output), the run log and the error log.  A
// pass over part of the input counts its lines from where it started; the
// line numbers its messages carry are completed when they are given out,
// once the number of the part's first line is known.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace egib {

class ErrorLog;

enum class Channel : uint8_t { kConsole, kRunLog, kErrorLog };

class MessageBuffer {
 public:
  // A message as it stands.
  void add(Channel channel, std::string_view text);
  // A message with a line number between before and after: the number of
  // the line counted from the part's start (1 for its first line).
  void add_with_line(Channel channel, std::string_view before, int32_t line,
                     std::string_view after);
  // A text that was cut, named in the error log with what holds it:
  // "line=N <kind> '<name>': <what> '<value>' <why>" (kind "object" or
  // "point").
  void add_cut(int32_t line, std::string_view kind, std::string_view name, std::string_view what,
               std::string_view value, std::string_view why);

  bool empty() const { return messages_.empty(); }
  void clear();

  // Gives the messages out in order, lines numbered from line_base (the
  // number of the line before the part's first): the console with fwrite
  // to console, the run log to run_log, the error log to error_log.
  void replay(int32_t line_base, std::FILE* console, std::FILE* run_log, ErrorLog& error_log) const;

 private:
  struct Message {
    Channel channel;
    bool numbered;
    int32_t line;
    uint32_t begin;  // text: before in [begin, split), after in [split, end)
    uint32_t split;
    uint32_t end;
  };
  std::vector<Message> messages_;
  std::string text_;
};

}  // namespace egib
