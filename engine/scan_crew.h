// ScanCrew: the worker threads of one phase of a scan (listing the folders,
// measuring the files) and the state they share, which lives as long as the
// last of them.
//
// Stopping waits only briefly for the workers: one that is blocked in a
// request the device does not answer (a share that went away, a card
// pulled out) is left to finish that request on its own and then leaves,
// so Escape never hangs on the device. Its result is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace kestova {

// Counts whether recent requests waited for their device. A request that
// took longer than the page cache ever takes waited; when most of the last
// few did, the files are on a share, a card or a cold disk, where many
// requests in flight at once pay off.
class WaitMeter
{
public:
    explicit WaitMeter(std::chrono::microseconds waitedAfter) : m_waitedAfter(waitedAfter) {}
    // Adds one request's duration; true once the verdict is "the device
    // waits" (and from then on).
    bool Add(std::chrono::steady_clock::duration took);
    bool DeviceWaits() const { return m_deviceWaits; }
    void SetDeviceWaits() { m_deviceWaits = true; }

private:
    static constexpr int Sample = 8;
    std::chrono::microseconds m_waitedAfter;
    int m_counted = 0;
    int m_waited = 0;
    bool m_deviceWaits = false;
};

class ScanCrew : public std::enable_shared_from_this<ScanCrew>
{
public:
    virtual ~ScanCrew() = default;

    // Starts threads running Work() until count have been started. Called
    // with m_mutex held. When the system refuses a thread, the crew stays
    // as large as it is.
    void GrowTo(int count);

    // Asks the workers to leave (m_stopping) and waits up to grace for them.
    void Stop(std::chrono::milliseconds grace);

protected:
    // The thread's work; returns when m_stopping is set or nothing is left.
    // Called without m_mutex held.
    virtual void Work() = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake; // workers wait here for work
    bool m_stopping = false;
    int m_started = 0;

private:
    int m_running = 0;
    std::condition_variable m_left;
};

} // namespace kestova
