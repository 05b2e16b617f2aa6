// The export file's bytes and its atomic writing.
#include "text_export.h"

#include "sandbox.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

TEST(ExportFile, GbkLinesEachEndingWithCrLf)
{
    const QList<TotalRow> rows{{QStringLiteral("15.24*10.16"), qint64(12), 0.5},
                               {QStringLiteral("20.32*15.24"), qint64(3), 2.0},
                               {QStringLiteral("合计"), qint64(15), 2.5}};
    EXPECT_EQ(ExportFileBytes(rows),
              QByteArray("15.24*10.16 12 0.5\r\n20.32*15.24 3 2\r\n\xBA\xCF\xBC\xC6 15 2.5\r\n"));

    // The total row over no photo: empty amount and area.
    EXPECT_EQ(ExportFileBytes({{QStringLiteral("合计"), QVariant(), QVariant()}}),
              QByteArray("\xBA\xCF\xBC\xC6  \r\n"));
}

TEST(ExportFile, WritingReplacesTheFileOrLeavesItAlone)
{
    Sandbox sandbox;
    const QString file = sandbox.writeFile(QStringLiteral("t.txt"), "old");
    QString reason;
    ASSERT_TRUE(WriteExportFile(file, "new\r\n", &reason)) << reason.toStdString();
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), QByteArray("new\r\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(sandbox.root()).entryList(QDir::Files), QStringList{QStringLiteral("t.txt")});

    // A folder in the way: refused with a reason, the folder untouched.
    const QString folder = sandbox.mkdir(QStringLiteral("taken.txt"));
    EXPECT_FALSE(WriteExportFile(folder, "x", &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
