#include "framework/TrackBar.h"

#include <qdrawutil.h>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include "framework/Routing.h"

namespace framework {
namespace {

int ScrollCodeOf(int sliderAction) {
    switch (sliderAction) {
        case QAbstractSlider::SliderSingleStepAdd:
            return kLineDown;
        case QAbstractSlider::SliderSingleStepSub:
            return kLineUp;
        case QAbstractSlider::SliderPageStepAdd:
            return kPageDown;
        case QAbstractSlider::SliderPageStepSub:
            return kPageUp;
        case QAbstractSlider::SliderToMinimum:
            return kTop;
        case QAbstractSlider::SliderToMaximum:
            return kBottom;
        default:
            return kThumbTrack;
    }
}

bool IsScrollKey(int key) {
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

}  // namespace

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Vertical, parent) {
    // Position 0 at the top, and Down, Page Down and End move the thumb towards the bottom.
    setInvertedAppearance(true);
    setInvertedControls(true);
    setTickPosition(QSlider::TicksBothSides);
    connect(this, &QAbstractSlider::actionTriggered, this,
            [this](int action) { Raise(ScrollCodeOf(action)); });
    // Once a modal box takes the input, the mouse button's release will never come here.
    if (parent) parent->window()->installEventFilter(this);
}

void TrackBar::SetStaticEdge(bool on) {
    m_staticEdge = on;
    update();
}

QRect TrackBar::ThumbRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void TrackBar::initStyleOption(QStyleOptionSlider* option) const {
    QSlider::initStyleOption(option);
    // Painting and hit-testing both keep clear of the edge.
    if (m_staticEdge) option->rect.adjust(1, 1, -1, -1);
}

void TrackBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    // Styles that fill the groove fill it from the minimum's end to the thumb: here from the top,
    // where the level is 255, so the fill would show 255 minus the level. The groove alone is
    // drawn mirrored (same thumb rectangle, minimum at the bottom) so the fill rises with the
    // level; thumb and ticks are drawn as they are.
    QStyleOptionSlider groove = option;
    groove.subControls = QStyle::SC_SliderGroove;
    groove.upsideDown = !option.upsideDown;
    groove.sliderPosition = option.maximum + option.minimum - option.sliderPosition;
    groove.sliderValue = option.maximum + option.minimum - option.sliderValue;
    style()->drawComplexControl(QStyle::CC_Slider, &groove, &painter, this);
    option.subControls = QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks) option.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    if (m_staticEdge) qDrawShadePanel(&painter, rect(), palette(), true, 1);
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    // Accepted means a press on the thumb or in the channel: a gesture that its release ends.
    if (event->isAccepted()) m_mouseGesture = true;
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
    const bool onThumb = isSliderDown();
    QSlider::mouseReleaseEvent(event);
    if (!m_mouseGesture || event->buttons() != Qt::NoButton) return;
    m_mouseGesture = false;
    if (onThumb) Raise(kThumbPosition);
    Raise(kEndScroll);
}

void TrackBar::keyReleaseEvent(QKeyEvent* event) {
    if (IsScrollKey(event->key()) && !event->isAutoRepeat()) {
        Raise(kEndScroll);
        event->accept();
        return;
    }
    QSlider::keyReleaseEvent(event);
}

bool TrackBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowBlocked && watched == window() && m_mouseGesture) {
        m_mouseGesture = false;
        setRepeatAction(SliderNoAction);
        setSliderDown(false);
    }
    return QSlider::eventFilter(watched, event);
}

void TrackBar::Raise(int scrollCode) {
    if (onScroll) onScroll(scrollCode);
}

}  // namespace framework
