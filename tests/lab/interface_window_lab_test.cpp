// The real main window on the lab's two-network host, sending through the lookup that
// --interface eth1 builds: what it finds, where its DMX goes, and the adapter being pulled.
#include <QTest>

#include "net/Interfaces.h"
#include "tests/lab/TwoNetworkWindowLab.h"

namespace {

using namespace std::chrono_literals;

class InterfaceWindowLab : public TwoNetworkWindowLab {
protected:
    // As main() does for --interface choice.
    void OpenWithInterface(const std::string& choice) {
        lab::InNamespace(m_lab->ToolNamespace(), [&] {
            const net::InterfaceChoice chosen = net::ChooseInterface(choice, net::ListInterfaces());
            ASSERT_TRUE(chosen.chosen) << chosen.error;
            m_window =
                std::make_unique<CNodeTestDlg>(InterfaceSocketEnvironment(choice, *chosen.chosen));
            m_window->Create();
        });
        ASSERT_TRUE(testing_support::ShowActive(*m_window));
    }
};

TEST_F(InterfaceWindowLab, TheSecondInterfaceFindsAndDrivesTheSecondNetworkOnly) {
    OpenWithInterface("eth1");
    EXPECT_EQ(NamesOnceListed(), Lines{"Second"});
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(
        m_lab->Second().WaitForLineStartingWith("dmx ", 5s).value_or(m_lab->Second().Output()),
        kSecondDmxAtFullLevel);
    EXPECT_EQ(FirstHeard(), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(NamesOnceListed(), Lines{"Second"});
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
    ASSERT_EQ(NamesOnceListed(), Lines{"Second"});

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
    EXPECT_EQ(full.value_or(m_lab->Second().Output()), kSecondDmxAtFullLevel);
    EXPECT_EQ(m_messages.Messages(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Routes, PulledAdapter, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "DefaultRouteThroughFirstNetwork"
                                               : "NoDefaultRoute";
                         });

}  // namespace
