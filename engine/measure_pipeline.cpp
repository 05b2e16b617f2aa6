// MeasurePipeline: the measuring crew and the in-order hand-over.
#include "measure_pipeline.h"

#include "image_headers.h"
#include "image_source.h"
#include "scan_crew.h"
#include "settings.h"

#include <QDir>
#include <QThread>

#include <algorithm>
#include <vector>

namespace kestova {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Files measured ahead of the one stored next. A result is a few hundred
// bytes, so even the full window stays small.
constexpr int Window = 4096;
// Requests in flight on a slow device.
constexpr int IoThreads = 64;
// Folders a worker looks through for the one with the fewest workers in it.
constexpr int MaxFoldersLooked = 256;
// Opening a file and reading its first bytes from the page cache takes a
// few microseconds; longer means the request went to the device.
constexpr auto WaitedAfter = 100us;
// How long the consumer waits before it lets the caller look around.
constexpr auto WaitingInterval = 25ms;
// How long stopping waits for workers in the middle of a file.
constexpr auto StopGrace = 50ms;

int CpuThreads()
{
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

} // namespace

class MeasureCrew : public ScanCrew
{
public:
    MeasureCrew(const QStringList &files, const Settings &settings, bool deviceWaits)
        : m_files(files)
        , m_sizeUnit(settings.PhotoSize)
        , m_areaUnit(settings.PhotoArea)
        , m_unitRadixPoint(settings.UnitRadixPoint)
        , m_slots(size_t(std::min<qsizetype>(Window, files.size())))
        , m_meter(WaitedAfter)
    {
        if (deviceWaits)
            m_meter.SetDeviceWaits();
        SplitIntoFolders();
    }

    void Start()
    {
        std::lock_guard lock(m_mutex);
        GrowTo(Threads());
    }

    std::optional<PhotoMeasure> Take(int i, const std::function<bool()> &waiting)
    {
        std::unique_lock lock(m_mutex);
        Slot &slot = m_slots[size_t(i) % m_slots.size()];
        auto next = Clock::now() + WaitingInterval;
        while (slot.index != i) {
            if (m_ready.wait_until(lock, next) == std::cv_status::timeout && slot.index != i) {
                lock.unlock();
                const bool giveUp = waiting && waiting();
                lock.lock();
                if (giveUp)
                    return std::nullopt;
                next = Clock::now() + WaitingInterval;
            }
        }
        PhotoMeasure m = std::move(slot.measure);
        slot.index = -1;
        m_consumed = i + 1;
        lock.unlock();
        m_wake.notify_one(); // one more file fits into the window
        return m;
    }

private:
    // The files of one folder: a stretch of the list.
    struct Folder {
        int end;
        int next;       // the first file no worker has taken yet
        int active = 0; // workers measuring its files
    };

    struct Slot {
        int index = -1;
        PhotoMeasure measure;
    };

    int Threads() const
    {
        return int(std::min<qsizetype>(m_meter.DeviceWaits() ? IoThreads : CpuThreads(), m_files.size()));
    }

    void SplitIntoFolders()
    {
        const QChar separator = QDir::separator();
        QStringView folder;
        for (int i = 0; i < m_files.size(); ++i) {
            const QString &path = m_files[i];
            const QStringView own = QStringView(path).left(path.lastIndexOf(separator) + 1);
            if (i == 0 || own != folder)
                m_folders.push_back(Folder{i + 1, i});
            else
                m_folders.back().end = i + 1;
            folder = own;
        }
    }

    // Picks the next file to measure: within the window, from the folder
    // with the fewest workers in it, the earliest such folder on a tie.
    // The file the consumer waits for is always in the first open folder,
    // so it is never passed over.
    bool Claim(size_t *folder, int *index)
    {
        while (m_firstOpen < m_folders.size() && m_folders[m_firstOpen].next == m_folders[m_firstOpen].end)
            ++m_firstOpen;
        const int limit = m_consumed + int(m_slots.size());
        size_t best = m_folders.size();
        int looked = 0;
        for (size_t f = m_firstOpen; f < m_folders.size() && looked < MaxFoldersLooked; ++f, ++looked) {
            const Folder &candidate = m_folders[f];
            if (candidate.next >= limit)
                break; // later folders start later still
            if (candidate.next == candidate.end)
                continue;
            if (best == m_folders.size() || candidate.active < m_folders[best].active) {
                best = f;
                if (candidate.active == 0)
                    break;
            }
        }
        if (best == m_folders.size())
            return false;
        *folder = best;
        *index = m_folders[best].next++;
        ++m_folders[best].active;
        return true;
    }

    bool AllTaken() const { return m_firstOpen >= m_folders.size(); }

    void Work() override
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            size_t folder = 0;
            int i = 0;
            while (!m_stopping && !Claim(&folder, &i)) {
                if (AllTaken())
                    return;
                m_wake.wait(lock);
            }
            if (m_stopping)
                return;
            const auto readAhead =
                m_meter.DeviceWaits() ? ImageSource::ReadAhead::Exact : ImageSource::ReadAhead::System;
            lock.unlock();

            const QString &path = m_files[i];
            PhotoMeasure m;
            Clock::duration opening{};
            // A folder in the list is one the listing could not read; the
            // scan has its reason.
            if (!path.endsWith(QDir::separator())) {
                const Clock::time_point start = Clock::now();
                ImageSource source(path, readAhead);
                opening = Clock::now() - start;
                const ImageHeader header = ReadImageHeader(source, path);
                m = MeasureHeader(path, header, m_sizeUnit, m_areaUnit, m_unitRadixPoint);
            }

            lock.lock();
            Slot &slot = m_slots[size_t(i) % m_slots.size()];
            slot.measure = std::move(m);
            slot.index = i;
            --m_folders[folder].active;
            if (i == m_consumed)
                m_ready.notify_one();
            if (!m_meter.DeviceWaits() && m_meter.Add(opening))
                GrowTo(Threads());
        }
    }

    // Copies: a worker left in a blocked request may outlive the scan.
    const QStringList m_files;
    const std::optional<LengthUnit> m_sizeUnit;
    const AreaUnit m_areaUnit;
    const qint32 m_unitRadixPoint;
    std::vector<Folder> m_folders;
    size_t m_firstOpen = 0;
    std::vector<Slot> m_slots;
    std::condition_variable m_ready; // the consumer waits here
    int m_consumed = 0;
    WaitMeter m_meter;
};

MeasurePipeline::MeasurePipeline(const QStringList &files, const Settings &settings, bool deviceWaits)
    : m_crew(std::make_shared<MeasureCrew>(files, settings, deviceWaits))
{
    m_crew->Start();
}

MeasurePipeline::~MeasurePipeline()
{
    m_crew->Stop(StopGrace);
}

std::optional<PhotoMeasure> MeasurePipeline::Take(int i, const std::function<bool()> &waiting)
{
    return m_crew->Take(i, waiting);
}

} // namespace kestova
