// The main window's start-up, receive tick and closing, with real widgets and real sockets.
#ifndef _WIN32
#include <unistd.h>
#endif
#include <QAbstractButton>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "app/NodeTestApp.h"
#include "framework/DataExchange.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;
using testing_support::Bytes;

namespace {

class MainWindowTest : public testing_support::MainWindowFixture {};

const std::vector<std::uint8_t> kPoll{'V', 'X', 'P', 'P', 0x01};

}  // namespace

TEST_F(MainWindowTest, StartUpPollsOnceBeforeTheWindowIsShownAndSendsNothingElse) {
    CNodeTestDlg& dialog = Open();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(NextSent(1), std::vector<std::vector<std::uint8_t>>{kPoll});
    EXPECT_EQ(dialog.BroadcastAddress(), "127.0.0.255");
    EXPECT_TRUE(dialog.Socket().IsOpen());
    EXPECT_TRUE(dialog.HasTimer(kReceiveTimerId));
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainWindowTest, StartUpLeavesTheSettingsAndFieldsAtTheirStartValues) {
    CNodeTestDlg& dialog = Open();
    EXPECT_EQ(Field(res::kIdUniverse)->text(), "1");
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "512");
    EXPECT_EQ(Field(res::kIdStartCode)->text(), "0");
    EXPECT_EQ(dialog.GetItemText(res::kIdLevelText), "  0\t  0%");
    const output::OutputSettings& settings = dialog.Settings();
    EXPECT_EQ(settings.universe, 1);
    EXPECT_EQ(settings.channelCount, 512);
    EXPECT_EQ(settings.startCode, 0);
    EXPECT_EQ(settings.dataFormat, 0);
    EXPECT_EQ(settings.levelText, "  0\t  0%");
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(Item(res::kIdRaw))->isChecked());
    EXPECT_EQ(qobject_cast<QSlider*>(Item(res::kIdSlider))->value(), 255);
}

// What each report says belongs to the endpoint's own tests; here, one report per tick.
TEST_F(MainWindowTest, EachTickReadsOneDatagram) {
    const CNodeTestDlg& dialog = Open();
    NextSent(1);
    const std::vector<std::string> datagrams{"V", "VXZZ", "VXAP", "QQQQ and more"};
    for (const std::string& datagram : datagrams) SendToWindow(Bytes(datagram));
    // All of them wait before the first tick. Without the event loop, so that the real timer
    // takes none meanwhile.
    testing_support::WaitUntil(
        10s, [&] { return dialog.Socket().WaitingDatagrams() >= datagrams.size(); });
    ASSERT_EQ(dialog.Socket().WaitingDatagrams(), datagrams.size());
    for (std::size_t tick = 1; tick <= datagrams.size() + 2; ++tick) {
        Tick();
        EXPECT_EQ(messages.Messages().size(), std::min(tick, datagrams.size())) << "tick " << tick;
    }
}

TEST_F(MainWindowTest, OwnTrafficEmptyAndOversizedDatagramsShowNothing) {
    Open();
    SendToWindow(kPoll);
    SendToWindow(std::vector<std::uint8_t>(522, 0));
    std::vector<std::uint8_t> dmx = Bytes("VXDD");
    dmx.resize(522);
    SendToWindow(dmx);
    SendToWindow({});
    std::vector<std::uint8_t> oversized = Bytes("QQQQ");
    oversized.resize(601, 'Q');
    SendToWindow(oversized);
    SendToWindow(Bytes("VXZZ"));  // proves the ticks got this far
    // The 522 zero bytes are an invalid header and VXZZ is reported; the others pass silently.
    ASSERT_TRUE(TickUntil([&] { return messages.Messages().size() >= 2; }));
    for (int i = 0; i < 6; ++i) Tick();
    EXPECT_EQ(messages.Messages().size(), 2u);
}

TEST_F(MainWindowTest, ARealHundredMillisecondTimerDrivesTheTick) {
    CNodeTestDlg& dialog = OpenShown();
    const QList<QTimer*> timers = dialog.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_TRUE(timers[0]->isActive());
    EXPECT_EQ(timers[0]->interval(), 100);
    for (int i = 0; i < 3; ++i) SendToWindow(Bytes("VXAP"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return messages.Messages().size() == 3u; }, 10000));
}

TEST_F(MainWindowTest, DoneAndEscapeStopTheTick) {
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        window = std::make_unique<CNodeTestDlg>(Environment());
        QTimer::singleShot(0, [&] {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : window.get(), key);
        });
        const int result = window->DoModal();
        EXPECT_EQ(result, key == Qt::Key_Escape ? framework::kIdCancel : framework::kIdOk);
        EXPECT_FALSE(window->HasTimer(kReceiveTimerId));
        SendToWindow(Bytes("VXZZ"));
        // Once it waits in the window, a receive timer still running would take and report it
        // before a timer of three periods, started now, runs out: deadlines keep their order.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return window->Socket().WaitingDatagrams() == 1 || !messages.Messages().empty();
            },
            10000));
        bool threePeriods = false;
        QTimer later;
        later.setSingleShot(true);
        later.setTimerType(Qt::PreciseTimer);
        QObject::connect(&later, &QTimer::timeout, [&] { threePeriods = true; });
        later.start(3 * kReceiveTimerPeriodMs);
        EXPECT_TRUE(QTest::qWaitFor([&] { return threePeriods; }, 10000));
        EXPECT_TRUE(messages.Messages().empty());
        EXPECT_EQ(window->Socket().WaitingDatagrams(), 1u);
        window.reset();
    }
}

TEST_F(MainWindowTest, DoneWithAnEmptyFieldReportsItAndKeepsTicking) {
    CNodeTestDlg& dialog = OpenShown();
    Field(res::kIdStartCode)->clear();  // reported at once, as the field changed
    ASSERT_EQ(messages.Messages().size(), 1u);
    QTest::mouseClick(Item(res::kIdDone), Qt::LeftButton);
    EXPECT_EQ(messages.Messages().size(), 2u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.HasTimer(kReceiveTimerId));
    SendToWindow(Bytes("VXAP"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return messages.Messages().size() == 3u; }, 10000));
}

TEST_F(MainWindowTest, APortHeldWithoutReuseEndsTheProgramWithCodeZero) {
    testing_support::PeerSocket holder("0.0.0.0", 0, false);
    port = holder.Port();
    window = std::make_unique<CNodeTestDlg>(Environment());
    EXPECT_EQ(window->DoModal(), framework::kQuitResult);
    EXPECT_EQ(messages.Messages().size(), 2u);  // the failed bind, then the start-up poll
    EXPECT_EQ(framework::QuitExitCode(), 0);
    EXPECT_FALSE(window->Socket().IsOpen());
}

TEST_F(MainWindowTest, TwoWindowsOnOneHostBothBindThePort) {
    CNodeTestDlg& first = Open();
    CNodeTestDlg second(Environment());
    second.Create();
    EXPECT_TRUE(first.Socket().IsOpen());
    EXPECT_TRUE(second.Socket().IsOpen());
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_EQ(NextSent(2).size(), 2u);
}

TEST_F(MainWindowTest, PollRepliesFillTheTreeAndPollAgainPollsOnly) {
    CNodeTestDlg& dialog = Open();
    NextSent(1);
    protocol::PollReplyMessage reply;
    reply.name = "Stage";
    const auto bytes = protocol::WritePollReply(reply);
    SendToWindow({bytes.begin(), bytes.end()});
    auto* tree = qobject_cast<QTreeWidget*>(Item(res::kIdTree));
    ASSERT_TRUE(TickUntil([&] { return tree->topLevelItemCount() == 1; }));
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "IP Address: 127.0.0.1");

    QTest::mouseClick(Item(res::kIdPollAgain), Qt::LeftButton);
    EXPECT_EQ(NextSent(1), std::vector<std::vector<std::uint8_t>>{kPoll});
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_TRUE(messages.Messages().empty());
    (void)dialog;
}

#ifndef _WIN32
// Descriptors are a POSIX resource; Windows has no such limit to exhaust.
TEST_F(MainWindowTest, NoSocketToBeHadLeavesTheWindowOpenAndReportsTheFirstSend) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "with every descriptor taken the sanitizers cannot check memory";
#endif
    // Use up every descriptor, so that making the endpoint's socket fails.
    std::vector<int> held;
    for (int fd = dup(0); fd >= 0; fd = dup(0)) held.push_back(fd);
    window = std::make_unique<CNodeTestDlg>(Environment());
    window->Create();
    for (int fd : held) close(fd);
    EXPECT_FALSE(window->Socket().IsOpen());
    EXPECT_EQ(messages.Messages().size(), 1u);  // the start-up poll's send
    EXPECT_FALSE(framework::QuitRequested());
    // The window goes on: the tick reads nothing and reports nothing; both sends of a key
    // (its press and its release) report again.
    Tick();
    QTest::keyClick(Item(res::kIdSlider), Qt::Key_Home);
    EXPECT_EQ(messages.Messages().size(), 3u);
    EXPECT_EQ(window->GetItemText(res::kIdLevelText), "255\t100%");
}
#endif

TEST_F(MainWindowTest, AHostWithoutAnAddressSaysSoAndEverySendFails) {
    net::NodeSocketEnvironment environment = Environment();
    environment.lookupHostAddress = [] { return std::optional<net::Ipv4>(); };
    window = std::make_unique<CNodeTestDlg>(environment);
    window->Create();
    EXPECT_EQ(messages.Messages().size(), 2u);  // no address, then the start-up poll
    EXPECT_TRUE(window->Socket().IsOpen());     // replies could still come in
    EXPECT_TRUE(SentSoFar().empty());
}

TEST_F(MainWindowTest, WithoutTheSocketLayerTheProgramSaysSoAndOpensNoWindow) {
    CNodeTestApp::Environment environment;
    environment.startSocketLayer = [] { return false; };
    bool windowMade = false;
    environment.onMainWindow = [&](CNodeTestDlg&) { windowMade = true; };
    CNodeTestApp app(environment);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(windowMade);
    EXPECT_EQ(messages.Messages(),
              std::vector<std::string>{"Windows sockets initialization failed."});
}

TEST_F(MainWindowTest, TheApplicationRunsTheMainWindowUntilItCloses) {
    CNodeTestApp::Environment environment;
    environment.socketEnvironment = [this] { return Environment(); };
    CNodeTestDlg* running = nullptr;
    environment.onMainWindow = [&](CNodeTestDlg& dialog) {
        running = &dialog;
        QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    };
    CNodeTestApp app(environment);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(running, nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(NextSent(1).size(), 1u);  // its start-up poll
}
