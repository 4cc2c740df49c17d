// The program's entry: command line, the two passes over the SWDE input and
// clean-up.
#pragma once

#include <string>
#include <string_view>

namespace egib {

// Base name of the layers: the input path cut at the last '.' of its file
// name.  A '.' in a directory name is kept.
std::string layer_base_name(std::string_view input_path);

struct Options;
// The same with the output directory of the options in front of the file
// name.
std::string layer_base_for(const Options& options);

// The whole run; returns the exit status.
int run_converter(int argc, char** argv);

}  // namespace egib
