// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel-client and the host as separate processes (testsupport::ChildProcess), and
// the reads with bounded waits that the client's tests make on its descriptors.
#pragma once

#include "testsupport/ChildProcess.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace clienttest {

using namespace std::chrono_literals;
using ClientProcess = testsupport::ChildProcess;
using testsupport::WriteText;

// Reads from `fd` until the text read ends with or contains `text`, or `limit` passes.
std::string ReadUntil(int fd, std::string_view text, std::chrono::milliseconds limit = 5s);
// Reads exactly `count` bytes or what came within `limit`.
std::string ReadCount(int fd, std::size_t count, std::chrono::milliseconds limit = 5s);
// Reads whatever arrives within `limit`.
std::string ReadFor(int fd, std::chrono::milliseconds limit);
// The decimal number that follows `marker` in `text`; 0 when there is none.
unsigned NumberAfter(const std::string& text, std::string_view marker);

} // namespace clienttest
