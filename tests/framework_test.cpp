// The dialog layer on real widgets: routing, field binding, spin buttons, timers, modal runs.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "framework/Bound.h"
#include "framework/ControlBuilder.h"
#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/DialogUnits.h"
#include "framework/MessageBox.h"
#include "framework/ModalLoop.h"
#include "framework/SpinButton.h"
#include "framework/TrackBar.h"
#include "testing/MessageRecorder.h"

using namespace framework;

namespace {

enum : int {
    kFirstField = 10,
    kSpin = 11,
    kSecondField = 12,
    kLabel = 13,
    kRadioA = 20,
    kRadioB = 21,
    kRadioC = 22,
    kOther = 30,
};

constexpr std::array kControls{
    ControlTemplate{kFirstField, ControlKind::NumberEdit, "", 10, 10, 40, 12, kTabStop},
    ControlTemplate{kSpin, ControlKind::SpinButton, "", 50, 10, 10, 12, 0},
    ControlTemplate{kSecondField, ControlKind::NumberEdit, "", 10, 30, 40, 12, kTabStop},
    ControlTemplate{kLabel, ControlKind::StaticText, "a\tb", 10, 50, 40, 10, 0},
    ControlTemplate{kRadioA, ControlKind::RadioButton, "A", 70, 10, 30, 10, kGroup},
    ControlTemplate{kRadioB, ControlKind::RadioButton, "B", 70, 20, 30, 10, 0},
    ControlTemplate{kRadioC, ControlKind::RadioButton, "C", 70, 30, 30, 10, 0},
    ControlTemplate{kOther, ControlKind::PushButton, "Other", 70, 50, 30, 14, kGroup | kTabStop},
    ControlTemplate{kIdOk, ControlKind::DefaultPushButton, "OK", 110, 50, 30, 14, kTabStop},
};
const DialogTemplate kTemplate{900, "Test", 150, 80, "MS Sans Serif", 8, kControls};

class TestDialog : public Dialog {
public:
    TestDialog() : Dialog(kTemplate) {}

    int first = 5;
    int second = 6;
    std::string label = "x";
    int radio = 1;
    Bound<SpinButton> spin;
    std::vector<Event> events;
    int okCount = 0;
    std::function<void()> onTimer;

    void OnRecord(Event& event) { events.push_back(event); }
    void OnFirstRow(Event& event) { events.push_back(event); }
    void OnSecondRow(Event& event) { events.push_back(event); }
    void OnTimerTick(Event& event) {
        events.push_back(event);
        if (onTimer) onTimer();
    }

protected:
    void DoDataExchange(DataExchange& exchange) override {
        exchange.Control(kSpin, spin);
        exchange.Text(kFirstField, first);
        exchange.Text(kLabel, label);
        exchange.Radio(kRadioA, radio);
        exchange.Text(kSecondField, second);
    }
    void OnOK() override {
        ++okCount;
        Dialog::OnOK();
    }
    bool RouteEvent(Event& event) override;

private:
    static const Route<TestDialog> kRoutes[];
};

const Route<TestDialog> TestDialog::kRoutes[] = {
    {EventKind::Command, kEditChanged, kFirstField, &TestDialog::OnFirstRow},
    {EventKind::Command, kAny, kFirstField, &TestDialog::OnSecondRow},  // never reached for edits
    {EventKind::Command, kButtonClicked, kRadioA, &TestDialog::OnRecord},
    {EventKind::Command, kButtonClicked, kOther, &TestDialog::OnRecord},
    {EventKind::VerticalScroll, kAny, kAny, &TestDialog::OnRecord},
    {EventKind::Timer, kAny, kAny, &TestDialog::OnTimerTick},
    {EventKind::SystemCommand, kAny, kAny, &TestDialog::OnRecord},
};

bool TestDialog::RouteEvent(Event& event) {
    return framework::RouteEvent<TestDialog>(kRoutes, *this, event);
}

int CountEvents(const TestDialog& dialog, EventKind kind, int id = kAny, int code = kAny) {
    int count = 0;
    for (const Event& event : dialog.events) {
        if (event.kind != kind) continue;
        if (id != kAny && event.controlId != id) continue;
        if (code != kAny && event.code != code) continue;
        ++count;
    }
    return count;
}

QLineEdit* Field(Dialog& dialog, int id) {
    return qobject_cast<QLineEdit*>(dialog.Item(id));
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { ResetQuitRequest(); }
    void TearDown() override { ResetQuitRequest(); }
    testing_support::MessageRecorder messages;
};

}  // namespace

TEST(DialogUnitsTest, ConvertsWithRoundingAsTheClassicRule) {
    const BaseUnits base{6, 13};
    EXPECT_EQ(ToPixelsX(4, base), 6);
    EXPECT_EQ(ToPixelsX(320, base), 480);
    EXPECT_EQ(ToPixelsX(3, base), 5);  // 4.5 rounds up
    EXPECT_EQ(ToPixelsY(8, base), 13);
    EXPECT_EQ(ToPixelsY(200, base), 325);
    EXPECT_EQ(ToPixelsY(1, base), 2);  // 1.625
    EXPECT_EQ(ToPixels(7, 25, 143, 168, base), QRect(11, 41, 215, 273));
}

TEST(DialogUnitsTest, BaseUnitsFollowTheFontsAlphabetWidthAndHeight) {
    const QFont font = DialogFont("MS Sans Serif", 8);
    const BaseUnits base = BaseUnitsOf(font);
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_NEAR(base.x, alphabet / 52.0, 0.51);
    EXPECT_EQ(base.y, metrics.height());
    EXPECT_EQ(font.pointSize(), 8);
}

TEST(ParseIntegerTest, AcceptsWholeSignedNumbersOnly) {
    int value = 77;
    EXPECT_TRUE(ParseInteger("512", value));
    EXPECT_EQ(value, 512);
    EXPECT_TRUE(ParseInteger("  -3 ", value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(ParseInteger("+4", value));
    EXPECT_EQ(value, 4);
    EXPECT_TRUE(ParseInteger("2147483647", value));
    EXPECT_EQ(value, 2147483647);
    value = 77;
    for (const char* bad : {"", "  ", "12a", "a12", "1 2", "99999999999", "-", "0x10", "1.5"}) {
        EXPECT_FALSE(ParseInteger(bad, value)) << bad;
        EXPECT_EQ(value, 77) << bad;
    }
}

TEST_F(FrameworkTest, WritingFieldsFillsEveryBindingWithoutChangeNotifications) {
    TestDialog dialog;
    dialog.Create();
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "5");
    EXPECT_EQ(Field(dialog, kSecondField)->text(), "6");
    EXPECT_EQ(dialog.GetItemText(kLabel), "x");
    EXPECT_TRUE(qobject_cast<QRadioButton*>(dialog.Item(kRadioB))->isChecked());
    EXPECT_TRUE(dialog.spin.IsAttached());
    EXPECT_EQ(CountEvents(dialog, EventKind::Command), 0);

    // Typing is delivered, to the first matching row only.
    QTest::keyClick(Field(dialog, kFirstField), Qt::Key_7);
    ASSERT_EQ(dialog.events.size(), 1u);
    EXPECT_EQ(dialog.events[0].code, kEditChanged);
    EXPECT_EQ(dialog.events[0].controlId, kFirstField);
}

TEST_F(FrameworkTest, ReadingStopsAtAFieldWithoutANumberAndPutsTheFocusThere) {
    TestDialog dialog;
    dialog.Create();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.label = "before";
    Field(dialog, kFirstField)->clear();
    Field(dialog, kSecondField)->setText("42");
    qobject_cast<QRadioButton*>(dialog.Item(kRadioC))->setChecked(true);

    EXPECT_FALSE(dialog.UpdateData(true));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0], kNotANumberMessage);
    EXPECT_EQ(dialog.first, 5);         // kept
    EXPECT_EQ(dialog.label, "before");  // bound after the failure: not read
    EXPECT_EQ(dialog.radio, 1);
    EXPECT_EQ(dialog.second, 6);
    EXPECT_EQ(QApplication::focusWidget(), Field(dialog, kFirstField));

    Field(dialog, kFirstField)->setText("9");
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(dialog.first, 9);
    EXPECT_EQ(dialog.label, "x");
    EXPECT_EQ(dialog.radio, 2);
    EXPECT_EQ(dialog.second, 42);
}

TEST_F(FrameworkTest, StaticTextKeepsTabsExactly) {
    TestDialog dialog;
    dialog.Create();
    dialog.SetItemText(kLabel, "255\t100%");
    EXPECT_EQ(dialog.GetItemText(kLabel), "255\t100%");
    dialog.UpdateData(true);
    EXPECT_EQ(dialog.label, "255\t100%");
}

TEST_F(FrameworkTest, RadioGroupEndsAtTheNextGroupAndMinusOneMeansNone) {
    TestDialog dialog;
    dialog.Create();
    EXPECT_EQ(dialog.RadioGroup(kRadioA).size(), 3u);
    dialog.radio = -1;
    dialog.UpdateData(false);
    for (int id : {kRadioA, kRadioB, kRadioC}) {
        EXPECT_FALSE(qobject_cast<QRadioButton*>(dialog.Item(id))->isChecked()) << id;
    }
    dialog.radio = 99;
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(dialog.radio, -1);
    // A click still selects exactly one.
    QTest::mouseClick(dialog.Item(kRadioC), Qt::LeftButton);
    QTest::mouseClick(dialog.Item(kRadioA), Qt::LeftButton);
    dialog.UpdateData(true);
    EXPECT_EQ(dialog.radio, 0);
    EXPECT_EQ(CountEvents(dialog, EventKind::Command, kRadioA, kButtonClicked), 1);
    EXPECT_EQ(CountEvents(dialog, EventKind::Command, kRadioC), 0);  // no row: default only
}

TEST_F(FrameworkTest, SpinButtonWritesItsFieldBeforeItsScrollNotification) {
    TestDialog dialog;
    dialog.Create();
    SpinButton* spin = dialog.spin.Get();
    ASSERT_EQ(spin->Buddy(), Field(dialog, kFirstField));
    dialog.spin->SetRange(1, 3);
    dialog.events.clear();
    dialog.spin->SetPos(2);
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "2");
    EXPECT_EQ(CountEvents(dialog, EventKind::Command, kFirstField, kEditChanged), 1);
    EXPECT_EQ(CountEvents(dialog, EventKind::VerticalScroll), 0);  // setting is quiet

    // A step on the press, end of scroll on the release, each seeing the field as it then is.
    std::vector<std::pair<int, std::string>> seen;
    spin->onScroll = [&](int code, int) {
        seen.emplace_back(code, dialog.GetItemText(kFirstField));
    };
    QTest::mousePress(spin->UpArrow(), Qt::LeftButton);
    EXPECT_EQ(seen.size(), 1u);
    QTest::mouseRelease(spin->UpArrow(), Qt::LeftButton);
    QTest::mouseClick(spin->UpArrow(), Qt::LeftButton);  // stops at 3, still notifies
    QTest::keyPress(Field(dialog, kFirstField), Qt::Key_Down);
    EXPECT_EQ(seen.size(), 5u);
    QTest::keyRelease(Field(dialog, kFirstField), Qt::Key_Down);
    using Seen = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(seen, (Seen{{kThumbPosition, "3"},
                          {kEndScroll, "3"},
                          {kThumbPosition, "3"},
                          {kEndScroll, "3"},
                          {kThumbPosition, "2"},
                          {kEndScroll, "2"}}));
    EXPECT_EQ(dialog.spin->Pos(), 2);
}

TEST_F(FrameworkTest, SpinButtonStepsFromWhatTheUserTyped) {
    TestDialog dialog;
    dialog.Create();
    dialog.spin->SetRange(1, 512);
    dialog.spin->SetPos(512);
    Field(dialog, kFirstField)->setText("100");
    dialog.spin->Step(+1);
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "101");
    Field(dialog, kFirstField)->setText("9999");
    dialog.spin->Step(-1);
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "511");
    EXPECT_EQ(CountEvents(dialog, EventKind::VerticalScroll, kSpin, kThumbPosition), 2);
}

TEST_F(FrameworkTest, NumberFieldsTakeDigitsOnlyAndNoMoreThanFits) {
    TestDialog dialog;
    dialog.Create();
    QLineEdit* field = Field(dialog, kFirstField);
    field->clear();
    QTest::keyClicks(field, "1a2-3 4");
    EXPECT_EQ(field->text(), "1234");
    QTest::keyClicks(field, QString(100, QLatin1Char('9')));
    EXPECT_GE(field->text().size(), 3);
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), field->contentsRect().width());
    EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST_F(FrameworkTest, DefaultHandlingRunsOkForTheOkButtonAndReadsTheFields) {
    TestDialog dialog;
    dialog.Create();
    Field(dialog, kSecondField)->setText("77");
    QTest::mouseClick(dialog.Item(kIdOk), Qt::LeftButton);
    EXPECT_EQ(dialog.okCount, 1);
    EXPECT_EQ(dialog.second, 77);
    EXPECT_EQ(dialog.result(), kIdOk);
}

TEST_F(FrameworkTest, TimersTickByIdAndKeepTickingUnderAModalBox) {
    TestDialog dialog;
    dialog.Create();
    int nestedTicks = 0;
    bool inBox = false;
    bool boxTimedOut = false;
    // The first tick opens a box that stays open until two more ticks came in under it.
    auto previous = SetMessageBoxSink([&](const std::string&) {
        inBox = true;
        ModalLoop loop;
        QTimer limit;  // scoped, so it cannot fire after the loop is gone
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [&] {
            boxTimedOut = true;
            loop.Exit(0);
        });
        limit.start(10000);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (nestedTicks >= 2) loop.Exit(0);
        });
        poll.start(5);
        loop.Run();
        inBox = false;
    });
    dialog.onTimer = [&] {
        if (inBox) {
            ++nestedTicks;
            return;
        }
        if (CountEvents(dialog, EventKind::Timer) == 1) MessageBox("open");
    };
    dialog.SetTimer(7, 20);
    EXPECT_TRUE(dialog.HasTimer(7));
    EXPECT_TRUE(QTest::qWaitFor([&] { return nestedTicks >= 2 && !inBox; }, 15000));
    EXPECT_FALSE(boxTimedOut) << "the ticks under the box came only after it had waited 10 s";
    EXPECT_EQ(CountEvents(dialog, EventKind::Timer, 7), CountEvents(dialog, EventKind::Timer));
    dialog.KillTimer(7);
    EXPECT_FALSE(dialog.HasTimer(7));
    const int ticks = CountEvents(dialog, EventKind::Timer, 7);
    // Timers run out in the order of their deadlines: one of the same period that still ran,
    // started long before, would tick before this later one's fifth tick.
    dialog.SetTimer(8, 20);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return CountEvents(dialog, EventKind::Timer, 8) >= 5; }, 10000));
    dialog.KillTimer(8);
    EXPECT_EQ(CountEvents(dialog, EventKind::Timer, 7), ticks);
    SetMessageBoxSink(std::move(previous));
}

TEST_F(FrameworkTest, AQuitRequestEndsEveryModalRunOnceTheHandlerReturns) {
    TestDialog dialog;
    int depthAtQuit = -1;
    QTimer::singleShot(0, [&] {
        PostQuitRequest(3);
        EXPECT_FALSE(QuitRequested());  // only once the current handler has returned
        ModalLoop inner;
        depthAtQuit = inner.Run();
    });
    EXPECT_EQ(dialog.DoModal(), kQuitResult);
    EXPECT_EQ(depthAtQuit, kQuitResult);
    EXPECT_EQ(QuitExitCode(), 3);
    // Once quitting, a later run ends at once.
    ModalLoop later;
    EXPECT_EQ(later.Run(), kQuitResult);
}

TEST_F(FrameworkTest, EscapeAndTheCloseBoxCancel) {
    TestDialog dialog;
    QTimer::singleShot(0, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.DoModal(), kIdCancel);
    TestDialog second;
    QTimer::singleShot(0, [&] { second.close(); });
    EXPECT_EQ(second.DoModal(), kIdCancel);
    EXPECT_EQ(second.okCount, 0);
}

TEST_F(FrameworkTest, SystemMenuItemsArriveAsSystemCommands) {
    TestDialog dialog;
    dialog.Create();
    dialog.AppendSystemMenuSeparator();
    dialog.AppendSystemMenuItem(0x20, "&Thing");
    const QList<QAction*> items = dialog.SystemMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "&Thing");
    items[2]->trigger();
    items[0]->trigger();  // Close
    ASSERT_EQ(CountEvents(dialog, EventKind::SystemCommand), 2);
    EXPECT_EQ(dialog.events[0].command, 0x20u);
    EXPECT_EQ(dialog.events[1].command, kSystemCommandClose);
}

using FrameworkDeathTest = FrameworkTest;

TEST_F(FrameworkDeathTest, AttachingAMissingControlFailsLoudly) {
    class Broken : public Dialog {
    public:
        Broken() : Dialog(kTemplate) {}
        Bound<QSlider> slider;

    protected:
        void DoDataExchange(DataExchange& exchange) override { exchange.Control(kSpin, slider); }
    };
    EXPECT_DEATH(
        {
            Broken broken;
            broken.Create();
        },
        "dialog 900 has no control 11");
}

TEST_F(FrameworkDeathTest, AHandleUsedWithoutItsControlFailsLoudly) {
    Bound<QSlider> never;
    EXPECT_DEATH(never->setValue(3), "QSlider used before the field binding attached it");
    Bound<SpinButton> gone;
    gone.Attach(new SpinButton(nullptr));
    delete gone.Get();
    EXPECT_FALSE(gone.IsAttached());
    EXPECT_DEATH(gone->SetPos(1),
                 "framework::SpinButton used before the field binding attached it");
}

TEST_F(FrameworkTest, NestedBoxesAreBoundedAndHeldReportsFollowInOrder) {
    // Every box "opens" and, while open, three more reports arrive, as ticks would bring them.
    std::vector<std::string> shown;
    int depth = 0;
    int deepest = 0;
    int reports = 0;
    auto previous = SetMessageBoxSink([&](const std::string& text) {
        shown.push_back(text);
        deepest = std::max(deepest, ++depth);
        for (int i = 0; i < 3 && reports < 40; ++i) {
            ++reports;
            MessageBox(reports % 2 ? "odd" : "report " + std::to_string(reports));
        }
        --depth;
    });
    MessageBox("first");
    SetMessageBoxSink(std::move(previous));

    EXPECT_EQ(deepest, kMaxNestedBoxes);
    EXPECT_EQ(shown.front(), "first");
    // Every even report has a box of its own, in order; the odd ones are counted, not lost.
    std::vector<int> evens;
    int oddTimes = 0;
    for (const std::string& text : shown) {
        if (text.rfind("report ", 0) == 0) evens.push_back(std::stoi(text.substr(7)));
        if (text == "odd") oddTimes += 1;
        if (text.rfind("odd\n\n(", 0) == 0) oddTimes += std::stoi(text.substr(6));
    }
    EXPECT_EQ(evens.size(), 20u);
    EXPECT_TRUE(std::is_sorted(evens.begin(), evens.end()));
    EXPECT_EQ(oddTimes, 20);
}

TEST_F(FrameworkTest, BeyondTheHeldLimitReportsAreCountedInOneLastBox) {
    std::vector<std::string> shown;
    int depth = 0;
    bool flooded = false;
    auto previous = SetMessageBoxSink([&](const std::string& text) {
        shown.push_back(text);
        if (++depth == kMaxNestedBoxes && !flooded) {
            flooded = true;
            for (int i = 0; i < 100; ++i) MessageBox("name " + std::to_string(i));
        } else if (depth < kMaxNestedBoxes && !flooded) {
            MessageBox("level " + std::to_string(depth));
        }
        --depth;
    });
    MessageBox("level 0");
    SetMessageBoxSink(std::move(previous));
    ASSERT_EQ(shown.size(), kMaxNestedBoxes + kMaxHeldReports + 1);
    EXPECT_EQ(shown[kMaxNestedBoxes], "name 0");
    EXPECT_EQ(shown.back(), "36 further reports came in too fast to show.");
}

TEST_F(FrameworkTest, PastedTextThatIsNotANumberIsRefusedWithAReason) {
    TestDialog dialog;
    dialog.Create();
    dialog.show();
    QLineEdit* field = Field(dialog, kFirstField);
    field->setText("12");
    field->selectAll();
    QApplication::clipboard()->setText("3a");
    field->paste();
    EXPECT_EQ(field->text(), "12");
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), kDigitsOnlyMessage);
    QToolTip::hideText();
    // A long run of digits is cut to what the field shows, never past a 32-bit number.
    field->clear();
    QApplication::clipboard()->setText(QString(40, QLatin1Char('9')));
    field->paste();
    EXPECT_EQ(field->text().size(), field->maxLength());
    EXPECT_LE(field->maxLength(), 9);
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(FrameworkTest, BorderAndStaticEdgeStylesShowAsFrames) {
    constexpr std::array kStyled{
        ControlTemplate{1, ControlKind::TreeView, "", 0, 0, 40, 40, kBorder},
        ControlTemplate{2, ControlKind::TreeView, "", 50, 0, 40, 40, 0},
        ControlTemplate{3, ControlKind::Slider, "", 100, 0, 20, 60, kStaticEdge},
        ControlTemplate{4, ControlKind::Slider, "", 130, 0, 20, 60, 0},
    };
    const DialogTemplate styled{901, "Styles", 160, 70, "MS Sans Serif", 8, kStyled};
    Dialog dialog(styled);
    dialog.Create();
    EXPECT_GT(qobject_cast<QFrame*>(dialog.Item(1))->frameWidth(), 0);
    EXPECT_EQ(qobject_cast<QFrame*>(dialog.Item(2))->frameWidth(), 0);
    // A sunken edge: dark along the top and left, light along the bottom and right.
    const QImage edged = dialog.Item(3)->grab().toImage();
    const QPalette palette = dialog.Item(3)->palette();
    const QRgb dark = palette.color(QPalette::Dark).rgb();
    const QRgb light = palette.color(QPalette::Light).rgb();
    const int middle = edged.height() / 2;
    EXPECT_EQ(edged.pixel(0, middle), dark);
    EXPECT_EQ(edged.pixel(edged.width() / 2, 0), dark);
    EXPECT_EQ(edged.pixel(edged.width() - 1, middle), light);
    EXPECT_EQ(edged.pixel(edged.width() / 2, edged.height() - 1), light);
    const QImage plain = dialog.Item(4)->grab().toImage();
    EXPECT_NE(plain.pixel(0, middle), dark);
    EXPECT_NE(plain.pixel(plain.width() - 1, middle), light);
}

// Under a style that fills the groove, the fill rises from the bottom (level 0) to the thumb, as
// the level does: position 0 is the top, so the level is 255 minus the position.
TEST_F(FrameworkTest, TheGrooveFillFollowsTheLevelNotThePosition) {
    struct Case {
        int level;
        bool filledAboveThumb;
        bool filledBelowThumb;
    };
    constexpr std::array kCases{Case{0, false, false}, Case{128, false, true},
                                Case{255, false, true}};
    constexpr std::array kSlider{ControlTemplate{1, ControlKind::Slider, "", 0, 0, 20, 100, 0}};
    const DialogTemplate sliderOnly{902, "Slider", 30, 110, "MS Sans Serif", 8, kSlider};
    Dialog dialog(sliderOnly);
    dialog.Create();
    auto* slider = qobject_cast<TrackBar*>(dialog.Item(1));
    ASSERT_NE(slider, nullptr);
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    ASSERT_NE(fusion, nullptr);
    slider->setStyle(fusion.get());
    slider->setRange(0, 255);
    const QColor highlight = slider->palette().color(QPalette::Highlight);
    // The fill is the highlight, shaded; the bare groove is grey.
    const auto filled = [&](QRgb pixel) {
        const QColor color(pixel);
        return std::abs(color.hue() - highlight.hue()) < 15 && color.saturation() > 60;
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.level);
        slider->setSliderPosition(255 - c.level);
        const QImage image = slider->grab().toImage();
        const QRect thumb = slider->ThumbRect();
        const int x = thumb.center().x();
        // Mid-way between each end of the groove and the thumb, where there is groove there.
        int sides = 0;
        if (thumb.top() > 8) {
            ++sides;
            EXPECT_EQ(filled(image.pixel(x, thumb.top() / 2)), c.filledAboveThumb);
        }
        if (image.height() - thumb.bottom() > 8) {
            ++sides;
            EXPECT_EQ(filled(image.pixel(x, (thumb.bottom() + image.height()) / 2)),
                      c.filledBelowThumb);
        }
        EXPECT_GE(sides, 1);
    }
    slider->setStyle(nullptr);
}

TEST_F(FrameworkTest, AHeldSpinArrowStopsRepeatingOnceABoxTakesTheInput) {
    TestDialog dialog;
    dialog.Create();
    dialog.show();
    dialog.spin->SetRange(1, 512);
    dialog.spin->SetPos(1);
    QTest::mousePress(dialog.spin->UpArrow(), Qt::LeftButton);
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "2");
    QDialog box;
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    // The release goes nowhere. A timer set after the press, for well past the repeat delay,
    // runs out after any repeat would have stepped.
    bool pastRepeats = false;
    QTimer later;
    later.setSingleShot(true);
    later.setTimerType(Qt::PreciseTimer);
    QObject::connect(&later, &QTimer::timeout, [&] { pastRepeats = true; });
    later.start(1000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pastRepeats; }, 10000));
    EXPECT_EQ(Field(dialog, kFirstField)->text(), "2");
    EXPECT_FALSE(dialog.spin->UpArrow()->isDown());
}
