// Progress of a pass over the input, shown on a terminal only: one line on
// stderr that rewrites itself with the pass name, the share of the input
// read, the reading speed and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace egib {

class PassProgress {
 public:
  // Shows nothing unless enabled (stderr is a terminal) and the input size
  // is known.
  PassProgress(const char* name, uint64_t total_bytes, bool enabled);
  ~PassProgress();
  PassProgress(const PassProgress&) = delete;
  PassProgress& operator=(const PassProgress&) = delete;

  void update(uint64_t bytes_read);
  // Completes the line (100 %) and ends it.
  void finish();

 private:
  void draw(uint64_t bytes_read, bool final);

  const char* name_;
  uint64_t total_;
  bool enabled_;
  bool finished_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

// True when stderr is a terminal.
bool stderr_is_terminal();

}  // namespace egib
