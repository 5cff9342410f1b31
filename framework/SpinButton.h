// An up-down control: two arrows beside its buddy field. It writes its position into the
// buddy as a plain integer on every change, answers the arrow keys in the buddy, stops at the
// ends of its range, and raises a thumb-position notification per step, after the buddy shows
// the new value, then end of scroll when the arrow or the key is released.
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;
class QTimer;
class QToolButton;

namespace framework {

class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent);

    void SetBuddy(QLineEdit* buddy);
    QLineEdit* Buddy() const { return m_buddy; }
    void SetRange(int lower, int upper);
    void SetPos(int position);
    int Pos() const { return m_position; }
    // One step up (+1) or down (-1), as an arrow click or key does.
    void Step(int direction);

    std::function<void(int scrollCode, int position)> onScroll;

    QToolButton* UpArrow() const { return m_up; }
    QToolButton* DownArrow() const { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void WriteBuddy();
    void EndScroll();

    QLineEdit* m_buddy = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
    QTimer* m_repeat;
    int m_repeatDirection = 0;
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
};

}  // namespace framework
