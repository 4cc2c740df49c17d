#include "driver/interrupts.h"

#include <unistd.h>

#include <csignal>
#include <string>

namespace egib {

namespace {

// The working files an interrupted run removes.  Filled before the handlers
// are installed and not changed while they may run: a signal handler can
// reach nothing but such a process-wide list.
std::vector<std::string>& interrupted_cleanup() {
  static std::vector<std::string> files;
  return files;
}

extern "C" void remove_work_files_and_die(int sig) {
  for (const std::string& f : interrupted_cleanup()) {
    if (unlink(f.c_str()) != 0) rmdir(f.c_str());
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void remove_work_files_on_signals(const std::vector<Layer*>& layers,
                                  const std::vector<std::string>& more) {
  default_signals();
  std::vector<std::string>& files = interrupted_cleanup();
  files.clear();
  for (const Layer* layer : layers) {
    for (std::string& f : layer->work_files()) files.push_back(std::move(f));
  }
  files.insert(files.end(), more.begin(), more.end());
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, remove_work_files_and_die);
}

void default_signals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
}

}  // namespace egib
