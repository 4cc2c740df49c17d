// The whole register (--all).  The census tells every type, its
// attributes and relations and the values they take (so that the columns
// get their types and widths before the first row is written): the
// collecting pass takes it while it reads the points, and only a file that
// the two ways of reading an object take differently is read once more
// for it.  After the plain layers the writing pass then turns every object
// into a row of its layer or table, or into the cells added to the parcel,
// building, point and precinct layers.
#include <shapefil.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "driver/conversion_run.h"
#include "driver/driver.h"
#include "driver/interrupts.h"
#include "geodesy/prj_wkt.h"
#include "geodesy/transform.h"
#include "swde/file_grammar.h"
#include "swde/register_object.h"
#include "swde/segmented_pass.h"

namespace egib {

namespace {

constexpr size_t kPartBytes = size_t{4} << 20;

// The layers of the plain run that the register adds columns to, and the
// columns they hold already (an attribute kept whole there is not repeated).
struct Legacy {
  const char* name;
  const char* kept;  // attribute written whole into the layer's own column
};
constexpr Legacy kLegacy[] = {{"DZE", "G5IDD"}, {"BUD", "G5IDB"}, {"OBR", "G5IDR"}, {"PZG", ""}};

const Legacy* legacy_of(std::string_view name) {
  for (const Legacy& l : kLegacy) {
    if (name == l.name) return &l;
  }
  return nullptr;
}

ColumnType declared(char kind, ColumnType found) {
  // A declaration narrows what the values allow, never widens it: codes
  // declared as texts stay texts, a number declared whose values are not
  // numbers stays a text.
  switch (kind) {
    case 'C':
    case 'T':
      return ColumnType::kText;
    case 'D':
      return found == ColumnType::kDate ? found : ColumnType::kText;
    case 'N':
      return found == ColumnType::kInteger || found == ColumnType::kDecimal ? found
                                                                            : ColumnType::kText;
    default:
      return found;
  }
}

Column column_of(const std::string& full_name, ColumnRole role, const ColumnCensus& census,
                 char kind = ' ') {
  Column c;
  c.full_name = full_name;
  c.role = role;
  c.type = declared(kind, census.type());
  if (c.type == census.type()) {
    c.width = census.width();
    c.decimals = census.decimals();
  } else {
    c.width = std::max(1, std::min(kDbaseTextWidth, census.width()));
  }
  return c;
}

const char* geometry_word(GeometryKind g) {
  switch (g) {
    case GeometryKind::kPolygon:
      return "polygons";
    case GeometryKind::kLine:
      return "lines";
    case GeometryKind::kPoint:
      return "points";
    case GeometryKind::kNone:
      break;
  }
  return "table";
}

}  // namespace

bool ConversionRun::write_register(const CoordinateTransform& transform) {
  const std::span<const char> bytes = input_.bytes();
  const Header header = read_header(bytes, encoding_);
  if (!header.accepted) return true;
  const int threads = run_threads(options_);
  report_.register_written = true;

  // The census of the whole file: taken by the collecting pass, or, where
  // it read an object otherwise than the register does (a malformed
  // file), read on its own.
  const FileDescription description = read_file_description(bytes, encoding_);
  RegisterCensus census = std::move(census_);
  if (!census_whole_) {
    census.clear();
    run_in_parts<CensusPart>(
        bytes, header.next, encoding_, threads, kPartBytes,
        [&](LineReader& in, Line& line, GrammarState state, CensusPart& part) {
          CensusPass pass(part);
          return walk_sections(in, line, state, pass, part.messages);
        },
        [&](CensusPart& part, int32_t, size_t) { census.merge(part.census); });
  }

  // What becomes of each layer name, with its columns.
  RegisterPlan plan;
  plan.written_heads = std::move(written_heads_);
  plan.point_heads = std::move(point_heads_);
  plan.whole_cells = gdal_ != nullptr;
  // Grouped while the layers and tables are made (with two threads); the
  // thread is joined on every path out of here, the failed ones too.
  std::jthread grouping;
  if (threads > 1) {
    grouping =
        std::jthread([&] { plan.identifiers = IdentifierSet(std::move(census.identifiers)); });
  } else {
    plan.identifiers = IdentifierSet(std::move(census.identifiers));
  }
  std::vector<TableSpec> specs;
  std::vector<size_t> table_of_type;  // the plan's table of each census type
  const std::string_view wkt = esri_wkt_of_system(transform.written_system());
  for (const TypeCensus& t : census.types) {
    TablePlan tp;
    const Legacy* legacy = legacy_of(t.name);
    RegisterTypeReport rep;
    rep.name = t.name;
    for (const std::string& type : t.types) rep.types += (rep.types.empty() ? "" : ",") + type;
    rep.objects_read = t.objects;
    const bool selected = type_selected(options_, t.name);
    if (!selected) {
      tp.use = RowUse::kSkip;
      rep.output = "left out";
    } else if (legacy != nullptr) {
      const bool layer_there =
          t.name == "PZG" ? point_layer_.created() || (gdal_ && (options_.points || options_.all))
                          : true;
      tp.use = !layer_there      ? RowUse::kSkip
               : t.name == "PZG" ? RowUse::kAddedToPoint
                                 : RowUse::kAddedToOutline;
      rep.output = "columns added";
    } else {
      tp.use = RowUse::kTable;
      tp.geometry = t.lists_with_ring_start > 0 ? GeometryKind::kPolygon
                    : t.lists > 0               ? GeometryKind::kLine
                    : t.own_points > 0          ? GeometryKind::kPoint
                                                : GeometryKind::kNone;
      rep.output = geometry_word(tp.geometry);
    }
    // Columns: the identifier and second key, the attributes (those the
    // "ST" section declares first, in its order), the relations.
    TableSpec spec;
    spec.name = t.name;
    spec.geometry = tp.geometry;
    if (tp.use == RowUse::kTable) {
      Column number;
      number.name = number.full_name = "ID";
      number.role = ColumnRole::kRunningNumber;
      number.type = ColumnType::kInteger;
      number.width = 10;
      spec.columns.push_back(number);
    }
    std::vector<Column> named;
    named.push_back(column_of("IDENT", ColumnRole::kIdentifier, t.ident));
    named.push_back(column_of("KLUCZ", ColumnRole::kSecondKey, t.second_key));
    std::vector<std::string> order;
    std::vector<char> kinds;
    const auto d = description.declarations.find(t.name);
    if (d != description.declarations.end()) {
      for (size_t i = 0; i < d->second.attributes.size(); ++i) {
        if (t.attribute_index.count(d->second.attributes[i]) != 0 &&
            std::find(order.begin(), order.end(), d->second.attributes[i]) == order.end()) {
          order.push_back(d->second.attributes[i]);
          kinds.push_back(d->second.kinds[i]);
        }
      }
    }
    for (const std::string& a : t.attribute_names) {
      if (std::find(order.begin(), order.end(), a) == order.end()) {
        order.push_back(a);
        kinds.push_back(' ');
      }
    }
    for (size_t i = 0; i < order.size(); ++i) {
      if (legacy != nullptr && order[i] == legacy->kept) continue;
      tp.columns.attribute_index[order[i]] = tp.columns.attribute_names.size();
      tp.columns.attribute_names.push_back(order[i]);
      named.push_back(column_of(order[i], ColumnRole::kAttribute,
                                t.attributes[t.attribute_index.at(order[i])], kinds[i]));
    }
    for (const std::string& r : t.relation_names) {
      tp.columns.relation_index[r] = tp.columns.relation_names.size();
      tp.columns.relation_names.push_back(r);
      named.push_back(column_of(r, ColumnRole::kRelation, t.relations[t.relation_index.at(r)]));
      if (plan.relation_slot.emplace(r, plan.relation_names.size()).second) {
        plan.relation_names.push_back(r);
      }
    }
    std::vector<std::string> reserved;
    if (tp.use == RowUse::kTable) {
      reserved.push_back("ID");
    } else if (legacy != nullptr) {
      const LayerKind kind = t.name == "DZE"   ? LayerKind::kParcel
                             : t.name == "BUD" ? LayerKind::kBuilding
                             : t.name == "OBR" ? LayerKind::kPrecinct
                                               : LayerKind::kPoint;
      for (const FieldSpec& f : layer_schema(kind)) reserved.emplace_back(f.name);
    }
    assign_dbase_names(named, reserved);
    tp.cell_columns = named;
    tp.cell_bytes = cells_width(named);
    spec.columns.insert(spec.columns.end(), named.begin(), named.end());
    plan.by_name[t.name] = plan.tables.size();
    plan.tables.push_back(std::move(tp));
    report_.register_types.push_back(std::move(rep));
    specs.push_back(std::move(spec));
  }

  // The layers and tables of their own, and the rows added to the others.
  std::vector<size_t> table_index(plan.tables.size(), SIZE_MAX);
  std::vector<size_t> added_index(plan.tables.size(), SIZE_MAX);
  std::vector<size_t> gdal_table_index(plan.tables.size(), SIZE_MAX);
  size_t point_table = SIZE_MAX;  // the plan's table of the points, fed to their writer
  for (size_t i = 0; i < plan.tables.size(); ++i) {
    if (plan.tables[i].use == RowUse::kTable && gdal_) {
      // A layer or table of the GDAL destination.
      std::string error;
      const int index = gdal_->add_table(specs[i], &error);
      if (index < 0) {
        failed("egib2shp: " + error);
        return false;
      }
      gdal_table_index[i] = static_cast<size_t>(index);
    } else if (plan.tables[i].use == RowUse::kTable) {
      auto table = std::make_unique<RegisterTable>();
      std::string error;
      if (!table->create(base_ + "_" + specs[i].name, specs[i], wkt, &error)) {
        register_tables_.push_back(std::move(table));
        failed("egib2shp: " + error);
        return false;
      }
      table_index[i] = register_tables_.size();
      register_tables_.push_back(std::move(table));
    } else if (plan.tables[i].use != RowUse::kSkip) {
      AddedColumns added;
      const std::string& name = specs[i].name;
      added.layer = name == "DZE"   ? &parcels_
                    : name == "BUD" ? &buildings_
                    : name == "OBR" ? &precincts_
                                    : &point_layer_;
      added.kind = name == "DZE"   ? LayerKind::kParcel
                   : name == "BUD" ? LayerKind::kBuilding
                   : name == "OBR" ? LayerKind::kPrecinct
                                   : LayerKind::kPoint;
      added.columns = specs[i].columns;
      if (added.layer == &point_layer_ && !gdal_) {
        // Written from the cells as the pass makes them (driver/cell_feed.h).
        start_point_writer(added.columns);
        if (point_feed_) point_table = i;
        continue;
      }
      added_index[i] = added_columns_.size();
      added_columns_.push_back(std::move(added));
    }
  }
  remove_work_files_on_signals(layers(), extra_work_paths());
  if (grouping.joinable()) grouping.join();

  // The rows, in file order.
  std::vector<int64_t> unresolved(plan.relation_names.size(), 0);
  std::vector<int64_t> degenerate_total(1, 0);
  run_in_parts<RegisterPart>(
      bytes, header.next, encoding_, threads, kPartBytes,
      [&](LineReader& in, Line& line, GrammarState state, RegisterPart& part) {
        ObjectAssembly assembly(points_, transform, ConversionCache::for_this_thread(transform),
                                easting_first_, false);
        RegisterPass pass(plan, part, assembly);
        const GrammarEnd end = walk_sections(in, line, state, pass, part.messages);
        pass.count_unresolved();
        return end;
      },
      [&](RegisterPart& part, int32_t, size_t) {
        for (size_t k = 0; k < part.unresolved.size(); ++k) unresolved[k] += part.unresolved[k];
        for (size_t k = 0; k < part.attribute_values.size(); ++k) {
          report_.register_types[k].attribute_values += part.attribute_values[k];
          report_.register_types[k].relation_values += part.relation_values[k];
        }
        report_.texts_cut += part.texts_cut;
        degenerate_total[0] += part.degenerate;
        for (const RegisterRow& row : part.rows) {
          ++report_.register_types[row.table].rows_written;
          // The row's geometry: views into the part's vertices.
          ShapeValue shape;
          shape.x = std::span<const double>(part.x.data() + row.vertex_begin, row.vertex_count);
          shape.y = std::span<const double>(part.y.data() + row.vertex_begin, row.vertex_count);
          shape.part_start =
              std::span<const int>(part.part_start.data() + row.part_begin, row.part_count);
          if (gdal_table_index[row.table] != SIZE_MAX) {
            const std::span<const std::string> cells(part.whole_cells.data() + row.cell_begin,
                                                     row.cell_bytes);
            gdal_->write_row(static_cast<int>(gdal_table_index[row.table]), cells, shape);
          } else if (table_index[row.table] != SIZE_MAX) {
            const std::string_view cells(part.cells.data() + row.cell_begin, row.cell_bytes);
            register_tables_[table_index[row.table]]->write_formatted(cells, shape);
          } else if (row.table == point_table) {
            point_feed_->put(std::string_view(part.cells.data() + row.cell_begin, row.cell_bytes));
          } else if (added_index[row.table] != SIZE_MAX) {
            AddedColumns& added = added_columns_[added_index[row.table]];
            if (gdal_) {
              // Kept whole and as read: GDAL's columns take texts of any length.
              added.values.emplace_back(
                  part.whole_cells.begin() + static_cast<ptrdiff_t>(row.cell_begin),
                  part.whole_cells.begin() +
                      static_cast<ptrdiff_t>(row.cell_begin + row.cell_bytes));
            } else {
              added.cells.append(part.cells, row.cell_begin, row.cell_bytes);
            }
            ++added.rows;
          }
        }
        if (point_table != SIZE_MAX) point_feed_->publish();
      });
  if (point_table != SIZE_MAX) point_feed_->finish();
  for (size_t i = 0; i < report_.register_types.size(); ++i) {
    if (table_index[i] != SIZE_MAX) {
      const RegisterTable& t = *register_tables_[table_index[i]];
      report_.register_types[i].null_shapes =
          t.spec().geometry == GeometryKind::kNone ? 0 : t.null_shapes();
    }
  }
  for (size_t k = 0; k < plan.relation_names.size(); ++k) {
    if (unresolved[k] > 0)
      report_.unresolved_relations.emplace_back(plan.relation_names[k], unresolved[k]);
  }

  // The list of the columns, and the file's own description.
  // Written under a working name and put in place with the layers: a run
  // that fails leaves the list of the layers before it as it was.
  std::string error;
  fields_csv_work_ = base_ + "_fields.tmp.csv";
  if (!write_fields_csv(fields_csv_work_, specs, &error)) {
    failed("egib2shp: " + error);
    return false;
  }
  TableSpec meta;
  meta.name = "META";
  const auto text_column = [](const char* name, size_t width) {
    Column c;
    c.name = c.full_name = name;
    c.width = static_cast<int>(std::clamp<size_t>(width, 1, kDbaseTextWidth));
    return c;
  };
  size_t widths[3] = {1, 1, 1};
  for (const FileDescription::Entry& e : description.entries) {
    widths[0] = std::max(widths[0], e.section.size());
    widths[1] = std::max(widths[1], e.code.size());
    widths[2] = std::max(widths[2], e.value.size());
  }
  Column number;
  number.name = number.full_name = "ID";
  number.role = ColumnRole::kRunningNumber;
  number.type = ColumnType::kInteger;
  number.width = 10;
  meta.columns = {number, text_column("SEKCJA", widths[0]), text_column("KOD", widths[1]),
                  text_column("WARTOSC", widths[2])};
  if (gdal_) {
    const int index = gdal_->add_table(meta, &error);
    if (index < 0) {
      failed("egib2shp: " + error);
      return false;
    }
    for (const FileDescription::Entry& e : description.entries) {
      const std::string cells[] = {e.section, e.code, e.value};
      gdal_->write_row(index, cells, {});
    }
  }
  auto meta_table = std::make_unique<RegisterTable>();
  if (gdal_) {
    // Nothing more to write beside the destination.
  } else if (!meta_table->create(base_ + "_META", meta, {}, &error)) {
    register_tables_.push_back(std::move(meta_table));
    failed("egib2shp: " + error);
    return false;
  }
  if (!gdal_) {
    for (const FileDescription::Entry& e : description.entries) {
      const std::string cells[] = {e.section, e.code, e.value};
      meta_table->write(cells, {});
    }
    register_tables_.push_back(std::move(meta_table));
  }
  remove_work_files_on_signals(layers(), extra_work_paths());
  for (const auto& t : register_tables_) report_.texts_cut += t->texts_cut();

  // What the output holds, before it is shared.
  for (const RegisterTypeReport& t : report_.register_types) {
    std::fprintf(stderr, "egib2shp: %s (%s): %lld read, %lld written (%s)\n", t.name.c_str(),
                 t.types.c_str(), static_cast<long long>(t.objects_read),
                 static_cast<long long>(t.rows_written), t.output.c_str());
  }
  for (const RegisterTypeReport& t : report_.register_types) {
    // The layers of the plain run keep their own records: an object they
    // did not write (no vertex, or read into the object before it, which
    // lacks its "X") has no record to take its columns.
    if (t.output == "columns added" && t.rows_written < t.objects_read) {
      std::fprintf(stderr,
                   "egib2shp: %lld %s objects have no record of their own in the %s layer, so "
                   "their register values are not written\n",
                   static_cast<long long>(t.objects_read - t.rows_written), t.name.c_str(),
                   t.name.c_str());
    }
  }
  for (const auto& [name, count] : report_.unresolved_relations) {
    std::fprintf(stderr, "egib2shp: %lld relations %s to no object of the file\n",
                 static_cast<long long>(count), name.c_str());
  }
  if (degenerate_total[0] > 0) {
    std::fprintf(stderr,
                 "egib2shp: %lld outlines of fewer than three vertices written as null shapes\n",
                 static_cast<long long>(degenerate_total[0]));
  }
  return true;
}

std::vector<std::string> ConversionRun::append_register_columns() {
  std::vector<std::string> errors;
  if (gdal_) return errors;
  // Each table takes its columns on its own (the parcels' and the
  // buildings' are tens of megabytes), the first on a thread of its own
  // when there are two cores.
  std::vector<std::string> error_of(added_columns_.size());
  const auto append = [&](size_t i) {
    AddedColumns& a = added_columns_[i];
    if (!a.layer->created()) return;
    a.layer->close();
    if (!append_columns(*a.layer, a.columns, a.cells, a.rows, &error_of[i])) {
      a.layer->note_write_failure();
    }
  };
  {
    std::jthread first;  // joined at the end of this block
    size_t next = 0;
    if (run_threads(options_) > 1 && added_columns_.size() > 1) {
      first = std::jthread(append, next++);
    }
    for (size_t i = next; i < added_columns_.size(); ++i) append(i);
  }
  for (std::string& e : error_of) {
    if (!e.empty()) errors.push_back(std::move(e));
  }
  added_columns_.clear();
  return errors;
}

void ConversionRun::add_register_columns() {
  if (gdal_) {
    for (AddedColumns& a : added_columns_) {
      std::string error;
      if (!gdal_->add_columns(a.kind, a.columns, a.values, &error) && gdal_error_.empty()) {
        gdal_error_ = error;
      }
    }
  }
  for (const std::string& e : append_register_columns())
    std::fprintf(stderr, "egib2shp: %s\n", e.c_str());
  added_columns_.clear();
  if (report_.texts_cut > 0) {
    std::fprintf(stderr,
                 "egib2shp: %lld texts longer than 254 characters cut in their dBase column\n",
                 static_cast<long long>(report_.texts_cut));
  }
}

}  // namespace egib
