// The collecting pass: the first reading of the file, which gathers every
// point object (G5PZG) into the points array so that the writing pass can
// resolve the references of parcel and building outlines.
#pragma once

#include "swde/line_reader.h"

namespace egib {

int collect_pass(SwdeInput& in);
void collect_objects(SwdeInput& in, SwdeLine& line);
void collect_point(SwdeInput& in, SwdeLine& line);
void collect_precinct(SwdeInput& in, SwdeLine& line);

}  // namespace egib
