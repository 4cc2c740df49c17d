#include "diag/error_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "diag/file_system.h"

namespace egib {

namespace {
// Messages are formatted into this much at most, as they always were.
constexpr size_t kMessageChars = 1024;
}  // namespace

uint64_t ErrorLog::messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

std::string ErrorLog::written_path() const {
  const std::lock_guard lock(mutex_);
  return written_path_;
}

std::string error_log_path() {
#if defined(_WIN32)
  return "c:\\ZOV_uriri.txt";
#else
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  std::string path(home);
  if (path.back() != '/') path += '/';
  path += "ZOV_uriri.txt";
  return path;
#endif
}

std::string error_log_fallback_path() {
#if defined(_WIN32)
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || *local == '\0') return {};
  std::string path(local);
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  return path + "egib2shp\\ZOV_uriri.txt";
#else
  return {};
#endif
}

void ErrorLog::appendf(const char* format, ...) {
  char message[kMessageChars];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  append(message);
}

void ErrorLog::append(std::string_view text) {
  // The log is shared by every run of the user, concurrent ones included:
  // each message goes in with one append, so lines of different runs never
  // interleave.  Formatting is bounded as it always was.
  const std::string_view message = text.substr(0, std::min(text.size(), kMessageChars - 1));
  char line[kMessageChars + 1];
  if (!message.empty()) std::memcpy(line, message.data(), message.size());
  line[message.size()] = '\n';
  const std::string_view bytes(line, message.size() + 1);
  for (const std::string& path : {error_log_path(), error_log_fallback_path()}) {
    if (path.empty()) continue;
    bool appended = append_shared(path, bytes);
    if (!appended && path != error_log_path()) {
      // The fallback folder is ours to create.
      const size_t sep = path.find_last_of("/\\");
      appended = sep != std::string::npos && make_directories(path.substr(0, sep)) &&
                 append_shared(path, bytes);
    }
    if (appended) {
      const std::lock_guard lock(mutex_);
      ++messages_;
      if (written_path_ != path) written_path_ = path;
      return;
    }
  }
  std::fflush(stdout);
  std::fwrite(line, 1, message.size() + 1, stdout);
}

int copy_file(const char* source, const char* target, ErrorLog& error_log) {
  FilePtr in(open_file(source, "rb"));
  if (!in) {
    error_log.appendf("Error while opening %s for reading: %s\n", source, std::strerror(errno));
    std::exit(1);
  }
  FilePtr out(open_file(target, "wb"));
  if (!out) {
    error_log.appendf("Error while opening %s for writing: %s:\n", target, std::strerror(errno));
    std::exit(1);
  }
  char block[512];
  size_t got = std::fread(block, 1, sizeof block, in.get());
  while (got == sizeof block) {
    std::fwrite(block, 1, got, out.get());
    got = std::fread(block, 1, sizeof block, in.get());
  }
  if (got > 0) std::fwrite(block, 1, got, out.get());
  return 0;
}

}  // namespace egib
