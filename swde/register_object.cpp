#include "swde/register_object.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <utility>

#include "swde/object_lines.h"
#include "swde/outline_reader.h"

namespace egib {

namespace {

// The census only notes whether a list has ring starts (and shows a
// watch the lines it reads past).
class ListScan : public GeometryListReader {
 public:
  explicit ListScan(LineWatch* watch) : watch_(watch) {}
  bool read_list(LineReader& in, Line& line, RegisterObject& object) override {
    bool ring_start = false;
    for (;;) {
      if (watch_ == nullptr) in.skip_vertex_lines();  // nothing of a vertex is looked at
      if (!in.next(line)) return false;
      if (watch_ != nullptr && line.code_is("P")) watch_->seen(line);
      if (line.is_ignorable()) continue;
      if (line.code_is("K") && (line.field_is(1, "+") || line.field_is(1, "-"))) {
        ring_start = true;
        continue;
      }
      if (!line.code_is("P")) break;
    }
    ++object.lists;
    if (ring_start) ++object.lists_with_ring_start;
    return true;
  }

 private:
  LineWatch* watch_;
};

// A whole physical line, cleaned as the line reader cleans a line (cut at
// ';', apostrophes blanked, trimmed, converted into Windows-1250) but
// without its limit of 499 characters.  start: where it begins.
std::string whole_line(std::span<const char> bytes, size_t start, TextEncoding encoding) {
  std::string text;
  for (size_t i = start; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\r' || c == ';' || c == '\0') break;
    text += c == '\'' ? ' ' : c;
  }
  if (encoding == TextEncoding::kUtf8) {
    std::string out(text.size(), '\0');
    const size_t n =
        utf8_to_cp1250({reinterpret_cast<const unsigned char*>(text.data()), text.size()},
                       reinterpret_cast<unsigned char*>(out.data()));
    out.resize(n);
    text = std::move(out);
  } else if (encoding == TextEncoding::kIso8859_2) {
    latin2_to_cp1250(text.data());
  }
  return text;
}

bool is_blank_char(char c) {
  return c == ' ' || (c >= 7 && c <= 13);
}

// Field k of a cleaned line as the line reader splits it (blanks after a
// comma dropped), without its limit of 99 characters; with rest, the
// field and everything after it, commas included.
std::string field_of(std::string_view text, int k, bool rest) {
  size_t i = 0;
  while (i < text.size() && is_blank_char(text[i])) ++i;
  size_t end = text.size();
  while (end > i && is_blank_char(text[end - 1])) --end;
  for (int f = 0; f < k; ++f) {
    const size_t comma = text.find(',', i);
    if (comma == std::string_view::npos || comma >= end) return {};
    i = comma + 1;
    while (i < end && is_blank_char(text[i])) ++i;
  }
  const size_t comma = rest ? std::string_view::npos : text.find(',', i);
  return std::string(
      text.substr(i, (comma == std::string_view::npos || comma > end ? end : comma) - i));
}

// Whether the line reader cut the line: a chunk that is not the whole
// physical line, or a field of 99 characters, where splitting stops.
bool may_be_cut(Line& line) {
  if (line.split_in_place()) return false;
  const std::string_view chunk = line.chunk();
  if (chunk.size() >= static_cast<size_t>(kLineChars - 1) && chunk.back() != '\n') return true;
  for (int k = 1; k < kFieldCount; ++k) {
    if (line.field(k).size() >= static_cast<size_t>(kFieldChars - 1)) return true;
  }
  return false;
}

std::string joined_fields(Line& line, int from) {
  int last = 10;
  while (last >= from && line.field(last).empty()) --last;
  std::string v;
  for (int k = from; k <= last; ++k) {
    if (k > from) v += ',';
    v += line.field(k);
  }
  return v;
}

// The column of a name, added at the end when new.  Looked up before it
// is inserted: an insertion makes a node even for a name already there.
size_t add_name(std::vector<std::string>& names, std::vector<ColumnCensus>& census,
                NameIndex& index, std::string_view name) {
  const auto it = index.find(name);
  if (it != index.end()) return it->second;
  index.emplace(name, names.size());
  names.emplace_back(name);
  census.emplace_back();
  return names.size() - 1;
}

// Each name's values of one object, joined, into the census of its column.
// cells and lengths: scratch, kept from object to object; before: the
// column of each value's place in the object counted before.
void count_values(const std::vector<RegisterObject::Value>& values, std::vector<std::string>& names,
                  std::vector<ColumnCensus>& census, NameIndex& index,
                  std::vector<std::pair<size_t, size_t>>& cells, std::vector<size_t>& lengths,
                  std::vector<size_t>& before) {
  cells.clear();  // column, values; length
  lengths.clear();
  if (before.size() < values.size()) before.resize(values.size(), SIZE_MAX);
  for (size_t i = 0; i < values.size(); ++i) {
    const RegisterObject::Value& v = values[i];
    if (before[i] >= names.size() || names[before[i]] != v.name)
      before[i] = add_name(names, census, index, v.name);
    const size_t c = before[i];
    census[c].add_value(v.value);
    size_t k = 0;
    while (k < cells.size() && cells[k].first != c) ++k;
    if (k == cells.size()) {
      cells.emplace_back(c, 0);
      lengths.push_back(0);
    } else {
      ++lengths[k];  // the separator
    }
    ++cells[k].second;
    lengths[k] += v.value.size();
  }
  for (size_t k = 0; k < cells.size(); ++k)
    census[cells[k].first].add_cell(lengths[k], cells[k].second);
}

void merge_names(const std::vector<std::string>& from_names, const std::vector<ColumnCensus>& from,
                 std::vector<std::string>& names, std::vector<ColumnCensus>& census,
                 NameIndex& index) {
  for (size_t i = 0; i < from_names.size(); ++i) {
    census[add_name(names, census, index, from_names[i])].merge(from[i]);
  }
}

}  // namespace

std::string_view type_layer_name(std::string_view type) {
  if (type.substr(0, 4) == "G5G_") return type.substr(4);
  if (type.substr(0, 2) == "G5") return type.substr(2);
  return type;
}

namespace {

int relation_value_field(Line& line) {
  return line.code_is("WL") ? 2 : 3;
}

// The name and value of a "D" (attribute) or "WG"/"WL" line as views into
// the input, for a line split where it stands whose value is one field;
// false for any other line.
bool plain_value_of_line(Line& line, bool is_attribute, std::string_view& name,
                         std::string_view& value) {
  if (!line.split_in_place()) return false;
  const int value_field = is_attribute ? 3 : relation_value_field(line);
  if (is_attribute && !line.field(value_field + 1).empty()) return false;
  name = line.field(1);
  value = line.field(value_field);
  return true;
}

// The same, whole (an attribute's value is the rest of its line: a text
// may hold commas), as copies the object keeps, for any line but one the
// reader may have cut, whose value must be read from the input itself.
bool value_of_line(Line& line, bool is_attribute, RegisterObject& o, RegisterObject::Value& v) {
  if (may_be_cut(line)) return false;
  const int value_field = is_attribute ? 3 : relation_value_field(line);
  if (!is_attribute || line.field(value_field + 1).empty()) {
    v.name = o.keep(line.field(1));
    v.value = o.keep(line.field(value_field));
    return true;
  }
  const std::string_view text = line.text();
  v.name = o.keep(field_of(text, 1, false));
  v.value = o.keep(field_of(text, value_field, is_attribute));
  return true;
}

// An object of the whole register: every attribute and relation with its
// value whole, what its geometry lists hold, its own point.
class RegisterLines final : public ObjectLines {
 public:
  RegisterLines(RegisterObject& object, GeometryListReader& lists, bool point_place,
                LineWatch* watch)
      : object_(object), lists_(lists), point_place_(point_place), watch_(watch) {}
  void attribute(LineReader& in, Line& line) override { take_value(in, line, true); }
  void relation(LineReader& in, Line& line) override { take_value(in, line, false); }
  bool geometry_list(LineReader& in, Line& line) override {
    return lists_.read_list(in, line, object_);
  }
  bool ends_before(Line& line) override { return ends_object_before(line); }
  void own_point(Line& line) override {
    object_.has_own_point = true;
    if (watch_ != nullptr) watch_->seen(line);
    if (!point_place_) return;
    object_.point_first = to_double(line.field(2));
    object_.point_second = to_double(line.field(3));
  }
  void other(LineReader&, Line& line) override {
    if (watch_ != nullptr) watch_->seen(line);
  }

 private:
  void take_value(LineReader& in, Line& line, bool is_attribute) {
    if (add_register_value(line, is_attribute, object_)) return;
    // A long line: its value whole, and the rest of it, which the line
    // reader takes as lines of their own, read past.
    const int value_field = is_attribute ? 3 : relation_value_field(line);
    const std::span<const char> bytes = in.bytes();
    const size_t start = in.offset_of(line);
    const std::string text = whole_line(bytes, start, in.encoding());
    (is_attribute ? object_.attributes : object_.relations)
        .push_back({object_.keep(field_of(text, 1, false)),
                    object_.keep(field_of(text, value_field, is_attribute))});
    const char* nl =
        static_cast<const char*>(std::memchr(bytes.data() + start, '\n', bytes.size() - start));
    const size_t line_end =
        nl == nullptr ? bytes.size() : static_cast<size_t>(nl - bytes.data()) + 1;
    while (in.position() < line_end && in.next(line)) {
      if (watch_ != nullptr) watch_->seen(line);
    }
  }

  RegisterObject& object_;
  GeometryListReader& lists_;
  bool point_place_;
  LineWatch* watch_;
};

}  // namespace

bool is_object_head(const Line& line) {
  const std::string_view c = line.code();
  return c.size() == 2 && c[0] == 'R';
}

bool ends_object_before(const Line& line) {
  return is_object_head(line) || line.is_section_end() || line.is_file_end();
}

void begin_register_object(Line& line, RegisterObject& o) {
  o.drop_copies();
  if (line.split_in_place()) {
    o.head_code = line.code();
    o.type = line.field(2);
    o.ident = line.field(3);
    o.second_key = line.field(4);
  } else {
    o.head_code = o.keep(line.code());
    o.type = o.keep(line.field(2));
    o.ident = o.keep(line.field(3));
    o.second_key = o.keep(line.field(4));
  }
  o.attributes.clear();
  o.relations.clear();
  o.lists = 0;
  o.lists_with_ring_start = 0;
  o.has_own_point = false;
  o.point_first = o.point_second = 0;
}

bool add_register_value(Line& line, bool is_attribute, RegisterObject& o) {
  RegisterObject::Value v;
  if (!plain_value_of_line(line, is_attribute, v.name, v.value) &&
      !value_of_line(line, is_attribute, o, v)) {
    return false;
  }
  (is_attribute ? o.attributes : o.relations).push_back(v);
  return true;
}

bool read_register_object(LineReader& in, Line& line, RegisterObject& o, GeometryListReader* lists,
                          bool point_place, LineWatch* watch) {
  ListScan scan(watch);
  begin_register_object(line, o);
  RegisterLines object(o, lists != nullptr ? *lists : scan, point_place, watch);
  return read_object_lines(in, line, object);
}

FileDescription read_file_description(std::span<const char> bytes, TextEncoding encoding) {
  FileDescription d;
  const Header header = read_header(bytes, encoding);
  if (!header.present) return d;
  std::string_view text = header.text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  d.entries.push_back({"SWDE", "", std::string(text)});
  LineReader in(bytes, header.next, bytes.size(), encoding);
  Line line;
  std::string section;
  TypeDeclaration* declaring = nullptr;
  while (in.next(line)) {
    if (line.is_ignorable()) continue;
    const std::string_view code = line.code();
    if (section.empty()) {
      if (code == "SO" || line.is_file_end()) break;  // the objects follow
      if (code == "SN" || code == "SP" || code == "ST") section = code;
      continue;
    }
    if (declaring == nullptr && line.is_section_end()) {
      section.clear();
      continue;
    }
    if (section == "ST") {
      // "TD,<type>" or "TD,<head code>,<type>", then "TA,<name>[,<type>]"
      // lines up to "X".
      if (code == "TD" && declaring == nullptr) {
        std::string_view type = line.field(1);
        if (type.size() == 2 && type[0] == 'R') type = line.field(2);
        declaring = &d.declarations[std::string(type_layer_name(type))];
      } else if (declaring != nullptr && line.is_object_end()) {
        declaring = nullptr;
      } else if (declaring != nullptr && code == "TA" && !line.field(1).empty()) {
        declaring->attributes.emplace_back(line.field(1));
        const std::string_view kind = line.field(2);
        declaring->kinds.push_back(kind.size() == 1 ? kind[0] : ' ');
      }
    } else {
      d.entries.push_back({section, std::string(code), joined_fields(line, 1)});
    }
  }
  return d;
}

void RegisterCensus::add(const RegisterObject& o) {
  // Objects of one type come in runs: the type of the one before is
  // tried first.
  if (last_type_index_ >= types.size() || o.type != last_type_) {
    // Looked up before it is inserted, as add_name does: an insertion
    // makes a node even for a name already there.
    const std::string_view name = type_layer_name(o.type);
    auto it = index.find(name);
    if (it == index.end()) {
      it = index.emplace(name, types.size()).first;
      types.emplace_back();
      types.back().name = name;
    }
    TypeCensus& t = types[it->second];
    if (std::find(t.types.begin(), t.types.end(), o.type) == t.types.end())
      t.types.emplace_back(o.type);
    last_type_ = o.type;
    last_type_index_ = it->second;
    attributes_before_.clear();
    relations_before_.clear();
  }
  TypeCensus& t = types[last_type_index_];
  ++t.objects;
  t.lists += o.lists;
  t.lists_with_ring_start += o.lists_with_ring_start;
  if (o.has_own_point) ++t.own_points;
  if (!o.ident.empty()) {
    t.ident.add_value(o.ident);
    t.ident.add_cell(o.ident.size(), 1);
  }
  if (!o.second_key.empty()) {
    t.second_key.add_value(o.second_key);
    t.second_key.add_cell(o.second_key.size(), 1);
  }
  count_values(o.attributes, t.attribute_names, t.attributes, t.attribute_index, cells_, lengths_,
               attributes_before_);
  count_values(o.relations, t.relation_names, t.relations, t.relation_index, cells_, lengths_,
               relations_before_);
  if (!o.ident.empty()) identifiers.push_back(std::hash<std::string_view>{}(o.ident));
}

IdentifierSet::IdentifierSet(std::vector<uint64_t> hashes) {
  // Placed by their highest bits alone, in one counting pass and one
  // placing pass (a county's 1.4 million take a few milliseconds), in runs
  // of about eight: a run is read whole (its 64 bytes mostly one cache
  // line), so no order within it is needed, and the table of where the
  // runs begin is an eighth of the hashes' size, and mostly in the cache.
  const int bits = std::max(1, static_cast<int>(std::bit_width(hashes.size())) - 3);
  shift_ = 64 - bits;
  start_.assign((size_t{1} << bits) + 1, 0);
  for (const uint64_t h : hashes) ++start_[(h >> shift_) + 1];
  for (size_t run = 1; run < start_.size(); ++run) start_[run] += start_[run - 1];
  // start_[run] is where the run begins; while placing, where its next
  // hash goes, and then where the next run begins, so one step back.
  by_run_.resize(hashes.size());
  for (const uint64_t h : hashes) by_run_[start_[h >> shift_]++] = h;
  for (size_t run = start_.size() - 1; run > 0; --run) start_[run] = start_[run - 1];
  start_[0] = 0;
}

void IdentifierSet::find_all(std::span<const uint64_t> hashes, std::span<uint8_t> found) const {
  // Three steps apart: where a run begins is fetched, then the run, then
  // the hash is looked for in it.
  constexpr size_t kStep = 8;
  const size_t n = hashes.size();
  if (by_run_.empty()) {
    std::fill(found.begin(), found.end(), 0);
    return;
  }
  for (size_t i = 0; i < n + 2 * kStep; ++i) {
    if (i < n) __builtin_prefetch(&start_[hashes[i] >> shift_]);
    if (i >= kStep && i - kStep < n) {
      __builtin_prefetch(by_run_.data() + start_[hashes[i - kStep] >> shift_]);
    }
    if (i >= 2 * kStep && i - 2 * kStep < n) {
      found[i - 2 * kStep] = contains(hashes[i - 2 * kStep]) ? 1 : 0;
    }
  }
}

bool IdentifierSet::contains(uint64_t hash) const {
  if (by_run_.empty()) return false;
  const size_t run = hash >> shift_;
  const auto first = by_run_.begin() + start_[run];
  const auto last = by_run_.begin() + start_[run + 1];
  return std::find(first, last, hash) != last;
}

void RegisterCensus::merge(const RegisterCensus& later) {
  for (const TypeCensus& l : later.types) {
    auto [it, fresh] = index.emplace(l.name, types.size());
    if (fresh) {
      types.emplace_back();
      types.back().name = l.name;
    }
    TypeCensus& t = types[it->second];
    for (const std::string& s : l.types) {
      if (std::find(t.types.begin(), t.types.end(), s) == t.types.end()) t.types.push_back(s);
    }
    t.objects += l.objects;
    t.lists += l.lists;
    t.lists_with_ring_start += l.lists_with_ring_start;
    t.own_points += l.own_points;
    t.ident.merge(l.ident);
    t.second_key.merge(l.second_key);
    merge_names(l.attribute_names, l.attributes, t.attribute_names, t.attributes,
                t.attribute_index);
    merge_names(l.relation_names, l.relations, t.relation_names, t.relations, t.relation_index);
  }
  identifiers.insert(identifiers.end(), later.identifiers.begin(), later.identifiers.end());
}

bool CensusPass::read_section(LineReader& in, Line& line) {
  for (;;) {
    if (in.at_stop()) return false;
    if (!in.next(line)) return true;
    if (line.is_section_end()) return true;
    if (!is_object_head(line)) continue;
    if (!read_register_object(in, line, object_, nullptr, false)) return true;
    part_.census.add(object_);
  }
}

void object_cells(const RegisterObject& o, const TableColumns& columns,
                  std::vector<std::string_view>& cells, CellScratch& scratch) {
  const size_t attributes = columns.attribute_names.size();
  cells.assign(2 + attributes + columns.relation_names.size(), {});
  scratch.filled.assign(cells.size(), 0);
  if (scratch.joined.size() < cells.size()) scratch.joined.resize(cells.size());
  if (scratch.columns != &columns) {
    scratch.columns = &columns;
    scratch.attribute_columns.clear();
    scratch.relation_columns.clear();
  }
  cells[0] = o.ident;
  cells[1] = o.second_key;
  const auto put = [&](const std::vector<RegisterObject::Value>& values, const NameIndex& index,
                       std::vector<std::pair<std::string, size_t>>& before, size_t offset) {
    for (size_t k = 0; k < values.size(); ++k) {
      const RegisterObject::Value& v = values[k];
      if (k >= before.size() || before[k].first != v.name) {
        const auto it = index.find(v.name);
        if (k >= before.size()) before.resize(k + 1);
        before[k] = {std::string(v.name), it == index.end() ? SIZE_MAX : it->second};
      }
      if (before[k].second == SIZE_MAX) continue;
      const size_t c = offset + before[k].second;
      // A second value of a name is joined to the first (which may be
      // empty); the strings keep their memory from object to object.
      if (scratch.filled[c] == 0) {
        scratch.filled[c] = 1;
        cells[c] = v.value;
        continue;
      }
      std::string& joined = scratch.joined[c];
      if (scratch.filled[c] == 1) {
        joined.assign(cells[c]);
        scratch.filled[c] = 2;
      }
      joined += kValueSeparator;
      joined += v.value;
      cells[c] = joined;
    }
  };
  put(o.attributes, columns.attribute_index, scratch.attribute_columns, 2);
  put(o.relations, columns.relation_index, scratch.relation_columns, 2 + attributes);
}

}  // namespace egib

namespace egib {

namespace {

// Geometry lists of the writing pass, assembled as the parcels' outlines
// are; a line's list is not closed.
class OutlineLists : public GeometryListReader {
 public:
  OutlineLists(ObjectAssembly& a, GeometryKind kind, MessageBuffer& messages)
      : a_(a), kind_(kind), reading_{&a.points, a.easting_first, &messages, &a.stats} {}
  bool read_list(LineReader& in, Line& line, RegisterObject& object) override {
    VertexBuffer& vb = a_.vb;
    const int before = vb.vertex_count;
    read_outline(in, line, vb, reading_);
    if (line.code().empty()) return false;  // blank lines are read past: the input ended
    ++object.lists;
    if (kind_ == GeometryKind::kLine && vb.vertex_count > before) {
      --vb.vertex_count;  // the copy of the first vertex that closes a ring
      if (vb.vertex_count - before < 2) vb.vertex_count = before;  // no line of one vertex
    }
    return true;
  }

 private:
  ObjectAssembly& a_;
  GeometryKind kind_;
  OutlineReading reading_;
};

}  // namespace

namespace {

// Whether head is among the ascending heads.  The heads a part asks for
// come in increasing order, each mostly the next one: the search goes on a
// few steps from where the last one ended, then by halving.
bool has_head(const std::vector<uint64_t>& heads, size_t& cursor, uint64_t head) {
  if (cursor > 0 && heads[cursor - 1] >= head) cursor = 0;  // behind: from the start
  const auto from = heads.begin() + static_cast<ptrdiff_t>(cursor);
  const auto near = from + std::min<ptrdiff_t>(8, heads.end() - from);
  auto at = std::find_if(from, near, [&](uint64_t h) { return h >= head; });
  if (at == near) at = std::lower_bound(near, heads.end(), head);
  cursor = static_cast<size_t>(at - heads.begin());
  return at != heads.end() && *at == head;
}

}  // namespace

bool RegisterPass::read_section(LineReader& in, Line& line) {
  MessageBuffer quiet;  // what the layers of the plain run said already
  for (;;) {
    if (in.at_stop()) return false;
    if (!in.next(line)) return true;
    if (line.is_section_end()) return true;
    if (!is_object_head(line)) continue;
    // Objects of one type come in runs: its table is looked up once a run.
    if (const std::string_view type = line.field(2); !looked_up_ || type != last_type_) {
      looked_up_ = true;
      last_type_ = type;
      const auto found = plan_.by_name.find(type_layer_name(type));
      last_table_ = found == plan_.by_name.end() ? SIZE_MAX : found->second;
    }
    const TablePlan* table = last_table_ == SIZE_MAX ? nullptr : &plan_.tables[last_table_];
    const bool added = table != nullptr && (table->use == RowUse::kAddedToOutline ||
                                            table->use == RowUse::kAddedToPoint);
    if (added) {
      // The layer has its geometry already: the object is read for its
      // cells alone, and has a row where the layer has a record (the
      // layers of the plain run read a malformed file their own way).
      const bool points = table->use == RowUse::kAddedToPoint;
      const uint64_t head = in.offset_of(line);
      const bool written = points ? has_head(plan_.point_heads, point_cursor_, head)
                                  : has_head(plan_.written_heads, written_cursor_, head);
      if (!read_register_object(in, line, object_, nullptr, false)) return true;
      if (written) take(*table, last_table_);
    } else if (table == nullptr || table->use == RowUse::kSkip) {
      if (!read_register_object(in, line, object_, nullptr, false)) return true;
    } else {
      VertexBuffer& vb = assembly_.vb;
      vb.clear();
      const GeometryKind kind = table->geometry;
      const bool outlines = kind == GeometryKind::kPolygon || kind == GeometryKind::kLine;
      OutlineLists lists(assembly_, kind, quiet);
      if (!read_register_object(in, line, object_, outlines ? &lists : nullptr,
                                kind == GeometryKind::kPoint))
        return true;
      quiet.clear();
      take(*table, last_table_);
    }
  }
}

void RegisterPass::count_unresolved() {
  std::vector<uint8_t> found(part_.relation_targets.size());
  plan_.identifiers.find_all(part_.relation_targets, found);
  if (part_.unresolved.size() < plan_.relation_names.size()) {
    part_.unresolved.resize(plan_.relation_names.size(), 0);
  }
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i] == 0) ++part_.unresolved[part_.relation_target_slots[i]];
  }
}

void RegisterPass::take(const TablePlan& table, size_t index) {
  VertexBuffer& vb = assembly_.vb;
  RegisterRow row{};
  row.table = static_cast<uint32_t>(index);
  object_cells(object_, table.columns, cells_, cell_scratch_);
  if (part_.attribute_values.size() < plan_.tables.size()) {
    part_.attribute_values.resize(plan_.tables.size(), 0);
    part_.relation_values.resize(plan_.tables.size(), 0);
  }
  const size_t attributes = table.columns.attribute_names.size();
  for (size_t c = 2; c < cells_.size(); ++c) {
    if (cells_[c].empty()) continue;
    (c - 2 >= attributes ? part_.relation_values : part_.attribute_values)[index] +=
        1 + static_cast<int64_t>(std::count(cells_[c].begin(), cells_[c].end(), kValueSeparator));
  }
  if (plan_.whole_cells) {
    row.cell_begin = part_.whole_cells.size();
    row.cell_bytes = cells_.size();
    part_.whole_cells.insert(part_.whole_cells.end(), cells_.begin(), cells_.end());
  } else {
    row.cell_begin = part_.cells.size();
    format_dbase_cells(table.cell_columns, table.cell_bytes, cells_, part_.cells, &part_.texts_cut);
    row.cell_bytes = part_.cells.size() - row.cell_begin;
  }
  for (const RegisterObject::Value& r : object_.relations) {
    const auto slot = plan_.relation_slot.find(r.name);
    if (slot == plan_.relation_slot.end()) continue;
    part_.relation_targets.push_back(std::hash<std::string_view>{}(r.value));
    part_.relation_target_slots.push_back(static_cast<uint32_t>(slot->second));
  }
  row.vertex_begin = static_cast<uint32_t>(part_.x.size());
  row.part_begin = static_cast<uint32_t>(part_.part_start.size());
  if (table.use == RowUse::kTable) {
    MessageBuffer quiet;
    if (table.geometry == GeometryKind::kPoint && object_.has_own_point) {
      double x = assembly_.easting_first ? object_.point_first : object_.point_second;
      double y = assembly_.easting_first ? object_.point_second : object_.point_first;
      AreaWarnings warnings;
      if (assembly_.transform.changes_coordinates()) {
        assembly_.cache.convert(assembly_.transform, x, y, warnings);
      }
      part_.x.push_back(x);
      part_.y.push_back(y);
      row.vertex_count = 1;
    } else if ((table.geometry == GeometryKind::kPolygon ||
                table.geometry == GeometryKind::kLine) &&
               vb.vertex_count > 0) {
      vb.finish_rings();
      convert_outline(assembly_, quiet);
      if (table.geometry == GeometryKind::kPolygon) vb.orient_rings();
      if (table.geometry == GeometryKind::kPolygon && !vb.has_three_distinct_vertices()) {
        ++part_.degenerate;  // written with a null shape
      } else {
        row.vertex_count = static_cast<uint32_t>(vb.vertex_count);
        part_.x.insert(part_.x.end(), vb.x.begin(), vb.x.begin() + vb.vertex_count);
        part_.y.insert(part_.y.end(), vb.y.begin(), vb.y.begin() + vb.vertex_count);
        if (vb.part_count > 1) {
          row.part_count = static_cast<uint32_t>(vb.part_count);
          part_.part_start.insert(part_.part_start.end(), vb.part_start.begin(),
                                  vb.part_start.begin() + vb.part_count);
          part_.part_start[row.part_begin] = 0;
        }
      }
    }
  }
  part_.rows.push_back(row);
}

}  // namespace egib
