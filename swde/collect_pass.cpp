#include "swde/collect_pass.h"

#include <algorithm>
#include <limits>
#include <string>

#include "swde/object_lines.h"
#include "swde/outline_reader.h"

namespace egib {

namespace {

// A cut text of a point, named with the point in the error log and
// counted.
void note_point_cut(std::string_view point, std::string_view what, std::string_view value,
                    const char* why, const LineReader& in, CollectedPart& part) {
  part.messages.add_cut(in.lines_read(), "point", point, what, value, why);
  ++part.stats.texts_cut;
}

// Field k of the line as a text of the point, whole (up to the reader's
// field limit); a cut by the reader is reported.
std::string_view point_text(Line& line, int k, std::string_view point, const char* what,
                            const LineReader& in, CollectedPart& part) {
  const std::string_view value = line.field(k);
  if (line.field_cut(k)) note_point_cut(point, what, value, "cut by the reader", in, part);
  return value;
}

// The value of a field kept in a point's text buffer until the point ends.
struct PointText {
  char text[kFieldChars];
  uint8_t length = 0;
  void set(std::string_view v) {
    std::copy(v.begin(), v.end(), text);
    length = static_cast<uint8_t>(v.size());
  }
  std::string_view view() const { return {text, length}; }
};

int32_t to_int32(std::string_view s) {
  return static_cast<int32_t>(to_long(s));
}

// The section's loop looks at "RP", "RO", "SX" and "SXC", and at "P" lines
// while it samples inline vertices.
const std::array<bool, 256> kWanted = LineReader::wanted_first_bytes("RS");
const std::array<bool, 256> kWantedSampling = LineReader::wanted_first_bytes("RSP");

}  // namespace

bool CollectPass::collect_objects(LineReader& in, Line& line) {
  for (;;) {
    in.skip_lines_not_starting_with(
        part_.inline_pairs.size() < CollectedPart::kPartSample ? kWantedSampling : kWanted);
    if (in.at_stop()) return false;
    if (!in.next(line)) return true;
    const std::string_view code = line.code();
    if (code == "RP") {
      if (line.field_is(2, "G5PZG")) collect_point(in, line);
    } else if (code == "RO") {
      if (line.field_is(2, "G5G_OBR") || line.field_is(2, "G5OBR")) collect_precinct(in, line);
    } else if (line.is_section_end()) {
      return true;
    } else if (code == "P") {
      sampler_.seen(line);  // a vertex given inline in an object this pass reads past
    }
  }
}

bool CollectPass::collect_and_count(LineReader& in, Line& line) {
  // The loop of collect_objects, and every other object read as the
  // register reads it.
  for (;;) {
    const bool sampling = part_.inline_pairs.size() < CollectedPart::kPartSample;
    in.skip_lines_not_starting_with(sampling ? kWantedSampling : kWanted);
    if (in.at_stop()) return false;
    if (!in.next(line)) return true;
    if (line.is_section_end()) return true;
    const std::string_view code = line.code();
    if (code == "P") {
      sampler_.seen(line);
      continue;
    }
    if (!is_object_head(line)) continue;
    if (code == "RP" && line.field_is(2, "G5PZG")) {
      collect_point(in, line);
    } else if (code == "RO" && (line.field_is(2, "G5G_OBR") || line.field_is(2, "G5OBR"))) {
      collect_precinct(in, line);
    } else {
      if (!read_register_object(in, line, object_, nullptr, false, sampling ? &sampler_ : nullptr))
        return true;
      part_.census.add(object_);
    }
  }
}

void CollectPass::count_object(LineReader& in, Line& line, const LineReader::Mark& start,
                               bool complete, bool taken) {
  if (taken) {
    // Read alike: the register would have taken the same lines, the same
    // values from them, and (at the end of input) dropped it the same way.
    if (complete) part_.census.add(object_);
    return;
  }
  const LineReader::Mark end = in.mark();
  in.rewind(start);
  in.next(line);  // the head line again
  const bool counted = read_register_object(in, line, object_, nullptr, false);
  if (counted != complete || in.position() != end.position) {
    part_.census_whole = false;  // the two readings part here: the census reads the file again
  } else if (counted) {
    part_.census.add(object_);
  }
  in.rewind(end);
}

void InlineSampler::seen(Line& line) {
  if (line.code_is("P") && part_.inline_pairs.size() < CollectedPart::kPartSample &&
      line.field_is(1, "G")) {
    part_.sample_inline(to_double(line.field(2)), to_double(line.field(3)));
  }
}

namespace {

// A point's lines read by the pass's own reader of them, its values taken
// on the way as the register takes them; alike() tells whether the
// register would have read the same lines the same way (no line that would
// end the object before its "X", no geometry list, no line long enough to
// be cut).
class CountedPointLines final : public ObjectLines {
 public:
  CountedPointLines(ObjectLines& reader, RegisterObject& object)
      : reader_(reader), object_(object) {}
  bool alike() const { return alike_; }

  void attribute(LineReader& in, Line& line) override {
    if (alike_ && !add_register_value(line, true, object_)) alike_ = false;
    reader_.attribute(in, line);
  }
  void relation(LineReader& in, Line& line) override {
    if (alike_ && !add_register_value(line, false, object_)) alike_ = false;
    reader_.relation(in, line);
  }
  bool geometry_list(LineReader& in, Line& line) override {
    alike_ = false;  // the register only counts a list; a point takes its lines as its place
    return reader_.geometry_list(in, line);
  }
  void own_point(Line& line) override {
    object_.has_own_point = true;
    reader_.own_point(line);
  }
  void other(LineReader& in, Line& line) override { reader_.other(in, line); }
  bool ends_before(Line& line) override {
    if (ends_object_before(line)) alike_ = false;
    return reader_.ends_before(line);
  }

 private:
  ObjectLines& reader_;
  RegisterObject& object_;
  bool alike_ = true;
};

// A point object: its identifiers, texts and numbers, and its place.
class PointLines final : public ObjectLines {
 public:
  PointLines(CollectedPart& part, std::string_view id) : part_(part) { id_.set(id); }

  PointText alt_id, nrp, ozr, rkrg;
  // A point without a P,G line has no coordinates (not 0, 0).
  double x = std::numeric_limits<double>::quiet_NaN();
  double y = std::numeric_limits<double>::quiet_NaN();
  PointAttributes attributes;

  std::string_view id() const { return id_.view(); }

  void attribute(LineReader& in, Line& line) override {
    const std::string_view name = line.field(1);
    if (name == "G5NRP") {
      const std::string_view value = point_text(line, 3, id(), "G5NRP", in, part_);
      // The number is kept to 50 characters, the width of its column.
      if (value.size() > kPointNumberChars) {
        note_point_cut(id(), "G5NRP", value, "cut to 50 characters", in, part_);
      }
      nrp.set(value.substr(0, kPointNumberChars));
    } else if (name == "G5OZR") {
      ozr.set(point_text(line, 3, id(), "G5OZR", in, part_));
    } else if (name == "G5STB") {
      attributes.g5stb = to_int32(line.field(3));
    } else if (name == "G5ZRD") {
      attributes.g5zrd = to_int32(line.field(3));
    } else if (name == "G5BPP") {
      attributes.g5bpp = to_int32(line.field(3));
    } else if (name == "G5RZG") {
      attributes.g5rzg = to_int32(line.field(3));
    }
  }
  void relation(LineReader& in, Line& line) override {
    if (!line.field_is(1, "G5RKRG")) return;
    const bool wl = line.code_is("WL");
    rkrg.set(point_text(line, wl ? 2 : 3, id(), "G5RKRG", in, part_));
    attributes.g5rkrg_from_wl = wl ? 1 : 0;
  }
  // A point has no geometry list: the lines of one are read as the
  // point's own, its "P,G" lines giving the place.
  bool geometry_list(LineReader& in, Line& line) override {
    for (;;) {
      if (!in.next(line)) return false;
      if (line.code_is("P")) {
        if (line.field_is(1, "G")) {
          own_point(line);
        } else {
          other(in, line);
        }
      } else if (!line.code_is("K") && !line.is_ignorable()) {
        return true;
      }
    }
  }
  void own_point(Line& line) override {
    y = to_double(line.field(2));
    x = to_double(line.field(3));
  }
  void other(LineReader& in, Line& line) override {
    if (!line.code_is("P")) return;
    std::string after = " code='";
    after += line.text();
    after += "' Unknown swde code\n";
    part_.messages.add_with_line(Channel::kErrorLog, "line=", in.lines_read(), after);
  }

 private:
  CollectedPart& part_;
  PointText id_;
};

// A precinct: only the inline vertices of its lists, sampled for the axis
// order (its references are resolved, and its problems told, by the
// writing pass when the precinct layer is written).
class PrecinctLines final : public ObjectLines {
 public:
  PrecinctLines(VertexBuffer& vb, CollectedPart& part) : vb_(vb), part_(part) {}
  bool geometry_list(LineReader& in, Line& line) override {
    const OutlineReading reading{nullptr, false, &ignored_messages_, &ignored_stats_};
    read_outline(in, line, vb_, reading);
    if (line.code_is("GL")) return true;  // the lists that follow are sampled with it
    // Its vertices as written (northing first), for the axis order.
    for (int i = 0; i < vb_.vertex_count; ++i) {
      part_.sample_inline(vb_.y[static_cast<size_t>(i)], vb_.x[static_cast<size_t>(i)]);
    }
    vb_.clear();
    return true;
  }

 private:
  VertexBuffer& vb_;
  CollectedPart& part_;
  MessageBuffer ignored_messages_;
  OutlineStats ignored_stats_;
};

}  // namespace

void CollectPass::collect_point(LineReader& in, Line& line) {
  const uint64_t head = in.offset_of(line);
  const LineReader::Mark start = in.mark_before(line);
  PointLines point(part_, line.field(3));
  if (line.field_cut(3))
    note_point_cut(point.id(), "id", point.id(), "cut by the reader", in, part_);
  point.alt_id.set(point_text(line, 4, point.id(), "alt_id", in, part_));
  point.nrp.set("?");
  bool complete = false;
  if (count_) {
    begin_register_object(line, object_);
    CountedPointLines counted(point, object_);
    complete = read_object_lines(in, line, counted);
    count_object(in, line, start, complete, counted.alike());
  } else {
    complete = read_object_lines(in, line, point);
  }
  if (!complete) return;  // cut by the end of input
  part_.points.add(point.id(), point.alt_id.view(), point.x, point.y);
  if (keep_heads_) part_.point_heads.push_back(head);
  if (keep_attributes_) {
    part_.points.add_attributes(point.nrp.view(), point.ozr.view(), point.rkrg.view(),
                                point.attributes);
  }
}

void CollectPass::collect_precinct(LineReader& in, Line& line) {
  const LineReader::Mark start = in.mark_before(line);
  vb_.clear();
  PrecinctLines precinct(vb_, part_);
  const bool complete = read_object_lines(in, line, precinct);
  // A few objects a file: read again for the census.
  if (count_) count_object(in, line, start, complete, false);
}

}  // namespace egib
