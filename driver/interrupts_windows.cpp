// Ctrl-C, Ctrl-Break or closing the console window: the working files of
// the layers are removed before the process ends, with the status a shell
// on Linux reports for the same stop (128 + the signal's number).
#include <windows.h>

#include <string>

#include "diag/windows_text.h"
#include "driver/interrupts.h"

namespace egib {

namespace {

// Filled before the handler is installed and not changed while it may run
// (it runs on a thread of its own that the system starts).
std::vector<std::wstring>& interrupted_cleanup() {
  static std::vector<std::wstring> files;
  return files;
}

BOOL WINAPI remove_work_files_and_exit(DWORD event) {
  // The working files are open with FILE_SHARE_DELETE: deleting them now
  // lets them go as soon as the process closes them.
  for (const std::wstring& f : interrupted_cleanup()) DeleteFileW(f.c_str());
  const UINT status = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 128 + 2   // SIGINT
                                                                         : 128 + 1;  // SIGHUP
  // At once: the main thread may hold the C runtime's locks, which an orderly
  // exit would wait for; the system closes (and so deletes) the files.
  TerminateProcess(GetCurrentProcess(), status);
  return TRUE;
}

}  // namespace

void remove_work_files_on_signals(const std::vector<Layer*>& layers,
                                  const std::vector<std::string>& more) {
  default_signals();
  std::vector<std::wstring>& files = interrupted_cleanup();
  files.clear();
  for (const Layer* layer : layers) {
    for (const std::string& f : layer->work_files()) files.push_back(native_path(f));
  }
  for (const std::string& f : more) files.push_back(native_path(f));
  SetConsoleCtrlHandler(remove_work_files_and_exit, TRUE);
}

void default_signals() {
  SetConsoleCtrlHandler(remove_work_files_and_exit, FALSE);
}

}  // namespace egib
