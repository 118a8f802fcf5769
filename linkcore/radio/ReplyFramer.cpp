// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkcore/radio/ReplyFramer.h"

#include <cstring>

namespace linkcore {

void ReplyFramer::clear()
{
    pendingLength_ = 0;
    skipToSeparator_ = false;
}

void ReplyFramer::restartAtNextSeparator()
{
    pendingLength_ = 0;
    skipToSeparator_ = true;
}

std::size_t ReplyFramer::frame(std::string_view slice)
{
    if (skipToSeparator_) {
        const std::size_t separator = slice.find(';');
        if (separator == std::string_view::npos) {
            return 0;
        }
        slice.remove_prefix(separator + 1);
        skipToSeparator_ = false;
    }
    const std::size_t last = slice.rfind(';');
    if (last == std::string_view::npos) {
        if (pendingLength_ + slice.size() > kPendingCapacity) {
            pendingLength_ = 0;
            skipToSeparator_ = true;
            return 0;
        }
        std::memcpy(pending_ + pendingLength_, slice.data(), slice.size());
        pendingLength_ += slice.size();
        return 0;
    }
    const std::size_t length = pendingLength_ + last + 1;
    std::memcpy(batch_, pending_, pendingLength_);
    std::memcpy(batch_ + pendingLength_, slice.data(), last + 1);
    batch_[length] = '\0';
    // What follows the last ";" is shorter than a slice, so it always fits.
    const std::string_view rest = slice.substr(last + 1);
    std::memcpy(pending_, rest.data(), rest.size());
    pendingLength_ = rest.size();
    return length;
}

} // namespace linkcore
