// The three report channels of a run: the console, the per-run log
// "err.log" and the error log that grows across runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

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

// printf-style message appended to the error log, opened and closed for
// every message; the console gets it when the log cannot be opened.
// Formatting is bounded by a 1024-byte buffer.
void log_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// How many messages this process has appended to the error log.
uint64_t error_log_messages();

// Byte copy of a file in 512-byte blocks.  An open failure is logged and
// ends the program with status 1.  Returns 0 after a complete copy.
int copy_file(const char* source, const char* target);

// The run log "err.log": opened (emptied) by the driver, held for the run.
std::FILE* run_log();
void set_run_log(std::FILE* stream);

}  // namespace egib
