#include "swde/outline_reader.h"

#include <string>
#include <string_view>

#include "swde/object_lines.h"

namespace egib {

void read_outline(LineReader& in, Line& line, VertexBuffer& vb, const OutlineReading& reading) {
  GeometryList& list = vb.list;
  list.clear();
  bool input_ended = false;
  for (;;) {
    if (!in.next(line)) {
      input_ended = true;
      break;
    }
    if (line.is_ignorable()) continue;
    if (line.code_is("K")) {
      const bool outer = line.field_is(1, "+");
      if (!outer && !line.field_is(1, "-")) break;
      list.add_ring_start(outer);
      continue;
    }
    if (!line.code_is("P")) break;
    const std::string_view kind = line.field(1);
    if (kind == "G") {
      list.add_inline(to_double(line.field(2)), to_double(line.field(3)));
    } else if (kind == "P") {
      list.add_reference(line.field(3), false);
    } else if (kind == "K") {
      list.add_reference(line.field(2), true);
    } else {
      std::string message = "nieznay punkt ";
      for (int k = 0; k < 5; ++k) {
        if (k > 0) message += ',';
        message += line.field(k);
      }
      list.add_unknown(message);
    }
  }
  add_geometry_list(vb, reading, in.lines_read(), input_ended);
}

namespace {

void keep_attribute(Line& line, KeptAttributes& attributes) {
  for (int i = 0; i < KeptAttributes::kMax && !attributes.names[i].empty(); ++i) {
    if (line.field_is(1, attributes.names[i])) {
      // A value the reader cut at 99 characters is taken whole from the
      // line, so that a column of 100 gets its 100th character.
      const std::string_view whole = line.whole_field(3);
      attributes.set(i, whole, whole.size() == line.field(3).size() && line.field_cut(3));
    }
  }
}

// An object of the plain run's layers: its kept attributes, and its
// outline into the buffer.
class KeptObject final : public ObjectLines {
 public:
  KeptObject(KeptAttributes& attributes, VertexBuffer& vb, const OutlineReading& reading)
      : attributes_(attributes), vb_(vb), reading_(reading) {}
  void attribute(LineReader&, Line& line) override { keep_attribute(line, attributes_); }
  bool geometry_list(LineReader& in, Line& line) override {
    read_outline(in, line, vb_, reading_);
    return !(line.code().empty() && line.text().empty());  // cut by the end of input
  }

 private:
  KeptAttributes& attributes_;
  VertexBuffer& vb_;
  const OutlineReading& reading_;
};

void write_object(LineReader& in, Line& line, ObjectKind kind, ObjectAssembly& a,
                  ObjectBatch& batch, MessageBuffer& messages) {
  a.vb.clear();
  const uint64_t head_offset = in.offset_of(line);
  KeptAttributes attributes = kept_attributes(kind);
  const OutlineReading reading{&a.points, a.easting_first, &messages, &a.stats};
  KeptObject object(attributes, a.vb, reading);
  if (!read_object_lines(in, line, object)) return;  // cut by the end of input
  assemble_object(kind, attributes, head_offset, in.lines_read(), a, batch, messages);
}

}  // namespace

void write_parcel(LineReader& in, Line& line, ObjectAssembly& a, ObjectBatch& batch,
                  MessageBuffer& messages) {
  write_object(in, line, ObjectKind::kParcel, a, batch, messages);
}

void write_building(LineReader& in, Line& line, ObjectAssembly& a, ObjectBatch& batch,
                    MessageBuffer& messages) {
  write_object(in, line, ObjectKind::kBuilding, a, batch, messages);
}

void write_precinct(LineReader& in, Line& line, ObjectAssembly& a, ObjectBatch& batch,
                    MessageBuffer& messages) {
  // Without the precinct layer the object is read past line by line by the
  // caller, as any other object, and its references are not looked up.
  if (!a.precincts) return;
  write_object(in, line, ObjectKind::kPrecinct, a, batch, messages);
}

}  // namespace egib
