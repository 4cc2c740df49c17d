// A run stopped by Ctrl-C or a kill (SIGINT, SIGTERM, SIGHUP) removes the
// layers' working files before it ends, so nothing half-written is left.
#pragma once

#include <string>
#include <vector>

#include "layers/layer_files.h"

namespace egib {

// From now on a signal removes the working files of these layers, and the
// other working files and (empty) folders named in more.
void remove_work_files_on_signals(const std::vector<Layer*>& layers,
                                  const std::vector<std::string>& more = {});
// Back to the default handling (the run renames or removes them itself).
void default_signals();

}  // namespace egib
