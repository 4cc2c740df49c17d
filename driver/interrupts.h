// A run stopped by Ctrl-C or a kill (SIGINT, SIGTERM, SIGHUP) removes the
// layers' working files before it ends, so nothing half-written is left.
#pragma once

#include <vector>

#include "layers/layer_files.h"

namespace egib {

// From now on a signal removes the working files of these layers.
void remove_work_files_on_signals(const std::vector<Layer*>& layers);
// Back to the default handling (the run renames or removes them itself).
void default_signals();

}  // namespace egib
