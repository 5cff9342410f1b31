#include "app/ChannelCheckWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace {

QSpinBox* NewSpin(QWidget* parent, int min, int max, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(min, max);
    spin->setValue(value);
    return spin;
}

QDoubleSpinBox* NewRate(QWidget* parent, double min, double max, double value,
                        const QString& suffix) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setDecimals(1);
    spin->setRange(min, max);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

}  // namespace

ChannelCheckWindow::ChannelCheckWindow(net::NodeSocket& socket, QWidget* parent)
    : QWidget(parent, Qt::Window), m_socket(socket) {
    setWindowTitle("Channel Check");
    setAttribute(Qt::WA_DeleteOnClose, false);
    universe = NewSpin(this, 1, 256, 1);
    startCode = NewSpin(this, 0, 255, 0);
    first = NewSpin(this, 1, 512, 1);
    last = NewSpin(this, 1, 512, 512);
    level = NewSpin(this, 0, 255, 255);
    others = NewSpin(this, 0, 255, 0);
    kind = new QComboBox(this);
    kind->addItems({"Check", "Chase", "Ramp"});
    shape = new QComboBox(this);
    shape->addItems({"Snap", "Ramp", "Sine"});
    rate = NewRate(this, pattern::kMinChaseRate, pattern::kMaxChaseRate, 2.0, " Hz");
    period = NewRate(this, pattern::kMinRampPeriod, pattern::kMaxRampPeriod, 2.0, " s");
    refresh = NewRate(this, pattern::kMinRefreshRate, pattern::kMaxRefreshRate, 1.0, " Hz");
    previous = new QPushButton("&Previous", this);
    next = new QPushButton("&Next", this);
    blink = new QCheckBox("&Blink", this);
    start = new QPushButton("&Start", this);
    stop = new QPushButton("S&top", this);
    stop->setEnabled(false);
    channel = new QLabel(this);
    channel->setAlignment(Qt::AlignCenter);
    QFont big = channel->font();
    big.setPixelSize(120);
    big.setBold(true);
    channel->setFont(big);
    channel->setMinimumWidth(channel->fontMetrics().horizontalAdvance("888-888"));
    status = new QLabel(this);
    status->setWordWrap(true);

    auto* fields = new QGridLayout;
    const auto row = [&](int at, const char* leftText, QWidget* left, const char* rightText,
                         QWidget* right) {
        fields->addWidget(new QLabel(leftText, this), at, 0);
        fields->addWidget(left, at, 1);
        if (!right) return;
        fields->addWidget(new QLabel(rightText, this), at, 2);
        fields->addWidget(right, at, 3);
    };
    row(0, "Universe:", universe, "Start code:", startCode);
    row(1, "First channel:", first, "Last channel:", last);
    row(2, "Level:", level, "Others:", others);
    row(3, "Pattern:", kind, "Chase shape:", shape);
    row(4, "Chase rate:", rate, "Ramp period:", period);
    row(5, "Refresh:", refresh, nullptr, nullptr);
    auto* buttons = new QHBoxLayout;
    for (QWidget* each : std::initializer_list<QWidget*>{previous, next, blink, start, stop}) {
        buttons->addWidget(each);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(channel);
    layout->addLayout(buttons);
    layout->addWidget(status);

    connect(start, &QPushButton::clicked, this, &ChannelCheckWindow::Start);
    connect(stop, &QPushButton::clicked, this, &ChannelCheckWindow::Stop);
    connect(next, &QPushButton::clicked, this, &ChannelCheckWindow::Next);
    connect(previous, &QPushButton::clicked, this, &ChannelCheckWindow::Previous);
    // While stopped, the channel that Start will light stays within the range.
    for (QSpinBox* end : {first, last}) {
        connect(end, &QSpinBox::valueChanged, this, [this] {
            if (m_player) return;
            m_selected =
                std::clamp(m_selected, first->value(), std::max(first->value(), last->value()));
            ShowChannel(m_selected);
        });
    }
    connect(blink, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_player) return;
        m_player->SetBlink(on, Now());
        Tick();
    });
    // Fields keep their arrows for the text; on the buttons, which would move the focus with
    // them, and on the window itself they step through the range.
    for (QWidget* each : std::initializer_list<QWidget*>{previous, next, blink, start, stop}) {
        each->installEventFilter(this);
    }
    // One wake-up per step or refresh, each against its own deadline; coarse timers would move a
    // 44 Hz chase's frames by up to 5 %.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ChannelCheckWindow::Tick);
    m_clock.start();
    ShowChannel(m_selected);
    status->setText("Stopped.");
}

ChannelCheckWindow::~ChannelCheckWindow() {
    Stop();
}

pattern::Settings ChannelCheckWindow::Settings() const {
    pattern::Settings settings;
    settings.universe = universe->value();
    settings.startCode = startCode->value();
    settings.first = first->value();
    settings.last = last->value();
    settings.level = static_cast<std::uint8_t>(level->value());
    settings.others = static_cast<std::uint8_t>(others->value());
    settings.kind = static_cast<pattern::Kind>(kind->currentIndex());
    settings.shape = static_cast<pattern::Shape>(shape->currentIndex());
    settings.blink = blink->isChecked();
    settings.rate = rate->value();
    settings.period = period->value();
    settings.refresh = refresh->value();
    return settings;
}

pattern::Duration ChannelCheckWindow::Now() const {
    return pattern::Duration(m_clock.nsecsElapsed());
}

void ChannelCheckWindow::Start() {
    if (m_player) return;
    const pattern::Settings settings = Settings();
    if (const std::string problem = pattern::Validate(settings); !problem.empty()) {
        status->setText(QString::fromStdString("Not started: " + problem + "."));
        return;
    }
    m_selected = std::clamp(m_selected, settings.first, settings.last);
    const pattern::Duration now = Now();
    m_player.emplace(settings, now);
    m_player->Select(m_selected, now);
    EnableSettings(false);
    status->setText(QString("Sending to channels %1-%2 of universe %3; Stop or closing sets "
                            "them to 0.")
                        .arg(settings.first)
                        .arg(settings.last)
                        .arg(settings.universe));
    Tick();
}

void ChannelCheckWindow::Stop() {
    if (!m_player) return;
    m_timer.stop();
    const std::vector<std::uint8_t> zero = m_player->ZeroFrame();
    const pattern::Settings settings = m_player->GetSettings();
    m_player.reset();
    EnableSettings(true);
    status->setText(QString("Stopped: channels 1-%1 of universe %2 set to 0.")
                        .arg(settings.last)
                        .arg(settings.universe));
    m_socket.SendDatagram(zero.data(), zero.size());
}

void ChannelCheckWindow::Next() {
    Move(1);
}

void ChannelCheckWindow::Previous() {
    Move(-1);
}

void ChannelCheckWindow::Move(int by) {
    if (!m_player) {
        m_selected =
            std::clamp(m_selected + by, first->value(), std::max(first->value(), last->value()));
        ShowChannel(m_selected);
        return;
    }
    if (m_player->GetSettings().kind != pattern::Kind::Check) return;
    const pattern::Duration now = Now();
    if (!(by > 0 ? m_player->Next(now) : m_player->Previous(now))) return;
    m_selected = m_player->ChannelAt(now);
    Tick();
}

void ChannelCheckWindow::Tick() {
    if (!m_player) return;
    if (auto frame = m_player->Tick(Now())) {
        // A failed send shows its box in a loop of its own, where Stop may come.
        m_socket.SendDatagram(frame->data(), frame->size());
        if (!m_player) return;
    }
    const pattern::Duration now = Now();
    ShowChannel(m_player->ChannelAt(now));
    const pattern::Duration left = m_player->NextDue() - now;
    // Rounded up: a timer that fired before the deadline would only have to wait again.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    m_timer.start(static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX)));
}

void ChannelCheckWindow::ShowChannel(int on) {
    const QString text =
        on == 0 ? QString("%1-%2").arg(first->value()).arg(last->value()) : QString::number(on);
    if (channel->text() != text) channel->setText(text);
}

void ChannelCheckWindow::EnableSettings(bool on) {
    for (QWidget* each :
         std::initializer_list<QWidget*>{universe, startCode, first, last, level, others, kind,
                                         shape, rate, period, refresh, start}) {
        each->setEnabled(on);
    }
    stop->setEnabled(!on);
}

bool ChannelCheckWindow::StepKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
    Move(key == Qt::Key_Right ? 1 : -1);
    return true;
}

bool ChannelCheckWindow::eventFilter(QObject* watched, QEvent* event) {
    return StepKey(event) || QWidget::eventFilter(watched, event);
}

void ChannelCheckWindow::keyPressEvent(QKeyEvent* event) {
    if (!StepKey(event)) QWidget::keyPressEvent(event);
}

void ChannelCheckWindow::closeEvent(QCloseEvent* event) {
    Stop();
    QWidget::closeEvent(event);
}
