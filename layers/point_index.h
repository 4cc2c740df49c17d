// The points of a file and the two lookups through which outline references
// are resolved: by the point's identifier ("P,P" lines) and by its second
// identifier ("P,K" lines).
//
// The points are kept in input order as small records (coordinates and
// where their identifiers lie in one block of text); each lookup is one
// probe of an open-addressing hash table into them.  When several points
// carry the same identifier, a reference finds the first of them in the
// file.  Lookups can go in batches, each step of the batch asking the
// memory for what the next one needs: the table, the record, the text.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace egib {

// The attributes of a point that only the boundary-point layer shows.
struct PointAttributes {
  int32_t g5stb = 0;
  int32_t g5zrd = 0;
  int32_t g5bpp = 0;
  int32_t g5rzg = 0;
  int32_t g5rkrg_from_wl = 0;  // 1 when G5RKRG came from a "WL" line, 0 from "WG"
};

// A point's number (G5NRP) is kept to 50 characters, its column's width;
// its other texts are kept whole.
inline constexpr size_t kPointNumberChars = 50;

class PointTable {
 public:
  static constexpr int64_t kNone = -1;

  // One point: identifiers and coordinates as read (x easting, y northing);
  // NaN coordinates for a point that has none (no P,G line).
  void add(std::string_view id, std::string_view alt_id, double x, double y);
  // Its texts and numbers for the boundary-point layer (kept only when the
  // layer is written).
  void add_attributes(std::string_view nrp, std::string_view ozr, std::string_view rkrg,
                      const PointAttributes& attributes);
  // Appends the points of another table (a later part of the file).
  void append(const PointTable& later);
  // Room for this many points and bytes of identifiers, with their texts
  // and numbers for the boundary-point layer when with_attributes (memory
  // that is not used is never touched).
  void reserve(size_t points, size_t text_bytes, bool with_attributes = false);
  // No points, no lookups; the memory is kept.
  void clear();

  size_t size() const { return records_.size(); }
  bool has_attributes() const { return !attributes_.empty(); }
  std::string_view id(size_t i) const {
    const Record& r = records_[i];
    return {text_.data() + r.text_at(), r.id_length()};
  }
  std::string_view alt_id(size_t i) const {
    const Record& r = records_[i];
    return {text_.data() + r.text_at() + r.id_length(), r.alt_length()};
  }
  std::string_view nrp(size_t i) const { return extra_text(i, 0); }
  std::string_view ozr(size_t i) const { return extra_text(i, 1); }
  std::string_view rkrg(size_t i) const { return extra_text(i, 2); }
  const PointAttributes& attributes(size_t i) const { return attributes_[i]; }

  // The coordinates (x easting, y northing): as read, or, once converted,
  // in the output system.
  double x(size_t i) const { return records_[i].x; }
  double y(size_t i) const { return records_[i].y; }
  // False for a point without coordinates: it is no vertex and no shape.
  bool has_coordinates(size_t i) const {
    return !std::isnan(records_[i].x) && !std::isnan(records_[i].y);
  }
  // For a file that writes the easting first: every pair turned round.
  void swap_axes();
  // Converting: a point's coordinates replaced by the converted ones.
  void set_coordinates(size_t i, double x, double y) {
    records_[i].x = x;
    records_[i].y = y;
  }
  // The points whose conversion warns, with the coordinates they had
  // before it (to convert again, warning, each time one is used); in
  // ascending order of point.
  struct Warned {
    size_t point;
    double x;
    double y;
  };
  void set_warned(std::vector<Warned> warned);
  // Whether converting point i warns, and its coordinates as read if so.
  const Warned* warned(size_t i) const;

  // Builds both lookups (the two in parallel when threads > 1).
  void build_indexes(int threads);
  bool indexed() const { return indexed_; }
  // The first point with the identifier (second identifier), or kNone.
  int64_t find_by_id(std::string_view key) const;
  int64_t find_by_alt_id(std::string_view key) const;

  // A lookup of a batch: keys in, points (or kNone) out.
  struct Lookup {
    std::string_view key;
    bool alt = false;
    int64_t found = kNone;
    // Between the steps.
    uint64_t hash = 0;
    size_t slot = 0;
  };
  void find_batch(std::span<Lookup> lookups) const;

 private:
  // 24 bytes: the coordinates, and where the texts lie (id then alt_id,
  // back to back) with their lengths in one word.
  struct Record {
    double x;
    double y;
    uint64_t text;  // offset << 16 | id length << 8 | alt_id length
    size_t text_at() const { return static_cast<size_t>(text >> 16); }
    size_t id_length() const { return static_cast<size_t>((text >> 8) & 0xFF); }
    size_t alt_length() const { return static_cast<size_t>(text & 0xFF); }
  };
  struct Slot {
    uint32_t tag;
    uint32_t index_plus_one;  // 0: empty
  };
  using Table = std::vector<Slot>;
  void build_table(bool alt, Table* table) const;
  std::string_view key_of(size_t i, bool alt) const { return alt ? alt_id(i) : id(i); }
  // The first point with key, probing from slot on; hash is
  // identifier_hash(key).
  int64_t probe(const Table& table, bool alt, std::string_view key, uint64_t hash,
                size_t slot) const;
  int64_t find(const Table& table, bool alt, std::string_view key) const;
  std::string_view extra_text(size_t i, int which) const;

  std::vector<char> text_;
  std::vector<Record> records_;
  // The boundary-point layer's texts: nrp, ozr, rkrg back to back.
  std::vector<char> extra_;
  std::vector<uint64_t> extra_at_;
  std::vector<uint8_t> extra_length_;  // three per point
  std::vector<PointAttributes> attributes_;
  Table by_id_;
  Table by_alt_id_;
  bool indexed_ = false;
  std::vector<Warned> warned_;
  std::vector<uint64_t> warned_bits_;  // one bit per point
};

// Hash of an identifier (exposed for the tests of the lookups).
uint64_t identifier_hash(std::string_view key);

}  // namespace egib
