// The DMX monitor window on the lab's tool host: consoles on hosts of their own broadcast
// across the bridge, and the program's own level messages come back to it as broadcasts do.
#include <QLabel>
#include <QTableView>

#include "testing/Console.h"
#include "testing/MonitorWindow.h"
#include "tests/support/MainWindowFixture.h"

using Lines = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

namespace {

class MonitorLabTest : public testing_support::MainWindowFixture {
protected:
    testing_support::Network NetworkInUse() const override { return testing_support::Network::Lab; }
};

// Once the program's two messages are 2.5 s old it is lost; the consoles keep sending.
TEST_F(MonitorLabTest, ConsolesOnTwoHostsAndTheProgramItselfAreToldApart) {
    OpenShown();
    DmxMonitorWindow* monitor = testing_support::ChooseMonitorItem(*window);
    ASSERT_NE(monitor, nullptr);
    testing_support::Console alpha(lab->AddHost("10.1.2.40"), 2, "10.1.2.255");
    testing_support::Console bravo(lab->AddHost("10.1.2.41"), 1, "10.1.2.255");
    QTest::keyClick(Item(res::kIdSlider), Qt::Key_Home);  // every channel of universe 1 at 255
    const Lines settled{
        {"10.1.2.3 (this program)", "1", "0", "RAW", "512", "Lost"},
        {"10.1.2.40", "1", "0", "RAW", "512", "Conflict"},
        {"10.1.2.41", "1", "0", "RAW", "512", "Conflict"},
        {"10.1.2.40", "2", "0", "RAW", "512", "Live"},
    };
    EXPECT_TRUE(testing_support::RunEventsUntil(std::chrono::seconds(20), [&] {
        return testing_support::SourceLines(*monitor) == settled;
    })) << testing::PrintToString(testing_support::SourceLines(*monitor));

    const struct {
        const char* address;
        int universe;
        const char* level;
        const char* title;
    } shown[] = {
        {"10.1.2.3", 1, "255",
         "Universe 1 from 10.1.2.3 (this program): 512 channels (one of 3 sources on this "
         "universe)"},
        {"10.1.2.41", 1, "1",
         "Universe 1 from 10.1.2.41: 512 channels (one of 3 sources on this universe)"},
        {"10.1.2.40", 2, "2", "Universe 2 from 10.1.2.40: 512 channels"},
    };
    for (const auto& each : shown) {
        SCOPED_TRACE(each.address);
        const int row = testing_support::SourceRow(*monitor, each.address, each.universe);
        ASSERT_GE(row, 0);
        monitor->SourceView()->setCurrentIndex(monitor->SourceModel().index(row, 0));
        EXPECT_EQ(testing_support::GridRow(*monitor, 0), Texts(16, each.level));
        EXPECT_EQ(testing_support::GridRow(*monitor, 31), Texts(16, each.level));
        EXPECT_EQ(monitor->GridTitle()->text().toStdString(), each.title);
    }
    EXPECT_GT(alpha.Rounds(), 44) << "the console was not sending";
}

}  // namespace
