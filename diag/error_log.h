// The three report channels of a run: the console, the per-run log
// "err.log" and the error log that grows across runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace egib {

// Owning handle of a C stream; every file the program opens goes through one.
struct FileCloser {
  void operator()(std::FILE* f) const noexcept {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Where the error log lives.  On Windows the historical fixed path
// "c:\ZOV_uriri.txt"; elsewhere ZOV_uriri.txt in $HOME.  Empty when there
// is no place for it (HOME unset), in which case messages go to the console.
std::string error_log_path();
// Where it goes when that path cannot be written: on Windows (where an
// ordinary user may not create files in C:\) ZOV_uriri.txt in the folder
// egib2shp of %LOCALAPPDATA%; empty elsewhere.
std::string error_log_fallback_path();
// Where this process last appended a message (empty before the first).
std::string error_log_written_path();

// printf-style message appended to the error log, opened and closed for
// every message; the console gets it when the log cannot be opened.
// Formatting is bounded by a 1024-byte buffer.
void log_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A message as it stands (formatted already), appended the same way; cut
// at 1023 characters like a formatted one.
void log_error_text(std::string_view message);
// How many messages this process has appended to the error log.
uint64_t error_log_messages();

// Byte copy of a file in 512-byte blocks.  An open failure is logged and
// ends the program with status 1.  Returns 0 after a complete copy.
int copy_file(const char* source, const char* target);

}  // namespace egib
