#include "driver/progress.h"

namespace egib {

namespace {

using Clock = std::chrono::steady_clock;

// Redraws at most five times a second.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

void format_duration(double seconds, char* out, size_t size) {
  if (!(seconds >= 0) || seconds > 359999) {
    std::snprintf(out, size, "--:--");
    return;
  }
  const long s = static_cast<long>(seconds + 0.5);
  if (s >= 3600) {
    std::snprintf(out, size, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(out, size, "%ld:%02ld", s / 60, s % 60);
  }
}

}  // namespace

PassProgress::PassProgress(const char* name, uint64_t total_bytes, bool enabled)
    : name_(name),
      total_(total_bytes),
      enabled_(enabled && total_bytes > 0),
      start_(Clock::now()),
      last_draw_(start_) {
  if (enabled_) draw(0, false);
}

PassProgress::~PassProgress() {
  finish();
}

void PassProgress::update(uint64_t bytes_read) {
  if (!enabled_ || finished_) return;
  const auto now = Clock::now();
  if (now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  draw(bytes_read, false);
}

void PassProgress::finish() {
  if (!enabled_ || finished_) return;
  finished_ = true;
  draw(total_, true);
}

void PassProgress::draw(uint64_t bytes_read, bool final) {
  if (bytes_read > total_) bytes_read = total_;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double mb = static_cast<double>(bytes_read) / 1e6;
  const double rate = elapsed > 0 ? mb / elapsed : 0;
  const double percent = 100.0 * static_cast<double>(bytes_read) / static_cast<double>(total_);
  char when[32];
  if (final) {
    format_duration(elapsed, when, sizeof when);
  } else {
    const double left_mb = static_cast<double>(total_ - bytes_read) / 1e6;
    format_duration(rate > 0 ? left_mb / rate : -1, when, sizeof when);
  }
  // \r and the clearing escape rewrite the same terminal line.
  std::fprintf(stderr, "\r\033[K%-18s %5.1f %%  %8.1f MB/s  %s %s%s", name_, percent, rate, when,
               final ? "taken" : "left", final ? "\n" : "");
  std::fflush(stderr);
}

}  // namespace egib
