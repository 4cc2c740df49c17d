// System codes and the transformation dispatcher: converts the outline in
// the VertexBuffer from the run's input system into its output system.
#pragma once

namespace egib {

// Converts every vertex of the VertexBuffer in place; always returns 0.
int transform_vertices();

}  // namespace egib
