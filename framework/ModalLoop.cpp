#include "framework/ModalLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace framework {
namespace {

struct QuitState {
    bool requested = false;
    int exitCode = 0;
    std::vector<ModalLoop*> running;
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

int ModalLoop::Run() {
    if (State().requested) return kQuitResult;
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
