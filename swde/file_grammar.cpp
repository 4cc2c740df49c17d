#include "swde/file_grammar.h"

#include <cstdio>

#include "diag/error_log.h"

namespace egib {

int walk_swde_file(SwdeInput& in, SectionReader objects, HeaderPolicy bad_header) {
  line_number = 1;
  char header[kLineChars];
  if (!read_header_line(in, header)) {
    log_error("Couldn't read: line %ld\n", static_cast<long>(line_number));
    return 0;
  }
  if (is_accepted_header(header)) {
    std::printf("%s\n", header);
  } else {
    log_error("ERROR line 1=%s\n", header);
    if (bad_header == HeaderPolicy::kStop) return 0;
  }
  line_number = 1;

  SwdeLine line;
  while (read_swde_line(in, line)) {
    if (line.is_ignorable()) continue;
    if (line.code_is("SN")) {
      skip_sn_section(in, line);
    } else if (line.code_is("SP")) {
      skip_sp_section(in, line);
    } else if (line.code_is("ST")) {
      skip_st_section(in, line);
    } else if (line.code_is("SO")) {
      objects(in, line);
    } else if (line.is_file_end()) {
      return 1;
    } else {
      log_error("line=%d code='%s' Unknown swde code\n", line_number, line.code());
    }
  }
  log_error("read_swde_line failed %d\n", line_number);
  return 0;
}

}  // namespace egib
