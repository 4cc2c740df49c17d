// The Windows file calls on their own, run under Wine by the test command:
// names with Polish letters and past 260 characters, replacing renames,
// positions past 4 GiB, locked appends, a working file deleted while open
// (what Ctrl-C does) and the mapped input.  Prints each failed check and
// ends with status 1 if any failed.
//
//   platform_check.exe DIRECTORY
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "diag/file_system.h"
#include "diag/windows_text.h"
#include "swde/input_file.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

bool write(const std::string& path, const std::string& text) {
  egib::FilePtr f = egib::open_file(path, "wb");
  return f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size() &&
         std::fclose(f.release()) == 0;
}

std::string read(const std::string& path) {
  egib::FilePtr f = egib::open_file(path, "rb");
  std::string text;
  char block[4096];
  for (size_t got; f && (got = std::fread(block, 1, sizeof block, f.get())) > 0;) {
    text.append(block, got);
  }
  return text;
}

bool exists_wide(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void polish_names(const std::string& dir) {
  const std::string folder = dir + "\\wynik\\łódź";
  check(egib::make_directories(folder), "make_directories " + folder);
  const std::string file = folder + "\\próbka żółw.swd";
  check(write(file, "SWDE.w.3.00\nSWDEX\n"), "write " + file);
  // The letters as the file system holds them, asked through the wide call.
  check(exists_wide(egib::wide_of(dir) + L"\\wynik\\\u0142\u00f3d\u017a\\pr\u00f3bka "
                                         L"\u017c\u00f3\u0142w.swd"),
        "the name on disk has the Polish letters");
  std::string error;
  const egib::InputFile in = egib::InputFile::open(file, &error);
  check(in.is_open() && std::string(in.bytes().data(), in.bytes().size()) == "SWDE.w.3.00\nSWDEX\n",
        "mapped input " + file + " " + error);
}

void long_paths(const std::string& dir) {
  std::string deep = dir;
  for (int k = 0; k < 12; ++k) deep += "\\a_folder_name_of_thirty_chars_" + std::to_string(k);
  check(deep.size() > 300, "the path is long");
  check(egib::make_directories(deep), "make_directories of " + std::to_string(deep.size()));
  check(egib::is_directory(deep), "is_directory of a long path");
  const std::string a = deep + "\\warstwa.tmp.shp";
  const std::string b = deep + "\\warstwa.shp";
  check(write(a, "first") && write(b, "older"), "write in a long path");
  check(egib::replace_file(a, b) && read(b) == "first", "replace_file in a long path");
  std::string error;
  check(egib::InputFile::open(b, &error).size() == 5, "mapped input in a long path " + error);
  check(egib::remove_file(b) && !egib::remove_file(b), "remove_file in a long path");
  // A relative name that the working directory makes long.
  check(SetCurrentDirectoryW(egib::native_path(deep).c_str()) != 0, "cd into the long path");
  check(write("relative.txt", "x") && read(deep + "\\relative.txt") == "x",
        "relative name in a long working directory");
  SetCurrentDirectoryW(egib::wide_of(dir).c_str());
}

void replacing_and_removing(const std::string& dir) {
  const std::string from = dir + "\\r.tmp.dbf";
  const std::string to = dir + "\\r.dbf";
  check(write(to, "run 1") && write(from, "run 2"), "write two files");
  check(egib::replace_file(from, to), "replace_file over an existing file");
  check(read(to) == "run 2", "the newer file is in place");
  check(!egib::replace_file(from, to) && errno == ENOENT, "replace_file of a missing file");
  // Deleted while open, as the console handler removes working files: it
  // goes when closed.
  const std::string work = dir + "\\w.tmp.shp";
  egib::FilePtr f = egib::open_file(work, "wb");
  check(f != nullptr, "open " + work);
  check(egib::remove_file(work), "delete a file that is open");
  if (f) std::fputs("more", f.get());
  f.reset();
  check(!exists_wide(egib::wide_of(work)), "the deleted file is gone once closed");
}

void large_offsets(const std::string& dir) {
  const std::string path = dir + "\\big.dbf";
  const int64_t five_gib = int64_t{5} << 30;
  {
    egib::FilePtr f = egib::open_file(path, "w+b");
    check(f != nullptr, "open big.dbf");
    if (!f) return;
    // Sparse, so it costs no 5 GiB.
    DWORD unused = 0;
    DeviceIoControl(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f.get()))), FSCTL_SET_SPARSE,
                    nullptr, 0, nullptr, 0, &unused, nullptr);
    check(egib::seek_file(f.get(), five_gib, SEEK_SET) == 0, "seek to 5 GiB");
    check(std::fputc('Z', f.get()) == 'Z', "write at 5 GiB");
    check(egib::tell_file(f.get()) == five_gib + 1, "tell past 4 GiB");
    check(egib::seek_file(f.get(), -1, SEEK_END) == 0 && std::fgetc(f.get()) == 'Z',
          "read back at 5 GiB");
  }
  egib::remove_file(path);
}

void locked_appends(const std::string& dir) {
  const std::string path = dir + "\\ZOV_uriri.txt";
  check(egib::append_shared(path, "a\n") && egib::append_shared(path, "b\n"), "append_shared");
  check(read(path) == "a\nb\n", "appended in order, no CRLF");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: platform_check DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  polish_names(dir);
  long_paths(dir);
  replacing_and_removing(dir);
  large_offsets(dir);
  locked_appends(dir);
  std::printf("%s\n", failures == 0 ? "platform checks passed" : "platform checks failed");
  return failures == 0 ? 0 : 1;
}
