// Modal runs, nested as a modal window system nests them, and the quit request that ends them.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace framework {

inline constexpr int kQuitResult = -1;

class ModalLoop {
public:
    ModalLoop();
    ~ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    // Runs until Exit or a quit request; returns the result, kQuitResult after a quit.
    int Run();
    void Exit(int result);

private:
    QEventLoop m_loop;
    bool m_running = false;
};

// Qt does not fire a timer again while its own handler runs, not even in a loop nested inside
// that handler. A timer handler holds one of these while it runs; a modal run that starts
// inside it restarts the timer first, so that ticks go on while a box is open.
class TimerHandlerScope {
public:
    explicit TimerHandlerScope(QTimer& timer);
    ~TimerHandlerScope();
    TimerHandlerScope(const TimerHandlerScope&) = delete;
    TimerHandlerScope& operator=(const TimerHandlerScope&) = delete;

private:
    QPointer<QTimer> m_timer;
};

// Queues a quit request: once the current handler has returned, every modal run ends and any
// later run ends at once, as the program is shutting down.
void PostQuitRequest(int exitCode);
bool QuitRequested();
int QuitExitCode();
// Forgets a quit request; for a new program run (and for tests that start several).
void ResetQuitRequest();

}  // namespace framework
