// ScanCrew: detached worker threads that keep their shared state alive.
#include "scan_crew.h"

#include <system_error>
#include <thread>

namespace kestova {

bool WaitMeter::Add(std::chrono::steady_clock::duration took)
{
    if (m_deviceWaits)
        return true;
    ++m_counted;
    if (took > m_waitedAfter)
        ++m_waited;
    if (m_counted == Sample) {
        // Half of a sample: a file or two held up by the scheduler on a busy
        // machine is not yet a slow device.
        m_deviceWaits = m_waited * 2 >= Sample;
        m_counted = m_waited = 0;
    }
    return m_deviceWaits;
}

void ScanCrew::GrowTo(int count)
{
    while (m_started < count && !m_stopping) {
        try {
            std::thread([self = shared_from_this()] {
                self->Work();
                std::lock_guard lock(self->m_mutex);
                if (--self->m_running == 0)
                    self->m_left.notify_all();
            }).detach();
        } catch (const std::system_error &) {
            if (m_started > 0)
                return;
            throw; // not even one thread: nothing would ever be done
        }
        ++m_started;
        ++m_running;
    }
}

void ScanCrew::Stop(std::chrono::milliseconds grace)
{
    std::unique_lock lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
    m_left.wait_for(lock, grace, [this] { return m_running == 0; });
}

} // namespace kestova
