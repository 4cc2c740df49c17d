// What the entry needs of the platform: the arguments as UTF-8, the
// console set up for the program's output, the C library's memory.
#pragma once

#include <string>
#include <vector>

namespace egib {

// The command-line arguments, UTF-8 encoded (on Windows taken from the
// wide-character command line, whatever the console's code page).
std::vector<std::string> command_line_arguments(int argc, char** argv);
// Output exactly as written (no CRLF for LF on Windows); a Windows console
// shows the Windows-1250 texts of the messages with their Polish letters.
void prepare_console();
// The memory of one stage kept for the next: buffers of tens of megabytes
// given back to the system and asked for again were cleared page by page
// by the kernel each time (a twentieth of a county's run with --all).
void keep_freed_memory();

}  // namespace egib
