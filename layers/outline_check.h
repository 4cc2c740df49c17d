// Validity of outlines as GEOS (the geometry engine of QGIS and PostGIS)
// sees them, and their repair: the checks surveyors make of a county file
// (rings that cross themselves, holes outside their shell, rings of too few
// points).
//
// An outline is read as SWDE gives it: each outer ring ("K,+", or a list
// without "K") with the holes ("K,-") that follow it is one polygon, several
// outer rings a multipolygon.
#pragma once

#include <memory>
#include <string>

namespace egib {

struct VertexBuffer;

enum class OutlineCheck { kNone, kValidate, kMakeValid };

class OutlineChecker {
 public:
  OutlineChecker();
  ~OutlineChecker();
  OutlineChecker(const OutlineChecker&) = delete;
  OutlineChecker& operator=(const OutlineChecker&) = delete;

  struct Verdict {
    bool valid = true;
    std::string reason;  // GEOS's reason, with its location, when not valid
  };
  // Whether the outline in the buffer (rings closed) is a valid polygon.
  Verdict check(const VertexBuffer& vb);
  // Replaces the outline by GEOS's repair of it, its polygonal part only,
  // as outer rings and holes; false when nothing polygonal is left (the
  // buffer is then empty).
  bool make_valid(VertexBuffer& vb);

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace egib
