#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "driver/platform.h"
#include "driver/progress.h"

namespace egib {

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void prepare_console() {}

void keep_freed_memory() {
#if defined(__GLIBC__)
  // Blocks below 32 MiB (the most glibc allows here) come from the heap,
  // not from mappings of their own, and the heap is not trimmed: freed,
  // they are used again as they are.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

bool stderr_is_terminal() {
  return isatty(STDERR_FILENO) != 0;
}

}  // namespace egib
