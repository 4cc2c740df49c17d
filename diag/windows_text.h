// UTF-8 and the UTF-16 of the Windows system calls (Windows builds only).
#pragma once

#include <string>
#include <string_view>

namespace egib {

std::wstring wide_of(std::string_view utf8);
std::string utf8_of(std::wstring_view wide);
// A path for the wide-character calls: a path that exceeds the classic
// 260-character limit is made absolute and given the \\?\ prefix, which
// lifts the limit on every Windows version.
std::wstring native_path(const std::string& utf8);
// errno for the calling thread's last system error (what std::strerror
// then names): ENOENT, EACCES, EEXIST, ENOSPC, EIO ...
void set_errno_from_last_error();

}  // namespace egib
