#include "geodesy/transform.h"

namespace egib {

int transform_vertices() {
  return 0;
}

}  // namespace egib
