// Levels and settings turned into DMX data messages: real key and mouse input on the real
// main window, the bytes checked as an observer on loopback receives them.
#include <QRadioButton>
#include <QToolButton>

#include "framework/DataExchange.h"
#include "framework/TrackBar.h"
#include "output/OutputSettings.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;
using Message = std::vector<std::uint8_t>;

namespace {

Message WithHeader(std::initializer_list<std::uint8_t> header, std::size_t channels,
                   std::uint8_t level) {
    Message message(header);
    message.insert(message.end(), channels, level);
    message.push_back(0x00);
    return message;
}

// 512 channels, start code 0, raw: the settings after start-up.
Message Dmx512(std::uint8_t universeByte, std::uint8_t level) {
    return WithHeader({'V', 'X', 'D', 'D', universeByte, 0x00, 0x01, 0x02, 0x00}, 512, level);
}

class LevelSenderTest : public testing_support::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        OpenShown();
        ASSERT_EQ(NextSent(1).size(), 1u);  // the start-up poll
    }
    framework::TrackBar* Slider() const {
        return qobject_cast<framework::TrackBar*>(Item(res::kIdSlider));
    }
    framework::SpinButton* UniverseSpin() const {
        return qobject_cast<framework::SpinButton*>(Item(res::kIdUniverseSpin));
    }
    void Type(int fieldId, const QString& text) {
        QLineEdit* field = Field(fieldId);
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    std::string LevelText() const { return window->GetItemText(res::kIdLevelText); }
};

// The controls a gesture works on.
struct Target {
    framework::TrackBar* slider;
    framework::SpinButton* universeSpin;
    QLineEdit* universeField;
};

void SendKey(QWidget* target, QEvent::Type type, Qt::Key key, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &event);
}

struct Gesture {
    const char* name;
    std::function<void(const Target&)> perform;
    std::vector<Message> expected;
    const char* levelText;
};

// Start: slider at the bottom (level 0), universe 1.
const std::vector<Gesture>& Gestures() {
    static const std::vector<Gesture> gestures{
        {"HomeKey",
         [](const Target& t) { QTest::keyClick(t.slider, Qt::Key_Home); },
         {Dmx512(0, 255), Dmx512(0, 255)},
         "255\t100%"},
        {"EndKeyAtTheEnd",
         [](const Target& t) { QTest::keyClick(t.slider, Qt::Key_End); },
         {Dmx512(0, 0), Dmx512(0, 0)},
         "  0\t  0%"},
        {"PageUpKey",
         [](const Target& t) { QTest::keyClick(t.slider, Qt::Key_PageUp); },
         {Dmx512(0, 16), Dmx512(0, 16)},
         " 16\t  6%"},
        {"UpKeyHeldWithTwoRepeats",
         [](const Target& t) {
             SendKey(t.slider, QEvent::KeyPress, Qt::Key_Up);
             for (int i = 0; i < 2; ++i) {
                 SendKey(t.slider, QEvent::KeyRelease, Qt::Key_Up, true);
                 SendKey(t.slider, QEvent::KeyPress, Qt::Key_Up, true);
             }
             SendKey(t.slider, QEvent::KeyRelease, Qt::Key_Up);
         },
         {Dmx512(0, 1), Dmx512(0, 2), Dmx512(0, 3), Dmx512(0, 3)},
         "  3\t  1%"},
        {"ThumbClickedWithoutAMove",
         [](const Target& t) {
             QTest::mouseClick(t.slider, Qt::LeftButton, {}, t.slider->ThumbRect().center());
         },
         {Dmx512(0, 0), Dmx512(0, 0)},
         "  0\t  0%"},
        {"ThumbDraggedPastBothEnds",
         [](const Target& t) {
             const QPoint above(t.slider->width() / 2, -100);
             const QPoint below(t.slider->width() / 2, t.slider->height() + 100);
             QTest::mousePress(t.slider, Qt::LeftButton, {}, t.slider->ThumbRect().center());
             QTest::mouseMove(t.slider, above);
             QTest::mouseMove(t.slider, below);
             QTest::mouseRelease(t.slider, Qt::LeftButton, {}, below);
         },
         {Dmx512(0, 255), Dmx512(0, 0), Dmx512(0, 0), Dmx512(0, 0)},
         "  0\t  0%"},
        {"ChannelClickedAboveTheThumb",
         [](const Target& t) {
             const QRect thumb = t.slider->ThumbRect();
             QTest::mouseClick(t.slider, Qt::LeftButton, {},
                               QPoint(thumb.center().x(), thumb.top() - 10));
         },
         {Dmx512(0, 16), Dmx512(0, 16)},
         " 16\t  6%"},
        {"SpinArrowClicked",
         [](const Target& t) { QTest::mouseClick(t.universeSpin->UpArrow(), Qt::LeftButton); },
         {Dmx512(1, 0), Dmx512(1, 0)},
         "  0\t  0%"},
        {"SpinFieldArrowKey",
         [](const Target& t) { QTest::keyClick(t.universeField, Qt::Key_Up); },
         {Dmx512(1, 0), Dmx512(1, 0)},
         "  0\t  0%"},
    };
    return gestures;
}

class GestureTest : public LevelSenderTest, public ::testing::WithParamInterface<std::size_t> {};

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

// Every gesture sends one message per scroll notification, the last at its release.
TEST_P(GestureTest, SendsOneMessagePerNotification) {
    const Gesture& gesture = Gestures()[GetParam()];
    gesture.perform({Slider(), UniverseSpin(), Field(res::kIdUniverse)});
    EXPECT_EQ(NextSent(gesture.expected.size()), gesture.expected);
    EXPECT_EQ(LevelText(), gesture.levelText);
    EXPECT_TRUE(messages.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(EveryGesture, GestureTest, ::testing::Range<std::size_t>(0, 9),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return std::string(Gestures()[info.param].name);
                         });

TEST_F(LevelSenderTest, AHeldSpinArrowStepsUntilReleasedThenEndsTheScroll) {
    QToolButton* arrow = UniverseSpin()->UpArrow();
    QTest::mousePress(arrow, Qt::LeftButton);
    EXPECT_EQ(Field(res::kIdUniverse)->text(), "2");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Field(res::kIdUniverse)->text().toInt() >= 3; }, 10000));
    QTest::mouseRelease(arrow, Qt::LeftButton);
    // How many repeats the hold took is the clock's; each is one step, in order.
    const int last = Field(res::kIdUniverse)->text().toInt();
    const std::vector<Message> sent = NextSent(static_cast<std::size_t>(last));
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(last));
    for (int universe = 2; universe <= last; ++universe) {
        EXPECT_EQ(sent[universe - 2], Dmx512(static_cast<std::uint8_t>(universe - 1), 0));
    }
    EXPECT_EQ(sent.back(), sent[sent.size() - 2]);  // end of scroll resends the last step
}

TEST_F(LevelSenderTest, Level128ShowsFiftyPercent) {
    QTest::keyClick(Slider(), Qt::Key_End);
    for (int i = 0; i < 8; ++i) QTest::keyClick(Slider(), Qt::Key_PageUp);
    const std::vector<Message> sent = NextSent(18);
    ASSERT_EQ(sent.size(), 18u);
    EXPECT_EQ(sent.front(), Dmx512(0, 0));
    EXPECT_EQ(sent.back(), Dmx512(0, 128));
    EXPECT_EQ(LevelText(), "128\t 50%");
}

TEST_F(LevelSenderTest, ChannelCountsOutOfRangeAreClampedAndShownCorrected) {
    Type(res::kIdChannelCount, "600");
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "600");  // validation does not rewrite
    EXPECT_TRUE(SentSoFar().empty());
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2), (std::vector<Message>{Dmx512(0, 255), Dmx512(0, 255)}));
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "512");

    Type(res::kIdChannelCount, "0");
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 0, 0, 1, 0, 1}, 1, 255));
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "1");
}

TEST_F(LevelSenderTest, UniverseAndStartCodeAreClampedToo) {
    Type(res::kIdUniverse, "0");
    Type(res::kIdStartCode, "300");
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 0, 255, 1, 2, 0}, 512, 255));
    EXPECT_EQ(Field(res::kIdUniverse)->text(), "1");
    EXPECT_EQ(Field(res::kIdStartCode)->text(), "255");
    Type(res::kIdUniverse, "256");
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 255, 255, 1, 2, 0}, 512, 255));
}

TEST_F(LevelSenderTest, DataFormatsChangeOnlyTheTypeByte) {
    QTest::mouseClick(Item(res::kIdRle), Qt::LeftButton);
    EXPECT_EQ(window->Settings().dataFormat, 1);
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 0, 0, 4, 2, 0}, 512, 255));
    QTest::mouseClick(Item(res::kIdChannelValue), Qt::LeftButton);
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 0, 0, 2, 2, 0}, 512, 255));
}

TEST_F(LevelSenderTest, ZeroInvalidSendsNothingUntilTheNextScroll) {
    QTest::mouseClick(Item(res::kIdZero), Qt::LeftButton);
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(window->Settings().dataFormat, 0);  // not validated on its click
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2).back(), WithHeader({'V', 'X', 'D', 'D', 0, 0, 0, 2, 0}, 512, 255));
    EXPECT_EQ(window->Settings().dataFormat, 3);
}

TEST_F(LevelSenderTest, AnEmptiedFieldIsReportedTwiceThenShowsWhatWasSent) {
    Field(res::kIdChannelCount)->clear();
    ASSERT_EQ(messages.Messages().size(), 1u);  // from the edit itself
    QTest::keyClick(Slider(), Qt::Key_Home);
    QTest::keyClick(Slider(), Qt::Key_PageDown);
    // The first send reports the field once more, then writes every setting back.
    EXPECT_EQ(messages.Messages(), (std::vector<std::string>{framework::kNotANumberMessage,
                                                             framework::kNotANumberMessage}));
    EXPECT_EQ(NextSent(4), (std::vector<Message>{Dmx512(0, 255), Dmx512(0, 255), Dmx512(0, 239),
                                                 Dmx512(0, 239)}));
    EXPECT_EQ(Field(res::kIdChannelCount)->text(), "512");
}

#ifndef _WIN32
namespace {

class LabLevelSenderTest : public LevelSenderTest {
protected:
    testing_support::Network NetworkInUse() const override { return testing_support::Network::Lab; }
};

}  // namespace

TEST_F(LabLevelSenderTest, AKeyOnTheSliderCrossesTheBridge) {
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(NextSent(2), (std::vector<Message>{Dmx512(0, 255), Dmx512(0, 255)}));
}
#endif
