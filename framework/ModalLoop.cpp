#include "framework/ModalLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

namespace framework {
namespace {

struct QuitState {
    bool requested = false;
    int exitCode = 0;
    std::vector<ModalLoop*> running;
    // Timers whose handlers are running and that a modal run has not restarted yet.
    std::vector<QPointer<QTimer>> inHandler;
};

QuitState& State() {
    static QuitState state;
    return state;
}

}  // namespace

ModalLoop::ModalLoop() = default;

ModalLoop::~ModalLoop() {
    auto& running = State().running;
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
}

TimerHandlerScope::TimerHandlerScope(QTimer& timer) : m_timer(&timer) {
    State().inHandler.push_back(m_timer);
}

TimerHandlerScope::~TimerHandlerScope() {
    auto& inHandler = State().inHandler;
    inHandler.erase(std::remove(inHandler.begin(), inHandler.end(), m_timer), inHandler.end());
}

int ModalLoop::Run() {
    if (State().requested) return kQuitResult;
    // A restart registers the timer anew, free of the guard on the handler that is running.
    for (const QPointer<QTimer>& timer : std::exchange(State().inHandler, {})) {
        if (timer && timer->isActive()) timer->start();
    }
    State().running.push_back(this);
    m_running = true;
    const int result = m_loop.exec(QEventLoop::DialogExec);
    m_running = false;
    auto& running = State().running;
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    return result;
}

void ModalLoop::Exit(int result) {
    if (m_running) m_loop.exit(result);
}

void PostQuitRequest(int exitCode) {
    QTimer::singleShot(0, QCoreApplication::instance(), [exitCode] {
        QuitState& state = State();
        if (!state.requested) state.exitCode = exitCode;
        state.requested = true;
        for (ModalLoop* loop : state.running) loop->Exit(kQuitResult);
    });
}

bool QuitRequested() {
    return State().requested;
}
int QuitExitCode() {
    return State().exitCode;
}

void ResetQuitRequest() {
    State().requested = false;
    State().exitCode = 0;
}

}  // namespace framework
