// The floor: a bare Qt dialog with the main window's 21 controls, same kinds and places, and
// nothing else. It shows itself, prints when it is on screen, and quits.
//   shown NS          CLOCK_MONOTONIC once show() and the first event pass are done
//   memory HWM RSS    VmHWM and VmRSS in kB, --hold-ms later, just before quitting
// With --tick-ms it also runs an empty timer meanwhile: the floor for an idle program that
// ticks.
#include <time.h>

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "testing/Options.h"
#include "testing/ProcStatus.h"

namespace {

// Positions come in the main window's dialog units (a quarter of the average character
// width, an eighth of the line height), so both windows cover the same pixels.
class Place {
public:
    explicit Place(const QFontMetrics& metrics)
        : m_x((metrics.horizontalAdvance(
                   QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                   26 +
               1) /
              2),
          m_y(metrics.height()) {}
    QRect operator()(int x, int y, int w, int h) const {
        return QRect((x * m_x + 2) / 4, (y * m_y + 4) / 8, (w * m_x + 2) / 4, (h * m_y + 4) / 8);
    }

private:
    int m_x;
    int m_y;
};

template <class W>
W* Put(W* widget, const QRect& where) {
    widget->setGeometry(where);
    return widget;
}

// Two arrows stacked, as the main window's up-down controls are made.
QWidget* UpDown(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const Qt::ArrowType arrow : {Qt::UpArrow, Qt::DownArrow}) {
        auto* button = new QToolButton(box);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        layout->addWidget(button);
    }
    return box;
}

}  // namespace

int main(int argc, char* argv[]) {
    int holdMs = 0;
    int tickMs = 0;
    try {
        const lab::Options options(argc, argv, 1, {"hold-ms", "tick-ms"});
        holdMs = options.Number("hold-ms", 0);
        tickMs = options.Number("tick-ms", 0);
    } catch (const lab::UsageError& error) {
        std::fprintf(stderr, "floor_dialog: %s\n", error.what());
        return 2;
    }
    QApplication application(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Floor"));
    const Place at(dialog.fontMetrics());
    dialog.setFixedSize(at(0, 0, 320, 200).size());

    Put(new QLabel(QStringLiteral("Devices Located"), &dialog), at(21, 7, 62, 14));
    auto* tree = Put(new QTreeWidget(&dialog), at(7, 25, 143, 168));
    tree->setHeaderHidden(true);
    Put(new QPushButton(QStringLiteral("Poll Again"), &dialog), at(100, 7, 50, 14));
    Put(new QLabel(QStringLiteral("Level"), &dialog), at(171, 7, 28, 10));
    Put(new QLabel(QStringLiteral("255\t100%"), &dialog), at(162, 17, 49, 10));
    auto* slider = Put(new QSlider(Qt::Vertical, &dialog), at(171, 30, 28, 163));
    slider->setRange(0, 255);
    slider->setTickPosition(QSlider::TicksBothSides);
    Put(new QGroupBox(QStringLiteral(" Data Format "), &dialog), at(223, 3, 76, 64));
    auto* raw = Put(new QRadioButton(QStringLiteral("RAW"), &dialog), at(230, 14, 36, 11));
    raw->setChecked(true);
    Put(new QRadioButton(QStringLiteral("RLE"), &dialog), at(230, 27, 36, 11));
    Put(new QRadioButton(QStringLiteral("Channel/Value"), &dialog), at(230, 38, 61, 11));
    Put(new QRadioButton(QStringLiteral("Zero (invalid)"), &dialog), at(230, 51, 61, 11));
    const int fields[3] = {83, 120, 155};
    const char* titles[3] = {" Universe ", " Channels to Send ", " Start Code "};
    const char* values[3] = {"1", "512", "0"};
    for (int i = 0; i < 3; ++i) {
        Put(new QGroupBox(QString::fromLatin1(titles[i]), &dialog),
            at(223, fields[i] - 12, 76, 31));
        Put(new QLineEdit(QString::fromLatin1(values[i]), &dialog), at(244, fields[i], 21, 13));
        Put(UpDown(&dialog), at(265, fields[i], 11, 13));
    }
    Put(new QPushButton(QStringLiteral("Done"), &dialog), at(223, 179, 76, 14))->setDefault(true);

    dialog.show();
    QApplication::processEvents();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("shown %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);

    QTimer tick;
    if (tickMs > 0) {
        QObject::connect(&tick, &QTimer::timeout, [] {});
        tick.start(tickMs);
    }
    QTimer::singleShot(holdMs, &application, [] {
        const lab::ProcMemory memory = lab::OwnMemory();
        std::printf("memory %ld %ld\n", memory.hwmKb, memory.rssKb);
        std::fflush(stdout);
        QApplication::quit();
    });
    return application.exec();
}
