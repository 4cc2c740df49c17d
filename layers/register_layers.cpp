#include "layers/register_layers.h"

#include <shapefil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "diag/error_log.h"

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
void put_cells(std::span<const Column> columns, std::span<const std::string> cells, char* at,
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
  const int r = static_cast<int>(rows_);
  format_dbase_record(spec_.columns, rows_ + 1, cells, record_, &texts_cut_);
  // DBFWriteTuple takes the whole record, its deletion flag first.
  if (!DBFWriteTuple(layer_.dbf(), r, record_.data())) {
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

bool append_columns(Layer& layer, const std::vector<Column>& extra,
                    const std::vector<std::vector<std::string>>& rows, int64_t* texts_cut,
                    std::string* error) {
  const std::string old_name = layer.work_base() + ".dbf";
  const std::string new_name = layer.work_base() + ".more.dbf";
  using Dbf = std::unique_ptr<DBFInfo, DbfCloser>;
  Dbf old_dbf(DBFOpen(old_name.c_str(), "rb"));
  if (!old_dbf) {
    *error = "cannot read " + old_name;
    return false;
  }
  const int records = DBFGetRecordCount(old_dbf.get());
  if (static_cast<size_t>(records) != rows.size()) {
    *error = "the records of " + layer.final_base() + ".dbf (" + std::to_string(records) +
             ") are not the objects read again (" + std::to_string(rows.size()) +
             "): its columns stay as they were";
    return false;
  }
  Dbf new_dbf(DBFCreateEx(new_name.c_str(), "1250"));
  if (!new_dbf) {
    *error = "cannot create " + new_name;
    return false;
  }
  const int fields = DBFGetFieldCount(old_dbf.get());
  size_t old_length = 1;
  for (int f = 0; f < fields; ++f) {
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    int width = 0, decimals = 0;
    DBFGetFieldInfo(old_dbf.get(), f, name, &width, &decimals);
    old_length += static_cast<size_t>(width);
    const char native = DBFGetNativeFieldType(old_dbf.get(), f);
    if (DBFAddNativeFieldType(new_dbf.get(), name, native, width, decimals) < 0) {
      *error = "cannot add field " + std::string(name) + " to " + new_name;
      return false;
    }
  }
  for (const Column& c : extra) {
    if (DBFAddField(new_dbf.get(), c.name.c_str(), field_type_of(c), c.width, c.decimals) < 0) {
      *error = "cannot add field " + c.name + " to " + new_name;
      return false;
    }
  }
  std::string record;
  for (int r = 0; r < records; ++r) {
    const char* tuple = DBFReadTuple(old_dbf.get(), r);
    if (tuple == nullptr) {
      *error = "cannot read " + old_name;
      return false;
    }
    record.assign(old_length + record_length(extra) - 1, ' ');
    std::memcpy(record.data(), tuple, old_length);
    put_cells(extra, rows[static_cast<size_t>(r)], record.data() + old_length, texts_cut);
    if (!DBFWriteTuple(new_dbf.get(), r, record.data())) {
      *error = "cannot write " + new_name;
      return false;
    }
  }
  old_dbf.reset();
  DBFInfo* closing = new_dbf.release();
  DBFClose(closing);
  // The table's own code page declaration stays; the new one goes.
  std::remove((layer.work_base() + ".more.cpg").c_str());
  if (std::rename(new_name.c_str(), old_name.c_str()) != 0) {
    *error = "cannot rename " + new_name + " to " + old_name;
    return false;
  }
  return true;
}

bool write_fields_csv(const std::string& path, std::span<const TableSpec> tables,
                      std::string* error) {
  FilePtr f(std::fopen(path.c_str(), "wb"));
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
