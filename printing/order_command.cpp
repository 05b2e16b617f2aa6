// `kestova-count order`.
#include "order_command.h"

#include "clock.h"
#include "cups_queue.h"
#include "daily_summary_print.h"
#include "dialogs.h"
#include "frm_remark.h"
#include "order_printing.h"
#include "photo_store.h"
#include "print_info.h"
#include "print_job.h"
#include "print_target.h"
#include "program_folder.h"
#include "rpt_print_a4.h"
#include "settings.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace kestova {

namespace {

struct OrderOptions {
    QString pdf;
    bool print = false;
    QString printer;
    QString programDir;
    QString member;
    QString remark;
    QString service;
    QString from;
    QString to;
    QString bad;
    QStringList positional;
};

OrderOptions Parse(const QStringList &args)
{
    OrderOptions o;
    const QList<std::pair<QString, QString *>> valued = {
        {QStringLiteral("--pdf"), &o.pdf},
        {QStringLiteral("--printer"), &o.printer},
        {QStringLiteral("--program-dir"), &o.programDir},
        {QStringLiteral("--member"), &o.member},
        {QStringLiteral("--remark"), &o.remark},
        {QStringLiteral("--service"), &o.service},
        {QStringLiteral("--from"), &o.from},
        {QStringLiteral("--to"), &o.to},
    };
    for (int i = 0; i < args.size() && o.bad.isEmpty(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--print")) {
            o.print = true;
            continue;
        }
        bool known = false;
        for (const auto &[name, value] : valued) {
            if (a == name && i + 1 < args.size()) {
                *value = args[++i];
                known = true;
            } else if (a.startsWith(name + u'=')) {
                *value = a.mid(name.size() + 1);
                known = true;
            }
            if (known)
                break;
        }
        if (!known && !a.startsWith(QLatin1String("--")))
            o.positional << a;
        else if (!known)
            o.bad = a;
    }
    return o;
}

void Error(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// After the arguments were checked: the store of the program folder they
// name, or null after the start-up message.
std::unique_ptr<PhotoStore> OpenStore(const OrderOptions &o, Dialogs &dialogs)
{
    if (!o.programDir.isEmpty())
        SetProgramFolder(o.programDir);
    return PhotoStore::OpenOrTell(DataMdbPath(), dialogs);
}

// The file or the print queue the options name.
std::unique_ptr<PrintTarget> OutputTarget(const OrderOptions &o)
{
    if (o.print)
        return MakeSystemPrintTarget(o.printer);
    return std::make_unique<PdfPrintTarget>(o.pdf);
}

// Why the output the options name surely cannot take the order, or empty:
// a PDF in a folder that is missing or not writable, no print queue.
QString OutputProblem(const OrderOptions &o)
{
    if (o.print) {
        const QueueAnswer queue = FindQueue(o.printer);
        if (queue.queue.isEmpty())
            return queue.failure.isEmpty() ? QStringLiteral("打印机失败...") : QStringLiteral("打印机失败：") + queue.failure;
        return {};
    }
    const QFileInfo file(o.pdf);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("打印机失败：无法写入 %1（文件夹不存在）").arg(QDir::toNativeSeparators(o.pdf));
    if (!folder.isWritable() || (file.exists() && !file.isWritable()))
        return QStringLiteral("打印机失败：无法写入 %1（权限不足）").arg(QDir::toNativeSeparators(o.pdf));
    if (file.isDir())
        return QStringLiteral("打印机失败：无法写入 %1（这是一个文件夹）").arg(QDir::toNativeSeparators(o.pdf));
    return {};
}

int UsageError(const QString &wrong)
{
    Error(wrong);
    std::fputs(OrderUsage, stderr);
    return 2;
}

} // namespace

int RunOrderCommand(const QStringList &args, Dialogs &dialogs)
{
    const OrderOptions o = Parse(args);
    QString wrong;
    if (!o.bad.isEmpty())
        wrong = QStringLiteral("未知的参数：%1").arg(o.bad);
    else if (o.pdf.isEmpty() == !o.print)
        wrong = QStringLiteral("需要 --pdf FILE 或 --print 其中之一");
    else if (!o.printer.isEmpty() && !o.print)
        wrong = QStringLiteral("--printer 只能与 --print 一起使用");
    else if (!RemarkFits(o.remark))
        wrong = QStringLiteral("备注太长，冲印单上放不下");
    if (!wrong.isEmpty())
        return UsageError(wrong);
    const std::unique_ptr<PhotoStore> store = OpenStore(o, dialogs);
    if (!store)
        return 2;

    // Everything that can be checked is checked before a note number is
    // taken: the service, the output and the counted totals.
    const Settings settings = Settings::Load();
    OrderBookSource source(*store, settings);
    const RemarkSources sources = LoadRemarkSources(source);
    if (source.Shared() && !sources.error.isEmpty()) {
        Error(CannotConnectMessage(sources.error));
        return 3;
    }
    if (!o.service.isEmpty() && !sources.serviceNames.contains(o.service)) {
        Error(QStringLiteral("没有这项服务：%1").arg(o.service));
        return 2;
    }
    if (const QString why = OutputProblem(o); !why.isEmpty()) {
        Error(why);
        return 3;
    }
    PrintInfo info;
    info.MemberName = o.member;
    info.Remark = o.remark;
    info.ServiceName = o.service.isEmpty() ? sources.serviceNames.value(0) : o.service;

    const std::unique_ptr<PrintTarget> target = OutputTarget(o);
    NewOrder order(source);
    const PrintJobResult result = order.Print(info, *target, dialogs, Now());
    if (result.readFailed)
        return 1;
    if (!result.Accepted())
        return 3;
    // The number is told only for an order that came out.
    std::printf("%s\n", result.printed.info.NoteNumber.toUtf8().constData());
    std::fflush(stdout);
    return 0;
}

int RunReprintCommand(const QStringList &args, Dialogs &dialogs)
{
    const OrderOptions o = Parse(args);
    bool numeric = false;
    const qint64 number = o.positional.value(0).toLongLong(&numeric);
    QString wrong;
    if (!o.bad.isEmpty())
        wrong = QStringLiteral("未知的参数：%1").arg(o.bad);
    else if (o.positional.size() != 1 || !numeric)
        wrong = QStringLiteral("需要一个单号 N");
    else if (o.pdf.isEmpty() == !o.print)
        wrong = QStringLiteral("需要 --pdf FILE 或 --print 其中之一");
    if (!wrong.isEmpty())
        return UsageError(wrong);
    const std::unique_ptr<PhotoStore> store = OpenStore(o, dialogs);
    if (!store)
        return 2;
    const Settings settings = Settings::Load();
    OrderBookSource source(*store, settings);
    QString error;
    OrderBook *book = source.Book(&error);
    if (!book && source.Shared()) {
        Error(CannotConnectMessage(error));
        return 3;
    }
    bool ok = false;
    const std::optional<OrderRecordData> order = book ? book->Find(number, &ok) : std::nullopt;
    if (!order) {
        Error(QStringLiteral("订单记录中没有单号 %1").arg(number));
        return 1;
    }
    const std::unique_ptr<PrintTarget> target = OutputTarget(o);
    target->SetDocumentName(OrderDocumentName(QString::number(number)));
    const PrintJobResult result = PrintOrderContent(RecordedOrder(*order), *target, dialogs);
    return result.Accepted() ? 0 : 3;
}

int RunDailyPrintCommand(const QStringList &args, Dialogs &dialogs)
{
    const OrderOptions o = Parse(args);
    const QDate today = Today();
    const QDate to = o.to.isEmpty() ? today : QDate::fromString(o.to, QStringLiteral("yyyy-MM-dd"));
    const QDate from = o.from.isEmpty() ? to : QDate::fromString(o.from, QStringLiteral("yyyy-MM-dd"));
    QString wrong;
    if (!o.bad.isEmpty() || !o.positional.isEmpty())
        wrong = QStringLiteral("未知的参数：%1").arg(o.bad.isEmpty() ? o.positional.value(0) : o.bad);
    else if (!from.isValid() || !to.isValid())
        wrong = QStringLiteral("日期应写作 YYYY-MM-DD");
    else if (o.pdf.isEmpty() == !o.print)
        wrong = QStringLiteral("需要 --pdf FILE 或 --print 其中之一");
    if (!wrong.isEmpty())
        return UsageError(wrong);
    const std::unique_ptr<PhotoStore> store = OpenStore(o, dialogs);
    if (!store)
        return 2;
    const Settings settings = Settings::Load();
    OrderBookSource source(*store, settings);
    QString error;
    OrderBook *book = source.Book(&error);
    bool ok = book != nullptr;
    const QList<DaySummary> days = ok ? book->Daily(from, to, &ok) : QList<DaySummary>();
    if (!ok) {
        Error(book ? QStringLiteral("日结读取失败") : source.BookFailure(error));
        return 3;
    }
    const std::unique_ptr<PrintTarget> target = OutputTarget(o);
    target->SetDocumentName(QStringLiteral("日结"));
    return PrintDailySummary(days, from, to, *target, dialogs) ? 0 : 3;
}

} // namespace kestova
