// The floor: the main window's template built with plain Qt widgets of the same kinds, fonts
// and places, and nothing else. It shows itself, prints when it is on screen, and quits.
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

#include "framework/DialogUnits.h"
#include "res/Templates.h"
#include "testing/Options.h"
#include "testing/ProcStatus.h"

namespace {

using framework::ControlKind;

// Two arrows stacked, as an up-down control is drawn.
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

QWidget* MakeControl(const framework::ControlTemplate& control, QWidget* parent) {
    const QString text = QString::fromLatin1(control.text);
    switch (control.kind) {
        case ControlKind::StaticText:
        case ControlKind::Icon:
            return new QLabel(text, parent);
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
            return new QLineEdit(parent);
        case ControlKind::TreeView:
            return new QTreeWidget(parent);
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Vertical, parent);
            slider->setRange(0, 255);
            slider->setTickPosition(QSlider::TicksBothSides);
            return slider;
        }
        case ControlKind::SpinButton:
            return UpDown(parent);
    }
    return new QWidget(parent);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (lab::PrintHelp(argc, argv, "usage: floor_dialog [--hold-ms MS] [--tick-ms MS]\n")) return 0;
    int holdMs = 0;
    int tickMs = 0;
    try {
        const lab::Options options(argc, argv, 1, {"hold-ms", "tick-ms"});
        holdMs = options.Number("hold-ms", 0);
        tickMs = options.Number("tick-ms", 0);
    } catch (const lab::UsageError& error) {
        return lab::UsageFailure("floor_dialog", error);
    }
    QApplication application(argc, argv);
    const framework::DialogTemplate& layout = res::MainDialogTemplate();
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Floor"));
    dialog.setFont(framework::DialogFont(layout.fontFace, layout.pointSize));
    const framework::BaseUnits units = framework::BaseUnitsOf(dialog.font());
    dialog.setFixedSize(framework::ToPixels(0, 0, layout.width, layout.height, units).size());
    for (const framework::ControlTemplate& control : layout.controls) {
        MakeControl(control, &dialog)
            ->setGeometry(
                framework::ToPixels(control.x, control.y, control.width, control.height, units));
    }

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
