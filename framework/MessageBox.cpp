#include "framework/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <deque>
#include <utility>

#include "framework/ModalLoop.h"

namespace framework {
namespace {

struct HeldReport {
    std::string text;
    int times = 1;
};

// Boxes opened from timer ticks under an open box would otherwise nest without end, one
// stack frame of a modal loop each, until the program crashes under a flood of datagrams.
struct BoxNesting {
    int depth = 0;
    std::deque<HeldReport> held;
    long dropped = 0;
};

MessageBoxSink& CurrentSink() {
    static MessageBoxSink sink = QtMessageBoxSink({});
    return sink;
}

BoxNesting& Nesting() {
    static BoxNesting nesting;
    return nesting;
}

void Hold(const std::string& text) {
    BoxNesting& nesting = Nesting();
    for (HeldReport& report : nesting.held) {
        if (report.text == text) {
            ++report.times;
            return;
        }
    }
    if (nesting.held.size() < kMaxHeldReports) {
        nesting.held.push_back({text, 1});
    } else {
        ++nesting.dropped;
    }
}

void ShowNow(const std::string& text) {
    // A copy, so that a sink replaced from inside a box stays alive until it returns.
    const MessageBoxSink sink = CurrentSink();
    ++Nesting().depth;
    if (sink) sink(text);
    --Nesting().depth;
}

std::string Describe(const HeldReport& report) {
    if (report.times == 1) return report.text;
    return report.text + "\n\n(" + std::to_string(report.times) + " times)";
}

void ShowHeld() {
    BoxNesting& nesting = Nesting();
    while (nesting.depth < kMaxNestedBoxes && (!nesting.held.empty() || nesting.dropped > 0)) {
        if (nesting.held.empty()) {
            const long dropped = std::exchange(nesting.dropped, 0);
            ShowNow(std::to_string(dropped) + " further reports came in too fast to show.");
            continue;
        }
        const HeldReport next = nesting.held.front();
        nesting.held.pop_front();
        ShowNow(Describe(next));
    }
}

void ShowQtMessageBox(const std::string& caption, const std::string& text) {
    if (QuitRequested()) return;
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Warning, QString::fromLatin1(caption),
                        QString::fromLatin1(text), QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    ModalLoop loop;
    QObject::connect(box, &QDialog::finished, box, [&loop] { loop.Exit(0); });
    box->show();
    loop.Run();
    if (box) box->close();
}

}  // namespace

void MessageBox(const std::string& text) {
    BoxNesting& nesting = Nesting();
    // Held reports go first, so that the user reads them in the order they came.
    if (nesting.depth >= kMaxNestedBoxes || !nesting.held.empty()) {
        Hold(text);
    } else {
        ShowNow(text);
    }
    ShowHeld();
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
    return std::exchange(CurrentSink(), std::move(sink));
}

MessageBoxSink QtMessageBoxSink(std::string caption) {
    return [caption = std::move(caption)](const std::string& text) {
        ShowQtMessageBox(caption, text);
    };
}

}  // namespace framework
