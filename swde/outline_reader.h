// Reading the objects of the four layers of the plain run: a parcel's,
// building's or precinct's kept attributes ("D" lines) and its geometry
// lists, handed on as plain values to be assembled into records.
//
// A geometry list is a "GL" line, then "K,+" (outer ring) and "K,-" (hole)
// ring starts and "P" vertex lines: P,G,northing,easting inline, P,P,,id and
// P,K,alt_id references to point objects.  The line that ends a list is the
// object's next line.
#pragma once

#include "diag/message_buffer.h"
#include "layers/outline.h"
#include "swde/line.h"

namespace egib {

// Reads one geometry list, the lines after a "GL" line, into the buffer;
// line holds the line that ended the list on return.
void read_outline(LineReader& in, Line& line, VertexBuffer& vb, const OutlineReading& reading);

// Read the rest of one object (line holds its "RO" line) and append its
// record to the batch, or say "error3" when it has no vertex.  An object
// cut by the end of input is dropped.  write_precinct reads nothing when the
// run writes no precinct layer.
void write_parcel(LineReader& in, Line& line, ObjectAssembly& assembly, ObjectBatch& batch,
                  MessageBuffer& messages);
void write_building(LineReader& in, Line& line, ObjectAssembly& assembly, ObjectBatch& batch,
                    MessageBuffer& messages);
void write_precinct(LineReader& in, Line& line, ObjectAssembly& assembly, ObjectBatch& batch,
                    MessageBuffer& messages);

}  // namespace egib
