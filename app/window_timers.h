#pragma once

// Window timers of a dialog: timers addressed by a small id that call their owner back on the
// user-interface thread, standing on QTimer. Periods are multiplied by a process-wide time
// scale, so that tests can run a 120-second countdown in milliseconds. UI thread only.

#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class WindowTimers {
  public:
    using Handler = std::function<void(unsigned id)>;

    // `handler` is called with the timer's id at each period; it may set or kill any timer,
    // including the one that fired.
    explicit WindowTimers(Handler handler);
    ~WindowTimers();
    WindowTimers(const WindowTimers&) = delete;
    WindowTimers& operator=(const WindowTimers&) = delete;

    // Starts timer `id` (non-zero) with a period of `elapseMs` milliseconds, repeating until it
    // is killed; a running timer of the same id is restarted with the new period. Returns the
    // id, or 0 for id 0.
    unsigned SetTimer(unsigned id, unsigned elapseMs);
    // Stops timer `id`; false when it was not running.
    bool KillTimer(unsigned id);
    bool IsTimerRunning(unsigned id) const;
    // The period a timer of `elapseMs` really runs with under the current time scale, in ms.
    static int ScaledPeriod(unsigned elapseMs);

    // Process-wide factor for every timer period started afterwards (1 = real time).
    static void SetTimeScale(double scale);
    static double TimeScale();

  private:
    Handler m_handler;
    // Timers are stopped, never destroyed, while the owner lives: a handler may kill the timer
    // whose signal is being delivered.
    std::map<unsigned, std::unique_ptr<QTimer>> m_timers;
};
