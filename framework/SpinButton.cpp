#include "framework/SpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "framework/Routing.h"

namespace framework {
namespace {

constexpr int kRepeatDelayMs = 500;
constexpr int kRepeatIntervalMs = 100;

QToolButton* MakeArrow(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

bool IsArrowKey(const QEvent* event) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Up || key == Qt::Key_Down;
}

}  // namespace

SpinButton::SpinButton(QWidget* parent)
    : QWidget(parent),
      m_up(MakeArrow(Qt::UpArrow, this)),
      m_down(MakeArrow(Qt::DownArrow, this)),
      m_repeat(new QTimer(this)) {
    setFocusPolicy(Qt::NoFocus);
    // A step as the arrow goes down, then more while it is held; the release ends the scroll.
    for (QToolButton* arrow : {m_up, m_down}) {
        const int direction = arrow == m_up ? +1 : -1;
        connect(arrow, &QToolButton::pressed, this, [this, direction] {
            m_repeatDirection = direction;
            Step(direction);
            m_repeat->start(kRepeatDelayMs);
        });
        connect(arrow, &QToolButton::released, this, [this] {
            m_repeat->stop();
            EndScroll();
        });
    }
    connect(m_repeat, &QTimer::timeout, this, [this] {
        m_repeat->start(kRepeatIntervalMs);
        Step(m_repeatDirection);
    });
    // Once a modal box takes the input, the arrow's release will never come here.
    if (parent) parent->window()->installEventFilter(this);
}

void SpinButton::SetBuddy(QLineEdit* buddy) {
    if (m_buddy) m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy) m_buddy->installEventFilter(this);
}

void SpinButton::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

void SpinButton::SetPos(int position) {
    m_position = std::clamp(position, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
    WriteBuddy();
}

void SpinButton::Step(int direction) {
    // The buddy may hold a number the user typed; stepping starts from it.
    if (m_buddy) {
        bool isNumber = false;
        const int typed = m_buddy->text().trimmed().toInt(&isNumber);
        if (isNumber) m_position = typed;
    }
    const int low = std::min(m_lower, m_upper);
    const int high = std::max(m_lower, m_upper);
    const int step = m_lower <= m_upper ? direction : -direction;
    const int next = std::clamp(m_position, low, high) + step;
    m_position = std::clamp(next, low, high);
    WriteBuddy();
    if (onScroll) onScroll(kThumbPosition, m_position);
}

void SpinButton::EndScroll() {
    if (onScroll) onScroll(kEndScroll, m_position);
}

void SpinButton::WriteBuddy() {
    const QString text = QString::number(m_position);
    if (m_buddy && m_buddy->text() != text) m_buddy->setText(text);
}

bool SpinButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowBlocked && watched == window()) {
        m_repeat->stop();
        m_up->setDown(false);
        m_down->setDown(false);
    }
    if (watched == m_buddy && event->type() == QEvent::KeyPress && IsArrowKey(event)) {
        Step(static_cast<QKeyEvent*>(event)->key() == Qt::Key_Up ? +1 : -1);
        return true;
    }
    if (watched == m_buddy && event->type() == QEvent::KeyRelease && IsArrowKey(event)) {
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) EndScroll();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SpinButton::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

}  // namespace framework
