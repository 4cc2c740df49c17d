// The whole register: every object of the object sections read as one
// value (its head, its attributes with all their values in order, its
// relations and what its geometry holds), the census of the types, their
// attributes and relations over the whole file, and the declarations of
// the "ST" section and the header sections "SN" and "SP".
//
// The lines of an object are read by swde/object_lines.h, as for the
// layers of the plain run.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "diag/message_buffer.h"
#include "layers/outline.h"
#include "layers/register_layers.h"
#include "layers/table_schema.h"
#include "swde/file_grammar.h"

namespace egib {

// Names (of types, layers, attributes, relations) to their places, found
// by a view of the name without a copy of it.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const noexcept {
    return std::hash<std::string_view>{}(name);
  }
};
using NameIndex = std::unordered_map<std::string, size_t, NameHash, std::equal_to<>>;

// The texts of an object are views: into the input where a line stands as
// it is read, else into the object's own copies (a line the reader
// cleaned or converted, a value read whole from a long line).  They are
// good until the next object is read into it, and while the input is.
struct RegisterObject {
  struct Value {
    std::string_view name;
    std::string_view value;
  };
  std::string_view head_code;   // "RO", "RP", "RD", "RC"
  std::string_view type;        // "G5DZE"
  std::string_view ident;       // field 3 of the head line
  std::string_view second_key;  // field 4
  std::vector<Value> attributes;
  std::vector<Value> relations;  // value: the related object's identifier
  int lists = 0;
  int lists_with_ring_start = 0;
  bool has_own_point = false;
  double point_first = 0, point_second = 0;  // as written in the P,G line

  // A copy of text the object holds until the next object is read into it.
  std::string_view keep(std::string_view text) {
    if (kept_ == copies_.size()) copies_.emplace_back();
    std::string& copy = copies_[kept_++];
    copy.assign(text);
    return copy;
  }
  // The copies dropped (their memory kept for the next object).
  void drop_copies() { kept_ = 0; }

 private:
  std::deque<std::string> copies_;  // a deque: a copy never moves as others are added
  size_t kept_ = 0;
};

// The layer name of a type: less its "G5G_" or "G5" prefix ("G5G_DZE" and
// "G5DZE" are both "DZE").
std::string_view type_layer_name(std::string_view type);

// How geometry lists are read: the census only looks at them; the writing
// pass assembles them (outlines through the outline reader).
class GeometryListReader {
 public:
  virtual ~GeometryListReader() = default;
  // line holds the "GL" line; on return the line that ended the list.
  // False when the input ended inside the list.
  virtual bool read_list(LineReader& in, Line& line, RegisterObject& object) = 0;
};

// What is shown the lines an object's reading passes without taking a
// value from them: a point's own place and lines of no known kind, the
// lines of a geometry list the census only counts, the rest of a long
// line (the collecting pass samples the vertices given inline among them).
class LineWatch {
 public:
  virtual ~LineWatch() = default;
  virtual void seen(Line& line) = 0;
};

// Reads the rest of an object whose head line is in line, up to its
// "X"/"XC"; false when the input ends first (the object is dropped).  A
// line that ends a geometry list is taken as the object's next line.
// point_place: whether the place in a point's own "P,G" line is read (the
// census and the layers that have their geometry only note that it is
// there).
bool read_register_object(LineReader& in, Line& line, RegisterObject& object,
                          GeometryListReader* lists, bool point_place = true,
                          LineWatch* watch = nullptr);

// The same in steps, for a reader that reads the object's lines its own
// way: the object begun from its head line, then each attribute ("D") or
// relation ("WG", "WL") line taken as the register takes it; false for a
// line the reader may have cut (the register reads its value whole from
// the input, past the lines the reader made of it).
void begin_register_object(Line& head, RegisterObject& object);
bool add_register_value(Line& line, bool is_attribute, RegisterObject& object);
// An object's head line: any code "R" and one more letter ("RO", "RP",
// "RD", "RC").
bool is_object_head(const Line& line);
// Whether line, met among an object's lines, ends it before its "X" (an
// object without one ends where the next begins, or where its section or
// the file does: nothing of the next object is taken as its).
bool ends_object_before(const Line& line);

// What the "ST" section declares of a type: its attributes in order, and
// their types where given ("TA,<name>,<type>": C text, N number, D date).
struct TypeDeclaration {
  std::vector<std::string> attributes;
  std::vector<char> kinds;  // ' ' when not given
};

// The header line and the lines of "SN" and "SP", and the declarations of
// "ST", read from the top of the file up to the first object section.
struct FileDescription {
  struct Entry {
    std::string section;  // "SWDE", "SN", "SP"
    std::string code;
    std::string value;  // the line's fields after its code, joined by ','
  };
  std::vector<Entry> entries;
  std::unordered_map<std::string, TypeDeclaration> declarations;  // by layer name
};
FileDescription read_file_description(std::span<const char> bytes, TextEncoding encoding);

// What the file holds of one layer name.
struct TypeCensus {
  std::string name;                // "DZE"
  std::vector<std::string> types;  // the SWDE types seen ("G5DZE", "G5G_DZE")
  int64_t objects = 0;
  int64_t lists = 0;
  int64_t lists_with_ring_start = 0;
  int64_t own_points = 0;
  ColumnCensus ident, second_key;
  std::vector<std::string> attribute_names;  // in order of first appearance
  std::vector<ColumnCensus> attributes;
  std::vector<std::string> relation_names;
  std::vector<ColumnCensus> relations;
  NameIndex attribute_index, relation_index;
};

struct RegisterCensus {
  std::vector<TypeCensus> types;  // in order of first appearance
  NameIndex index;
  // Hashes of the identifiers of every object, for the relations (64 bits:
  // two identifiers of one file share one with a chance of about 1e-8).
  std::vector<uint64_t> identifiers;
  void add(const RegisterObject& object);
  // Adds the census of a later part of the file.
  void merge(const RegisterCensus& later);
  void clear() { *this = RegisterCensus(); }

 private:
  std::string last_type_;  // the SWDE type of the object added last
  size_t last_type_index_ = SIZE_MAX;
  std::vector<std::pair<size_t, size_t>> cells_;  // scratch of add()
  std::vector<size_t> lengths_;
  // The columns of the names of the object added last, by their place in
  // it (the next of its type mostly has the same names in the same order).
  std::vector<size_t> attributes_before_, relations_before_;
};

// The identifiers of every object of the file, as their hashes, for
// telling a relation to an object the file lacks.  Grouped in runs by
// their highest bits (about eight hashes a run), with where each run
// begins: a lookup reads one run, where halving a sorted table read twenty
// places of it.
class IdentifierSet {
 public:
  IdentifierSet() = default;
  explicit IdentifierSet(std::vector<uint64_t> hashes);
  bool contains(uint64_t hash) const;
  // found[i] = contains(hashes[i]), for many at once: the runs of the
  // hashes ahead are fetched while those before are looked at (one lookup
  // at a time waits on the memory for each).
  void find_all(std::span<const uint64_t> hashes, std::span<uint8_t> found) const;

 private:
  std::vector<uint64_t> by_run_;
  std::vector<uint32_t> start_;  // by the highest bits: where their hashes begin
  int shift_ = 63;
};

// The census pass over one part of the file.
struct CensusPart {
  RegisterCensus census;
  MessageBuffer messages;
  void clear() {
    census.clear();
    messages.clear();
  }
};

class CensusPass : public ObjectSection {
 public:
  explicit CensusPass(CensusPart& part) : part_(part) {}
  bool read_section(LineReader& in, Line& line) override;

 private:
  CensusPart& part_;
  RegisterObject object_;
};

// The cells of one object in the column order of its table: identifier,
// second key, then the attributes and relations as the table lists them.
struct TableColumns {
  std::vector<std::string> attribute_names;
  std::vector<std::string> relation_names;
  NameIndex attribute_index, relation_index;
};
// What object_cells keeps from one object to the next: how many values
// each cell holds, the values of a cell that holds several, joined, and the
// column of each name of the object before (objects of one type mostly
// list the same names in the same order: a name is compared with the one
// at its place before it is looked up).
struct CellScratch {
  const TableColumns* columns = nullptr;  // whose names the columns below are
  std::vector<uint8_t> filled;
  std::vector<std::string> joined;
  std::vector<std::pair<std::string, size_t>> attribute_columns, relation_columns;
};
// The cells view the object's texts, or the scratch's for a cell of several
// values: good until the next object, or the next call.
void object_cells(const RegisterObject& object, const TableColumns& columns,
                  std::vector<std::string_view>& cells, CellScratch& scratch);

// The writing pass of the whole register.  What it writes of each layer
// name: nothing (a type left out), a row for a layer or table of its own,
// or the added columns of one of the four layers written before.
enum class RowUse : uint8_t { kSkip, kTable, kAddedToOutline, kAddedToPoint };

struct TablePlan {
  RowUse use = RowUse::kSkip;
  GeometryKind geometry = GeometryKind::kNone;
  TableColumns columns;
  // The dBase columns of the cells (those after the running number), by
  // which a row is formatted where it is read.
  std::vector<Column> cell_columns;
  size_t cell_bytes = 0;  // their width in the record
};

struct RegisterPlan {
  std::vector<TablePlan> tables;
  NameIndex by_name;  // layer name -> table
  IdentifierSet identifiers;
  // Where the objects that the parcel, building and precinct layers hold
  // begin in the input, ascending: only these get the added columns.
  std::vector<uint64_t> written_heads;
  // The same for the points the collecting pass kept (the point layer's
  // records).
  std::vector<uint64_t> point_heads;
  std::vector<std::string> relation_names;  // every relation name, for the counts
  NameIndex relation_slot;
  // The cells kept whole and as read, one string each (for a destination
  // whose columns take texts of any length and typed values), instead of
  // formatted as dBase records.
  bool whole_cells = false;
};

struct RegisterRow {
  uint32_t table;
  // Its cells: in the part's dBase bytes, or with whole cells the first of
  // them in whole_cells and their count.
  size_t cell_begin, cell_bytes;
  uint32_t vertex_begin, vertex_count;
  uint32_t part_begin, part_count;
};

struct RegisterPart {
  std::vector<RegisterRow> rows;
  std::string cells;  // the rows' cells, formatted as the dBase record holds them
  std::vector<std::string> whole_cells;  // or whole, when the plan asks for them
  std::vector<double> x, y;
  std::vector<int> part_start;
  std::vector<int64_t> unresolved;  // relations to no object of the file, by relation slot
  // The objects the part's relations name (their identifiers' hashes) and
  // the relations' slots, looked up together once the part is read.
  std::vector<uint64_t> relation_targets;
  std::vector<uint32_t> relation_target_slots;
  // Values written into the cells, by table: attributes and relations.
  std::vector<int64_t> attribute_values, relation_values;
  int64_t texts_cut = 0;   // texts longer than their dBase column
  int64_t degenerate = 0;  // polygons of fewer than three distinct vertices
  MessageBuffer messages;
  void clear() {
    rows.clear();
    cells.clear();
    whole_cells.clear();
    x.clear();
    y.clear();
    part_start.clear();
    unresolved.clear();
    relation_targets.clear();
    relation_target_slots.clear();
    attribute_values.clear();
    relation_values.clear();
    texts_cut = 0;
    degenerate = 0;
    messages.clear();
  }
};

class RegisterPass : public ObjectSection {
 public:
  RegisterPass(const RegisterPlan& plan, RegisterPart& part, ObjectAssembly& assembly)
      : plan_(plan), part_(part), assembly_(assembly) {}
  bool read_section(LineReader& in, Line& line) override;
  // Counts the part's relations to objects the file does not hold (after
  // its sections are read).
  void count_unresolved();

 private:
  void take(const TablePlan& table, size_t index);
  const RegisterPlan& plan_;
  RegisterPart& part_;
  ObjectAssembly& assembly_;
  RegisterObject object_;
  std::vector<std::string_view> cells_;
  CellScratch cell_scratch_;
  // Where the searches of written_heads and point_heads got to: the heads
  // of a part are asked for in increasing order.
  size_t written_cursor_ = 0;
  size_t point_cursor_ = 0;
  std::string last_type_;  // the SWDE type of the object read last, and its table
  size_t last_table_ = SIZE_MAX;
  bool looked_up_ = false;
};

}  // namespace egib
