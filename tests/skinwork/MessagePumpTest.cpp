// SPDX-License-Identifier: GPL-3.0-or-later
// Posted messages reaching a GUI-thread window: through DoEvents, bounded at 100
// a call, and through the event loop when nobody pumps.
#include "skinwork/MessagePump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <thread>
#include <vector>

namespace skinwork {
namespace {

using platform::Message;

constexpr std::uint32_t kNotify = 0x3200;

// Posts `count` messages numbered from `first` from another thread and waits for it.
void postFromThread(platform::MessageTarget& target, int count, int first = 0)
{
    std::thread poster([&] {
        for (int i = 0; i < count; ++i) {
            platform::PostMessage(&target, kNotify, static_cast<platform::WParam>(first + i), 1);
        }
    });
    poster.join();
}

struct Recorder {
    std::vector<Message> received;
    WindowMessageTarget::Handler handler()
    {
        return [this](const Message& message) { received.push_back(message); };
    }
};

TEST(DoEvents, DeliversAtMostOneHundredAndSaysMoreAreWaiting)
{
    struct Row {
        int waiting;
        std::vector<int> perCall;    // delivered by successive calls
        std::vector<int> results;    // their results
    };
    const Row rows[] = {
        {150, {100, 50}, {1, 0}},
        {3, {3}, {0}},
        {0, {0}, {0}},
        {201, {100, 100, 1}, {1, 1, 0}},
    };
    for (const Row& row : rows) {
        Recorder recorder;
        WindowMessageTarget window(recorder.handler());
        postFromThread(window, row.waiting);
        std::size_t total = 0;
        for (std::size_t call = 0; call < row.perCall.size(); ++call) {
            const int result = DoEvents();
            total += static_cast<std::size_t>(row.perCall[call]);
            EXPECT_EQ(result != 0 ? 1 : 0, row.results[call]) << row.waiting << " call " << call;
            EXPECT_EQ(recorder.received.size(), total) << row.waiting << " call " << call;
            EXPECT_EQ(window.pending(), static_cast<std::size_t>(row.waiting) - total);
        }
        for (std::size_t i = 0; i < recorder.received.size(); ++i) {
            ASSERT_EQ(recorder.received[i], (Message{kNotify, i, 1}));
        }
    }
}

TEST(DoEvents, KeepsThePostingOrderAcrossTheWindowsOfTheThread)
{
    std::vector<std::pair<int, platform::WParam>> order;
    WindowMessageTarget first([&](const Message& m) { order.emplace_back(1, m.wParam); });
    WindowMessageTarget second([&](const Message& m) { order.emplace_back(2, m.wParam); });
    first.post(kNotify, 10, 0);
    second.post(kNotify, 11, 0);
    first.post(kNotify, 12, 0);
    EXPECT_EQ(DoEvents(), 0);
    const std::vector<std::pair<int, platform::WParam>> expected{{1, 10}, {2, 11}, {1, 12}};
    EXPECT_EQ(order, expected);
}

TEST(DoEvents, ProcessesQtEventsWithoutWaiting)
{
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QObject receiver;
    int posted = 0;
    struct Counter : QObject {
        int* count;
        explicit Counter(int* c) : count(c) {}
        bool event(QEvent* e) override
        {
            if (e->type() == QEvent::User) {
                ++*count;
                return true;
            }
            return QObject::event(e);
        }
    } counter(&posted);
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    EXPECT_EQ(DoEvents(), 0);
    EXPECT_TRUE(fired);
    EXPECT_EQ(posted, 1);
}

TEST(WindowMessageTarget, EventLoopDeliversWhenNobodyPumps)
{
    Recorder recorder;
    WindowMessageTarget window(recorder.handler());
    postFromThread(window, 250);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.received.size() == 250; }, 5000));
    EXPECT_EQ(window.pending(), 0u);
    EXPECT_EQ(recorder.received.back(), (Message{kNotify, 249, 1}));
}

TEST(WindowMessageTarget, MessagesLeftByDoEventsFollowThroughTheEventLoop)
{
    Recorder recorder;
    WindowMessageTarget window(recorder.handler());
    postFromThread(window, 130);
    EXPECT_NE(DoEvents(), 0);
    EXPECT_EQ(window.pending(), 30u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.received.size() == 130; }, 5000));
}

TEST(WindowMessageTarget, DestroyedWindowDropsItsWaitingMessagesOnly)
{
    Recorder kept;
    WindowMessageTarget survivor(kept.handler());
    {
        Recorder dropped;
        WindowMessageTarget closing(dropped.handler());
        closing.post(kNotify, 1, 0);
        survivor.post(kNotify, 2, 0);
        closing.post(kNotify, 3, 0);
    }
    EXPECT_EQ(DoEvents(), 0);
    ASSERT_EQ(kept.received.size(), 1u);
    EXPECT_EQ(kept.received[0].wParam, 2u);
}

TEST(WindowMessageTarget, HandlerMayDestroyTheLastWindowOfItsThread)
{
    // Through the event loop and through DoEvents.
    for (const bool pump : {false, true}) {
        int handled = 0;
        WindowMessageTarget* window = nullptr;
        window = new WindowMessageTarget([&](const Message&) {
            ++handled;
            delete window;
            window = nullptr;
        });
        postFromThread(*window, 3);
        if (pump) {
            EXPECT_EQ(DoEvents(), 0);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return window == nullptr; }, 5000));
        EXPECT_EQ(handled, 1);
    }
}

TEST(WindowMessageTarget, ModalLoopOpenedDuringDoEventsGetsItsMessages)
{
    bool delivered = false;
    QEventLoop* modal = nullptr;
    WindowMessageTarget window([&](const Message&) {
        delivered = true;
        if (modal != nullptr) {
            modal->quit();
        }
    });
    // A Qt event handled inside DoEvents opens a modal loop that waits for a message.
    QTimer::singleShot(0, [&] {
        QEventLoop loop;
        modal = &loop;
        postFromThread(window, 1);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        modal = nullptr;
    });
    DoEvents();
    EXPECT_TRUE(delivered);
}

TEST(WindowMessageTarget, OtherThreadsDoNotPumpThisThreadsWindows)
{
    Recorder recorder;
    WindowMessageTarget window(recorder.handler());
    window.post(kNotify, 7, 0);
    int result = -1;
    std::thread other([&] { result = DoEvents(); });
    other.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(window.pending(), 1u);
    DoEvents();
    EXPECT_EQ(recorder.received.size(), 1u);
}

} // namespace
} // namespace skinwork
