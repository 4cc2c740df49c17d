#include "diag/file_system.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "diag/error_log.h"
#include "tests/support/test_support.h"

namespace {

using egib::test::file_exists;
using egib::test::read_file;
using egib::test::TempDir;
using egib::test::write_file;

TEST(FileSystem, ReplaceFilePutsTheNewFileOverAnOlderOne) {
  const TempDir dir;
  const std::string from = dir.file("layer.tmp.dbf");
  const std::string to = dir.file("layer.dbf");
  write_file(to, "older run");
  write_file(from, "this run");
  ASSERT_TRUE(egib::replace_file(from, to));
  EXPECT_EQ(read_file(to), "this run");
  EXPECT_FALSE(file_exists(from));
  // A missing source fails and leaves the target alone.
  errno = 0;
  EXPECT_FALSE(egib::replace_file(from, to));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(read_file(to), "this run");
}

TEST(FileSystem, MakeDirectoriesCreatesEveryLevelAndRefusesAFileInTheWay) {
  const TempDir dir;
  const std::string deep = dir.file("wynik/łódź/a/b");
  ASSERT_TRUE(egib::make_directories(deep));
  EXPECT_TRUE(egib::is_directory(deep));
  EXPECT_TRUE(egib::make_directories(deep));  // already there
  write_file(dir.file("plik"), "x");
  errno = 0;
  EXPECT_FALSE(egib::make_directories(dir.file("plik")));
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_FALSE(egib::make_directories(dir.file("plik/below")));
  EXPECT_FALSE(egib::is_directory(dir.file("plik")));
}

TEST(FileSystem, FilesAreWrittenWithoutLineEndTranslationAndRemoved) {
  const TempDir dir;
  const std::string path = dir.file("err.log");
  {
    egib::FilePtr f = egib::open_file(path, "wb");
    ASSERT_TRUE(f);
    std::fputs("KONIEC\n", f.get());
  }
  EXPECT_EQ(read_file(path), "KONIEC\n");
  EXPECT_FALSE(egib::open_file(dir.file("missing/x"), "wb"));
  EXPECT_TRUE(egib::remove_file(path));
  EXPECT_FALSE(file_exists(path));
  EXPECT_FALSE(egib::remove_file(path));
}

TEST(FileSystem, PositionsPastFourGigabytes) {
  // A sparse file: the byte at 5 GiB costs one block.
  const TempDir dir;
  const std::string path = dir.file("big.dbf");
  const int64_t far = int64_t{5} << 30;
  {
    egib::FilePtr f = egib::open_file(path, "w+b");
    ASSERT_TRUE(f);
    ASSERT_EQ(egib::seek_file(f.get(), far, SEEK_SET), 0);
    ASSERT_EQ(std::fputc('Z', f.get()), 'Z');
    EXPECT_EQ(egib::tell_file(f.get()), far + 1);
    ASSERT_EQ(egib::seek_file(f.get(), 0, SEEK_END), 0);
    EXPECT_EQ(egib::tell_file(f.get()), far + 1);
    ASSERT_EQ(egib::seek_file(f.get(), -1, SEEK_CUR), 0);
    EXPECT_EQ(std::fgetc(f.get()), 'Z');
  }
}

std::string message(int process, int m) {
  return "run " + std::to_string(process) + " message " + std::to_string(m) +
         std::string(200, 'x') + "\n";
}

TEST(FileSystem, ConcurrentAppendsKeepEveryMessageWhole) {
  const TempDir dir;
  const std::string path = dir.file("ZOV_uriri.txt");
  constexpr int kProcesses = 4;
  constexpr int kMessages = 500;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int m = 0; m < kMessages; ++m) {
        ok = egib::append_shared(path, message(p, m)) && ok;
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Every message once, whole: the lines sorted are exactly the ones sent.
  std::vector<std::string> expected;
  for (int p = 0; p < kProcesses; ++p) {
    for (int m = 0; m < kMessages; ++m) {
      expected.push_back(message(p, m));
    }
  }
  std::vector<std::string> got;
  const std::string text = read_file(path);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    got.push_back(text.substr(start, end - start + 1));
  }
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST(ErrorLog, NamesWhereTheMessageWent) {
  const TempDir dir;
  ASSERT_EQ(setenv("HOME", dir.path().c_str(), 1), 0);
  egib::ErrorLog log;
  log.appendf("line=%d code='%s' Unknown swde code\n", 7, "Q");
  EXPECT_EQ(log.written_path(), dir.file("ZOV_uriri.txt"));
  EXPECT_EQ(read_file(dir.file("ZOV_uriri.txt")), "line=7 code='Q' Unknown swde code\n\n");
  // No other place on this platform.
  EXPECT_EQ(egib::error_log_fallback_path(), "");
}

}  // namespace
