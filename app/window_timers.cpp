#include "app/window_timers.h"

#include <atomic>
#include <cmath>

namespace {

std::atomic<double> g_timeScale{1.0};

}  // namespace

WindowTimers::WindowTimers(Handler handler) : m_handler(std::move(handler)) {}

WindowTimers::~WindowTimers() = default;

unsigned WindowTimers::SetTimer(unsigned id, unsigned elapseMs) {
    if (id == 0) {
        return 0;
    }
    auto& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { m_handler(id); });
    }
    timer->start(ScaledPeriod(elapseMs));
    return id;
}

bool WindowTimers::KillTimer(unsigned id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive()) {
        return false;
    }
    it->second->stop();
    return true;
}

bool WindowTimers::IsTimerRunning(unsigned id) const {
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

int WindowTimers::ScaledPeriod(unsigned elapseMs) {
    const double scaled = std::round(double(elapseMs) * g_timeScale.load());
    if (scaled < 1) {
        return 1;
    }
    return scaled > 0x7fffffff ? 0x7fffffff : int(scaled);
}

void WindowTimers::SetTimeScale(double scale) {
    g_timeScale.store(scale > 0 ? scale : 1.0);
}

double WindowTimers::TimeScale() {
    return g_timeScale.load();
}
