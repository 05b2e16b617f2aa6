// kestova-count: the command-line counter. Same settings, store and scan as
// the program, with messages on stderr instead of message boxes. Links Qt
// Core and Sql only: the commands that draw pages run in kestova-count-print.
#include "console_dialogs.h"
#include "folder_scan.h"
#include "numbers.h"
#include "order_book_command.h"
#include "order_command.h"
#include "photo_store.h"
#include "program_folder.h"
#include "settings.h"
#include "totals_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#ifndef Q_OS_UNIX
#include <QProcess>
#endif

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace kestova;

namespace {

const char Usage[] =
    "用法:\n"
    "  kestova-count scan [--program-dir DIR] [--details] FOLDER\n"
    "      统计 FOLDER 及其子文件夹中的图片，结果写入 DIR/Data.mdb，\n"
    "      并按导出格式输出各尺寸的张数和面积（--details 先输出每个文件的明细：\n"
    "      路径、尺寸、水平和垂直分辨率、面积、结果，以制表符分隔；能说明原因的失败在尺寸处写原因）。\n"
    "      无法读取的文件或文件夹各占一行明细，标为失败，并在标准错误输出上说明。\n"
    "  kestova-count check [--program-dir DIR]\n"
    "      完整检查 DIR/Data.mdb 有没有损坏的页（打开时只检查统计用的表）。\n"
    "  kestova-count setup [--program-dir DIR]\n"
    "      在 DIR 中建立新的 Data.mdb 和 Config.ini（已存在的文件不会被覆盖）。\n"
    "  kestova-count settings [--program-dir DIR]\n"
    "      按 键=值 每行一项输出本程序实际使用的九项参数（DIR/Config.ini 的值，\n"
    "      缺少或无法换算时为缺省值）；Sameness 和 PathAsMemberName 输出 1 或 0。\n";
const char UsageTail[] =
    "\n"
    "DIR 默认为本程序所在的文件夹。\n"
    "以制表符分隔的输出（scan --details、prices、orders、daily）中，字段里的反斜杠、制表符、\n"
    "换行和回车写作 \\\\、\\t、\\n、\\r。\n"
    "退出码: 0 完成, 1 没有文件(order: 没有可打印的内容), 2 数据库无法打开或参数错误,\n"
    "        3 scan: 数据库写入失败(统计已停止); order: PDF 无法写入或打印队列拒绝了打印任务,\n"
    "        4 另一个统计正在使用同一个数据库, 5 scan: 统计完成，但有文件或文件夹无法读取,\n"
    "        6 scan: 统计中途文件夹已无法访问(存储卡拔出、共享断开；合计未更新),\n"
    "        7 check: 数据库有损坏, 130 被 Ctrl-C 中断。\n";

void PrintUsage(std::FILE *to)
{
    std::fputs(Usage, to);
    std::fputs(OrderUsage, to);
    std::fputs(OrderBookUsage, to);
    std::fputs(UsageTail, to);
}

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

void PrintLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
}

void Error(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// A progress bar on stderr, when stderr is a terminal.
class TerminalProgress : public ScanObserver
{
public:
    TerminalProgress() : m_enabled(::isatty(STDERR_FILENO)) {}

    // Ctrl-C also stops a listing or a wait for a slow share.
    bool Listing(int found) override
    {
        Q_UNUSED(found);
        return g_interrupted != 0;
    }

    void FilesListed(int count) override
    {
        m_total = count;
        m_clock.start();
    }

    bool Waiting(int done) override
    {
        Q_UNUSED(done);
        return g_interrupted != 0;
    }

    bool FileDone(int done) override
    {
        if (m_enabled && (done == m_total || m_shown.isValid() == false || m_shown.elapsed() >= 100)) {
            m_shown.start();
            Draw(done);
        }
        return g_interrupted != 0;
    }

    void Finish()
    {
        if (m_enabled && m_total > 0)
            std::fputc('\n', stderr);
    }

private:
    void Draw(int done)
    {
        const double seconds = m_clock.elapsed() / 1000.0;
        const double rate = seconds > 0 ? done / seconds : 0;
        const int left = rate > 0 ? static_cast<int>((m_total - done) / rate + 0.5) : 0;
        constexpr int width = 30;
        const int filled = m_total > 0 ? static_cast<int>(static_cast<qint64>(done) * width / m_total) : width;
        const QString bar = QString(filled, u'#') + QString(width - filled, u' ');
        const QString text = QStringLiteral("\r[%1] %2/%3  %4 个/秒  剩余 %5 秒 ")
                                 .arg(bar)
                                 .arg(done)
                                 .arg(m_total)
                                 .arg(static_cast<qint64>(rate))
                                 .arg(left);
        std::fputs(text.toUtf8().constData(), stderr);
        std::fflush(stderr);
    }

    bool m_enabled;
    int m_total = 0;
    QElapsedTimer m_clock;
    QElapsedTimer m_shown;
};

struct Options {
    QString programDir;
    bool details = false;
    QStringList positional;
    bool help = false;
    QString bad;
};

Options Parse(const QStringList &args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else if (a == QLatin1String("--details")) {
            o.details = true;
        } else if (a == QLatin1String("--program-dir")) {
            if (i + 1 >= args.size()) {
                o.bad = a;
                break;
            }
            o.programDir = args[++i];
        } else if (a.startsWith(QLatin1String("--program-dir="))) {
            o.programDir = a.mid(14);
        } else if (a.startsWith(QLatin1String("--"))) {
            o.bad = a;
        } else {
            o.positional << a;
        }
    }
    return o;
}

int PrintSettings(const Options &o)
{
    if (!o.positional.isEmpty()) {
        PrintUsage(stderr);
        return 2;
    }
    for (const QString &line : SettingsLines(Settings::Load()))
        PrintLine(line);
    return 0;
}

int Setup(const Options &o)
{
    QDir().mkpath(ProgramFolder());
    int status = 0;
    if (!QFileInfo::exists(DataMdbPath())) {
        QString error;
        if (!PhotoStore::Create(DataMdbPath(), &error)) {
            Error(QStringLiteral("无法建立数据库 %1：%2").arg(DataMdbPath(), error));
            status = 2;
        }
    }
    if (!QFileInfo::exists(ConfigIniPath()) && !Settings().Save()) {
        Error(QStringLiteral("无法写入 %1").arg(ConfigIniPath()));
        status = 2;
    }
    (void)o;
    return status;
}

int Scan(const Options &o)
{
    // An empty FOLDER would be the working folder.
    if (o.positional.size() != 1 || o.positional.first().isEmpty()) {
        if (o.positional.size() == 1)
            Error(QStringLiteral("FOLDER 不能为空。"));
        PrintUsage(stderr);
        return 2;
    }
    const Settings settings = Settings::Load();
    ConsoleDialogs dialogs;
    std::unique_ptr<PhotoStore> store = PhotoStore::OpenOrTell(DataMdbPath(), dialogs);
    if (!store)
        return 2;

    QString folder = QDir::toNativeSeparators(QDir(o.positional.first()).absolutePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();

    std::signal(SIGINT, OnInterrupt);
    TerminalProgress progress;
    // The count lock is kept until everything is printed, so that no other
    // count changes the store between this count and its output.
    ScanReport report;
    report.keepLock = true;
    const ScanEnd end = ScanFolder(folder, settings, *store, dialogs, &progress, &report);
    progress.Finish();
    switch (end) {
    case ScanEnd::NoFiles: return 1;
    case ScanEnd::StoreFailed: return 3;
    case ScanEnd::Busy: return 4;
    case ScanEnd::FolderGone: return 6;
    case ScanEnd::Stopped:
        Error(QStringLiteral("已中断：已统计的文件明细已保存，合计未更新。"));
        return 130;
    case ScanEnd::Completed: break;
    }

    if (o.details) {
        if (const std::unique_ptr<RowCursor> rows = store->ReadDetailGrid()) {
            while (!rows->AtEnd()) {
                for (const QVariantList &r : rows->Next(1000)) {
                    PrintLine(TsvLine({r[0].toString(), r[1].toString(), NumberText(r[2].toDouble()),
                                       NumberText(r[3].toDouble()), r[4].toString(), r[5].toString()}));
                }
            }
        }
    }
    for (const TotalRow &row : store->ReadTotals())
        PrintLine(TotalsLine(row));
    std::fflush(stdout);
    report.lock.reset();
    if (report.unreadable > 0) {
        Error(QStringLiteral("有 %1 个文件或文件夹无法读取，已在明细中标为失败并写明原因，未计入合计。")
                  .arg(report.unreadable));
        return 5;
    }
    return 0;
}

int Check(const Options &o)
{
    if (!o.positional.isEmpty()) {
        PrintUsage(stderr);
        return 2;
    }
    bool opened = false;
    const QStringList found = PhotoStore::CheckWhole(DataMdbPath(), &opened);
    if (!opened) {
        Error(OpenFailureMessage(DataMdbPath(), found.value(0)));
        return 2;
    }
    if (found.isEmpty()) {
        PrintLine(QStringLiteral("数据库完好：%1").arg(QDir::toNativeSeparators(DataMdbPath())));
        return 0;
    }
    Error(QStringLiteral("数据库已损坏：%1").arg(QDir::toNativeSeparators(DataMdbPath())));
    for (const QString &line : found)
        Error(line);
    return 7;
}

// The commands that draw pages (order, reprint, daily --pdf/--print) need
// fonts, Qt Gui and Widgets and the print system: kestova-count-print, beside
// this program, runs them with the same arguments, and its output and exit
// status are this program's.
int HandToPrintProgram(char *argv[])
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kestova-count-print"));
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(program);
    argv[0] = const_cast<char *>(path.constData());
    ::execv(path.constData(), argv);
#else
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, QCoreApplication::arguments().mid(1));
    if (process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit)
        return process.exitCode();
#endif
    Error(QStringLiteral("无法启动 %1").arg(program));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // `daily` prints pages only when asked for a PDF or a printer.
    const auto pages = [&] {
        for (int i = 2; i < argc; ++i) {
            if (QByteArray(argv[i]) == "--pdf" || QByteArray(argv[i]) == "--print")
                return true;
        }
        return false;
    };
    // What an image handler says about a file is that file's reason in
    // the details, never a line of its own on stderr.
    qInstallMessageHandler(DropQtNotices);
    const QByteArray first = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const bool order = first == "order" || first == "reprint" || (first == "daily" && pages());
    QCoreApplication app(argc, argv);
    if (order)
        return HandToPrintProgram(argv);
    // Folder names among the arguments may be GBK.
    QStringList args = CommandArguments(argc, argv);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        PrintUsage(args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.takeFirst();
    {
        ConsoleDialogs dialogs;
        int status = 0;
        if (RunOrderBookCommand(command, args, dialogs, &status))
            return status;
    }
    const Options o = Parse(args);
    if (o.help) {
        PrintUsage(stdout);
        return 0;
    }
    if (!o.bad.isEmpty()) {
        Error(QStringLiteral("未知的参数：%1").arg(o.bad));
        PrintUsage(stderr);
        return 2;
    }
    if (!o.programDir.isEmpty())
        SetProgramFolder(o.programDir);

    if (command == QLatin1String("scan"))
        return Scan(o);
    if (command == QLatin1String("setup"))
        return Setup(o);
    if (command == QLatin1String("check"))
        return Check(o);
    if (command == QLatin1String("settings"))
        return PrintSettings(o);
    Error(QStringLiteral("未知的命令：%1").arg(command));
    PrintUsage(stderr);
    return 2;
}
