// The library object and the process-wide record.
#include "linkcore/Linkcore.h"

#include "linkcore/LinkcoreShared.h"

LinkcoreShared& LinkcoreShared::instance()
{
    static LinkcoreShared shared;
    return shared;
}

// Constructed when the library is loaded, not on first use, so that every port
// object exists before any method runs.
[[maybe_unused]] static const LinkcoreShared& gLoadedShared = LinkcoreShared::instance();

LinkcoreShared::~LinkcoreShared()
{
    // The threads go before what they use: the session thread, then the endpoint's
    // socket thread (which posts to sessionEvents), then the serial reader.
    if (sessionThread.joinable()) {
        serverRun = 0;
        sessionThread.request_stop();
        sessionThread.join();
    }
    socket.EventSinkReg(nullptr);
    socket.DisConnect();
    closeRadioLink();
}

CLinkcore::CLinkcore() = default;

CLinkcore::~CLinkcore() = default;

void CLinkcore::WinMsgSendReg(platform::WindowHandle window)
{
    LinkcoreShared::instance().notifyWindow = window;
}

void CLinkcore::SetLoadMessageEnable(int enable)
{
    LinkcoreShared::instance().loadMessageEnable = enable;
}
