#include <unistd.h>

#include "driver/platform.h"
#include "driver/progress.h"

namespace egib {

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void prepare_console() {}

bool stderr_is_terminal() {
  return isatty(STDERR_FILENO) != 0;
}

}  // namespace egib
