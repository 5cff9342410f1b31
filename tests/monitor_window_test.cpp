// The DMX monitor window: alone, with the time chosen by the test; and beside the real main
// window, with consoles on loopback that each send from an address of their own.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <optional>

#include "testing/Desk.h"
#include "testing/MonitorWindow.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;
using testing_support::Desk;
using testing_support::GridRow;
using testing_support::RecentChannels;
using testing_support::SourceLines;
using testing_support::SourceRow;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

namespace {

constexpr std::chrono::milliseconds kLimit = 10s;

// Universe 1, start code 0, raw: channels 1 and 2 at 255.
const Bytes kAlphaUniverse1{'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0x00};
// Universe 3, start code 0, raw: channels 1 to 3 at 10, 20 and 30.
const Bytes kAlphaUniverse3{'V', 'X', 'D', 'D', 0x02, 0x00, 0x01, 0x00, 0x03, 10, 20, 30, 0x00};
// The same, channel 2 at 99.
const Bytes kAlphaUniverse3Changed{'V',  'X',  'D', 'D', 0x02, 0x00, 0x01,
                                   0x00, 0x03, 10,  99,  30,   0x00};
// Universe 3, start code 0x55, run-length type: 18 channels at 1 to 18.
const Bytes kBravoUniverse3{'V', 'X', 'D', 'D', 0x02, 0x55, 0x04, 0x00, 0x12, 1,  2,  3,  4,  5,
                            6,   7,   8,   9,   10,   11,   12,   13,   14,   15, 16, 17, 18, 0x00};

const Texts kNothing(16, "--");

Texts Cells(std::initializer_list<const char*> first) {
    Texts texts(first.begin(), first.end());
    texts.resize(16, "--");
    return texts;
}

// Monitor signals that make a view repaint.
struct Repaints {
    explicit Repaints(const QAbstractItemModel& model)
        : changed(&model, &QAbstractItemModel::dataChanged),
          reset(&model, &QAbstractItemModel::modelReset) {}
    int Take() {
        const int count = static_cast<int>(changed.count() + reset.count());
        changed.clear();
        reset.clear();
        return count;
    }
    QSignalSpy changed;
    QSignalSpy reset;
};

// One refresh at a chosen moment, after an optional frame from 10.0.0.1.
struct RefreshStep {
    const char* what;
    std::chrono::milliseconds at;
    std::optional<Bytes> frame;
    int sourceRepaints;
    int gridRepaints;
    Texts firstRow;
    std::vector<int> recent;
    const char* state;
};

TEST(MonitorWindowAlone, RepaintsOnlyWhatChangedAndOnlyWhenItChanged) {
    DmxMonitorWindow monitor([](net::DmxTap) {});
    const monitor::Time start{1000s};
    Repaints sources(monitor.SourceModel());
    Repaints grid(monitor.GridModel());
    const Texts levels = Cells({"10", "20", "30"});
    const Texts moved = Cells({"10", "99", "30"});
    const RefreshStep steps[] = {
        {"first frame", 0ms, kAlphaUniverse3, 1, 1, levels, {1, 2, 3}, "Live"},
        {"nothing new", 100ms, {}, 0, 0, levels, {1, 2, 3}, "Live"},
        {"same levels", 1000ms, kAlphaUniverse3, 1, 0, levels, {1, 2, 3}, "Live"},
        {"a level moves", 1500ms, kAlphaUniverse3Changed, 1, 1, moved, {1, 2, 3}, "Live"},
        {"older marks run out", 2200ms, {}, 1, 1, moved, {2}, "Live"},
        {"silent 2.6 s", 4100ms, {}, 1, 1, moved, {}, "Lost"},
        {"still silent", 5000ms, {}, 0, 0, moved, {}, "Lost"},
    };
    for (const RefreshStep& step : steps) {
        SCOPED_TRACE(step.what);
        // 10.0.0.1 in network order, as a little-endian machine holds it.
        if (step.frame) monitor.Monitor().Feed(*step.frame, {0x0100000A, 3333}, start + step.at);
        monitor.Refresh(start + step.at);
        EXPECT_EQ(sources.Take(), step.sourceRepaints);
        EXPECT_EQ(grid.Take(), step.gridRepaints);
        EXPECT_EQ(GridRow(monitor, 0), step.firstRow);
        EXPECT_EQ(RecentChannels(monitor), step.recent);
        EXPECT_EQ(SourceLines(monitor), (Lines{{"10.0.0.1", "3", "0", "RAW", "3", step.state}}));
    }
}

TEST(MonitorWindowAlone, ListensAndRefreshesOnlyWhileOpen) {
    std::vector<bool> taps;
    DmxMonitorWindow monitor([&](net::DmxTap tap) { taps.push_back(static_cast<bool>(tap)); });
    const QList<QTimer*> timers = monitor.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->interval(), 50);
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<bool> taps;
        bool timing;
    } steps[] = {
        {"made", [] {}, {}, false},
        {"shown", [&] { monitor.show(); }, {true}, true},
        {"closed", [&] { monitor.close(); }, {true, false}, false},
        {"shown again", [&] { monitor.show(); }, {true, false, true}, true},
        {"hidden", [&] { monitor.hide(); }, {true, false, true, false}, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(taps, step.taps);
        EXPECT_EQ(timers[0]->isActive(), step.timing);
    }
}

TEST(MonitorWindowAlone, KeyboardReachesEveryControlInOrderAndEachHasAName) {
    DmxMonitorWindow monitor([](net::DmxTap) {});
    monitor.show();
    QApplication::setActiveWindow(&monitor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&monitor));
    const std::vector<QWidget*> order{monitor.SourceView(), monitor.UniverseBox(),
                                      monitor.FormatBox(), monitor.GridView()};
    const Texts names{"Sources", "Universe", "Show levels as", "Channel levels"};
    monitor.SourceView()->setFocus(Qt::TabFocusReason);
    for (std::size_t i = 0; i < 2 * order.size(); ++i) {
        QWidget* expected = order[i % order.size()];
        EXPECT_EQ(QApplication::focusWidget(), expected) << "after " << i << " tabs";
        EXPECT_EQ(expected->accessibleName().toStdString(), names[i % names.size()]);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(monitor.GridTitle()->accessibleName(), "Levels shown");
}

class MonitorWindowTest : public testing_support::MainWindowFixture {
protected:
    DmxMonitorWindow& OpenMonitor() {
        OpenShown();
        DmxMonitorWindow* monitor = testing_support::ChooseMonitorItem(*window);
        if (!monitor) throw std::runtime_error("no monitor item in the window menu");
        return *monitor;
    }
    std::unique_ptr<Desk> StartDesk(const std::string& from, Desk::Frames frames) {
        return std::make_unique<Desk>(from, toolAddress, port, std::move(frames));
    }
    static bool Eventually(const std::function<bool()>& done) {
        return testing_support::RunEventsUntil(kLimit, done);
    }
    // Moves the source list's current row with the arrow keys, as a person would.
    static void GoToRow(DmxMonitorWindow& monitor, int row) {
        QTableView* view = monitor.SourceView();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < row; ++i) QTest::keyClick(view, Qt::Key_Down);
    }
};

TEST_F(MonitorWindowTest, TheMenuItemFollowsNetworkAndOpensOneWindowBesideTheMainOne) {
    CNodeTestDlg& dialog = OpenShown();
    NextSent(1);
    const QList<QAction*> items = dialog.SystemMenu()->actions();
    ASSERT_EQ(items.size(), 6);  // Close, a separator, About, Network, this one, Channel Check
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "&About PraveltTest...");
    EXPECT_EQ(items[3]->text(), "&Network...");
    EXPECT_EQ(items[4]->text(), "&DMX Monitor...");
    EXPECT_EQ(dialog.MonitorWindow(), nullptr);

    DmxMonitorWindow* first = testing_support::ChooseMonitorItem(dialog);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->windowTitle(), "DMX Monitor");
    EXPECT_EQ(first->GridTitle()->text(), "No DMX data heard since this window opened.");
    EXPECT_EQ(testing_support::ChooseMonitorItem(dialog), first);
    first->close();
    EXPECT_FALSE(first->Listening());
    EXPECT_EQ(testing_support::ChooseMonitorItem(dialog), first);
    EXPECT_EQ(dialog.findChildren<DmxMonitorWindow*>().size(), 1);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->Listening());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_TRUE(messages.Messages().empty());
}

// The main window runs modally, as in the program; the monitor still takes keys. They go in as
// the window system delivers them, where a window that a modal one blocks never sees them.
TEST_F(MonitorWindowTest, TheMonitorTakesKeysWhileTheMainWindowRunsModally) {
    window = std::make_unique<CNodeTestDlg>(Environment());
    int format = -1;
    QTimer::singleShot(0, [&] {
        DmxMonitorWindow* monitor = testing_support::ChooseMonitorItem(*window);
        ASSERT_NE(monitor, nullptr);
        monitor->FormatBox()->setFocus();
        QTest::keyClick(monitor->windowHandle(), Qt::Key_Down);
        format = monitor->FormatBox()->currentIndex();
        QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    EXPECT_EQ(window->DoModal(), framework::kIdCancel);
    EXPECT_EQ(format, 1);
}

TEST_F(MonitorWindowTest, TwoConsolesOnOneUniverseAreAConflictAndEachShowsItsOwnLevels) {
    DmxMonitorWindow& monitor = OpenMonitor();
    const auto alpha = StartDesk("127.0.0.2", {kAlphaUniverse1, kAlphaUniverse3});
    const auto bravo = StartDesk("127.0.0.3", {kBravoUniverse3});
    const Lines expected{
        {"127.0.0.2", "1", "0", "RAW", "2", "Live"},
        {"127.0.0.2", "3", "0", "RAW", "3", "Conflict"},
        {"127.0.0.3", "3", "85", "RLE", "18", "Conflict"},
    };
    ASSERT_TRUE(Eventually([&] { return SourceLines(monitor) == expected; }))
        << testing::PrintToString(SourceLines(monitor));
    const QAbstractItemModel& sources = monitor.SourceModel();
    for (int row = 0; row < 3; ++row) {
        const QModelIndex state = sources.index(row, monitor_ui::SourceTableModel::State);
        EXPECT_EQ(state.data(monitor_ui::kMarkRole).toBool(), row > 0) << row;
        EXPECT_EQ(state.data(Qt::BackgroundRole).isValid(), row > 0) << row;
        const QModelIndex type = sources.index(row, monitor_ui::SourceTableModel::Type);
        EXPECT_EQ(type.data(monitor_ui::kMarkRole).toBool(), row == 2) << row;
    }

    const struct {
        const char* address;
        int universe;
        Texts first;
        Texts second;
        const char* title;
    } shown[] = {
        {"127.0.0.3", 3,
         Cells({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15",
                "16"}),
         Cells({"17", "18"}),
         "Universe 3 from 127.0.0.3: 18 channels (one of 2 sources on this universe)"},
        {"127.0.0.2", 1, Cells({"255", "255"}), kNothing, "Universe 1 from 127.0.0.2: 2 channels"},
        {"127.0.0.2", 3, Cells({"10", "20", "30"}), kNothing,
         "Universe 3 from 127.0.0.2: 3 channels (one of 2 sources on this universe)"},
    };
    for (const auto& each : shown) {
        SCOPED_TRACE(std::string(each.address) + " on " + std::to_string(each.universe));
        GoToRow(monitor, SourceRow(monitor, each.address, each.universe));
        EXPECT_EQ(GridRow(monitor, 0), each.first);
        EXPECT_EQ(GridRow(monitor, 1), each.second);
        EXPECT_EQ(GridRow(monitor, 31), kNothing);
        EXPECT_EQ(monitor.GridTitle()->text().toStdString(), each.title);
        EXPECT_EQ(monitor.UniverseBox()->currentText().toStdString(),
                  std::to_string(each.universe));
    }
    EXPECT_EQ(monitor.GridModel().headerData(1, Qt::Vertical, Qt::DisplayRole), "17-32");
    EXPECT_EQ(monitor.GridModel().headerData(31, Qt::Vertical, Qt::DisplayRole), "497-512");
    EXPECT_EQ(monitor.GridModel().headerData(15, Qt::Horizontal, Qt::DisplayRole), "+15");

    const struct {
        Qt::Key key;
        const char* format;
        Texts first;
    } formats[] = {
        {Qt::Key_Down, "Percent", Cells({"3%", "7%", "11%"})},
        {Qt::Key_Down, "Hex", Cells({"0A", "14", "1E"})},
        {Qt::Key_Home, "Level (0-255)", Cells({"10", "20", "30"})},
    };
    monitor.FormatBox()->setFocus();
    for (const auto& each : formats) {
        SCOPED_TRACE(each.format);
        QTest::keyClick(monitor.FormatBox(), each.key);
        EXPECT_EQ(monitor.FormatBox()->currentText().toStdString(), each.format);
        EXPECT_EQ(GridRow(monitor, 0), each.first);
    }

    // The universe alone: its source heard last, whose row is chosen with it.
    monitor.UniverseBox()->setFocus();
    QTest::keyClick(monitor.UniverseBox(), Qt::Key_Home);
    EXPECT_EQ(monitor.SourceView()->currentIndex().row(), SourceRow(monitor, "127.0.0.2", 1));
    EXPECT_EQ(GridRow(monitor, 0), Cells({"255", "255"}));
    QTest::keyClick(monitor.UniverseBox(), Qt::Key_End);
    const int row = monitor.SourceView()->currentIndex().row();
    EXPECT_EQ(monitor.SourceModel().Rows().at(static_cast<std::size_t>(row)).key.universe, 3);
    EXPECT_EQ(GridRow(monitor, 0), row == SourceRow(monitor, "127.0.0.2", 3)
                                       ? Cells({"10", "20", "30"})
                                       : shown[0].first);
}

TEST_F(MonitorWindowTest, AConsoleThatStopsIsShownLostAboutTwoAndAHalfSecondsLater) {
    DmxMonitorWindow& monitor = OpenMonitor();
    const auto alpha = StartDesk("127.0.0.2", {kAlphaUniverse3});
    const auto bravo = StartDesk("127.0.0.3", {kBravoUniverse3});
    ASSERT_TRUE(Eventually([&] {
        const Lines lines = SourceLines(monitor);
        return lines.size() == 2 && lines[0][5] == "Conflict" && lines[1][5] == "Conflict";
    })) << testing::PrintToString(SourceLines(monitor));
    alpha->Stop();
    const auto lastSent = alpha->LastSent();
    EXPECT_TRUE(testing_support::RunEventsUntil(6s, [&] {
        const Lines lines = SourceLines(monitor);
        return !lines.empty() && lines[0][5] == "Lost";
    }));
    EXPECT_GE(std::chrono::steady_clock::now() - lastSent, 2500ms);
    EXPECT_EQ(SourceLines(monitor), (Lines{{"127.0.0.2", "3", "0", "RAW", "3", "Lost"},
                                           {"127.0.0.3", "3", "85", "RLE", "18", "Live"}}));
}

// Under Wine a datagram to a local address reaches only the socket bound last, so the window
// would never hear its own; the lab tests show that there instead.
#ifndef _WIN32
TEST_F(MonitorWindowTest, TheProgramsOwnLevelsAreMarkedAsItsOwn) {
    DmxMonitorWindow& monitor = OpenMonitor();
    observer.reset();  // so that the window hears what it sends to 127.0.0.255
    QTest::keyClick(Item(res::kIdSlider), Qt::Key_Home);
    ASSERT_TRUE(Eventually([&] {
        return SourceLines(monitor) ==
               Lines{{"127.0.0.1 (this program)", "1", "0", "RAW", "512", "Live"}};
    })) << testing::PrintToString(SourceLines(monitor));
    EXPECT_EQ(GridRow(monitor, 31), Texts(16, "255"));
    EXPECT_EQ(monitor.GridTitle()->text(),
              "Universe 1 from 127.0.0.1 (this program): 512 channels");
}
#endif

TEST_F(MonitorWindowTest, ClosedItHearsNothingAndOpenedAgainItStartsAfresh) {
    DmxMonitorWindow& monitor = OpenMonitor();
    NextSent(1);
    peer->SendTo(toolAddress, port, kAlphaUniverse3);
    ASSERT_TRUE(Eventually([&] { return SourceLines(monitor).size() == 1; }));
    monitor.close();
    const std::uint64_t generation = monitor.Monitor().Generation();
    SendToWindow(kBravoUniverse3);
    SendToWindow(testing_support::Bytes("VXZZ"));  // reported once the frame before it was read
    ASSERT_TRUE(TickUntil([&] { return messages.Messages().size() == 1; }));
    EXPECT_EQ(monitor.Monitor().Generation(), generation);
    EXPECT_EQ(SourceLines(monitor), (Lines{{"127.0.0.1", "3", "0", "RAW", "3", "Live"}}));

    testing_support::ChooseMonitorItem(*window);
    EXPECT_TRUE(SourceLines(monitor).empty());
    EXPECT_EQ(GridRow(monitor, 0), kNothing);
}

}  // namespace
