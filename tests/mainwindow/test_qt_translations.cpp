// Qt's own dialogs in Chinese: the catalogue chosen for the system's locale
// and what the operator then reads on the buttons and dialogs Qt draws.
#include "qt_translations.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QAbstractProxyModel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace kestova;

TEST(QtTranslations, SimplifiedUnlessTheSystemAsksForTraditional)
{
    EXPECT_EQ(QtTranslationLocale(QLocale(QStringLiteral("zh_CN"))), QStringLiteral("zh_CN"));
    EXPECT_EQ(QtTranslationLocale(QLocale(QStringLiteral("en_US"))), QStringLiteral("zh_CN"));
    EXPECT_EQ(QtTranslationLocale(QLocale(QStringLiteral("zh_TW"))), QStringLiteral("zh_TW"));
    EXPECT_EQ(QtTranslationLocale(QLocale(QStringLiteral("zh_HK"))), QStringLiteral("zh_TW"));
    EXPECT_EQ(QtTranslationLocale(QLocale(QStringLiteral("zh_Hant_MO"))), QStringLiteral("zh_TW"));
}

TEST(QtTranslations, MessageBoxButtonsAndFileDialogsSpeakChinese)
{
    ASSERT_TRUE(InstallQtTranslations(QLocale(QStringLiteral("en_US"))));

    QMessageBox question(QMessageBox::Information, QStringLiteral("提示"),
                         QStringLiteral("此文件夹已统计过，是否重新统计？"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(question.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")))
        << question.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(question.button(QMessageBox::No)->text().contains(QStringLiteral("否")));

    QFileDialog save(nullptr, QStringLiteral("另存为"));
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    auto *lookIn = save.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_NE(lookIn->text(), QStringLiteral("Look in:"));
    EXPECT_FALSE(lookIn->text().contains(u'L'));
    // A folder's type in the file list, which Qt's catalogue lacks.
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));
    // The overwrite question is Qt's too.
    EXPECT_NE(QFileDialog::tr("%1 already exists.\nDo you want to replace it?"),
              QStringLiteral("%1 already exists.\nDo you want to replace it?"));
}

// The file list of a file dialog, which Qt writes in the system locale's
// language (English here, whatever the test machine's locale): sizes, types
// and dates in Chinese.
TEST(QtTranslations, AFileDialogListsSizesTypesAndDatesInChinese)
{
    UseProgramLocale();
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("说明.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(36, 'x'));
    file.close();

    QFileDialog dialog(nullptr, QStringLiteral("另存为"), folder.path(), QStringLiteral("文本文档(*.txt)"));
    UseChineseFileColumns(dialog);
    QAbstractItemModel *list = dialog.proxyModel();
    ASSERT_NE(list, nullptr);
    QModelIndex row;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QModelIndexList found = list->match(list->index(0, 0, dialog.findChild<QTreeView *>(QStringLiteral("treeView"))->rootIndex()),
                                                  Qt::DisplayRole, QStringLiteral("说明.txt"), 1, Qt::MatchExactly);
        if (!found.isEmpty())
            row = found.first();
        return row.isValid() && !row.siblingAtColumn(2).data().toString().isEmpty();
    }, 10000));
    EXPECT_EQ(row.siblingAtColumn(1).data().toString(), QStringLiteral("36 字节"));
    const QString type = row.siblingAtColumn(2).data().toString();
    EXPECT_FALSE(type.contains(QStringLiteral("text"), Qt::CaseInsensitive)) << type.toStdString();
    const QString date = row.siblingAtColumn(3).data().toString();
    EXPECT_TRUE(date.startsWith(QString::number(QFileInfo(file).lastModified().date().year()) + u'/')) << date.toStdString();
}
