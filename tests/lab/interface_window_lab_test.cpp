// The real main window on the lab's two-network host, sending through the lookup that
// --interface eth1 builds: what it finds, where its DMX goes, and the adapter being pulled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "app/NodeTestDlg.h"
#include "framework/ModalLoop.h"
#include "net/Interfaces.h"
#include "res/ResourceIds.h"
#include "testing/LabNode.h"
#include "testing/MainWindow.h"
#include "testing/MessageRecorder.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr char kDmxAtFullLevel[] =
    "dmx from=10.7.0.3:3333 universe=1 universe-byte=0 start-code=0 type=1 channels=512 "
    "levels=255-255";

class InterfaceWindowLab : public testing::Test {
protected:
    void SetUp() override {
        framework::ResetQuitRequest();
        REQUIRE_LAB();
        m_lab = std::make_unique<lab::TwoNetworkLab>(PRAVELTEST_NODE_BINARY,
                                                     std::vector<std::string>{"--name", "First"},
                                                     std::vector<std::string>{"--name", "Second"});
    }
    void TearDown() override {
        m_window.reset();
        framework::ResetQuitRequest();
    }

    // As main() does for --interface choice.
    void OpenWithInterface(const std::string& choice) {
        lab::InNamespace(m_lab->ToolNamespace(), [&] {
            const net::InterfaceChoice chosen = net::ChooseInterface(choice, net::ListInterfaces());
            ASSERT_TRUE(chosen.chosen) << chosen.error;
            m_window =
                std::make_unique<CNodeTestDlg>(InterfaceSocketEnvironment(choice, *chosen.chosen));
            m_window->Create();
        });
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(m_window->Item(res::kIdTree)); }
    QSlider* Slider() const { return qobject_cast<QSlider*>(m_window->Item(res::kIdSlider)); }
    // The entries' names once the real receive timer has filled in count of them.
    Lines NamesOnceThereAre(int count) {
        testing_support::RunEventsUntil(
            5s, [&] { return Tree()->topLevelItemCount() >= count; }, 20);
        Lines names;
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i) {
            names.push_back(Tree()->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }

    // What the first network's node heard before a marker sent from the tool host after
    // everything the window sent.
    Lines FirstNetworkHeard() { return m_lab->HeardBeforeMarker(m_lab->First(), "10.1.2.21"); }

    std::unique_ptr<lab::TwoNetworkLab> m_lab;
    testing_support::MessageRecorder m_messages;
    std::unique_ptr<CNodeTestDlg> m_window;
};

TEST_F(InterfaceWindowLab, TheSecondInterfaceFindsAndDrivesTheSecondNetworkOnly) {
    OpenWithInterface("eth1");
    EXPECT_EQ(NamesOnceThereAre(1), Lines{"Second"});
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(
        m_lab->Second().WaitForLineStartingWith("dmx ", 5s).value_or(m_lab->Second().Output()),
        kDmxAtFullLevel);
    EXPECT_EQ(FirstNetworkHeard(), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(NamesOnceThereAre(1), Lines{"Second"});
    EXPECT_EQ(m_messages.Messages(), Lines{});
}

// With a default route through the first network, the pulled second adapter's traffic
// would quietly take that route; tied to its device, it fails instead.
class PulledAdapter : public InterfaceWindowLab, public testing::WithParamInterface<bool> {};

TEST_P(PulledAdapter, FailsSendsUntilItIsBack) {
    if (GetParam()) {
        lab::Ip({"-n", m_lab->ToolNamespace(), "route", "add", "default", "via", "10.1.2.1"});
    }
    OpenWithInterface("10.7.0.3");
    ASSERT_EQ(NamesOnceThereAre(1), Lines{"Second"});

    m_lab->SetLink(m_lab->ToolNamespace(), "down", lab::kSecondInterface);
    // The key's press and its release each send; then the poll.
    QTest::keyClick(Slider(), Qt::Key_Home);
    QTest::mouseClick(m_window->Item(res::kIdPollAgain), Qt::LeftButton);
    EXPECT_EQ(m_messages.Messages(),
              (Lines{"SendTo failed, lasterror = 65 (101)", "SendTo failed, lasterror = 65 (101)",
                     "SendTo failed, lasterror = 65 (101)"}));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(framework::QuitRequested());

    m_lab->SetLink(m_lab->ToolNamespace(), "up", lab::kSecondInterface);
    m_messages.Clear();
    QTest::keyClick(Slider(), Qt::Key_End);
    QTest::keyClick(Slider(), Qt::Key_Home);
    const auto full = m_lab->Second().WaitForLine(
        [](const std::string& line) { return line.find("levels=255-255") != line.npos; }, 5s);
    EXPECT_EQ(full.value_or(m_lab->Second().Output()), kDmxAtFullLevel);
    EXPECT_EQ(m_messages.Messages(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Routes, PulledAdapter, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "DefaultRouteThroughFirstNetwork"
                                               : "NoDefaultRoute";
                         });

}  // namespace
