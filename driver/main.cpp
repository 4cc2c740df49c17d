#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/platform.h"

int main(int argc, char** argv) {
  egib::prepare_console();
  egib::keep_freed_memory();
  std::vector<std::string> args = egib::command_line_arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  return egib::run_converter(static_cast<int>(args.size()), pointers.data());
}
