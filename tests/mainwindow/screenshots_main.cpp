// mainwindow_screenshots OUTPUT_PREFIX: counts a generated order folder in
// the main window, previews one photo and saves pictures of the screen
// (OUTPUT_PREFIX-main.png), the settings dialog and the about box. Run under
// an X server of the wanted size (scripts/screenshots does).
#include "form_runner.h"
#include "frm_about.h"
#include "frm_config.h"
#include "frm_main.h"
#include "frm_order_book.h"
#include "frm_remark.h"
#include "frm_price_list.h"
#include "layout.h"
#include "order_book_source.h"
#include "photo_preview.h"
#include "photo_store.h"
#include "print_info.h"
#include "print_job.h"
#include "rpt_print_a4.h"
#include "print_target.h"
#include "program_folder.h"
#include "program_title.h"
#include "qt_translations.h"
#include "result_grids.h"
#include "settings.h"
#include "shell.h"
#include "store_connection.h"
#include "toolbar_icons.h"
#include "uc_browse.h"
#include "widget_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace kestova;

namespace {

class QuietShell : public Shell
{
public:
    void StartProgram(const QString &, const QString &) override {}
    void OpenUrl(const QUrl &) override {}
};

void WritePhoto(const QString &path, int width, int height, int dpi, const QColor &from, const QColor &to)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, from);
    sky.setColorAt(1, to);
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(40, 110, 50));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(width * 0.3, height * 1.1), width * 0.6, height * 0.5);
    p.setBrush(QColor(250, 220, 90));
    p.drawEllipse(QPointF(width * 0.75, height * 0.25), height * 0.1, height * 0.1);
    p.setPen(Qt::white);
    QFont font;
    font.setPixelSize(qMin(width, height) / 14);
    p.setFont(font);
    p.drawText(image.rect().adjusted(0, 0, 0, -height / 20), Qt::AlignHCenter | Qt::AlignBottom,
               QStringLiteral("%1 × %2 @ %3 dpi").arg(width).arg(height).arg(dpi));
    p.end();
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.save(path, "JPEG", 85);
}

QString MakeOrder(const QString &root)
{
    const QString folder = root + QStringLiteral("/订单/张三 2024-05/");
    const QColor blue(70, 130, 210), orange(240, 160, 80), teal(60, 170, 160), rose(220, 110, 140);
    WritePhoto(folder + "DSC_0001.jpg", 1800, 1200, 300, blue, orange);
    WritePhoto(folder + "DSC_0002.jpg", 1200, 1800, 300, teal, blue);
    WritePhoto(folder + "DSC_0003.jpg", 1800, 1200, 300, orange, rose);
    WritePhoto(folder + "DSC_0004.jpg", 2400, 1800, 300, rose, teal);
    WritePhoto(folder + "IMG_2041.jpg", 1600, 1200, 72, blue, teal);
    WritePhoto(folder + "IMG_2042.jpg", 1200, 1600, 96, orange, blue);
    WritePhoto(folder + "全家福.jpg", 3000, 2000, 300, teal, orange);
    WritePhoto(folder + "证件照/一寸.jpg", 295, 413, 300, rose, blue);
    WritePhoto(folder + "证件照/二寸.jpg", 413, 579, 300, blue, rose);
    WritePhoto(folder + "证件照/二寸 (2).jpg", 413, 579, 300, teal, rose);
    QFile notes(folder + "说明.txt");
    notes.open(QIODevice::WriteOnly);
    notes.write("6寸 各一张");
    notes.close();
    QFile broken(folder + "损坏.jpg");
    broken.open(QIODevice::WriteOnly);
    broken.write("\xFF\xD8 not really a photo");
    return folder;
}

bool Save(const QImage &image, const QString &path)
{
    const bool ok = image.save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), image.width(), image.height());
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    UseProgramLocale();
    QCoreApplication::setApplicationName(ProgramTitle);
    InstallQtTranslations();
    QApplication::setWindowIcon(ProgramIcon());
    if (argc < 2) {
        std::fprintf(stderr, "usage: mainwindow_screenshots OUTPUT_PREFIX\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);

    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath(QStringLiteral("program"));
    SetProgramFolder(tmp.path() + QStringLiteral("/program"));
    PhotoStore::Create(DataMdbPath());
    Settings settings = Settings::Load();
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
    if (!store)
        return 1;

    WidgetDialogs dialogs;
    QuietShell shell;
    ExecFormRunner forms;
    PrintInfo printInfo;
    PdfPrintTarget target(tmp.path() + QStringLiteral("/order.pdf"));
    OrderBookSource orderBook(*store, settings);
    const MainWindowServices services{settings, printInfo, dialogs, shell, forms, target, orderBook};
    frmMain window(std::move(store), services);
    dialogs.setOwner(&window);
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    window.show();
    bool ok = QTest::qWaitForWindowExposed(&window);

    const QString folder = MakeOrder(tmp.path());
    emit window.FolderTree()->PathChange(folder); // as a click in the tree would
    window.Count();

    // Preview a portrait photo: it fills the box's height, centred.
    ResultGrid *detail = window.Detail();
    for (int row = 0; row < detail->model()->rowCount(); ++row) {
        if (detail->Text(row, 0).endsWith(QStringLiteral("DSC_0002.jpg"))) {
            const QRect cell = detail->visualRect(detail->model()->index(row, 0));
            QTest::mouseClick(detail->viewport(), Qt::LeftButton, {}, cell.center());
            break;
        }
    }
    QTest::qWait(200);
    ok &= Save(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), prefix + QStringLiteral("-main.png"));

    // A file that cannot be shown: the box says so.
    for (int row = 0; row < detail->model()->rowCount(); ++row) {
        if (detail->Text(row, 0).endsWith(QStringLiteral("损坏.jpg"))) {
            const QRect cell = detail->visualRect(detail->model()->index(row, 0));
            QTest::mouseClick(detail->viewport(), Qt::LeftButton, {}, cell.center());
            break;
        }
    }
    ok &= Save(window.Preview()->grab().toImage(), prefix + QStringLiteral("-unshown.png"));

    frmConfig config(settings, dialogs, &window);
    config.show();
    ok &= QTest::qWaitForWindowExposed(&config);
    ok &= Save(config.grab().toImage(), prefix + QStringLiteral("-settings.png"));
    config.close();

    frmAbout about(shell, &window);
    about.show();
    ok &= QTest::qWaitForWindowExposed(&about);
    ok &= Save(about.grab().toImage(), prefix + QStringLiteral("-about.png"));
    about.close();

    // Qt's own dialogs, which must read Chinese too.
    QMessageBox question(QMessageBox::Information, QStringLiteral("提示"),
                         QStringLiteral("此文件夹已统计过，是否重新统计？"), QMessageBox::Yes | QMessageBox::No, &window);
    question.show();
    ok &= QTest::qWaitForWindowExposed(&question);
    ok &= Save(question.grab().toImage(), prefix + QStringLiteral("-question.png"));
    question.close();

    QFileDialog save(&window, QStringLiteral("另存为"), folder, QStringLiteral("文本文档(*.txt)"));
    save.setAcceptMode(QFileDialog::AcceptSave);
    UseChineseFileColumns(save);
    save.show();
    ok &= QTest::qWaitForWindowExposed(&save);
    ok &= Save(save.grab().toImage(), prefix + QStringLiteral("-save.png"));
    save.close();

    QPrinter printer;
    QPrintPreviewDialog preview(&printer, &window);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [](QPrinter *p) {
        QPainter painter(p);
        painter.drawText(QPointF(100, 100), QStringLiteral("冲印单"));
    });
    preview.resize(900, 600);
    preview.show();
    ok &= QTest::qWaitForWindowExposed(&preview);
    QTest::qWait(200);
    ok &= Save(preview.grab().toImage(), prefix + QStringLiteral("-preview.png"));
    preview.close();

    // The order book's windows, with a price list and two recorded orders.
    {
        std::unique_ptr<PhotoStore> orderStore = PhotoStore::Open(DataMdbPath());
        OrderBook book(StoreConnection::Of(*orderStore));
        book.Upgrade();
        book.SetSizePrice(QStringLiteral("数码冲印（光面）"), QStringLiteral("15.24*10.16"), 80);
        book.SetSizePrice(QStringLiteral("数码冲印（光面）"), QStringLiteral("20.32*15.24"), 250);
        book.SetPerSquareMetre(QStringLiteral("写真海报"), 4500);
        // Three customers printed into PDF files one after the other, as the
        // counter prints them, and a fourth whose printing was cut off
        // (recorded, never confirmed).
        OrderBookSource printSource(*orderStore, settings);
        QTemporaryDir pdfs;
        const QStringList customers{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")};
        for (int i = 0; i < customers.size(); ++i) {
            PrintInfo info;
            info.MemberName = customers[i];
            info.ServiceName = i == 2 ? QStringLiteral("写真海报") : QStringLiteral("数码冲印（光面）");
            PdfPrintTarget pdf(pdfs.filePath(QStringLiteral("%1.pdf").arg(i)));
            NewOrder(printSource).Print(info, pdf, dialogs, QDateTime::currentDateTime());
        }
        {
            PrintInfo info;
            info.MemberName = QStringLiteral("赵六");
            info.ServiceName = QStringLiteral("证件照");
            const std::optional<OrderContent> content =
                PrepareOrder(printSource, info, QDateTime::currentDateTime(), &info.Append);
            const std::optional<qint64> number = printSource.IssueNoteNumber();
            if (content && number) {
                OrderRecordData o;
                o.noteNumber = *number;
                o.issuedAt = content->issuedAt;
                o.memberName = info.MemberName;
                o.service = info.ServiceName;
                o.sizeUnit = content->sizeUnit;
                o.areaUnit = content->areaUnit;
                o.order = content->order;
                o.counterName = printSource.CounterName();
                o.status = OrderStatus::Pending;
                book.Record(o);
            }
        }
        frmPriceList prices(book, dialogs, {QStringLiteral("15.24*10.16"), QStringLiteral("20.32*15.24")}, &window);
        prices.show();
        ok &= QTest::qWaitForWindowExposed(&prices);
        ok &= Save(prices.grab().toImage(), prefix + QStringLiteral("-prices.png"));
        prices.close();
        frmOrderBook orders(book, dialogs, &window);
        orders.show();
        ok &= QTest::qWaitForWindowExposed(&orders);
        ok &= Save(orders.grab().toImage(), prefix + QStringLiteral("-orders.png"));
        orders.close();
        frmDailySummary daily(book, dialogs, &window);
        daily.show();
        ok &= QTest::qWaitForWindowExposed(&daily);
        ok &= Save(daily.grab().toImage(), prefix + QStringLiteral("-daily.png"));
        daily.close();
        OrderBookSource source(*orderStore, settings);
        const OrderFacts facts{[&] { return orderStore->ReadCount(); },
                               [&](const QString &service) {
                                   return AmountOf(source, service, QDateTime::currentDateTime());
                               }};
        frmRemark remark(source, settings, facts, &window);
        remark.show();
        ok &= QTest::qWaitForWindowExposed(&remark);
        ok &= Save(remark.grab().toImage(), prefix + QStringLiteral("-remark.png"));
        remark.close();
    }

    // The restored window: the designed client area, centred.
    window.showNormal();
    window.resize(TwipsToPixels(12630), TwipsToPixels(7770) + window.menuBar()->height());
    QTest::qWait(200);
    ok &= Save(window.grab().toImage(), prefix + QStringLiteral("-restored.png"));
    // Grown again from the restored size.
    window.resize(window.screen()->availableGeometry().size());
    QTest::qWait(200);
    ok &= Save(window.grab().toImage(), prefix + QStringLiteral("-grown.png"));
    return ok ? 0 : 1;
}
