// The collecting pass: the first reading of the file, which gathers every
// point object (G5PZG) into a point table so that the writing pass can
// resolve the references of parcel and building outlines.  Precinct
// objects are read too, their outlines through the outline reader (which
// can resolve nothing yet); nothing of them remains.  For the whole
// register it also takes the census of every object on the way.
#pragma once

#include <cstdint>
#include <vector>

#include "diag/message_buffer.h"
#include "layers/outline.h"
#include "layers/point_index.h"
#include "swde/axis_order.h"
#include "swde/file_grammar.h"
#include "swde/register_object.h"

namespace egib {

// What the pass collects from one part of the file.
struct CollectedPart {
  PointTable points;
  // Coordinates of vertices given inline, as written, the first
  // kPartSample of them in the part: what tells the axis order of a file
  // without point objects (the run keeps kInlineSample of them in all, a
  // sample spread over the whole file).
  static constexpr size_t kPartSample = 2048;
  static constexpr size_t kInlineSample = 65536;
  std::vector<WrittenPair> inline_pairs;
  MessageBuffer messages;
  OutlineStats stats;
  // Where each point kept begins in the input, in their order (for the
  // whole register, which adds its columns to theirs).
  std::vector<uint64_t> point_heads;
  // The census of the whole register, taken on the way (with it); whole
  // unless an object of the part is one that the two readings take
  // differently (a malformed file), and the census must read it again.
  RegisterCensus census;
  bool census_whole = true;

  // Keeps a vertex given inline, as written, while the part's sample has
  // room.
  void sample_inline(double first, double second) {
    if (inline_pairs.size() < kPartSample) inline_pairs.push_back({first, second});
  }

  // Empty again, keeping its memory for the next part.
  void clear() {
    points.clear();
    point_heads.clear();
    census.clear();
    census_whole = true;
    inline_pairs.clear();
    messages.clear();
    stats = {};
  }
};

// Shows the collecting pass the vertices given inline among the lines an
// object's reading passes, while its part's sample has room.
class InlineSampler final : public LineWatch {
 public:
  explicit InlineSampler(CollectedPart& part) : part_(part) {}
  void seen(Line& line) override;

 private:
  CollectedPart& part_;
};

class CollectPass : public ObjectSection {
 public:
  // keep_attributes: keep the points' texts and numbers for the
  // boundary-point layer; keep_heads: where each point begins; count: the
  // census of the whole register taken on the way (every object read as
  // the register reads it, the points and precincts as this pass does).
  CollectPass(CollectedPart& part, bool keep_attributes, bool keep_heads = false,
              bool count = false)
      : part_(part),
        keep_attributes_(keep_attributes),
        keep_heads_(keep_heads),
        count_(count),
        sampler_(part) {}

  bool read_section(LineReader& in, Line& line) override {
    return count_ ? collect_and_count(in, line) : collect_objects(in, line);
  }
  // One "SO" section; false when stopped at the reader's stop position.
  bool collect_objects(LineReader& in, Line& line);
  bool collect_and_count(LineReader& in, Line& line);
  // One point object; line holds its head ("RP") line.
  void collect_point(LineReader& in, Line& line);
  // One precinct object; line holds its head ("RO") line.
  void collect_precinct(LineReader& in, Line& line);

 private:
  // The census of the object whose head is at start, which the pass read
  // its own way up to where the reader is (to its end, or to the end of
  // input): taken from object_, or read again as the register reads it
  // when taken is false; the census of the part is not whole when that
  // reading ends elsewhere.
  void count_object(LineReader& in, Line& line, const LineReader::Mark& start, bool complete,
                    bool taken);

  CollectedPart& part_;
  bool keep_attributes_;
  bool keep_heads_;
  bool count_;
  VertexBuffer vb_;
  InlineSampler sampler_;
  RegisterObject object_;
};

}  // namespace egib
