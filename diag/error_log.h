// The three report channels of a run: the console, the per-run log
// "err.log" and the error log that grows across runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
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

// The error log as one run writes it: every message appended on its own
// (the file is opened and closed for each, so concurrent runs of the user
// never interleave their lines), to the place of error_log_path() or, when
// that cannot be written, of error_log_fallback_path(); the console gets a
// message that has no place at all.  It counts what it appended and keeps
// where, for the run's summary.  Safe to use from several threads.
class ErrorLog {
 public:
  // printf-style; formatting is bounded by a 1024-byte buffer.
  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // A message as it stands (formatted already), cut at 1023 characters
  // like a formatted one; one line end is added.
  void append(std::string_view message);
  // How many messages this log has appended to the file.
  uint64_t messages() const;
  // Where it last appended one (empty before the first).
  std::string written_path() const;

 private:
  mutable std::mutex mutex_;
  uint64_t messages_ = 0;
  std::string written_path_;
};

// Byte copy of a file in 512-byte blocks.  An open failure is logged and
// ends the program with status 1.  Returns 0 after a complete copy.
int copy_file(const char* source, const char* target, ErrorLog& error_log);

}  // namespace egib
