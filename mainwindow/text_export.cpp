// The text export.
#include "text_export.h"

#include "dialogs.h"
#include "replace_file.h"
#include "totals_text.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringEncoder>

namespace kestova {

QByteArray ExportFileBytes(const QList<TotalRow> &rows)
{
    QStringEncoder gbk("GBK");
    if (!gbk.isValid())
        return {};
    const QByteArray bytes = gbk.encode(TotalsText(rows) + QStringLiteral("\r\n"));
    if (gbk.hasError())
        return {};
    return bytes;
}

bool WriteExportFile(const QString &path, const QByteArray &bytes, QString *reason)
{
    return ReplaceFile(path, bytes, reason);
}

void ExportTotals(PhotoStore &store, Dialogs &dialogs, const QString &countedFolderName, QString &lastExportFile)
{
    bool ok = false;
    const std::optional<CountRecord> count = store.ReadCount(&ok);
    const QList<TotalRow> rows = ok ? store.ReadTotals(&ok) : QList<TotalRow>();
    if (!ok) {
        dialogs.ShowMessage(QStringLiteral("读取统计结果失败：") + store.lastError(), QStringLiteral("错误"),
                            MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    if (TotalsText(rows).trimmed().isEmpty())
        return;
    // An earlier folder's totals are never exported as this one's.
    if (count && !count->complete) {
        dialogs.ShowMessage(QStringLiteral("最近一次统计（%1）没有完成，统计结果不是这个文件夹的。请重新统计后再导出。")
                                .arg(QDir::toNativeSeparators(count->folder)),
                            QStringLiteral("提示"), MessageIcon::Information, MessageButtons::Ok);
        return;
    }

    FileDialogRequest request;
    request.title = QStringLiteral("另存为");
    request.filter = QStringLiteral("文本文档(*.txt)");
    request.initialFolder = lastExportFile.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
        : QFileInfo(lastExportFile).absolutePath();
    // A name that cannot be a file name (the root of a disk) proposes none.
    const QString name = countedFolderName.trimmed();
    request.fileName = name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.contains(u':')
        ? QString()
        : name + QStringLiteral(".txt");
    request.defaultSuffix = QStringLiteral("txt");
    request.confirmOverwrite = true;
    const QString path = dialogs.GetSaveFileName(request);
    if (path.isEmpty())
        return;
    lastExportFile = path;

    const QByteArray bytes = ExportFileBytes(rows);
    QString reason;
    if (bytes.isEmpty()) {
        reason = QStringLiteral("统计结果无法以 GBK 编码写出");
    } else if (WriteExportFile(path, bytes, &reason)) {
        dialogs.ShowMessage(QStringLiteral("保存完毕!"), QStringLiteral("提示"), MessageIcon::Information,
                            MessageButtons::Ok);
        return;
    }
    dialogs.ShowMessage(QStringLiteral("文件保存失败：") + QDir::toNativeSeparators(path) + QStringLiteral("\n")
                            + reason,
                        QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
}

} // namespace kestova
