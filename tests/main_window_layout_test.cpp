// The main window as a user meets it: layout, keyboard, the window menu and quiet controls.
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include "app/AboutDlg.h"
#include "framework/StaticText.h"
#include "res/Strings.h"
#include "res/Templates.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;

namespace {

class MainWindowLayoutTest : public testing_support::MainWindowFixture {};

bool IsSpin(int id) {
    return id == res::kIdUniverseSpin || id == res::kIdChannelCountSpin ||
           id == res::kIdStartCodeSpin;
}

}  // namespace

TEST_F(MainWindowLayoutTest, EveryControlSitsWhereTheTemplatePutsIt) {
    CNodeTestDlg& dialog = Open();
    const framework::BaseUnits units = dialog.Units();
    ASSERT_GT(units.x, 0);
    EXPECT_EQ(dialog.size(),
              QSize(framework::ToPixelsX(320, units), framework::ToPixelsY(200, units)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.windowTitle(), "PraveltTest");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);

    const auto& controls = res::MainDialogTemplate().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const framework::ControlTemplate& control = controls[i];
        const QRect expected =
            framework::ToPixels(control.x, control.y, control.width, control.height, units);
        QWidget* widget = dialog.ControlAt(i);
        ASSERT_NE(widget, nullptr);
        SCOPED_TRACE(control.text[0] ? control.text : std::to_string(control.id).c_str());
        if (IsSpin(control.id)) {
            // A spin button sits at its field's right edge, as tall as the field.
            const framework::ControlTemplate& field = controls[i - 1];
            const QRect fieldRect =
                framework::ToPixels(field.x, field.y, field.width, field.height, units);
            EXPECT_EQ(widget->geometry(),
                      QRect(fieldRect.right() + 1 - expected.width(), fieldRect.y(),
                            expected.width(), fieldRect.height()));
            continue;
        }
        if (i + 1 < controls.size() && IsSpin(controls[i + 1].id)) {
            const int spinWidth = framework::ToPixelsX(controls[i + 1].width, units);
            EXPECT_EQ(widget->geometry(), expected.adjusted(0, 0, -spinWidth, 0));
            continue;
        }
        EXPECT_EQ(widget->geometry(), expected);
        if (control.id != framework::kNoId) {
            EXPECT_EQ(widget, dialog.Item(control.id));
        }
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
        QTimer::singleShot(100, [&] {
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
    Sent();
    const QList<QAction*> items = dialog.SystemMenu()->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_TRUE(items[items.size() - 2]->isSeparator());
    QAction* about = items.last();
    EXPECT_EQ(about->text().toStdString(), res::LoadString(res::kStringAboutItem));

    QString title;
    QStringList texts;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        for (auto* label : box->findChildren<framework::StaticText*>()) texts << label->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    about->trigger();  // returns once the box has closed
    EXPECT_EQ(title, "About PraveltTest");
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "PraveltTest Version 1.0");
    EXPECT_TRUE(Sent(100ms).empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MainWindowLayoutTest, SelectingANodeChangesNothingElse) {
    CNodeTestDlg& dialog = OpenShown();
    protocol::PollReplyMessage reply;
    reply.name = "Pick";
    const auto bytes = protocol::WritePollReply(reply);
    SendToWindow({bytes.begin(), bytes.end()});
    QTest::qWait(20);
    Tick();
    Sent();
    const output::OutputSettings before = dialog.Settings();
    auto* tree = qobject_cast<QTreeWidget*>(Item(res::kIdTree));
    framework::Event selection{framework::EventKind::Notify};
    selection.code = framework::kTreeSelectionChanged;
    selection.controlId = res::kIdTree;
    selection.result = 99;
    dialog.SendEvent(selection);
    EXPECT_EQ(selection.result, 0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(0)->child(3)).center());
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0)->child(3));
    EXPECT_TRUE(Sent(100ms).empty());
    EXPECT_EQ(dialog.Settings().levelText, before.levelText);
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 11);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainWindowLayoutTest, TheWindowCarriesItsIconAndDragIcon) {
    CNodeTestDlg& dialog = Open();
    EXPECT_FALSE(dialog.windowIcon().isNull());
    const QList<QSize> sizes = dialog.Icon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    framework::Event query{framework::EventKind::QueryDragIcon};
    dialog.SendEvent(query);
    EXPECT_EQ(query.icon, &dialog.Icon());
}

TEST(MinimisedIconTest, CentresTheIconRoundingAsIntegerDivision) {
    EXPECT_EQ(MinimisedIconPosition(QSize(36, 36), QSize(32, 32)), QPoint(2, 2));
    EXPECT_EQ(MinimisedIconPosition(QSize(37, 38), QSize(32, 32)), QPoint(3, 3));
    EXPECT_EQ(MinimisedIconPosition(QSize(160, 31), QSize(32, 32)), QPoint(64, 0));
    EXPECT_EQ(MinimisedIconPosition(QSize(20, 20), QSize(32, 32)), QPoint(-5, -5));
}

TEST_F(MainWindowLayoutTest, LongRowsScrollInsteadOfBeingCutShort) {
    OpenShown();
    protocol::PollReplyMessage reply;
    reply.name = "Wide";
    reply.options = 0x07;
    const auto bytes = protocol::WritePollReply(reply);
    SendToWindow({bytes.begin(), bytes.end()});
    QTest::qWait(20);
    Tick();
    auto* tree = qobject_cast<QTreeWidget*>(Item(res::kIdTree));
    QTest::qWait(50);
    const QTreeWidgetItem* options = tree->topLevelItem(0)->child(5);
    const int needed = tree->fontMetrics().horizontalAdvance(options->text(0));
    EXPECT_GE(tree->visualItemRect(options).width(), needed);
    EXPECT_GT(needed, tree->viewport()->width());  // so the view must scroll to show it
    EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0);
}

TEST_F(MainWindowLayoutTest, TheWindowOpensCentredOnItsScreen) {
    CNodeTestDlg& dialog = OpenShown();
    const QRect screen = dialog.screen()->availableGeometry();
    const QPoint offset = dialog.frameGeometry().center() - screen.center();
    EXPECT_LE(std::abs(offset.x()), 2);
    EXPECT_LE(std::abs(offset.y()), 2);
}
