// The Channel Check window on the real main window: opened from the window menu, its frames
// through the main window's endpoint as an observer on loopback receives them.
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

#include "app/ChannelCheckWindow.h"
#include "res/Strings.h"
#include "tests/support/MainWindowFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Universe 1, start code 0, raw, channels 1 to 3.
Bytes Frame3(std::uint8_t one, std::uint8_t two, std::uint8_t three) {
    return {'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, 0x03, one, two, three, 0x00};
}

class ChannelCheckTest : public testing_support::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        OpenShown();
        ASSERT_EQ(NextSent(1).size(), 1u);  // the start-up poll
    }
    ChannelCheckWindow& OpenCheck() {
        window->SendSystemCommand(res::kCommandChannelCheck);
        EXPECT_NE(window->ChannelCheck(), nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window->ChannelCheck()));
        return *window->ChannelCheck();
    }
    // Range 2 to 3 of universe 1, full level, others at 0, a refresh too slow to come.
    ChannelCheckWindow& OpenSmallRange() {
        ChannelCheckWindow& check = OpenCheck();
        check.first->setValue(2);
        check.last->setValue(3);
        check.refresh->setValue(0.1);
        return check;
    }
    static void Key(QWidget* target, Qt::Key key) { QTest::keyClick(target, key); }
    // The next count datagrams, while the window's timer runs; bounded.
    std::vector<testing_support::Datagram> WindowSends(std::size_t count) {
        std::vector<testing_support::Datagram> sent;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (sent.size() < count && std::chrono::steady_clock::now() < deadline) {
            QTest::qWait(5);
            for (auto& datagram :
                 observer->ReceiveFor(std::chrono::milliseconds(1), count - sent.size())) {
                sent.push_back(std::move(datagram));
            }
        }
        return sent;
    }
};

TEST_F(ChannelCheckTest, OpensOnceFromTheWindowMenuAfterAbout) {
    const QList<QAction*> items = window->SystemMenu()->actions();
    ASSERT_GE(items.size(), 2);
    int about = -1;
    int check = -1;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i]->text().toStdString() == res::LoadString(res::kStringAboutItem)) about = i;
        if (items[i]->text() == "&Channel Check...") check = i;
    }
    ASSERT_NE(about, -1);
    EXPECT_EQ(check, about + 3);  // after the Network and DMX Monitor items
    EXPECT_EQ(window->ChannelCheck(), nullptr);
    items[check]->trigger();
    ChannelCheckWindow* first = window->ChannelCheck();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), "Channel Check");
    first->close();
    EXPECT_FALSE(first->isVisible());
    items[check]->trigger();
    EXPECT_EQ(window->ChannelCheck(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(window->findChildren<ChannelCheckWindow*>().size(), 1);
    EXPECT_TRUE(SentSoFar().empty()) << "opening sends nothing";
    EXPECT_TRUE(messages.Messages().empty());
}

// Start lights the first channel; Next, Previous and the arrow keys move it, stopping at the
// range's ends, where nothing more is sent.
TEST_F(ChannelCheckTest, NextAndPreviousStopAtTheRangesEnds) {
    ChannelCheckWindow& check = OpenSmallRange();
    check.Start();
    EXPECT_EQ(SentSoFar(), std::vector<Bytes>{Frame3(0, 255, 0)});
    EXPECT_EQ(check.channel->text(), "2");
    struct Move {
        std::function<void()> act;
        std::vector<Bytes> sent;
        const char* shown;
    };
    const std::vector<Move> moves{
        {[&] { check.previous->click(); }, {}, "2"},
        {[&] { Key(check.next, Qt::Key_Right); }, {Frame3(0, 0, 255)}, "3"},
        {[&] { check.next->click(); }, {}, "3"},
        {[&] { Key(check.previous, Qt::Key_Left); }, {Frame3(0, 255, 0)}, "2"},
        {[&] { Key(check.previous, Qt::Key_Left); }, {}, "2"},
    };
    for (std::size_t i = 0; i < moves.size(); ++i) {
        SCOPED_TRACE(i);
        moves[i].act();
        EXPECT_EQ(SentSoFar(), moves[i].sent);
        EXPECT_EQ(check.channel->text(), moves[i].shown);
    }
}

// Stop and closing each send one frame with every channel the window touched at 0, and say so.
TEST_F(ChannelCheckTest, StopAndCloseSetEveryTouchedChannelToZero) {
    const std::vector<std::pair<const char*, std::function<void(ChannelCheckWindow&)>>> ends{
        {"Stop", [](ChannelCheckWindow& check) { check.stop->click(); }},
        {"Close", [](ChannelCheckWindow& check) { check.close(); }},
    };
    for (const auto& [name, end] : ends) {
        SCOPED_TRACE(name);
        ChannelCheckWindow& check = OpenSmallRange();
        check.Start();
        EXPECT_EQ(SentSoFar(), std::vector<Bytes>{Frame3(0, 255, 0)});
        EXPECT_TRUE(check.IsRunning());
        end(check);
        EXPECT_FALSE(check.IsRunning());
        EXPECT_EQ(SentSoFar(), std::vector<Bytes>{Frame3(0, 0, 0)});
        EXPECT_EQ(check.status->text(), "Stopped: channels 1-3 of universe 1 set to 0.");
        EXPECT_TRUE(check.start->isEnabled());
        check.stop->click();  // stopped already: nothing more
        EXPECT_TRUE(SentSoFar().empty());
    }
}

// The refresh resends an unchanged frame at the rate set; judged by the kernel's stamps of what
// arrived within a bound, never by what a fixed sleep holds.
TEST_F(ChannelCheckTest, AnUnchangedFrameIsSentAgainAtTheRefreshRate) {
    ChannelCheckWindow& check = OpenSmallRange();
    check.refresh->setValue(10.0);
    check.Start();
    const std::vector<testing_support::Datagram> sent = WindowSends(6);
    check.Stop();
    ASSERT_EQ(sent.size(), 6u);
    for (const auto& datagram : sent) EXPECT_EQ(datagram.bytes, Frame3(0, 255, 0));
    // 10 a second: five gaps of 100 ms, allowing a loaded machine's timer its slack.
    const double gapsMs =
        static_cast<double>(sent[5].kernelRealtimeNs - sent[0].kernelRealtimeNs) / 1e6;
    EXPECT_GT(gapsMs, 450.0);
    EXPECT_LT(gapsMs, 1000.0);
}

// What the window's pattern settings make of a range of two channels, in order.
TEST_F(ChannelCheckTest, EachPatternSendsItsFramesInOrder) {
    struct Case {
        const char* name;
        std::function<void(ChannelCheckWindow&)> choose;
        std::vector<Bytes> frames;
    };
    const std::vector<Case> cases{
        {"Blink",
         [](ChannelCheckWindow& check) { check.blink->setChecked(true); },
         {Frame3(0, 255, 0), Frame3(0, 0, 0), Frame3(0, 255, 0)}},
        {"SnapChaseAt44Hz",
         [](ChannelCheckWindow& check) {
             check.kind->setCurrentIndex(1);
             check.rate->setValue(44.0);
         },
         {Frame3(0, 255, 0), Frame3(0, 0, 255), Frame3(0, 255, 0), Frame3(0, 0, 255)}},
        {"OthersAndLevel",
         [](ChannelCheckWindow& check) {
             check.level->setValue(0x80);
             check.others->setValue(0x10);
         },
         {Frame3(0, 0x80, 0x10)}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        ChannelCheckWindow& check = OpenSmallRange();
        each.choose(check);
        check.Start();
        std::vector<Bytes> frames;
        for (auto& datagram : WindowSends(each.frames.size())) frames.push_back(datagram.bytes);
        check.Stop();
        EXPECT_EQ(frames, each.frames);
        SentSoFar();  // what came after, and the zero frame
        check.blink->setChecked(false);
        check.kind->setCurrentIndex(0);
        check.level->setValue(255);
        check.others->setValue(0);
    }
}

}  // namespace
