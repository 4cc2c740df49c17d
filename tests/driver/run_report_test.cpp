// The JSON text of a run's report.
#include "driver/run_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RunReport, JsonTextsAreEscaped) {
  egib::RunReport r;
  r.input_path = std::string("a\"b\\c\td\x01") + "\xC5\x81\xB3";  // "Ł" in UTF-8, then a stray byte
  r.encoding = "utf-8";
  r.error = "line\nbreak";
  const std::string json = egib::report_json(r);
  EXPECT_NE(json.find("\"input\": \"a\\\"b\\\\c\\u0009d\\u0001\xC5\x81\\u00b3\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"error\": \"line\\u000abreak\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"points_written\": null"), std::string::npos);
  EXPECT_NE(json.find("\"files\": []"), std::string::npos);
}

// Bytes that look like UTF-8 but are no well-formed sequence (an encoded
// surrogate, an overlong form) would make the report invalid UTF-8: they
// are escaped one by one, as any stray byte is.
TEST(RunReport, IllFormedUtf8IsEscaped) {
  egib::RunReport r;
  r.input_path = "\xED\xA0\x80|\xC0\xAF|\xF0\x9F\x97\xBA";  // surrogate, overlong '/', a map
  const std::string json = egib::report_json(r);
  EXPECT_NE(json.find("\"input\": \"\\u00ed\\u00a0\\u0080|\\u00c0\\u00af|\xF0\x9F\x97\xBA\""),
            std::string::npos)
      << json;
}

}  // namespace
