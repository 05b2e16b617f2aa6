// FolderLister: the worker threads that read folders, and the watches.
#include "folder_lister.h"

#include "path_codec.h"

#include <QCollator>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileSystemWatcher>
#include <QMutex>
#include <QSocketNotifier>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <sys/vfs.h>
#endif

namespace kestova {

namespace {

constexpr int FreshSlots = 4;        // readings running at once that count
constexpr qint64 StaleAfterMs = 1000; // a reading this old waits on a slow disk
constexpr int ChangeDelayMs = 100;
constexpr int RemotePollMs = 1500;

#ifdef Q_OS_LINUX
// File systems whose folders other machines change: NFS, SMB/CIFS, FUSE
// (sshfs, rclone...), Ceph, AFS, 9p, Coda, NCP.
bool RemoteFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969: case 0x517B: case 0xFF534D42: case 0xFE534D42: case 0x65735546:
    case 0x00C36400: case 0x5346414F: case 0x01021997: case 0x73757245: case 0x564C:
        return true;
    default:
        return false;
    }
}
#endif

// Never deleted: a worker stuck on a dead mount must not hold up the end of
// the program, which destroying a pool would wait for.
QThreadPool *Workers()
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(64);
        return p;
    }();
    return pool;
}

#ifdef Q_OS_LINUX
constexpr uint32_t WatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF
                               | IN_ONLYDIR;
#endif

// Reads the folder's sub-folders that are not hidden (with probe, no more
// than the first). watchFd >= 0: the folder is watched through it, from
// before its reading, so that no change slips between.
FolderListing ReadFolder(const QString &path, bool full, int watchFd, int *watch)
{
    FolderListing result;
    result.path = path;
    result.full = full;
    *watch = -1;
#ifdef Q_OS_UNIX
    const int fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
#ifdef Q_OS_LINUX
    if (watchFd >= 0) {
        // By the open folder, so that a GBK or overlong path needs no spelling.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        *watch = inotify_add_watch(watchFd, self.constData(), WatchMask);
    }
    result.remote = RemoteFileSystem(fd);
#else
    Q_UNUSED(watchFd);
#endif
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        result.error = errno;
        ::close(fd);
        return result;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            result.error = errno;
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden on Unix, and "." and ".."
            continue;
        bool folder = entry->d_type == DT_DIR;
        quint64 inode = entry->d_ino;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            folder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            if (folder && entry->d_type == DT_LNK)
                inode = 0; // a link renamed is a link made
        }
        if (!folder)
            continue;
        result.folders.append({DecodeNameIn(fd, QByteArray(name)), inode});
        if (!full)
            break;
    }
    ::closedir(dir);
#else
    Q_UNUSED(watchFd);
    QDir dir(path);
    if (!dir.exists()) {
        result.error = ENOENT;
        return result;
    }
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names) {
        result.folders.append({name, 0});
        if (!full)
            break;
    }
#endif
    if (full) {
        QCollator collator;
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::sort(result.folders.begin(), result.folders.end(), [&collator](const FolderEntry &a, const FolderEntry &b) {
            const int c = collator.compare(a.name, b.name);
            return c != 0 ? c < 0 : a.name < b.name;
        });
    }
    return result;
}

// One open question "is this a folder?", shared by everyone who asks it.
struct FolderQuestion {
    QMutex mutex;
    QWaitCondition answered;
    std::optional<bool> folder;
    bool waitedOut = false;  // someone waited in vain: the disk is slow, nobody waits again
    QList<std::function<void(bool)>> late;  // told once the answer is there
};

QMutex &QuestionsMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, std::shared_ptr<FolderQuestion>> &OpenQuestions()
{
    static QHash<QString, std::shared_ptr<FolderQuestion>> questions;
    return questions;
}

std::shared_ptr<FolderQuestion> Ask(const QString &path)
{
    QMutexLocker lock(&QuestionsMutex());
    std::shared_ptr<FolderQuestion> &question = OpenQuestions()[path];
    if (question)
        return question;
    question = std::make_shared<FolderQuestion>();
    Workers()->start([path, question] {
        const bool folder = IsFolderPath(path);
        {
            QMutexLocker questions(&QuestionsMutex());
            if (OpenQuestions().value(path) == question)
                OpenQuestions().remove(path);
        }
        QList<std::function<void(bool)>> late;
        {
            QMutexLocker lock(&question->mutex);
            question->folder = folder;
            late.swap(question->late);
            question->answered.wakeAll();
        }
        for (const auto &tell : std::as_const(late))
            tell(folder);
    }, 1);
    return question;
}

std::optional<bool> Await(FolderQuestion &question, int waitMs)
{
    QMutexLocker lock(&question.mutex);
    if (!question.folder && !question.waitedOut)
        question.waitedOut = !question.answered.wait(&question.mutex, QDeadlineTimer(waitMs));
    return question.folder;
}

} // namespace

bool FolderNameLess(const QString &a, const QString &b)
{
    static thread_local QCollator collator = [] {
        QCollator c;
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int c = collator.compare(a, b);
    return c != 0 ? c < 0 : a < b;
}

// Where a worker leaves its answer: the lister while it lives. The lock is
// held while posting, so the lister cannot go between the test and the post
// (posted calls to a deleted object are dropped by Qt).
struct FolderLister::Mailbox {
    QMutex mutex;
    FolderLister *lister = nullptr;

    template <typename F>
    void Post(F &&call)
    {
        QMutexLocker lock(&mutex);
        if (lister)
            QMetaObject::invokeMethod(lister, [l = lister, call = std::forward<F>(call)] { call(l); },
                                      Qt::QueuedConnection);
    }
};

FolderLister::FolderLister(QObject *parent)
    : QObject(parent), m_mailbox(std::make_shared<Mailbox>())
{
    qRegisterMetaType<FolderListing>();
    m_mailbox->lister = this;
    m_stale.setSingleShot(true);
    connect(&m_stale, &QTimer::timeout, this, &FolderLister::Pump);
    m_changeDelay.setSingleShot(true);
    m_changeDelay.setInterval(ChangeDelayMs);
    connect(&m_changeDelay, &QTimer::timeout, this, &FolderLister::FlushChanges);
    m_poll.setInterval(RemotePollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        for (const QString &path : std::as_const(m_remote))
            Request(path, Kind::List);  // skipped while a reading is under way
    });
#ifdef Q_OS_LINUX
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0) {
        m_inotify = std::shared_ptr<int>(new int(fd), [](int *p) {
            ::close(*p);
            delete p;
        });
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FolderLister::ReadWatchEvents);
    }
#endif
    if (!m_inotify) {
        m_fallback = new QFileSystemWatcher(this);
        connect(m_fallback, &QFileSystemWatcher::directoryChanged, this, [this](const QString &path) {
            if (!m_changed.contains(path))
                m_changed.append(path);
            m_changeDelay.start();
        });
    }
}

FolderLister::~FolderLister()
{
    delete m_notifier;  // before its descriptor can be closed
    QMutexLocker lock(&m_mailbox->mutex);
    m_mailbox->lister = nullptr;
}

void FolderLister::Request(const QString &path, Kind kind, bool again)
{
    const Key key(path, int(kind));
    if (const auto running = m_running.find(key); running != m_running.end()) {
        running->again = running->again || again;
        return;
    }
    std::list<Job> &queue = kind == Kind::List ? m_lists : m_probes;
    if (const auto queued = m_queued.find(key); queued != m_queued.end()) {
        if (kind == Kind::Probe)
            queue.splice(queue.begin(), queue, *queued);
        return;
    }
    if (kind == Kind::List)
        queue.push_back({path, kind});
    else
        queue.push_front({path, kind});
    m_queued.insert(key, kind == Kind::List ? std::prev(queue.end()) : queue.begin());
    Pump();
}

bool FolderLister::Busy(const QString &path, Kind kind) const
{
    const Key key(path, int(kind));
    return m_running.contains(key) || m_queued.contains(key);
}

void FolderLister::Pump()
{
    while (!m_lists.empty() || !m_probes.empty()) {
        int fresh = 0;
        for (const Running &running : std::as_const(m_running))
            fresh += running.started.elapsed() < StaleAfterMs ? 1 : 0;
        if (fresh >= FreshSlots) {
            m_stale.start(int(StaleAfterMs / 4));
            return;
        }
        std::list<Job> &queue = !m_lists.empty() ? m_lists : m_probes;
        const Job job = queue.front();
        m_queued.remove(Key(job.path, int(job.kind)));
        queue.pop_front();
        Start(job);
    }
}

void FolderLister::Start(const Job &job)
{
    Running &running = m_running[Key(job.path, int(job.kind))];
    running.started.start();
    running.again = false;
    Workers()->start([mailbox = m_mailbox, inotify = m_inotify, job] {
        int watch = -1;
        const FolderListing listing = ReadFolder(job.path, job.kind == Kind::List, inotify ? *inotify : -1, &watch);
        mailbox->Post([listing, kind = job.kind, watch](FolderLister *lister) { lister->Deliver(listing, kind, watch); });
    });
}

void FolderLister::Deliver(const FolderListing &listing, Kind kind, int watch)
{
    const Running running = m_running.take(Key(listing.path, int(kind)));
    if (listing.error == 0)
        NoteWatch(listing.path, watch);
    if (listing.remote && listing.full && listing.error == 0 && !m_remote.contains(listing.path)) {
        m_remote.append(listing.path);
        if (!m_poll.isActive())
            m_poll.start();
    }
    emit Listed(listing);
    if (running.again)
        Request(listing.path, kind);
    Pump();
}

void FolderLister::NoteWatch(const QString &path, int watch)
{
    if (m_fallback) {
        if (!m_fallback->directories().contains(path))
            m_fallback->addPath(path);
        return;
    }
    if (watch < 0)
        return;
    const int before = m_pathWatch.value(path, -1);
    if (before == watch)
        return;
    if (before >= 0)
        Unwatch(path);
    m_pathWatch.insert(path, watch);
    QStringList &paths = m_watchPaths[watch];
    if (!paths.contains(path))
        paths.append(path);
}

void FolderLister::Unwatch(const QString &path)
{
    if (m_remote.removeAll(path) > 0 && m_remote.isEmpty())
        m_poll.stop();
    if (m_fallback) {
        if (m_fallback->directories().contains(path))
            m_fallback->removePath(path);
        return;
    }
    const auto found = m_pathWatch.find(path);
    if (found == m_pathWatch.end())
        return;
    const int watch = found.value();
    m_pathWatch.erase(found);
    QStringList &paths = m_watchPaths[watch];
    paths.removeAll(path);
    if (paths.isEmpty()) {
        m_watchPaths.remove(watch);
#ifdef Q_OS_LINUX
        inotify_rm_watch(*m_inotify, watch);
#endif
    }
}

void FolderLister::Rewatch(const QString &from, const QString &to)
{
    const QString below = from.endsWith(u'/') ? from : from + u'/';
    for (QString &path : m_remote) {
        if (path == from || path.startsWith(below))
            path = to + path.mid(from.size());
    }
    QList<QPair<QString, int>> moved;
    for (auto it = m_pathWatch.begin(); it != m_pathWatch.end();) {
        if (it.key() == from || it.key().startsWith(below)) {
            moved.append({to + it.key().mid(from.size()), it.value()});
            QStringList &paths = m_watchPaths[it.value()];
            paths.removeAll(it.key());
            it = m_pathWatch.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto &[path, watch] : std::as_const(moved))
        NoteWatch(path, watch);
}

void FolderLister::ReadWatchEvents()
{
#ifdef Q_OS_LINUX
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t size = ::read(*m_inotify, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t at = 0; at < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                for (auto it = m_pathWatch.cbegin(); it != m_pathWatch.cend(); ++it)
                    m_changed.append(it.key());
                continue;
            }
            const QStringList paths = m_watchPaths.value(event->wd);
            if (event->mask & IN_IGNORED) {
                for (const QString &path : paths)
                    m_pathWatch.remove(path);
                m_watchPaths.remove(event->wd);
                continue;
            }
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                for (const QString &path : paths)
                    emit Gone(path);
                continue;
            }
            // Files and hidden folders do not change what the tree shows.
            if (!(event->mask & IN_ISDIR) || (event->len > 0 && event->name[0] == '.'))
                continue;
            for (const QString &path : paths) {
                if (!m_changed.contains(path))
                    m_changed.append(path);
            }
        }
    }
    if (!m_changed.isEmpty() && !m_changeDelay.isActive())
        m_changeDelay.start();
#endif
}

void FolderLister::FlushChanges()
{
    const QStringList changed = std::exchange(m_changed, {});
    for (const QString &path : changed)
        emit Changed(path);
}

std::optional<bool> FolderLister::IsFolderWithin(const QString &path, int waitMs)
{
    return Await(*Ask(path), waitMs);
}

std::optional<bool> FolderLister::CheckFolder(const QString &path, int waitMs)
{
    const std::shared_ptr<FolderQuestion> question = Ask(path);
    if (const std::optional<bool> answer = Await(*question, waitMs))
        return answer;
    QMutexLocker lock(&question->mutex);
    if (question->folder)
        return question->folder;
    question->late.append([mailbox = m_mailbox, path](bool folder) {
        mailbox->Post([path, folder](FolderLister *lister) { emit lister->Checked(path, folder); });
    });
    return std::nullopt;
}

} // namespace kestova
