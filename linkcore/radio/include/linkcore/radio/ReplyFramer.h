// SPDX-License-Identifier: GPL-3.0-or-later
// ReplyFramer: cuts the radio's text, which arrives in pieces of any size, into
// batches of complete replies that end at the last ";" received, and keeps the
// partial reply after it for the next piece. Owned and used by one thread (the
// radio reader); no allocation: fixed buffers only.
#pragma once

#include <cstddef>
#include <string_view>

namespace linkcore {

class ReplyFramer {
public:
    // The longest partial reply kept while waiting for its ";".
    static constexpr std::size_t kPendingCapacity = 1023;
    // Text is taken in slices of at most this many characters (the serial buffer's size).
    static constexpr std::size_t kSliceCapacity = 1023;

    // Adds received text. For every batch of complete replies, calls
    // onBatch(unsigned char* batch, std::size_t length): the batch ends with ";", is
    // NUL-terminated and may be changed by the callee; it is valid during the call.
    template <typename OnBatch>
    void add(std::string_view text, OnBatch&& onBatch)
    {
        while (!text.empty()) {
            const std::string_view slice = text.substr(0, kSliceCapacity);
            text.remove_prefix(slice.size());
            const std::size_t length = frame(slice);
            if (length != 0) {
                onBatch(batch_, length);
            }
        }
    }

    // The partial reply held back.
    std::string_view pending() const { return {pending_, pendingLength_}; }
    // Forgets the partial reply (and any reply being skipped).
    void clear();
    // After radio text was lost: forgets the partial reply and drops the next text up to
    // and including its first ";", which ends a reply whose beginning is gone.
    void restartAtNextSeparator();

private:
    // Frames one slice into batch_; returns the batch's length, 0 when none.
    std::size_t frame(std::string_view slice);

    char pending_[kPendingCapacity] = {};
    std::size_t pendingLength_ = 0;
    // Set when a partial reply outgrew kPendingCapacity: its beginning is lost, so
    // everything up to and including the next ";" is dropped instead of being handed
    // on as a reply glued from the wrong pieces.
    bool skipToSeparator_ = false;
    unsigned char batch_[kPendingCapacity + kSliceCapacity + 1] = {};
};

} // namespace linkcore
