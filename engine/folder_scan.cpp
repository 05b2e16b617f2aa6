// The folder scan.
#include "folder_scan.h"

#include "dialogs.h"
#include "measure_photo.h"
#include "numbers.h"
#include "photo_store.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

bool NameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
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

struct Lister {
    const Matcher &match;
    QStringList &list;
    std::set<std::pair<quint64, quint64>> visited; // device, inode of folders entered
    int count = 0;

    void Folder(const QString &folder);
};

#ifdef Q_OS_UNIX
// POSIX enumeration: the kind of each entry comes with the name, so only
// links and file systems that do not report kinds cost a stat.
void Lister::Folder(const QString &folder)
{
    const QByteArray encoded = QFile::encodeName(folder);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat self;
    if (::fstat(fd, &self) != 0 || !visited.insert({quint64(self.st_dev), quint64(self.st_ino)}).second) {
        ::close(fd);
        return;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    QStringList files;
    QStringList folders;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden on Unix, and "." and ".."
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, name, &st, 0) != 0)
                continue; // a broken link
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG)
            files.append(QFile::decodeName(name));
        else if (type == DT_DIR)
            folders.append(QFile::decodeName(name));
    }
    ::closedir(dir);

    std::sort(files.begin(), files.end(), NameLess);
    std::sort(folders.begin(), folders.end(), NameLess);
    for (const QString &name : std::as_const(files)) {
        if (match(name)) {
            list.append(folder + name);
            ++count;
        }
    }
    for (const QString &name : std::as_const(folders))
        Folder(folder + name + u'/');
}
#else
void Lister::Folder(const QString &folder)
{
    const QFileInfo self(folder);
    const QString key = self.canonicalFilePath();
    // Without inode numbers, the canonical path identifies a folder.
    if (key.isEmpty() || !visited.insert({qHash(key), 0}).second)
        return;
    QDir dir(folder);
    QStringList files;
    QStringList folders;
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort)) {
        if (info.isHidden() || info.fileName().startsWith(u'.'))
            continue;
        if (info.isDir())
            folders.append(info.fileName());
        else if (info.isFile())
            files.append(info.fileName());
    }
    std::sort(files.begin(), files.end(), NameLess);
    std::sort(folders.begin(), folders.end(), NameLess);
    const QString sep = QDir::separator();
    for (const QString &name : std::as_const(files)) {
        if (match(name)) {
            list.append(folder + name);
            ++count;
        }
    }
    for (const QString &name : std::as_const(folders))
        Folder(folder + name + sep);
}
#endif

// Measures the files of the list ahead of the scan on worker threads, at most
// a fixed window ahead, and hands the results over strictly in list order.
// Measuring has no side effects, so results measured ahead of a stopped scan
// are simply dropped.
class MeasurePipeline
{
public:
    MeasurePipeline(const QStringList &files, const Settings &settings)
        : m_files(files)
        , m_settings(settings)
        , m_slots(Window)
    {
        const int workers = std::clamp(QThread::idealThreadCount(), 1, 4);
        for (int i = 0; i < workers; ++i)
            m_workers.emplace_back([this] { Work(); });
    }

    ~MeasurePipeline()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_spaceFree.notify_all();
        for (std::thread &t : m_workers)
            t.join();
    }

    // The measurement of file i; files are taken in order 0, 1, 2 …
    PhotoMeasure Take(int i)
    {
        std::unique_lock lock(m_mutex);
        Slot &slot = m_slots[i % Window];
        m_resultReady.wait(lock, [&] { return slot.index == i; });
        PhotoMeasure m = std::move(slot.measure);
        slot.index = -1;
        m_consumed = i + 1;
        lock.unlock();
        m_spaceFree.notify_all();
        return m;
    }

private:
    static constexpr int Window = 64;

    struct Slot {
        int index = -1;
        PhotoMeasure measure;
    };

    void Work()
    {
        for (;;) {
            int i;
            {
                std::unique_lock lock(m_mutex);
                m_spaceFree.wait(lock, [&] { return m_stopping || m_next < m_consumed + Window; });
                if (m_stopping || m_next >= m_files.size())
                    return;
                i = m_next++;
            }
            PhotoMeasure m = MeasureFile(m_files[i], m_settings.PhotoSize, m_settings.PhotoArea,
                                         m_settings.UnitRadixPoint);
            {
                std::lock_guard lock(m_mutex);
                m_slots[i % Window].measure = std::move(m);
                m_slots[i % Window].index = i;
            }
            m_resultReady.notify_all();
        }
    }

    const QStringList &m_files;
    const Settings &m_settings;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_spaceFree;
    std::condition_variable m_resultReady;
    int m_next = 0;
    int m_consumed = 0;
    bool m_stopping = false;
};

} // namespace

int ListFiles(const QString &folder, const QString &pattern, QStringList &list)
{
    const Matcher match(pattern);
    Lister lister{match, list, {}, 0};
    QString start = folder;
    const QChar sep = QDir::separator();
    if (!start.endsWith(sep))
        start += sep;
    lister.Folder(start);
    return lister.count;
}

namespace {

ScanEnd StoreFailed(PhotoStore &store, Dialogs &dialogs)
{
    store.AbortBatch();
    dialogs.ShowMessage(QStringLiteral("数据库写入失败：") + store.WriteFailureCause(), QStringLiteral("错误"),
                        MessageIcon::Critical, MessageButtons::Ok);
    return ScanEnd::StoreFailed;
}

} // namespace

ScanEnd ScanFolder(const QString &folder, const Settings &settings, PhotoStore &store, Dialogs &dialogs,
                   ScanObserver *observer)
{
    // Refused before the listing, which can take long on a large folder.
    PhotoStore::CountLockState lockState;
    const std::unique_ptr<QLockFile> lock = store.LockForCount(&lockState);
    if (lockState == PhotoStore::CountLockState::Busy) {
        dialogs.ShowMessage(QStringLiteral("另一个统计正在进行，请稍后再试。"), QStringLiteral("提示"),
                            MessageIcon::Information, MessageButtons::Ok);
        return ScanEnd::Busy;
    }
    if (!lock)
        return StoreFailed(store, dialogs);

    QStringList files;
    // An empty path would list the whole root of the disk as one order.
    const int n = folder.isEmpty() ? 0 : ListFiles(folder, QStringLiteral("*.*"), files);
    if (observer)
        observer->FilesListed(n);
    if (n == 0) {
        dialogs.ShowMessage(QStringLiteral("文件不存在！"), QStringLiteral("系统提示"), MessageIcon::Information,
                            MessageButtons::Ok);
        return ScanEnd::NoFiles;
    }

    // From here on the list is only read, on this thread and by the workers.
    const QStringList &list = files;
    MeasurePipeline pipeline(list, settings);
    // Any write the store refuses ends the count: going on would leave a
    // PhotoDetail with holes, or an earlier folder's totals, looking complete.
    if (!store.BeginBatch() || !store.DeletePhotoDetail())
        return StoreFailed(store, dialogs);
    for (int i = 0; i < n; ++i) {
        const QString &path = list[i];
        const PhotoMeasure m = pipeline.Take(i);
        if (!m.ArithmeticError.isEmpty()) {
            dialogs.ShowMessage(m.ArithmeticError, QString(), MessageIcon::None, MessageButtons::Ok);
        } else {
            DetailRow row;
            row.PhotoPath = path;
            row.PhotoWidth = m.PrintWidth;
            row.PhotoHeight = m.PrintHeight;
            row.HorizontalResolution = m.HorizontalDpi;
            row.VerticalResolution = m.VerticalDpi;
            row.IsSucceed = m.Succeeded;
            const QString width = NumberText(m.PrintWidth);
            const QString height = NumberText(m.PrintHeight);
            if (settings.Sameness) {
                // One size for both turns: the longer side first for landscape
                // pictures, height first for everything else.
                row.WidthAndHeight = m.PixelWidth > m.PixelHeight ? width + u'*' + height : height + u'*' + width;
                row.PhotoArea = m.Area;
            } else {
                row.WidthAndHeight = width + u'*' + height;
                row.PhotoArea = RoundHalfEven(m.Area, settings.RadixPoint);
            }
            if (!store.InsertPhotoDetail(row))
                return StoreFailed(store, dialogs);
        }
        if (observer && observer->FileDone(i + 1))
            return store.EndBatch() ? ScanEnd::Stopped : StoreFailed(store, dialogs);
    }
    // The totals are replaced in the batch's last transaction: they are
    // either all new or, after a failure, all as they were.
    if (!store.DeletePhotoTotal() || !store.InsertSizeTotals(settings.RadixPoint)
        || !store.InsertGrandTotal(settings.RadixPoint) || !store.EndBatch())
        return StoreFailed(store, dialogs);
    return ScanEnd::Completed;
}

} // namespace kestova
