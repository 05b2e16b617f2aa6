// CountLock: the lock file beside the store that a count holds from start to
// end, so that two counts, in one program or in two, never write the same
// store at once.
//
// On Unix the lock is the system's lock on the open file (flock), which the
// system lets go when the holder ends in any way, power cut included: a lock
// file left behind, whatever it holds (nothing, garbage, another machine's
// or another boot's process), is simply taken over. The file names its
// holder (process, host) for a person who looks at it. A path that is not a
// regular file (a folder, a FIFO, a link) is never opened for waiting: the
// lock fails at once and says so.
#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace kestova {

class CountLock
{
public:
    enum class State { Locked, Busy, Failed };

    // Tries once, without waiting. *failure says why when Failed.
    static std::unique_ptr<CountLock> Take(const QString &path, State *state, QString *failure);
    ~CountLock();

    CountLock(const CountLock &) = delete;
    CountLock &operator=(const CountLock &) = delete;

private:
    CountLock() = default;
    QString m_path;
    int m_fd = -1;
    std::unique_ptr<QLockFile> m_fallback; // where there is no flock
};

} // namespace kestova
