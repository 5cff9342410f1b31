// The main window as a user meets it: layout, keyboard, the window menu and quiet controls.
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/AboutDlg.h"
#include "framework/StaticText.h"
#include "praveltest/Version.h"
#include "res/Strings.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;

namespace {

class MainWindowLayoutTest : public testing_support::MainWindowFixture {};

struct Placement {
    int id;
    int x, y, width, height;  // dialog units
};

constexpr Placement kPlacements[] = {
    {res::kIdTree, 7, 25, 143, 168},         {res::kIdPollAgain, 100, 7, 50, 14},
    {res::kIdLevelText, 162, 17, 49, 10},    {res::kIdSlider, 171, 30, 28, 163},
    {res::kIdRaw, 230, 14, 36, 11},          {res::kIdRle, 230, 27, 36, 11},
    {res::kIdChannelValue, 230, 38, 61, 11}, {res::kIdZero, 230, 51, 61, 11},
    {res::kIdDone, 223, 179, 76, 14},
};

// Labels and group boxes have no id; they are found by their place in the template.
constexpr Placement kUnnamedByIndex[] = {
    {0, 21, 7, 62, 14},      // Devices Located
    {3, 171, 7, 28, 10},     // Level
    {6, 223, 3, 76, 64},     // Data Format
    {11, 223, 71, 76, 31},   // Universe
    {14, 223, 108, 76, 31},  // Channels to Send
    {17, 223, 143, 76, 31},  // Start Code
};

// Each number field with the spin button, 11 units wide, that sits at its right edge.
constexpr Placement kFieldsWithSpins[] = {
    {res::kIdUniverse, 244, 83, 32, 13},
    {res::kIdChannelCount, 244, 120, 32, 13},
    {res::kIdStartCode, 244, 155, 32, 13},
};
constexpr int kSpinWidth = 11;

}  // namespace

TEST_F(MainWindowLayoutTest, EveryControlSitsWhereTheLayoutPutsIt) {
    CNodeTestDlg& dialog = Open();
    const framework::BaseUnits units = dialog.Units();
    ASSERT_GT(units.x, 0);
    ASSERT_GT(units.y, 0);
    EXPECT_EQ(dialog.size(),
              QSize(framework::ToPixelsX(320, units), framework::ToPixelsY(200, units)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.windowTitle(), "PraveltTest");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const Placement& place : kPlacements) {
        ASSERT_NE(Item(place.id), nullptr) << place.id;
        EXPECT_EQ(Item(place.id)->geometry(),
                  framework::ToPixels(place.x, place.y, place.width, place.height, units))
            << place.id;
    }
    for (const Placement& place : kUnnamedByIndex) {
        const auto index = static_cast<std::size_t>(place.id);
        EXPECT_EQ(dialog.ControlAt(index)->geometry(),
                  framework::ToPixels(place.x, place.y, place.width, place.height, units))
            << index;
    }
    for (const Placement& place : kFieldsWithSpins) {
        const QRect whole = framework::ToPixels(place.x, place.y, place.width, place.height, units);
        const int spinWidth = framework::ToPixelsX(kSpinWidth, units);
        EXPECT_EQ(Item(place.id)->geometry(), whole.adjusted(0, 0, -spinWidth, 0)) << place.id;
        EXPECT_EQ(Item(place.id + 1)->geometry(),
                  QRect(whole.right() + 1 - spinWidth, whole.y(), spinWidth, whole.height()))
            << place.id + 1;
    }
}

TEST_F(MainWindowLayoutTest, TabVisitsTheTabStopsInTemplateOrder) {
    OpenShown();
    const std::vector<int> expected{res::kIdTree,     res::kIdPollAgain,    res::kIdSlider,
                                    res::kIdUniverse, res::kIdChannelCount, res::kIdStartCode,
                                    res::kIdDone,     res::kIdTree};
    Item(res::kIdTree)->setFocus();
    std::vector<int> visited{res::kIdTree};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        int id = -1;
        for (int candidate : expected) {
            if (Item(candidate) == QApplication::focusWidget()) id = candidate;
        }
        visited.push_back(id);
    }
    EXPECT_EQ(visited, expected);
    for (int radio : {res::kIdRaw, res::kIdRle, res::kIdChannelValue, res::kIdZero}) {
        EXPECT_FALSE(Item(radio)->focusPolicy() & Qt::TabFocus) << radio;
    }
}

TEST_F(MainWindowLayoutTest, EnterInAnyFieldClosesWithOk) {
    for (const int fieldId : {res::kIdUniverse, res::kIdChannelCount, res::kIdStartCode}) {
        window = std::make_unique<CNodeTestDlg>(Environment());
        QTimer::singleShot(0, [&] {
            Field(fieldId)->setFocus();
            QTest::keyClick(Field(fieldId), Qt::Key_Return);
        });
        EXPECT_EQ(window->DoModal(), framework::kIdOk) << fieldId;
        window.reset();
    }
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainWindowLayoutTest, AboutOpensFromTheWindowMenuAndSendsNothing) {
    CNodeTestDlg& dialog = OpenShown();
    NextSent(1);
    const QList<QAction*> items = dialog.SystemMenu()->actions();
    // After Close and a separator; the program's own windows follow it.
    ASSERT_EQ(items.size(), 6);
    EXPECT_TRUE(items[1]->isSeparator());
    QAction* about = items[2];
    EXPECT_EQ(items[3]->text().toStdString(), "&Network...");
    EXPECT_EQ(items[4]->text().toStdString(), "&DMX Monitor...");
    EXPECT_EQ(items[5]->text().toStdString(), "&Channel Check...");
    EXPECT_EQ(about->text().toStdString(), res::LoadString(res::kStringAboutItem));

    QString title;
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        for (auto* label : box->findChildren<framework::StaticText*>()) texts << label->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    about->trigger();  // returns once the box has closed
    EXPECT_EQ(title, "About PraveltTest");
    // The box names the major and minor version only.
    const QString version = QStringLiteral("PraveltTest Version %1.%2")
                                .arg(praveltest::kVersionMajor)
                                .arg(praveltest::kVersionMinor);
    EXPECT_EQ(texts, (QStringList{version, "DMX512 node test tool"}));
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MainWindowLayoutTest, SelectingANodeChangesNothingElse) {
    CNodeTestDlg& dialog = OpenShown();
    protocol::PollReplyMessage reply;
    reply.name = "Pick";
    const auto bytes = protocol::WritePollReply(reply);
    SendToWindow({bytes.begin(), bytes.end()});
    auto* tree = qobject_cast<QTreeWidget*>(Item(res::kIdTree));
    ASSERT_TRUE(TickUntil([&] { return tree->topLevelItemCount() == 1; }));
    NextSent(1);
    const output::OutputSettings before = dialog.Settings();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(0)->child(3)).center());
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0)->child(3));
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(dialog.Settings().levelText, before.levelText);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 11);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainWindowLayoutTest, TheWindowCarriesItsIconInBothSizes) {
    CNodeTestDlg& dialog = Open();
    EXPECT_FALSE(dialog.windowIcon().isNull());
    const QList<QSize> sizes = dialog.Icon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST_F(MainWindowLayoutTest, LongRowsScrollInsteadOfBeingCutShort) {
    OpenShown();
    protocol::PollReplyMessage reply;
    reply.name = "Wide";
    reply.options = 0x07;
    const auto bytes = protocol::WritePollReply(reply);
    SendToWindow({bytes.begin(), bytes.end()});
    auto* tree = qobject_cast<QTreeWidget*>(Item(res::kIdTree));
    ASSERT_TRUE(TickUntil([&] { return tree->topLevelItemCount() == 1; }));
    const QTreeWidgetItem* options = tree->topLevelItem(0)->child(5);
    const int needed = tree->fontMetrics().horizontalAdvance(options->text(0));
    EXPECT_GT(needed, tree->viewport()->width());  // so the view must scroll to show it
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree->horizontalScrollBar()->maximum() > 0; }, 10000));
    EXPECT_GE(tree->visualItemRect(options).width(), needed);
}

TEST_F(MainWindowLayoutTest, TheWindowOpensCentredOnItsScreen) {
    CNodeTestDlg& dialog = OpenShown();
    const QRect screen = dialog.screen()->availableGeometry();
    const QPoint offset = dialog.frameGeometry().center() - screen.center();
    EXPECT_LE(std::abs(offset.x()), 2);
    EXPECT_LE(std::abs(offset.y()), 2);
}

namespace {

// Where a button's label goes, by the style in use.
QRect LabelArea(QAbstractButton* button, QStyle::SubElement element) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(element, &option, button);
}

}  // namespace

TEST_F(MainWindowLayoutTest, InBothWindowsEveryLabelFitsAndEveryIconShows) {
    CNodeTestDlg& main = Open();
    CAboutDlg about(main.Icon(), nullptr);
    about.Create();
    int icons = 0;
    for (framework::Dialog* dialog :
         {static_cast<framework::Dialog*>(&main), static_cast<framework::Dialog*>(&about)}) {
        const QFontMetrics metrics(dialog->font());
        const auto& controls = dialog->Template().controls;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            QWidget* widget = dialog->ControlAt(i);
            SCOPED_TRACE(dialog->windowTitle().toStdString() + " control " + std::to_string(i));
            if (auto* text = qobject_cast<framework::StaticText*>(widget)) {
                const QRect needed = metrics.boundingRect(QRect(0, 0, 10000, 10000),
                                                          Qt::TextExpandTabs, text->text());
                EXPECT_LE(needed.width(), widget->width()) << text->text().toStdString();
                EXPECT_LE(needed.height(), widget->height()) << text->text().toStdString();
            } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
                EXPECT_LE(metrics.horizontalAdvance(radio->text()),
                          LabelArea(radio, QStyle::SE_RadioButtonContents).width())
                    << radio->text().toStdString();
            } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                EXPECT_LE(metrics.horizontalAdvance(button->text()),
                          LabelArea(button, QStyle::SE_PushButtonContents).width())
                    << button->text().toStdString();
            } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                EXPECT_LE(metrics.horizontalAdvance(group->title()), widget->width())
                    << group->title().toStdString();
            } else if (controls[i].kind == framework::ControlKind::Icon) {
                auto* picture = qobject_cast<QLabel*>(widget);
                ASSERT_NE(picture, nullptr);
                EXPECT_FALSE(picture->pixmap().isNull());
                EXPECT_EQ(picture->geometry(),
                          framework::ToPixels(11, 17, 20, 20, dialog->Units()));
                ++icons;
            }
        }
    }
    EXPECT_EQ(icons, 1);
}
