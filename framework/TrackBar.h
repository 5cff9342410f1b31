// A vertical slider that raises scroll notifications as the classic trackbar does: a code for
// each key press and thumb move, and at the end of every gesture (key or mouse button released)
// the thumb's final position after a thumb press, then end of scroll.
#pragma once

#include <QSlider>
#include <functional>

namespace framework {

class TrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrackBar(QWidget* parent);

    // A one-pixel sunken edge around the control.
    void SetStaticEdge(bool on);
    // Where the thumb is drawn, in the control's own coordinates.
    QRect ThumbRect() const;

    std::function<void(int scrollCode)> onScroll;

protected:
    void initStyleOption(QStyleOptionSlider* option) const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Raise(int scrollCode);

    bool m_staticEdge = false;
    bool m_mouseGesture = false;
};

}  // namespace framework
