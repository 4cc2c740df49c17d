#include "swde/collect_pass.h"

#include <algorithm>
#include <string>

namespace egib {

namespace {

// A text of a point as the format's record keeps it: 29 characters at most;
// a longer value is cut there and the cut reported in the error log.
std::string_view point_text(std::string_view value, const char* what, const LineReader& in,
                            MessageBuffer& messages) {
  if (value.size() <= kPointTextChars) return value;
  std::string after = " ";
  after += what;
  after += " '";
  after += value;
  after += "' longer than " + std::to_string(kPointTextChars) + " characters, cut\n";
  messages.add_with_line(Channel::kErrorLog, "line=", in.lines_read(), after);
  return value.substr(0, kPointTextChars);
}

// The value of a field kept in a point's text buffer until the point ends.
struct PointText {
  char text[kPointTextChars];
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
    } else if (code == "P" && part_.inline_pairs.size() < CollectedPart::kPartSample &&
               line.field_is(1, "G")) {
      // A vertex given inline in an object this pass reads past.
      sample_inline(to_double(line.field(2)), to_double(line.field(3)));
    }
  }
}

void CollectPass::collect_point(LineReader& in, Line& line) {
  MessageBuffer& messages = part_.messages;
  PointText id, alt_id, nrp, ozr, rkrg;
  id.set(point_text(line.field(3), "id", in, messages));
  alt_id.set(point_text(line.field(4), "alt_id", in, messages));
  nrp.set("?");
  double x = 0.0, y = 0.0;
  PointAttributes attributes;

  while (in.next(line)) {
    const std::string_view code = line.code();
    if (code == "P") {
      if (line.field_is(1, "G")) {
        y = to_double(line.field(2));
        x = to_double(line.field(3));
      } else {
        std::string after = " code='";
        after += line.text();
        after += "' Unknown swde code\n";
        messages.add_with_line(Channel::kErrorLog, "line=", in.lines_read(), after);
      }
    } else if (code == "D") {
      const std::string_view name = line.field(1);
      const std::string_view value = line.field(3);
      if (name == "G5NRP") {
        nrp.set(point_text(value.substr(0, 50), "G5NRP", in, messages));
      } else if (name == "G5OZR") {
        ozr.set(point_text(value, "G5OZR", in, messages));
      } else if (name == "G5STB") {
        attributes.g5stb = to_int32(value);
      } else if (name == "G5ZRD") {
        attributes.g5zrd = to_int32(value);
      } else if (name == "G5BPP") {
        attributes.g5bpp = to_int32(value);
      } else if (name == "G5RZG") {
        attributes.g5rzg = to_int32(value);
      }
    } else if (code == "WG") {
      if (line.field_is(1, "G5RKRG")) {
        rkrg.set(point_text(line.field(3), "G5RKRG", in, messages));
        attributes.g5rkrg_from_wl = 0;
      }
    } else if (code == "WL") {
      if (line.field_is(1, "G5RKRG")) {
        rkrg.set(point_text(line.field(2), "G5RKRG", in, messages));
        attributes.g5rkrg_from_wl = 1;
      }
    } else if (line.is_object_end()) {
      part_.points.add(id.view(), alt_id.view(), x, y);
      if (keep_attributes_) {
        part_.points.add_attributes(nrp.view(), ozr.view(), rkrg.view(), attributes);
      }
      return;
    }
  }
}

void CollectPass::collect_precinct(LineReader& in, Line& line) {
  vb_.clear();
  const OutlineReading reading{nullptr, false, &part_.messages, &part_.stats};
  while (in.next(line)) {
    if (line.code_is("GL")) {
      do {
        read_outline(in, line, vb_, reading);
      } while (line.code_is("GL"));
      // Its vertices as written (northing first), for the axis order.
      for (int i = 0; i < vb_.vertex_count; ++i) {
        sample_inline(vb_.y[static_cast<size_t>(i)], vb_.x[static_cast<size_t>(i)]);
      }
      vb_.clear();
      if (line.is_object_end()) return;
    } else if (line.is_object_end()) {
      return;
    }
  }
}

}  // namespace egib
