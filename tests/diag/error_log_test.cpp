#include "diag/error_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "diag/message_buffer.h"
#include "tests/support/test_support.h"

namespace {

using egib::test::read_file;
using egib::test::TempDir;
using egib::test::write_file;

// Points HOME at a directory for the duration of a test.
class HomeScope {
 public:
  explicit HomeScope(const char* home) {
    if (const char* old = std::getenv("HOME")) saved_ = old, had_ = true;
    if (home) {
      setenv("HOME", home, 1);
    } else {
      unsetenv("HOME");
    }
  }
  ~HomeScope() {
    if (had_) {
      setenv("HOME", saved_.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST(ErrorLog, AppendsEachMessageWithOneMoreLineEnd) {
  egib::ErrorLog log;
  TempDir home;
  HomeScope scope(home.path().c_str());
  EXPECT_EQ(egib::error_log_path(), home.file("ZOV_uriri.txt"));
  log.appendf("line=%d code='%s' Unknown swde code\n", 7, "XYZ");
  log.appendf("read_swde_line failed %d\n", 12);
  EXPECT_EQ(read_file(home.file("ZOV_uriri.txt")),
            "line=7 code='XYZ' Unknown swde code\n\nread_swde_line failed 12\n\n");
  // Each log counts its own messages: a run's count is not another's.
  EXPECT_EQ(log.messages(), 2u);
  egib::ErrorLog other;
  other.append("ERROR line 3=x");
  EXPECT_EQ(other.messages(), 1u);
  EXPECT_EQ(log.messages(), 2u);
  EXPECT_EQ(other.written_path(), home.file("ZOV_uriri.txt"));
}

TEST(ErrorLog, FallsBackToTheConsole) {
  egib::ErrorLog log;
  TempDir home;
  {
    HomeScope scope(home.path().c_str());
    write_file(home.file("ZOV_uriri.txt"), "");
    chmod(home.file("ZOV_uriri.txt").c_str(), 0444);
    if (geteuid() != 0) {  // root writes through file modes
      testing::internal::CaptureStdout();
      log.appendf("ERROR line 1=%s\n", "bad");
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR line 1=bad\n\n");
    }
  }
  {
    HomeScope scope(home.file("no/such/dir").c_str());
    testing::internal::CaptureStdout();
    log.appendf("Couldn't read: line %ld\n", 1L);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't read: line 1\n\n");
  }
  {
    HomeScope scope(nullptr);
    EXPECT_EQ(egib::error_log_path(), "");
    testing::internal::CaptureStdout();
    log.appendf("x %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "x 1\n\n");
  }
  // What went to the console is not counted as in the log.
  EXPECT_EQ(log.written_path(), "");
  EXPECT_EQ(log.messages(), 0u);
}

// A cut text is named with what holds it, its line numbered from the
// part's first line when the messages are given out; only the error log
// gets it.
TEST(ErrorLog, CutTextsAreNamedWithTheirObjectOrPoint) {
  TempDir home;
  HomeScope scope(home.path().c_str());
  egib::ErrorLog log;
  egib::MessageBuffer messages;
  messages.add_cut(3, "object", "146518_8.0001.15", "G5NAZ", "Łąka", "cut to 100 characters");
  messages.add_cut(5, "point", "P7", "G5NRP", "12", "cut by the reader");
  std::FILE* console = std::tmpfile();
  messages.replay(100, console, nullptr, log);
  EXPECT_EQ(std::ftell(console), 0);
  std::fclose(console);
  EXPECT_EQ(read_file(home.file("ZOV_uriri.txt")),
            "line=103 object '146518_8.0001.15': G5NAZ 'Łąka' cut to 100 characters\n\n"
            "line=105 point 'P7': G5NRP '12' cut by the reader\n\n");
  EXPECT_EQ(log.messages(), 2u);
}

TEST(ErrorLog, LongMessagesAreCutNotOverflowed) {
  egib::ErrorLog log;
  TempDir home;
  HomeScope scope(home.path().c_str());
  const std::string huge(5000, 'a');
  log.appendf("ERROR line 1=%s\n", huge.c_str());
  const std::string logged = read_file(home.file("ZOV_uriri.txt"));
  EXPECT_EQ(logged.size(), 1023u + 1u);  // the buffer's 1023 characters, then the line end
  EXPECT_EQ(logged.substr(0, 13), "ERROR line 1=");
}

TEST(CopyFile, CopiesInBlocks) {
  egib::ErrorLog log;
  TempDir dir;
  for (size_t size : {size_t{0}, size_t{1}, size_t{512}, size_t{513}, size_t{1024}, size_t{5000}}) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 31 + 7);
    const std::string src = dir.file("src" + std::to_string(size));
    const std::string dst = dir.file("dst" + std::to_string(size));
    write_file(src, content);
    EXPECT_EQ(egib::copy_file(src.c_str(), dst.c_str(), log), 0);
    EXPECT_EQ(read_file(dst), content) << size;
  }
}

TEST(CopyFileDeathTest, MissingSourceLogsAndExits) {
  egib::ErrorLog log;
  // Forked, so the child logs into this test's directory.
  GTEST_FLAG_SET(death_test_style, "fast");
  TempDir home;
  HomeScope scope(home.path().c_str());
  const std::string src = home.file("missing.bin");
  const std::string dst = home.file("target.bin");
  EXPECT_EXIT(egib::copy_file(src.c_str(), dst.c_str(), log), testing::ExitedWithCode(1), "");
  EXPECT_FALSE(egib::test::file_exists(dst));
  EXPECT_EQ(read_file(home.file("ZOV_uriri.txt")),
            "Error while opening " + src + " for reading: No such file or directory\n\n");
}

}  // namespace
