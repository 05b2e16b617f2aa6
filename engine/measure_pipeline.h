// MeasurePipeline: measures the files of a scan's list on worker threads,
// ahead of the thread that stores them, and hands the results over strictly
// in list order.
//
// On a local disk with the files in the page cache a few workers (one per
// core, at most four) do what is mostly CPU work. When most files wait for
// their device instead (a share, a card reader, a cold disk), the crew grows
// to many threads so that many requests are in flight at once, and files are
// read without the system's read-ahead: most headers lie in the first 4 KiB,
// so most files then cost one open and one read of one page.
//
// Workers measure up to a few thousand files ahead, spread over the folders
// of that stretch: a share looks names up in one folder one after another
// but in different folders side by side. Measuring has no side effects, so
// results measured ahead of a stopped scan are simply dropped.
#pragma once

#include "measure_photo.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace kestova {

struct Settings;
class MeasureCrew;

class MeasurePipeline
{
public:
    // deviceWaits: the listing found the device slow already.
    MeasurePipeline(const QStringList &files, const Settings &settings, bool deviceWaits);
    // Stops the workers, waiting for them only briefly.
    ~MeasurePipeline();

    MeasurePipeline(const MeasurePipeline &) = delete;
    MeasurePipeline &operator=(const MeasurePipeline &) = delete;

    // The measurement of file i; files are taken in order 0, 1, 2 … While
    // it is not ready, waiting() is called about every 25 ms; when that
    // returns true, Take gives up and returns nothing.
    std::optional<PhotoMeasure> Take(int i, const std::function<bool()> &waiting);

private:
    std::shared_ptr<MeasureCrew> m_crew;
};

} // namespace kestova
