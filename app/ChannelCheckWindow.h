// Channel Check: finds a fixture by lighting one channel, a blink, a chase or a ramp over a range,
// sent through the main window's endpoint. A plain, modeless Qt window.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "net/NodeSocket.h"
#include "pattern/Pattern.h"

class ChannelCheckWindow : public QWidget {
    Q_OBJECT
public:
    ChannelCheckWindow(net::NodeSocket& socket, QWidget* parent);
    // Sets what it touched back to 0, as closing it does.
    ~ChannelCheckWindow() override;

    bool IsRunning() const { return m_player.has_value(); }
    // The settings as the fields hold them.
    pattern::Settings Settings() const;

    // The controls, for tests and the screenshot.
    QSpinBox* universe;
    QSpinBox* startCode;
    QSpinBox* first;
    QSpinBox* last;
    QSpinBox* level;
    QSpinBox* others;
    QComboBox* kind;
    QComboBox* shape;
    QDoubleSpinBox* rate;
    QDoubleSpinBox* period;
    QDoubleSpinBox* refresh;
    QPushButton* previous;
    QPushButton* next;
    QCheckBox* blink;
    QPushButton* start;
    QPushButton* stop;
    QLabel* channel;  // the channel on, in digits big enough to read from a ladder
    QLabel* status;

public slots:
    void Start();
    void Stop();
    void Next();
    void Previous();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    pattern::Duration Now() const;
    void Tick();
    void ShowChannel(int channel);
    void EnableSettings(bool on);
    void Move(int by);
    // Left or Right: a step; true when it was one.
    bool StepKey(QEvent* event);

    net::NodeSocket& m_socket;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::optional<pattern::Player> m_player;
    int m_selected = 1;  // the check's channel, also while stopped
};
