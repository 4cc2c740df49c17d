#include "layers/register_layers.h"

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "diag/error_log.h"
#include "diag/file_system.h"

namespace egib {

namespace {

int shape_type_of(GeometryKind g) {
  switch (g) {
    case GeometryKind::kPolygon:
      return SHPT_POLYGON;
    case GeometryKind::kLine:
      return SHPT_ARC;
    case GeometryKind::kPoint:
      return SHPT_POINT;
    case GeometryKind::kNone:
      break;
  }
  return SHPT_NULL;
}

DBFFieldType field_type_of(const Column& c) {
  switch (c.type) {
    case ColumnType::kInteger:
      return c.width < 10 ? FTInteger : FTDouble;
    case ColumnType::kDecimal:
      return FTDouble;
    case ColumnType::kDate:
      return FTDate;
    case ColumnType::kText:
      break;
  }
  return FTString;
}

const char* type_word(ColumnType t) {
  switch (t) {
    case ColumnType::kInteger:
      return "integer";
    case ColumnType::kDecimal:
      return "decimal";
    case ColumnType::kDate:
      return "date";
    case ColumnType::kText:
      break;
  }
  return "text";
}

const char* role_word(ColumnRole r) {
  switch (r) {
    case ColumnRole::kRunningNumber:
      return "number";
    case ColumnRole::kIdentifier:
      return "identifier";
    case ColumnRole::kSecondKey:
      return "second key";
    case ColumnRole::kAttribute:
      return "attribute";
    case ColumnRole::kRelation:
      break;
  }
  return "relation";
}

// A number right-aligned in its cell; a decimal given with fewer decimals
// than its column is padded with zeros, so the text stays exact.
void put_number(const Column& c, std::string_view v, char* cell) {
  std::string text(v);
  if (c.type == ColumnType::kDecimal) {
    size_t dot = text.find('.');
    if (dot == std::string::npos) {
      text += '.';
      dot = text.size() - 1;
    }
    const size_t have = text.size() - dot - 1;
    if (have < static_cast<size_t>(c.decimals))
      text.append(static_cast<size_t>(c.decimals) - have, '0');
  }
  const auto w = static_cast<size_t>(c.width);
  if (text.size() > w) text.resize(w);  // cannot happen: the width comes from the values
  std::memcpy(cell + (w - text.size()), text.data(), text.size());
}

// Cells of the columns from first on, into record at offset.
template <typename Cell>
void put_cells(std::span<const Column> columns, std::span<const Cell> cells, char* at,
               int64_t* texts_cut) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    const std::string_view v = i < cells.size() ? std::string_view(cells[i]) : std::string_view();
    if (!v.empty()) {
      if (c.type == ColumnType::kText) {
        std::string_view shown;
        if (cut_to_width(v, c.width, &shown)) ++*texts_cut;
        std::memcpy(at, shown.data(), shown.size());
      } else {
        put_number(c, v, at);
      }
    }
    at += c.width;
  }
}

size_t record_length(std::span<const Column> columns) {
  size_t n = 1;
  for (const Column& c : columns) n += static_cast<size_t>(c.width);
  return n;
}

std::vector<FieldSpec> field_specs(std::span<const Column> columns) {
  std::vector<FieldSpec> specs;
  for (const Column& c : columns) {
    specs.push_back({c.name.c_str(), field_type_of(c), c.width, c.decimals});
  }
  return specs;
}

std::string csv_cell(std::string_view v) {
  if (v.find_first_of(",\"\n") == std::string_view::npos) return std::string(v);
  std::string q = "\"";
  for (const char c : v) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

}  // namespace

void format_dbase_record(const std::vector<Column>& columns, int64_t number,
                         std::span<const std::string> cells, std::string& record,
                         int64_t* texts_cut) {
  record.assign(record_length(columns), ' ');
  const std::string n = std::to_string(number);
  put_number(columns[0], n, record.data() + 1);
  put_cells(std::span<const Column>(columns).subspan(1), cells,
            record.data() + 1 + columns[0].width, texts_cut);
}

bool RegisterTable::create(const std::string& final_base, const TableSpec& spec,
                           std::string_view prj_wkt, std::string* error) {
  spec_ = spec;
  const std::vector<FieldSpec> specs = field_specs(spec_.columns);
  if (!layer_.create_with_fields(final_base, shape_type_of(spec_.geometry),
                                 std::basic_string_view<FieldSpec>(specs.data(), specs.size()),
                                 error)) {
    return false;
  }
  if (spec_.geometry != GeometryKind::kNone && !prj_wkt.empty()) {
    return layer_.write_side_file(".prj", prj_wkt, error);
  }
  return true;
}

void RegisterTable::write(std::span<const std::string> cells, const ShapeValue& shape) {
  format_dbase_record(spec_.columns, rows_ + 1, cells, record_, &texts_cut_);
  write_record_and_shape(shape);
}

void RegisterTable::write_formatted(std::string_view cells, const ShapeValue& shape) {
  const Column& number = spec_.columns[0];
  record_.assign(1 + static_cast<size_t>(number.width), ' ');
  put_number(number, std::to_string(rows_ + 1), record_.data() + 1);
  record_.append(cells);
  write_record_and_shape(shape);
}

void RegisterTable::write_record_and_shape(const ShapeValue& shape) {
  const int r = static_cast<int>(rows_);
  // The whole record, its deletion flag first, after the last one.
  if (!append_dbase_records(layer_.dbf(), record_)) {
    std::fprintf(stderr, "egib2shp: cannot write record %d of %s.dbf\n", r + 1,
                 layer_.final_base().c_str());
    layer_.note_write_failure();
  }
  ++rows_;
  if (spec_.geometry == GeometryKind::kNone) return;
  SHPObject* o = nullptr;
  const int n = static_cast<int>(shape.x.size());
  if (n == 0) {
    ++null_shapes_;
    o = SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr);
  } else if (spec_.geometry == GeometryKind::kPoint) {
    o = SHPCreateSimpleObject(SHPT_POINT, 1, shape.x.data(), shape.y.data(), nullptr);
  } else {
    const int parts = std::max<int>(1, static_cast<int>(shape.part_start.size()));
    const int zero = 0;
    const int* starts = shape.part_start.empty() ? &zero : shape.part_start.data();
    std::vector<int> types(static_cast<size_t>(parts), SHPP_RING);
    o = SHPCreateObject(shape_type_of(spec_.geometry), -1, parts, starts, types.data(), n,
                        shape.x.data(), shape.y.data(), nullptr, nullptr);
  }
  const std::unique_ptr<SHPObject, void (*)(SHPObject*)> owned(o, SHPDestroyObject);
  if (o == nullptr || SHPWriteObject(layer_.shp(), -1, o) < 0) {
    std::fprintf(stderr, "egib2shp: cannot write shape %d of %s.shp\n", r + 1,
                 layer_.final_base().c_str());
    layer_.note_write_failure();
  }
}

namespace {

// The columns as fields of a dBase table (file: its name, for the message).
bool add_dbase_fields(DBFHandle dbf, std::span<const Column> columns, const std::string& file,
                      std::string* error) {
  for (const Column& c : columns) {
    if (DBFAddField(dbf, c.name.c_str(), field_type_of(c), c.width, c.decimals) < 0) {
      *error = "cannot add field " + c.name + " to " + file;
      return false;
    }
  }
  return true;
}

}  // namespace

bool add_columns_before_records(Layer& layer, std::span<const Column> extra, std::string* error) {
  if (DBFGetRecordCount(layer.dbf()) != 0) {
    *error = layer.final_base() + ".dbf has records already: no column can be added before them";
    return false;
  }
  return add_dbase_fields(layer.dbf(), extra, layer.final_base() + ".dbf", error);
}

size_t cells_width(std::span<const Column> columns) {
  return record_length(columns) - 1;
}

void format_dbase_cells(std::span<const Column> columns, size_t width,
                        std::span<const std::string_view> cells, std::string& out,
                        int64_t* texts_cut) {
  const size_t at = out.size();
  out.append(width, ' ');
  put_cells(columns, cells, out.data() + at, texts_cut);
}

namespace {

bool read_whole(const std::string& path, std::string* bytes) {
  FilePtr f = open_file(path, "rb");
  if (!f) return false;
  char buffer[1 << 16];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes->append(buffer, n);
  return std::ferror(f.get()) == 0;
}

uint32_t little(const char* b, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
  return v;
}

// Records move through a buffer of about this many bytes: a county's
// parcel table holds tens of megabytes, never read whole.
constexpr size_t kCopyBytes = size_t{4} << 20;

}  // namespace

bool append_columns(Layer& layer, const std::vector<Column>& extra, std::string_view cells,
                    int64_t rows, std::string* error) {
  // The dBase file: a header (record count at byte 4, header length at 8,
  // record length at 10, then the field descriptors), the records, 0x1A.
  const std::string old_name = layer.work_base() + ".dbf";
  const std::string new_name = layer.work_base() + ".more.dbf";
  FilePtr table = open_file(old_name, "r+b");
  char head[32];
  if (!table || std::fread(head, 1, sizeof head, table.get()) != sizeof head) {
    *error = "cannot read " + old_name;
    return false;
  }
  const uint32_t records = little(head + 4, 4);
  const uint32_t header_length = little(head + 8, 2);
  const uint32_t old_length = little(head + 10, 2);
  const size_t added = cells_width(extra);
  seek_file(table.get(), 0, SEEK_END);
  const int64_t old_size = tell_file(table.get());
  if (static_cast<int64_t>(records) != rows || cells.size() != added * static_cast<size_t>(rows) ||
      old_size < static_cast<int64_t>(header_length) + int64_t{records} * old_length) {
    *error = "the records of " + layer.final_base() + ".dbf (" + std::to_string(records) +
             ") are not the objects read again (" + std::to_string(rows) +
             "): its columns stay as they were";
    return false;
  }
  // The new header through the library: the old fields, then the added.
  {
    using Dbf = std::unique_ptr<DBFInfo, DbfCloser>;
    Dbf old_dbf(DBFOpen(old_name.c_str(), "rb"));
    Dbf new_dbf(DBFCreateEx(new_name.c_str(), "1250"));
    if (!old_dbf || !new_dbf) {
      *error = "cannot create " + new_name;
      return false;
    }
    for (int f = 0; f < DBFGetFieldCount(old_dbf.get()); ++f) {
      char name[XBASE_FLDNAME_LEN_READ + 1] = {};
      int width = 0, decimals = 0;
      DBFGetFieldInfo(old_dbf.get(), f, name, &width, &decimals);
      const char native = DBFGetNativeFieldType(old_dbf.get(), f);
      if (DBFAddNativeFieldType(new_dbf.get(), name, native, width, decimals) < 0) {
        *error = "cannot add field " + std::string(name) + " to " + new_name;
        return false;
      }
    }
    if (!add_dbase_fields(new_dbf.get(), extra, new_name, error)) return false;
  }
  remove_file(layer.work_base() + ".more.cpg");
  std::string header;
  const bool header_read = read_whole(new_name, &header) && header.size() >= 32;
  remove_file(new_name);
  if (!header_read) {
    *error = "cannot read " + new_name;
    return false;
  }
  header.resize(little(header.data() + 8, 2));
  // The date of the last update (bytes 1 to 3) and the language driver
  // (byte 29, the code page) stay the table's own: the library's new header
  // holds a fixed date and no code page.
  std::memcpy(header.data() + 1, head + 1, 3);
  header[29] = head[29];
  for (int i = 0; i < 4; ++i)
    header[4 + static_cast<size_t>(i)] = static_cast<char>((records >> (8 * i)) & 0xFF);

  // The records move in place, from the last to the first: each takes its
  // cells after its old bytes, and lands at or after where it stood, so
  // no record is overwritten before it is read.  The file's own pages are
  // written over (a copy beside it would cost as much memory again in the
  // page cache, and its removal); only what the table grows by is new.
  const size_t new_length = old_length + added;
  const size_t batch = std::max<size_t>(1, kCopyBytes / std::max<size_t>(1, new_length));
  std::string old_records, new_records;
  bool ok = true;
  for (uint32_t end = records; ok && end > 0;) {
    const uint32_t begin = end - static_cast<uint32_t>(std::min<size_t>(batch, end));
    const size_t n = end - begin;
    old_records.resize(n * old_length);
    new_records.resize(n * new_length);
    ok = seek_file(table.get(), int64_t{header_length} + int64_t{begin} * old_length, SEEK_SET) ==
             0 &&
         std::fread(old_records.data(), 1, old_records.size(), table.get()) == old_records.size();
    for (size_t k = 0; ok && k < n; ++k) {
      char* to = new_records.data() + k * new_length;
      std::memcpy(to, old_records.data() + k * old_length, old_length);
      std::memcpy(to + old_length, cells.data() + (begin + k) * added, added);
    }
    ok = ok &&
         seek_file(table.get(),
                   static_cast<int64_t>(header.size()) +
                       int64_t{begin} * static_cast<int64_t>(new_length),
                   SEEK_SET) == 0 &&
         std::fwrite(new_records.data(), 1, new_records.size(), table.get()) == new_records.size();
    end = begin;
  }
  // The end mark after the last record, and the header last of all (it
  // reaches over the first records' old places).
  ok = ok &&
       seek_file(table.get(),
                 static_cast<int64_t>(header.size()) +
                     int64_t{records} * static_cast<int64_t>(new_length),
                 SEEK_SET) == 0 &&
       std::fputc('\x1A', table.get()) != EOF && seek_file(table.get(), 0, SEEK_SET) == 0 &&
       std::fwrite(header.data(), 1, header.size(), table.get()) == header.size();
  if (std::fclose(table.release()) != 0) ok = false;
  if (!ok) {
    *error = "cannot write " + old_name + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool write_fields_csv(const std::string& path, std::span<const TableSpec> tables,
                      std::string* error) {
  FilePtr f = open_file(path, "wb");
  if (!f) {
    *error = "cannot create " + path;
    return false;
  }
  std::string text = "layer,column,full_name,role,type,width,decimals\n";
  for (const TableSpec& t : tables) {
    for (const Column& c : t.columns) {
      text += csv_cell(t.name) + "," + csv_cell(c.name) + "," + csv_cell(c.full_name) + "," +
              role_word(c.role) + "," + type_word(c.type) + "," + std::to_string(c.width) + "," +
              std::to_string(c.decimals) + "\n";
    }
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
  if (std::fclose(f.release()) != 0 || !ok) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace egib
