// Listing a folder tree. On Unix the folders are read by a crew of threads
// into a tree of their own entries, and the tree is then walked depth first
// on the calling thread, which gives exactly the order (and the choice among
// folders reached twice) of reading them one by one depth first.
#include "folder_list.h"

#include "path_codec.h"
#include "read_failure.h"
#include "scan_crew.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <QFileInfo>
#include <cerrno>
#include <windows.h>
#endif

namespace kestova {

namespace {

using namespace std::chrono_literals;

// One entry of a folder: its name as text, the key it is ordered by and, on
// Unix, its bytes on disk.
struct Entry {
    QString key;
    QString name;
    QByteArray bytes;
    int error = 0; // what the system said when asked what the entry is
};

Entry MakeEntry(QString name, QByteArray bytes = QByteArray())
{
    // Upper case, one character for one, as NTFS orders names: "IMGA" <
    // "IMG_1" < "Zeta" < "[br]" < "_under".
    QString key = name;
    for (QChar &c : key)
        c = c.toUpper();
    return Entry{std::move(key), std::move(name), std::move(bytes)};
}

// Case-insensitive order, ties broken by the plain text so that the order
// is total.
bool NameLess(const Entry &a, const Entry &b)
{
    const int c = a.key.compare(b.key);
    return c != 0 ? c < 0 : a.name < b.name;
}

class Matcher
{
public:
    explicit Matcher(const QString &pattern)
        : m_all(pattern == QLatin1String("*.*") || pattern == QLatin1String("*"))
        , m_re(m_all ? QRegularExpression()
                     : QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                                              pattern, QRegularExpression::UnanchoredWildcardConversion),
                                          QRegularExpression::CaseInsensitiveOption))
    {
    }
    bool operator()(const QString &name) const { return m_all || m_re.match(name).hasMatch(); }

private:
    bool m_all;
    QRegularExpression m_re;
};

using FolderId = std::pair<quint64, quint64>; // device and inode, or a hash of the path

// A folder's entries, sorted.
struct Listing {
    FolderId id;
    std::vector<Entry> files;
    std::vector<Entry> folders;
};

// The matching files of a folder, as paths below folder; those whose kind
// could not be told go into unreadable too.
QStringList MatchingFiles(const Listing &listing, const QString &folder, const Matcher &match,
                          QHash<QString, QString> *unreadable)
{
    QStringList files;
    files.reserve(qsizetype(listing.files.size()));
    for (const Entry &file : listing.files) {
        if (match(file.name)) {
            files.append(folder + file.name);
            if (file.error != 0 && unreadable)
                unreadable->insert(files.last(), UnreadableReason(file.error));
        }
    }
    return files;
}

#ifdef Q_OS_UNIX

#ifdef O_PATH
constexpr int PassFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int PassFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Opens the folder relative (its bytes below top, ending with '/'; empty for
// top itself). A long relative path is opened a stretch at a time, so no
// call nears the system's path limit however deep the tree goes.
int OpenBelow(int top, const QByteArray &relative)
{
    constexpr qsizetype Stretch = PATH_MAX / 2;
    int base = top;
    qsizetype from = 0;
    while (relative.size() - from > Stretch) {
        const qsizetype cut = relative.lastIndexOf('/', from + Stretch - 1);
        if (cut < from)
            break; // no name is that long; the open below fails instead
        const int fd = ::openat(base, relative.mid(from, cut - from + 1).constData(), PassFlags);
        if (base != top)
            ::close(base);
        if (fd < 0)
            return -1;
        base = fd;
        from = cut + 1;
    }
    const QByteArray rest = relative.mid(from);
    const int fd = ::openat(base, rest.isEmpty() ? "." : rest.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (base != top)
        ::close(base);
    return fd;
}

// Reads the folder relative below top. POSIX enumeration: the kind of each
// entry comes with the name, so only links and file systems that do not
// report kinds cost a stat. *opening is how long opening the folder took.
// False with *error set when the folder cannot be opened or listed whole.
bool ReadFolder(int top, const QByteArray &relative, Listing *out, int *error,
                std::chrono::steady_clock::duration *opening = nullptr)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = OpenBelow(top, relative);
    *error = fd < 0 ? errno : 0;
    struct stat self;
    const bool opened = fd >= 0 && ::fstat(fd, &self) == 0;
    if (fd >= 0 && !opened)
        *error = errno;
    if (opening)
        *opening = std::chrono::steady_clock::now() - start;
    DIR *dir = opened ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (opened)
            *error = errno;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    out->id = {quint64(self.st_dev), quint64(self.st_ino)};
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            *error = errno;
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden on Unix, and "." and ".."
            continue;
        unsigned char type = entry->d_type;
        int refused = 0;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, name, &st, 0) != 0) {
                if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
                    continue; // a broken link
                refused = errno; // listed as a file that cannot be read
                st.st_mode = S_IFREG;
            }
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG || type == DT_DIR) {
            QByteArray bytes(name);
            QString text = DecodeNameIn(fd, bytes);
            Entry e = MakeEntry(std::move(text), std::move(bytes));
            e.error = refused;
            (type == DT_REG ? out->files : out->folders).push_back(std::move(e));
        }
    }
    ::closedir(dir);
    if (*error != 0)
        return false;
    std::sort(out->files.begin(), out->files.end(), NameLess);
    std::sort(out->folders.begin(), out->folders.end(), NameLess);
    return true;
}

// A folder of the tree being listed.
struct FolderNode {
    QString text;        // its path as text, ending with '/'
    QByteArray relative; // its bytes below the top folder, ending with '/'
    enum class State { Waiting, Listed, Unreadable, TakenElsewhere } state = State::Waiting;
    int error = 0; // when Unreadable
    FolderId id;
    QHash<QString, QString> unreadable; // files whose kind could not be told
    QStringList files;
    std::vector<std::unique_ptr<FolderNode>> folders;
};

// Reads the folders of the tree. A folder reached a second time through a
// link is not read again (which also ends loops); where the depth-first walk
// reaches it first is only known once the tree is complete, so such a folder
// is left TakenElsewhere and the walk reads it itself if it gets there first.
class ListCrew : public ScanCrew
{
public:
    // Takes over the open top folder.
    ListCrew(int top, const QString &text, const QString &pattern)
        : m_top(top)
        , m_match(pattern)
        , m_root(std::make_unique<FolderNode>())
        , m_meter(WaitedAfter)
    {
        m_root->text = text;
        m_queue.push_back(m_root.get());
    }

    ~ListCrew() override { ::close(m_top); }

    // Lists the tree, calling progress on this thread while the crew reads.
    // False when progress asked to stop.
    bool Run(const std::function<bool(int)> &progress)
    {
        std::unique_lock lock(m_mutex);
        GrowTo(CpuThreads());
        while (m_pending > 0) {
            if (m_done.wait_for(lock, 25ms) == std::cv_status::timeout && m_pending > 0 && progress) {
                const int found = m_found;
                lock.unlock();
                const bool stop = progress(found);
                lock.lock();
                if (stop)
                    return false;
            }
        }
        return true;
    }

    bool DeviceWaits()
    {
        std::lock_guard lock(m_mutex);
        return m_meter.DeviceWaits();
    }

    // Walks the complete tree depth first into list.
    int Collect(QStringList &list, QHash<QString, QString> *unreadable)
    {
        std::set<FolderId> entered;
        const qsizetype before = list.size();
        m_unreadable = unreadable;
        Collect(*m_root, entered, list);
        return int(list.size() - before);
    }

private:
    static constexpr auto WaitedAfter = 100us;
    static constexpr int IoThreads = 32;

    static int CpuThreads() { return std::clamp(QThread::idealThreadCount(), 1, 4); }

    void Work() override
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || m_pending == 0 || !m_queue.empty(); });
            if (m_stopping || m_queue.empty())
                return;
            FolderNode *node = m_queue.back(); // depth first keeps the tree's open front small
            m_queue.pop_back();
            lock.unlock();

            Listing listing;
            std::chrono::steady_clock::duration opening{};
            int error = 0;
            const bool read = ReadFolder(m_top, node->relative, &listing, &error, &opening);

            lock.lock();
            node->id = listing.id;
            if (!read) {
                node->state = FolderNode::State::Unreadable;
                node->error = error;
            } else if (!m_claimed.insert(listing.id).second) {
                node->state = FolderNode::State::TakenElsewhere;
            } else {
                node->state = FolderNode::State::Listed;
                node->files = MatchingFiles(listing, node->text, m_match, &node->unreadable);
                m_found += int(node->files.size());
                for (const Entry &sub : listing.folders) {
                    auto child = std::make_unique<FolderNode>();
                    child->text = node->text + sub.name + u'/';
                    child->relative = node->relative + sub.bytes + '/';
                    m_queue.push_back(child.get());
                    node->folders.push_back(std::move(child));
                }
                // Deepest first out of the queue; keep the folders' own order
                // among siblings so the first is read first.
                std::reverse(m_queue.end() - qsizetype(listing.folders.size()), m_queue.end());
                m_pending += int(listing.folders.size());
                if (!listing.folders.empty())
                    m_wake.notify_all();
            }
            if (!m_meter.DeviceWaits() && m_meter.Add(opening))
                GrowTo(IoThreads);
            if (--m_pending == 0) {
                m_done.notify_all();
                m_wake.notify_all();
            }
        }
    }

    void Collect(const FolderNode &node, std::set<FolderId> &entered, QStringList &list)
    {
        switch (node.state) {
        case FolderNode::State::Waiting:
            return;
        case FolderNode::State::Unreadable:
            Refused(node.text, node.error, list);
            return;
        case FolderNode::State::TakenElsewhere:
            if (!entered.count(node.id)) // a loop back up the tree is known already
                ListHere(node.text, node.relative, entered, list);
            return;
        case FolderNode::State::Listed:
            break;
        }
        if (!entered.insert(node.id).second)
            return;
        list.append(node.files);
        if (m_unreadable)
            m_unreadable->insert(node.unreadable);
        for (const auto &sub : node.folders)
            Collect(*sub, entered, list);
    }

    // A folder the walk reaches before the place the crew read it from: it
    // is read again here, one folder after another, as the walk would.
    void ListHere(const QString &text, const QByteArray &relative, std::set<FolderId> &entered, QStringList &list)
    {
        Listing listing;
        int error = 0;
        if (!ReadFolder(m_top, relative, &listing, &error)) {
            Refused(text, error, list);
            return;
        }
        if (!entered.insert(listing.id).second)
            return;
        list.append(MatchingFiles(listing, text, m_match, m_unreadable));
        for (const Entry &sub : listing.folders)
            ListHere(text + sub.name + u'/', relative + sub.bytes + '/', entered, list);
    }

    // A folder that could not be read stands in the list for its files.
    void Refused(const QString &text, int error, QStringList &list)
    {
        list.append(text);
        if (m_unreadable)
            m_unreadable->insert(text, UnreadableReason(error));
    }

    const int m_top;
    const Matcher m_match;
    QHash<QString, QString> *m_unreadable = nullptr;
    std::unique_ptr<FolderNode> m_root;
    std::vector<FolderNode *> m_queue;
    int m_pending = 1; // folders queued or being read
    int m_found = 0;
    std::set<FolderId> m_claimed;
    std::condition_variable m_done;
    WaitMeter m_meter;
};

#else

// The \\?\ form of an absolute path, which has no length limit.
QString LongPathForm(const QString &absolute)
{
    QString native = QDir::toNativeSeparators(absolute);
    while (native.endsWith(u'\\'))
        native.chop(1);
    if (native.startsWith(QLatin1String("\\\\?\\")))
        return native;
    if (native.startsWith(QLatin1String("\\\\")))
        return QLatin1String("\\\\?\\UNC\\") + native.mid(2);
    return QLatin1String("\\\\?\\") + native;
}

// Windows, one folder after another: hidden means the hidden or the system
// attribute; a file whose name begins with "." is an ordinary file there.
// The attributes come with the listing.
struct Lister {
    const Matcher &match;
    QStringList &list;
    const std::function<bool(int)> &progress;
    QHash<QString, QString> &unreadable;
    std::set<FolderId> visited;
    int count = 0;
    bool stopped = false;

    void Folder(const QString &folder)
    {
        const QFileInfo self(folder);
        const QString key = self.canonicalFilePath();
        // Without inode numbers, the canonical path identifies a folder.
        if (stopped || !self.isDir() || !visited.insert({qHash(key.isEmpty() ? folder : key), 0}).second)
            return;
        if (progress && progress(count)) {
            stopped = true;
            return;
        }
        const QString pattern = LongPathForm(self.absoluteFilePath()) + QLatin1String("\\*");
        WIN32_FIND_DATAW data;
        const HANDLE find = ::FindFirstFileExW(reinterpret_cast<const wchar_t *>(pattern.utf16()), FindExInfoBasic,
                                               &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) {
            // A folder that cannot be listed stands in the list for its files.
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                list.append(folder);
                unreadable.insert(folder, UnreadableReason(error == ERROR_ACCESS_DENIED ? EACCES : EIO));
                ++count;
            }
            return;
        }
        Listing listing;
        do {
            const QString name = QString::fromWCharArray(data.cFileName);
            if (name == QLatin1String(".") || name == QLatin1String("..")
                || (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
                continue;
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                listing.files.push_back(MakeEntry(name));
            else if (!name.startsWith(u'.'))
                listing.folders.push_back(MakeEntry(name));
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
        std::sort(listing.files.begin(), listing.files.end(), NameLess);
        std::sort(listing.folders.begin(), listing.folders.end(), NameLess);
        const QStringList files = MatchingFiles(listing, folder, match, nullptr);
        list.append(files);
        count += int(files.size());
        const QString sep = QDir::separator();
        for (const Entry &sub : listing.folders)
            Folder(folder + sub.name + sep);
    }
};

#endif

} // namespace

int ListFiles(const QString &folder, const QString &pattern, QStringList &list)
{
    return ListFiles(folder, pattern, list, {}).count;
}

FolderListing ListFiles(const QString &folder, const QString &pattern, QStringList &list,
                        const std::function<bool(int found)> &progress)
{
    FolderListing result;
    QString start = folder;
    const QChar sep = QDir::separator();
    if (!start.endsWith(sep))
        start += sep;
#ifdef Q_OS_UNIX
    const int top = OpenPath(start, O_RDONLY | O_DIRECTORY);
    if (top < 0) {
        // A folder that is not there has no files; one that is there but
        // cannot be opened is a failure of its own.
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR) {
            list.append(start);
            result.unreadable.insert(start, UnreadableReason(error));
            result.count = 1;
        }
        return result;
    }
    struct stat self;
    if (::fstat(top, &self) == 0) {
        result.device = quint64(self.st_dev);
        result.inode = quint64(self.st_ino);
    }
    const auto crew = std::make_shared<ListCrew>(top, start, pattern);
    const bool complete = crew->Run(progress);
    // Once every folder is read the workers leave at once; a stopped
    // listing leaves a worker blocked on the device to itself.
    crew->Stop(50ms);
    if (!complete) {
        result.stopped = true;
        return result;
    }
    result.count = crew->Collect(list, &result.unreadable);
    result.deviceWaits = crew->DeviceWaits();
#else
    const Matcher match(pattern);
    QStringList found;
    Lister lister{match, found, progress, result.unreadable};
    lister.Folder(start);
    if (lister.stopped) {
        result.stopped = true;
        return result;
    }
    list.append(found);
    result.count = lister.count;
#endif
    return result;
}

bool SameFolderStill(const QString &folder, const FolderListing &listing, int *error)
{
    *error = 0;
#ifdef Q_OS_UNIX
    const int fd = OpenPath(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    struct stat self;
    const bool same = ::fstat(fd, &self) == 0 && quint64(self.st_dev) == listing.device
                      && quint64(self.st_ino) == listing.inode;
    ::close(fd);
    return same;
#else
    Q_UNUSED(listing);
    return QFileInfo(folder).isDir();
#endif
}

} // namespace kestova
