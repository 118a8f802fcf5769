// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary radio output, in arbitrary pieces, through the reply framing and the
// reply parser with its change notifications, as the radio reader thread drives
// them. The first two bytes choose the connected model and whether a window is
// registered; every piece is preceded by one byte that gives its length.
#include "FuzzCheck.h"

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/radio/ReplyFramer.h"
#include "platform/WindowMessage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    static platform::MessageQueue window;
    LinkcoreShared& shared = LinkcoreShared::instance();
    shared.radioState = {};
    shared.passThrough = 0;
    constexpr std::int32_t kModels[] = {0, 19, 20, 15};
    shared.radioState.ID.model = kModels[data[0] % 4];
    shared.notifyWindow = (data[1] & 1) != 0 ? &window : nullptr;
    data += 2;
    size -= 2;

    linkcore::ReplyFramer framer;
    while (size > 0) {
        const std::size_t length = std::min<std::size_t>(size - 1, data[0] == 0 ? 1200 : data[0]);
        const std::string_view piece(reinterpret_cast<const char*>(data + 1), length);
        data += length + 1;
        size -= length + 1;
        framer.add(piece, [&](unsigned char* batch, std::size_t) { CLinkcore::ConstituteData(batch, &shared); });
    }
    window.drain();
    shared.notifyWindow = nullptr;
    return 0;
}
