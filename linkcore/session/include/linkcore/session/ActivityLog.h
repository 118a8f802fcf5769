// SPDX-License-Identifier: GPL-3.0-or-later
// The activity log: "hh:mm:ss <text>" appended to the day's file in the folder the
// host chose, when logging is on; and the date and time it is stamped with.
#pragma once

#include <string>
#include <string_view>

namespace linkcore {

void MirelLogAdd(const char* text);
inline void MirelLogAdd(const std::string& text) { MirelLogAdd(text.c_str()); }
void GetDate(unsigned* year, unsigned* month, unsigned* day);
void GetTime(unsigned* hour, unsigned* minute, unsigned* second);
// 1 when a file or folder exists at `path`.
int FileExist(const char* path);

} // namespace linkcore
