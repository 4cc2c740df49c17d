// The lines of one object of an object section, read in one place for
// every reader of objects (the layers of the plain run, the whole
// register).  After the object's head line ("RO", "RP", "RD", "RC"):
//
//   D,<name>,,<value>                  an attribute
//   WG,<name>,,<identifier>            a relation to another object
//   WL,<name>,<identifier>             the same, the other layout
//   GL, then K,+ / K,- / P,... lines   a geometry list; the line that ends
//                                      it is the object's next line
//   P,G,<first>,<second>               a point object's own place
//   X or XC                            the end of the object
//
// Empty lines and comments ("C") are read past; any other line is handed
// on as such.
#pragma once

#include "swde/line.h"

namespace egib {

// What a reader does with each kind of line of an object; a kind it does
// not take is read past.
class ObjectLines {
 public:
  virtual ~ObjectLines() = default;
  // line holds a "D" line.
  virtual void attribute(LineReader&, Line&) {}
  // line holds a "WG" or "WL" line.
  virtual void relation(LineReader&, Line&) {}
  // line holds a "GL" line: the list is read, and line holds the line that
  // ended it on return.  False when the input ended inside the list.
  virtual bool geometry_list(LineReader& in, Line& line) = 0;
  // line holds a "P,G" line outside any list.
  virtual void own_point(Line&) {}
  // line holds a line of none of the kinds above (a "P" line other than
  // "P,G" outside any list, an unknown code).
  virtual void other(LineReader&, Line&) {}
  // Whether line ends the object before it, although the object has no
  // "X" (the next object's head, the section's end, in a malformed file):
  // the line is then left to be read again.  The layers of the plain run
  // read such an object on to the next "X".
  virtual bool ends_before(Line&) { return false; }
};

// Reads the lines after an object's head line up to its "X"/"XC" (left in
// line) or a line that ends it before (left to be read again), handing
// each to object; false when the input ends first.
bool read_object_lines(LineReader& in, Line& line, ObjectLines& object);

}  // namespace egib
