// Levels and settings turned into DMX data messages: real key and mouse input on the real
// main window, the bytes checked as an observer on loopback receives them.
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

#include "framework/DataExchange.h"
#include "output/OutputSettings.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;
using Message = std::vector<std::uint8_t>;

namespace {

Message DmxMessage(int universeByte, int startCode, int type, int channels, int level) {
    Message message{'V',
                    'X',
                    'D',
                    'D',
                    static_cast<std::uint8_t>(universeByte),
                    static_cast<std::uint8_t>(startCode),
                    static_cast<std::uint8_t>(type),
                    static_cast<std::uint8_t>(channels >> 8),
                    static_cast<std::uint8_t>(channels & 0xFF)};
    message.insert(message.end(), static_cast<std::size_t>(channels),
                   static_cast<std::uint8_t>(level));
    message.push_back(0);
    return message;
}

class LevelSenderTest : public testing_support::MainWindowFixture,
                        public ::testing::WithParamInterface<testing_support::Network> {
protected:
    testing_support::Network NetworkInUse() const override { return GetParam(); }
    void SetUp() override {
        MainWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        OpenShown();
        Sent();  // the start-up poll
    }
    QSlider* Slider() const { return qobject_cast<QSlider*>(Item(res::kIdSlider)); }
    void Type(int fieldId, const QString& text) {
        QLineEdit* field = Field(fieldId);
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    // One scroll notification that leaves the level where it is.
    void ScrollInPlace() {
        QTest::keyClick(Slider(), Qt::Key_Home);
        QTest::keyClick(Slider(), Qt::Key_Home);
    }
    std::string LevelText() const { return window->GetItemText(res::kIdLevelText); }
};

}  // namespace

TEST(LevelTextTest, RightAlignsLevelAndRoundsThePercentDown) {
    EXPECT_EQ(output::FormatLevelText(255), "255\t100%");
    EXPECT_EQ(output::FormatLevelText(128), "128\t 50%");
    EXPECT_EQ(output::FormatLevelText(1), "  1\t  0%");
    EXPECT_EQ(output::FormatLevelText(0), "  0\t  0%");
    EXPECT_EQ(output::LevelFromSliderPosition(0), 255);
    EXPECT_EQ(output::LevelFromSliderPosition(255), 0);
}

TEST(DataTypeTest, EachRadioIndexHasItsByteAndNoneKeepsRaw) {
    EXPECT_EQ(output::DataTypeByte(0), 1);
    EXPECT_EQ(output::DataTypeByte(1), 4);
    EXPECT_EQ(output::DataTypeByte(2), 2);
    EXPECT_EQ(output::DataTypeByte(3), 0);
    EXPECT_EQ(output::DataTypeByte(-1), 1);
    EXPECT_EQ(output::DataTypeByte(4), 1);
}

TEST(ClampTest, KeepsEverySettingInItsRange) {
    output::OutputSettings settings{0, "", 2, 0, -5};
    output::ClampSettings(settings);
    EXPECT_EQ(settings.channelCount, 1);
    EXPECT_EQ(settings.universe, 1);
    EXPECT_EQ(settings.startCode, 0);
    settings = {600, "", 2, 300, 256};
    output::ClampSettings(settings);
    EXPECT_EQ(settings.channelCount, 512);
    EXPECT_EQ(settings.universe, 256);
    EXPECT_EQ(settings.startCode, 255);
}

TEST_P(LevelSenderTest, HomeSendsFullLevelInEveryChannel) {
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 0, 1, 512, 255)});
    EXPECT_EQ(LevelText(), "255\t100%");
    EXPECT_EQ(window->Settings().levelText, "255\t100%");
}

TEST_P(LevelSenderTest, PageDownFromTheTopSends239) {
    QTest::keyClick(Slider(), Qt::Key_Home);
    Sent();
    QTest::keyClick(Slider(), Qt::Key_PageDown);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 0, 1, 512, 239)});
    EXPECT_EQ(LevelText(), "239\t 93%");
}

TEST_P(LevelSenderTest, Level128ShowsFiftyPercent) {
    QTest::keyClick(Slider(), Qt::Key_End);
    for (int i = 0; i < 8; ++i) QTest::keyClick(Slider(), Qt::Key_PageUp);
    const std::vector<Message> sent = Sent();
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent.front(), DmxMessage(0, 0, 1, 512, 0));
    EXPECT_EQ(sent.back(), DmxMessage(0, 0, 1, 512, 128));
    EXPECT_EQ(LevelText(), "128\t 50%");
}

TEST_P(LevelSenderTest, UniverseSpinArrowSendsTheNewUniverse) {
    auto* spin = window->findChild<framework::SpinButton*>(QStringLiteral("control1011"));
    ASSERT_NE(spin, nullptr);
    QTest::mouseClick(spin->UpArrow(), Qt::LeftButton);
    EXPECT_EQ(Field(res::kIdUniverse)->text(), "2");
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(1, 0, 1, 512, 0)});
    QTest::keyClick(Field(res::kIdUniverse), Qt::Key_Down);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 0, 1, 512, 0)});
}

TEST_P(LevelSenderTest, ChannelCountsOutOfRangeAreClampedAndShownCorrected) {
    Type(res::kIdChannelCount, "600");
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "600");  // validation does not rewrite
    EXPECT_TRUE(Sent(20ms).empty());
    QTest::keyClick(Slider(), Qt::Key_Home);
    const std::vector<Message> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 522u);
    EXPECT_EQ(sent[0][7], 0x02);
    EXPECT_EQ(sent[0][8], 0x00);
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "512");

    Type(res::kIdChannelCount, "0");
    ScrollInPlace();
    EXPECT_EQ(Sent().back(), DmxMessage(0, 0, 1, 1, 255));
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "1");
}

TEST_P(LevelSenderTest, UniverseAndStartCodeAreClampedToo) {
    Type(res::kIdUniverse, "0");
    Type(res::kIdStartCode, "300");
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 255, 1, 512, 255)});
    EXPECT_EQ(Field(res::kIdUniverse)->text(), "1");
    EXPECT_EQ(Field(res::kIdStartCode)->text(), "255");
    Type(res::kIdUniverse, "256");
    ScrollInPlace();
    EXPECT_EQ(Sent().back()[4], 255);
}

TEST_P(LevelSenderTest, DataFormatsChangeOnlyTheTypeByte) {
    QTest::mouseClick(Item(res::kIdRle), Qt::LeftButton);
    EXPECT_EQ(window->Settings().dataFormat, 1);
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 0, 4, 512, 255)});
    QTest::mouseClick(Item(res::kIdChannelValue), Qt::LeftButton);
    ScrollInPlace();
    EXPECT_EQ(Sent().back(), DmxMessage(0, 0, 2, 512, 255));
}

TEST_P(LevelSenderTest, ZeroInvalidSendsNothingUntilTheNextScroll) {
    QTest::mouseClick(Item(res::kIdZero), Qt::LeftButton);
    EXPECT_TRUE(Sent(100ms).empty());
    EXPECT_EQ(window->Settings().dataFormat, 0);  // not validated on its click
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 0, 0, 512, 255)});
    EXPECT_EQ(window->Settings().dataFormat, 3);
}

TEST_P(LevelSenderTest, EmptyingAFieldIsReportedAtOnceAndLosesNothingTypedElsewhere) {
    Type(res::kIdStartCode, "7");
    Field(res::kIdChannelCount)->clear();
    ASSERT_EQ(messages.Messages(), std::vector<std::string>{framework::kNotANumberMessage});
    // Start code comes after the channel count in the binding, so it is not read...
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(messages.Messages().size(), 2u);
    EXPECT_EQ(Sent(), std::vector<Message>{DmxMessage(0, 7, 1, 512, 255)});
    // ...but what the user typed there stays, and the level text still follows the slider.
    EXPECT_EQ(Field(res::kIdStartCode)->text(), "7");
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "");
    EXPECT_EQ(LevelText(), "255\t100%");
}

TEST_P(LevelSenderTest, DraggingSendsOneMessagePerMoveInOrder) {
    QSlider* slider = Slider();
    slider->setSliderDown(true);
    for (int position = 250; position >= 200; position -= 10) slider->setSliderPosition(position);
    slider->setSliderDown(false);
    const std::vector<Message> sent = Sent();
    ASSERT_EQ(sent.size(), 6u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i][9], 255 - (250 - 10 * static_cast<int>(i))) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(OnEveryNetwork, LevelSenderTest,
                         ::testing::Values(testing_support::Network::Loopback,
                                           testing_support::Network::Lab),
                         testing_support::NetworkName);
