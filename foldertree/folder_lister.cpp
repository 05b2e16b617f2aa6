// FolderLister: the worker threads that read folders, and the watches.
#include "folder_lister.h"

#include "path_codec.h"
#include "start_places.h"

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
#include <functional>
#include <vector>

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
// the program, which destroying a pool would wait for. The readers are
// counted per mount (ReaderGate); the pool itself never makes one wait.
QThreadPool *Workers()
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1024);
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
        // Here rather than on the window's thread, where thousands of
        // folders are merged.
        result.rank.reserve(result.folders.size());
        for (int i = 0; i < result.folders.size(); ++i)
            result.rank.insert(FolderNameKey(result.folders[i].name), i);
    }
    return result;
}

} // namespace

// Where a worker leaves its answer: the lister while it lives. The lock is
// held while posting, so the lister cannot go between the test and the post
// (posted calls to a deleted object are dropped by Qt).
struct ListerMailbox {
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

namespace {

// The readers at work per mount, for the whole program: a reader stuck on a
// dead share keeps its place until the share answers, so no lister, old or
// new, starts more than a few there. Questions wait here for a free reader;
// listers keep their own queues and are told when a reader comes free.
struct ReaderGate {
    QMutex mutex;
    QHash<QString, int> running;
    std::list<std::pair<QString, std::function<void()>>> questions;
    std::vector<std::weak_ptr<ListerMailbox>> listers;

    static ReaderGate &Get()
    {
        static ReaderGate *const gate = new ReaderGate;  // outlives stuck workers
        return *gate;
    }

    bool TryEnter(const QString &mount)
    {
        QMutexLocker lock(&mutex);
        int &count = running[mount];
        if (count >= FolderLister::ReadersPerMount)
            return false;
        ++count;
        return true;
    }

    // Runs job on a worker that counts as one of mount's readers (taken).
    void Start(const QString &mount, std::function<void()> job)
    {
        Workers()->start([this, mount, job = std::move(job)] {
            job();
            Leave(mount);
        });
    }

    void Leave(const QString &mount)
    {
        std::vector<std::shared_ptr<ListerMailbox>> tell;
        {
            QMutexLocker lock(&mutex);
            const auto waiting = std::find_if(questions.begin(), questions.end(),
                                              [&](const auto &q) { return q.first == mount; });
            if (waiting != questions.end()) {
                auto job = std::move(waiting->second);
                questions.erase(waiting);
                lock.unlock();
                Start(mount, std::move(job));  // the reader goes on to the question
                return;
            }
            --running[mount];
            for (auto it = listers.begin(); it != listers.end();) {
                if (auto box = it->lock()) {
                    tell.push_back(std::move(box));
                    ++it;
                } else {
                    it = listers.erase(it);
                }
            }
        }
        for (const auto &box : tell)
            box->Post([](FolderLister *lister) { lister->Pump(); });
    }
};

void RunOnMount(const QString &mount, std::function<void()> job)
{
    ReaderGate &gate = ReaderGate::Get();
    {
        // Counted and queued under one lock, so that no reader leaves between.
        QMutexLocker lock(&gate.mutex);
        int &count = gate.running[mount];
        if (count >= FolderLister::ReadersPerMount) {
            gate.questions.emplace_back(mount, std::move(job));
            return;
        }
        ++count;
    }
    gate.Start(mount, std::move(job));
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
    RunOnMount(MountTable::Instance().MountOf(path), [path, question] {
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
    });
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

QString FolderNameKey(const QString &name)
{
#ifdef Q_OS_WIN
    return name.toLower();
#else
    return name;
#endif
}

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

FolderLister::FolderLister(QObject *parent)
    : QObject(parent), m_mailbox(std::make_shared<ListerMailbox>())
{
    qRegisterMetaType<FolderListing>();
    m_mailbox->lister = this;
    {
        ReaderGate &gate = ReaderGate::Get();
        QMutexLocker lock(&gate.mutex);
        gate.listers.push_back(m_mailbox);
    }
    m_changeDelay.setSingleShot(true);
    m_changeDelay.setInterval(ChangeDelayMs);
    connect(&m_changeDelay, &QTimer::timeout, this, &FolderLister::FlushChanges);
    m_poll.setInterval(RemotePollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        for (const QString &path : std::as_const(m_remote)) {
            if (Idle(MountTable::Instance().MountOf(path)))
                Request(path, Kind::List);
        }
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
    if (const auto queued = m_queued.find(key); queued != m_queued.end()) {
        if (kind == Kind::Probe) {
            std::list<Job> &probes = m_lanes[queued->first].probes;
            probes.splice(probes.begin(), probes, queued->second);
        }
        return;
    }
    const QString mount = MountTable::Instance().MountOf(path);
    Lane &lane = m_lanes[mount];
    if (kind == Kind::List) {
        lane.lists.push_back({path, kind});
        m_queued.insert(key, {mount, std::prev(lane.lists.end())});
    } else {
        lane.probes.push_front({path, kind});
        m_queued.insert(key, {mount, lane.probes.begin()});
        if (lane.probes.size() > size_t(WaitingProbesPerMount)) {
            m_queued.remove(Key(lane.probes.back().path, int(Kind::Probe)));
            lane.probes.pop_back();
        }
    }
    Pump();
}

bool FolderLister::Busy(const QString &path, Kind kind) const
{
    const Key key(path, int(kind));
    return m_running.contains(key) || m_queued.contains(key);
}

bool FolderLister::Idle(const QString &mount) const
{
    const auto lane = m_lanes.constFind(mount);
    if (lane != m_lanes.cend() && (!lane->lists.empty() || !lane->probes.empty()))
        return false;
    return std::none_of(m_running.cbegin(), m_running.cend(), [&](const Running &r) { return r.mount == mount; });
}

void FolderLister::Pump()
{
    ReaderGate &gate = ReaderGate::Get();
    for (auto lane = m_lanes.begin(); lane != m_lanes.end();) {
        while (!lane->lists.empty() || !lane->probes.empty()) {
            if (!gate.TryEnter(lane.key()))
                break;
            std::list<Job> &queue = !lane->lists.empty() ? lane->lists : lane->probes;
            const Job job = queue.front();
            m_queued.remove(Key(job.path, int(job.kind)));
            queue.pop_front();
            Start(lane.key(), job);
        }
        if (lane->lists.empty() && lane->probes.empty())
            lane = m_lanes.erase(lane);
        else
            ++lane;
    }
}

void FolderLister::Start(const QString &mount, const Job &job)
{
    Running &running = m_running[Key(job.path, int(job.kind))];
    running.mount = mount;
    running.again = false;
    ReaderGate::Get().Start(mount, [mailbox = m_mailbox, inotify = m_inotify, job] {
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
