#include "framework/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <utility>

#include "framework/ModalLoop.h"

namespace framework {
namespace {

MessageBoxSink& CurrentSink() {
    static MessageBoxSink sink = ShowQtMessageBox;
    return sink;
}

}  // namespace

void MessageBox(const std::string& text) {
    // A copy, so that a sink replaced from inside a box stays alive until it returns.
    const MessageBoxSink sink = CurrentSink();
    if (sink) sink(text);
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
    return std::exchange(CurrentSink(), std::move(sink));
}

void ShowQtMessageBox(const std::string& text) {
    if (QuitRequested()) return;
    QPointer<QMessageBox> box = new QMessageBox(
        QMessageBox::Warning, QString::fromLatin1(kProgramCaption), QString::fromLatin1(text),
        QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    ModalLoop loop;
    QObject::connect(box, &QDialog::finished, box, [&loop] { loop.Exit(0); });
    box->show();
    loop.Run();
    if (box) box->close();
}

}  // namespace framework
