#include "framework/ControlBuilder.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>

#include "framework/SpinButton.h"
#include "framework/StaticText.h"
#include "framework/TrackBar.h"

namespace framework {
namespace {

Qt::Alignment TextAlignment(unsigned style) {
    Qt::Alignment alignment = Qt::AlignLeft;
    if (style & kAlignCenter) alignment = Qt::AlignHCenter;
    if (style & kAlignRight) alignment = Qt::AlignRight;
    return alignment | ((style & kVerticalCenter) ? Qt::AlignVCenter : Qt::AlignTop);
}

QTreeWidget* MakeTree(bool border, QWidget* parent) {
    auto* tree = new QTreeWidget(parent);
    tree->setFrameStyle(border ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setRootIsDecorated(false);  // no lines or buttons
    tree->setItemsExpandable(true);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setAllColumnsShowFocus(true);  // full-row select
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    tree->setDragEnabled(false);
    tree->setIndentation(tree->fontMetrics().averageCharWidth() * 2);
    tree->setToolTipDuration(0);
    // Rows are never cut short: the column grows with its longest text and the view scrolls.
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->setTextElideMode(Qt::ElideNone);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return tree;
}

QLineEdit* MakeNumberEdit(bool border, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    // Typed or pasted text that is not all digits is refused whole; say why, next to the field.
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit] {
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())),
                           QString::fromLatin1(kDigitsOnlyMessage), edit);
    });
    edit->setFrame(border);
    return edit;
}

QWidget* MakeWidget(const ControlTemplate& control, QWidget* parent) {
    const QString text = TemplateText(control.text);
    switch (control.kind) {
        case ControlKind::StaticText: {
            QString shown = text;
            if (!(control.style & kNoPrefix)) shown.remove(QLatin1Char('&'));
            return new StaticText(shown, TextAlignment(control.style), parent);
        }
        case ControlKind::GroupBox:
            return new QGroupBox(text, parent);
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(control.kind == ControlKind::DefaultPushButton);
            return button;
        }
        case ControlKind::RadioButton:
            return new QRadioButton(text, parent);
        case ControlKind::NumberEdit:
            return MakeNumberEdit(control.style & kBorder, parent);
        case ControlKind::TreeView:
            return MakeTree(control.style & kBorder, parent);
        case ControlKind::Slider: {
            auto* trackBar = new TrackBar(parent);
            trackBar->SetStaticEdge(control.style & kStaticEdge);
            return trackBar;
        }
        case ControlKind::SpinButton:
            return new SpinButton(parent);
        case ControlKind::Icon:
            return new QLabel(parent);
    }
    return nullptr;
}

Qt::FocusPolicy FocusPolicyOf(const ControlTemplate& control) {
    if (control.style & kTabStop) return Qt::StrongFocus;
    const bool takesFocus =
        control.kind != ControlKind::StaticText && control.kind != ControlKind::GroupBox &&
        control.kind != ControlKind::Icon && control.kind != ControlKind::SpinButton;
    return takesFocus ? Qt::ClickFocus : Qt::NoFocus;
}

}  // namespace

QString TemplateText(const char* text) {
    return QString::fromLatin1(text ? text : "");
}

QWidget* BuildControl(const ControlTemplate& control, QWidget* parent) {
    QWidget* widget = MakeWidget(control, parent);
    widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    widget->setFocusPolicy(FocusPolicyOf(control));
    return widget;
}

void LimitToVisibleDigits(QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    constexpr int kInnerMargin = 2;  // QLineEdit's own space beside the text, each side
    const QMargins margins = edit->textMargins();
    const int room = edit->width() - 2 * (frame + kInnerMargin) - margins.left() - margins.right();
    const int digit = std::max(1, edit->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    edit->setMaxLength(std::max(1, room / digit));
}

void AttachToBuddy(SpinButton* spin, QLineEdit* buddy) {
    spin->SetBuddy(buddy);
    const QRect field = buddy->geometry();
    const int spinWidth = spin->width();
    buddy->setGeometry(field.x(), field.y(), field.width() - spinWidth, field.height());
    spin->setGeometry(field.right() + 1 - spinWidth, field.y(), spinWidth, field.height());
}

}  // namespace framework
