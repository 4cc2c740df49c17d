// clang-format off
#include <windows.h>  // before shellapi.h, which builds on it
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "diag/windows_text.h"
#include "driver/platform.h"
#include "driver/progress.h"

namespace egib {

namespace {

bool is_console(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  // argv is in the ANSI code page, which cannot hold every name; the wide
  // command line can.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(utf8_of(wide[i]));
  LocalFree(wide);
  return args;
}

void prepare_console() {
  // The console output, err.log and the layers are byte for byte as on
  // Linux: no CRLF for LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE)) {
    // The messages' texts are Windows-1250 (the file's names and numbers
    // among them), which a Polish console then shows as they are.  The
    // console's own code page is given back at the end: the setting
    // outlives the program in the user's window.
    static UINT console_code_page = 0;
    console_code_page = GetConsoleOutputCP();
    if (console_code_page != 1250 && SetConsoleOutputCP(1250)) {
      std::atexit([] { SetConsoleOutputCP(console_code_page); });
    }
  }
  if (is_console(STD_ERROR_HANDLE)) {
    // The progress line redraws itself with \r and an erase escape.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode)) {
      SetConsoleMode(err, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
  }
}

void keep_freed_memory() {
  // The heap stays as the system sets it up (not measured there).
}

bool stderr_is_terminal() {
  // _isatty is non-zero (not 1) for a console, and also for the NUL device;
  // only a console has a console mode.
  return is_console(STD_ERROR_HANDLE);
}

}  // namespace egib
