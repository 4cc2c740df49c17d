#include "driver/run_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "diag/error_log.h"
#include "geodesy/prj_wkt.h"

namespace egib {

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
size_t utf8_length(const std::string& s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                   : b >= 0xE0 && b <= 0xEF ? 3
                   : b >= 0xF0 && b <= 0xF4 ? 4
                                            : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (c < 0x80 || c > 0xBF) return 0;
  }
  return n;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t n = utf8_length(s, i); n > 0) {
      out.append(s, i, n);
      i += n - 1;
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
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
  const std::string skipped =
      Object(4)
          .member("objects_without_vertex", number(st.objects_without_vertex))
          .member("lists_without_ring_start", number(st.lists_without_ring_start))
          .close();
  const std::string counts =
      Object(2)
          .member("points_collected", number(st.points_collected))
          .member("parcels_written", number(st.parcels_written))
          .member("buildings_written", number(st.buildings_written))
          .member("points_written", r.points_layer ? number(st.points_written) : "null")
          .member("precincts_written", r.precinct_layer ? number(st.precincts_written) : "null")
          .member("vertices_written", number(st.vertices_written))
          .member("skipped", skipped)
          .member("unresolved_references", number(st.unresolved_references))
          .member("outlines_under_three_vertices", number(st.degenerate_outlines))
          .member("duplicate_parcel_identifiers", number(st.duplicate_parcel_ids))
          .member("duplicate_building_identifiers", number(st.duplicate_building_ids))
          .member("error_log_messages", number(static_cast<int64_t>(r.error_log_messages)))
          .close();
  std::string files = "[";
  for (size_t i = 0; i < r.files.size(); ++i) {
    files += (i == 0 ? "\n    " : ",\n    ") + quoted(r.files[i]);
  }
  files += r.files.empty() ? "]" : "\n  ]";
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.wall_seconds);
  return Object(0)
             .member("program", quoted("egib2shp"))
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
             .member("error", r.error.empty() ? "null" : quoted(r.error))
             .close() +
         "\n";
}

bool write_report(const std::string& path, const RunReport& report, std::string* error) {
  const std::string work = path + ".tmp";
  const std::string text = report_json(report);
  FilePtr f(std::fopen(work.c_str(), "wb"));
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
  if (f) ok = std::fclose(f.release()) == 0 && ok;
  if (ok && std::rename(work.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    *error = "cannot write the report " + path + ": " + std::strerror(errno);
    std::remove(work.c_str());
  }
  return ok;
}

}  // namespace egib
