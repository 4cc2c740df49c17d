#include "driver/run_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "diag/error_log.h"
#include "diag/file_system.h"
#include "geodesy/prj_wkt.h"
#include "swde/encoding.h"

namespace egib {

namespace {

std::string quoted(const std::string& s) {
  const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(s.data()),
                                             s.size());
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = bytes[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      continue;
    }
    const size_t n = c >= 0x80 ? utf8_sequence_at(bytes, i) : 0;
    if (n > 0) {
      out.append(s, i, n);
      i += n - 1;
      continue;
    }
    // Control characters, and bytes that begin no UTF-8 sequence (as the
    // Latin-1 characters of the same codes).
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    out += escape;
  }
  return out + "\"";
}

std::string number(int64_t v) {
  return std::to_string(v);
}

class Object {
 public:
  explicit Object(int indent) : indent_(indent) {}
  Object& member(const char* name, const std::string& json_value) {
    text_ += first_ ? "{\n" : ",\n";
    first_ = false;
    text_ += std::string(static_cast<size_t>(indent_ + 2), ' ') + quoted(name) + ": " + json_value;
    return *this;
  }
  std::string close() const {
    return (first_ ? std::string("{")
                   : text_ + "\n" + std::string(static_cast<size_t>(indent_), ' ')) +
           "}";
  }

 private:
  int indent_;
  bool first_ = true;
  std::string text_;
};

std::string system_json(int code, int indent) {
  const int epsg = epsg_of_system(code);
  return Object(indent)
      .member("code", number(code))
      .member("epsg", epsg != 0 ? number(epsg) : "null")
      .close();
}

}  // namespace

std::string report_json(const RunReport& r) {
  const RunStats& st = r.stats;
  const LayerCounts& w = st.written;
  const std::string skipped =
      Object(4)
          .member("objects_without_vertex", number(st.objects_without_vertex))
          .member("lists_without_ring_start", number(st.outlines.lists_without_ring_start))
          .close();
  const std::string counts =
      Object(2)
          .member("points_collected", number(st.points_collected))
          .member("parcels_written", number(w.parcels_written))
          .member("buildings_written", number(w.buildings_written))
          .member("points_written", r.points_layer ? number(st.points_written) : "null")
          .member("precincts_written", r.precinct_layer ? number(w.precincts_written) : "null")
          .member("vertices_written", number(w.vertices_written))
          .member("skipped", skipped)
          .member("unresolved_references", number(st.outlines.unresolved_references))
          .member("points_without_coordinates", number(st.outlines.points_without_coordinates))
          .member("texts_cut", number(st.outlines.texts_cut))
          .member("invalid_outlines",
                  r.outlines_validated ? number(st.outlines.invalid_outlines) : "null")
          .member("outlines_under_three_vertices", number(w.degenerate_outlines))
          .member("duplicate_parcel_identifiers", number(w.duplicate_parcel_ids))
          .member("duplicate_building_identifiers", number(w.duplicate_building_ids))
          .member("error_log_messages", number(static_cast<int64_t>(r.error_log_messages)))
          .member("texts_cut", number(r.texts_cut))
          .close();
  std::string files = "[";
  for (size_t i = 0; i < r.files.size(); ++i) {
    files += (i == 0 ? "\n    " : ",\n    ") + quoted(r.files[i]);
  }
  files += r.files.empty() ? "]" : "\n  ]";
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.wall_seconds);
  // The whole register: per layer name what was read and written, and the
  // relations to objects the file does not hold.
  std::string register_types = "[";
  for (size_t i = 0; i < r.register_types.size(); ++i) {
    const RegisterTypeReport& t = r.register_types[i];
    register_types += (i == 0 ? "\n    " : ",\n    ") +
                      Object(4)
                          .member("name", quoted(t.name))
                          .member("types", quoted(t.types))
                          .member("output", quoted(t.output))
                          .member("objects_read", number(t.objects_read))
                          .member("rows_written", number(t.rows_written))
                          .member("attribute_values", number(t.attribute_values))
                          .member("relation_values", number(t.relation_values))
                          .member("null_shapes", number(t.null_shapes))
                          .close();
  }
  register_types += r.register_types.empty() ? "]" : "\n  ]";
  Object unresolved(2);
  for (const auto& [name, count] : r.unresolved_relations)
    unresolved.member(name.c_str(), number(count));
  Object top(0);
  top.member("program", quoted("egib2shp"))
      .member("version", quoted(EGIB_VERSION))
      .member("input", quoted(r.input_path))
      .member("input_bytes", number(static_cast<int64_t>(r.input_bytes)))
      .member("encoding", r.encoding.empty() ? "null" : quoted(r.encoding))
      .member("encoding_told", r.encoding_told ? "true" : "false")
      .member("axis_order", quoted(r.axis_order))
      .member("axis_order_told", r.axis_order_told ? "true" : "false")
      .member("input_system", system_json(r.input_system, 2))
      .member("output_system", system_json(r.output_system, 2))
      .member("variant", number(r.variant))
      .member("counts", counts)
      .member("error_log", quoted(r.error_log_path))
      .member("run_log", quoted(r.run_log_path))
      .member("files", files)
      .member("wall_seconds", seconds)
      .member("exit_status", number(r.exit_status))
      .member("error", r.error.empty() ? "null" : quoted(r.error));
  if (r.register_written) {
    top.member("register", register_types).member("unresolved_relations", unresolved.close());
  }
  return top.close() + "\n";
}

bool write_report(const std::string& path, const RunReport& report, std::string* error) {
  const std::string work = path + ".tmp";
  const std::string text = report_json(report);
  FilePtr f(open_file(work, "wb"));
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
  if (f) ok = std::fclose(f.release()) == 0 && ok;
  if (ok && !replace_file(work, path)) ok = false;
  if (!ok) {
    *error = "cannot write the report " + path + ": " + std::strerror(errno);
    remove_file(work);
  }
  return ok;
}

}  // namespace egib
