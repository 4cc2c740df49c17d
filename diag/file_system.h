// The file calls of the program, one set for every file it names: paths
// are UTF-8 strings (as the command line gives them), on Windows passed to
// the wide-character system calls, made absolute and given the long-path
// prefix when they exceed the classic 260-character limit.  Failures set
// errno, so std::strerror(errno) says what went wrong on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "diag/error_log.h"

namespace egib {

// fopen with a stdio mode ("rb", "wb", "r+b", ...).  Files are always
// binary: no line end is ever translated.  On Windows the file may be
// deleted while open (a stopped run removes its working files that way).
FilePtr open_file(const std::string& path, const char* mode);
// Removes a file; false (errno set) when it could not be removed.
bool remove_file(const std::string& path);
// Puts `from` in place of `to`, replacing an existing `to`.
bool replace_file(const std::string& from, const std::string& to);
// Creates a directory with all its missing parents; false with errno set
// (ENOTDIR when a file of that name is in the way).
bool make_directories(const std::string& path);
bool is_directory(const std::string& path);
// 64-bit positioning of a stream (long is 32 bits on Windows).
int seek_file(std::FILE* f, int64_t offset, int whence);
int64_t tell_file(std::FILE* f);
// Appends bytes to a file shared by concurrent processes, creating it if
// needed: one write under an exclusive lock, so the messages of runs going
// on at the same time are all kept and never interleave.
bool append_shared(const std::string& path, std::string_view bytes);

}  // namespace egib
