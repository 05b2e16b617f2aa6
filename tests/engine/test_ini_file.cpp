// Private-profile reading and writing.
#include "ini_file.h"
#include "sandbox.h"

#include <QFile>
#include <QStringDecoder>

#include <gtest/gtest.h>

using namespace kestova;
using kestova::test::ReadBytes;
using kestova::test::Sandbox;

namespace {


QByteArray Gbk(const QString &text)
{
    QStringEncoder gbk("GBK");
    return gbk.encode(text);
}

QByteArray Encoded(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

const QByteArray Utf8Bom("\xEF\xBB\xBF");

} // namespace

TEST(IniRead, NamesWithoutCaseValueAfterFirstEqualsTrimmed)
{
    Sandbox box;
    const QString ini = box.writeFile("a.ini", "; comment\n[Sum]\n  RadixPoint  =  3 \nEditPath= C:\\a=b.exe \n"
                                               "[Other]\nRadixPoint=9\n");
    bool ok = false;
    EXPECT_EQ(ReadProfileString(ini, "SUM", "radixpoint", &ok), "3");
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadProfileString(ini, "sum", "EditPath", &ok), "C:\\a=b.exe");
    EXPECT_EQ(ReadProfileString(ini, "Other", "RadixPoint", &ok), "9");
    EXPECT_EQ(ReadProfileString(ini, "Sum", "Missing", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadProfileString(ini, "Nowhere", "RadixPoint", &ok), "");
    EXPECT_EQ(ReadProfileString(box.path("absent.ini"), "Sum", "RadixPoint", &ok), "");
    EXPECT_TRUE(ok);
    // A folder where the file should be is a failed read.
    EXPECT_EQ(ReadProfileString(box.mkdir("folder.ini"), "Sum", "RadixPoint", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(IniRead, LongValuesAreReadWhole)
{
    Sandbox box;
    QString path = "/home/店员/";
    while (path.toUtf8().size() < 600)
        path += "照片编辑器/";
    path += "edit";
    const QString ini = box.path("long.ini");
    ASSERT_TRUE(WriteProfileString(ini, "Sum", "EditPath", path));
    EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), path);
}

TEST(IniRead, AcceptsGbkAndUtf8Files)
{
    Sandbox box;
    const QString gbk = box.writeFile("gbk.ini", "[Sum]\r\nEditPath=" + Gbk("D:\\图片\\编辑.exe") + "\r\n");
    EXPECT_EQ(ReadProfileString(gbk, "Sum", "EditPath"), "D:\\图片\\编辑.exe");
    const QString utf8 = box.writeFile("utf8.ini", QString("[Sum]\nEditPath=D:\\图片\\编辑.exe\n").toUtf8());
    EXPECT_EQ(ReadProfileString(utf8, "Sum", "EditPath"), "D:\\图片\\编辑.exe");
}

TEST(IniRead, GbkWhoseBytesAreAlsoValidUtf8IsReadAsGbk)
{
    Sandbox box;
    // 图片 in GBK is CD BC C6 AC, which UTF-8 would read as "ͼƬ".
    for (const QString value : {"D:\\图片\\PS.exe", "图片", "编辑器", "没"}) {
        const QString ini = box.writeFile("gbk.ini", "[Sum]\r\nEditPath=" + Gbk(value) + "\r\n");
        EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), value) << value.toStdString();
    }
    // UTF-8 as a user's editor saves it, without and with a byte-order mark.
    for (const QString value : {"图片", "D:\\图片\\PS.exe", "编辑器"}) {
        const QByteArray text = ("[Sum]\nEditPath=" + value + "\n").toUtf8();
        EXPECT_EQ(ReadProfileString(box.writeFile("utf8.ini", text), "Sum", "EditPath"), value) << value.toStdString();
        EXPECT_EQ(ReadProfileString(box.writeFile("bom.ini", Utf8Bom + text), "Sum", "EditPath"), value);
    }
    // The byte-order mark decides, even for bytes that look like GBK text.
    const QString bom = box.writeFile("bom.ini", Utf8Bom + "[Sum]\nEditPath=" + QString("Zoë").toUtf8() + "\n");
    EXPECT_EQ(ReadProfileString(bom, "Sum", "EditPath"), "Zoë");
}

TEST(IniEncoding, NotepadUnicodeIsReadAndWrittenBackInUtf16)
{
    Sandbox box;
    const struct {
        QByteArray bom;
        QStringConverter::Encoding encoding;
    } cases[] = {{"\xFF\xFE", QStringConverter::Utf16LE}, {"\xFE\xFF", QStringConverter::Utf16BE}};
    for (const auto &c : cases) {
        const QString ini = box.writeFile(
            "unicode.ini", c.bom + Encoded("[Sum]\r\nEditPath=D:\\图片\\编辑.exe\r\nOther=保留\r\n", c.encoding));
        EXPECT_EQ(ReadProfileString(ini, "sum", "EditPath"), "D:\\图片\\编辑.exe");
        EXPECT_EQ(ReadProfileString(ini, "Sum", "Other"), "保留");
        ASSERT_TRUE(WriteProfileString(ini, "Sum", "EditPath", "E:\\新"));
        ASSERT_TRUE(WriteProfileString(ini, "DPIAlarm", "AlarmNum", "150"));
        EXPECT_EQ(ReadBytes(ini),
                  c.bom + Encoded("[Sum]\r\nEditPath=E:\\新\r\nOther=保留\r\n[DPIAlarm]\r\nAlarmNum=150\r\n", c.encoding));
    }
}

// UTF-16 as other editors save it, without a byte-order mark, in either
// byte order: read, and written back the same way.
TEST(IniEncoding, Utf16WithoutAMarkIsReadAndKeptInItsByteOrder)
{
    Sandbox box;
    for (const QStringConverter::Encoding encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        const QString ini = box.writeFile("plain16.ini", Encoded("[Sum]\r\nEditPath=D:\\图片\\编辑.exe\r\n", encoding));
        EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), "D:\\图片\\编辑.exe");
        ASSERT_TRUE(WriteProfileString(ini, "Sum", "Preview", "0"));
        EXPECT_EQ(ReadBytes(ini), Encoded("[Sum]\r\nEditPath=D:\\图片\\编辑.exe\r\nPreview=0\r\n", encoding));
    }
}

// A file too large to read is never replaced by a save: what it holds
// beyond the program's keys would be lost.
TEST(IniWrite, AFileTooLargeToReadIsNeverReplaced)
{
    Sandbox box;
    QByteArray big = "[Sum]\r\nRadixPoint=5\r\n[Custom]\r\n";
    big += QByteArray(1 << 20, ';') + "\r\n";
    const QString ini = box.writeFile("big.ini", big);
    QString error;
    EXPECT_FALSE(WriteProfileStrings(ini, {{"Sum", "RadixPoint", "3"}}, &error));
    EXPECT_TRUE(error.contains("文件过大")) << error.toStdString();
    EXPECT_EQ(ReadBytes(ini), big);
}

TEST(IniWrite, ReplacesValueAndKeepsEveryOtherLineByteForByte)
{
    Sandbox box;
    const QByteArray before = "; Kestova settings\r\n[Sum]\r\nPhotoSize=0\r\n  radixpoint = 2 \r\n"
                              "Unknown=x\n\r\n[Extra]\r\nKey=" + Gbk("中文") + "\r\n";
    const QString ini = box.writeFile("a.ini", before);
    ASSERT_TRUE(WriteProfileString(ini, "SUM", "RadixPoint", "5"));
    QByteArray expected = before;
    expected.replace("  radixpoint = 2 \r\n", "RadixPoint=5\r\n");
    EXPECT_EQ(ReadBytes(ini), expected);
}

TEST(IniWrite, MissingKeyGoesToTheEndOfItsSectionMissingSectionToTheEnd)
{
    Sandbox box;
    const QString ini = box.writeFile("a.ini", "[Sum]\r\nPhotoSize=0\r\n\r\n[DPIAlarm]\r\nAlarmNum=150");
    ASSERT_TRUE(WriteProfileString(ini, "Sum", "Preview", "1"));
    ASSERT_TRUE(WriteProfileString(ini, "MemberName", "PathAsMemberName", "0"));
    EXPECT_EQ(ReadBytes(ini), QByteArray("[Sum]\r\nPhotoSize=0\r\nPreview=1\r\n\r\n[DPIAlarm]\r\nAlarmNum=150\r\n"
                                         "[MemberName]\r\nPathAsMemberName=0\r\n"));
}

TEST(IniWrite, WritesGbkBytes)
{
    Sandbox box;
    const QString ini = box.path("a.ini");
    ASSERT_TRUE(WriteProfileString(ini, "Sum", "EditPath", "D:\\图片\\编辑.exe"));
    EXPECT_EQ(ReadBytes(ini), "[Sum]\r\nEditPath=" + Gbk("D:\\图片\\编辑.exe") + "\r\n");
    EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), "D:\\图片\\编辑.exe");
}

TEST(IniWrite, ValueGbkCannotHoldTurnsTheFileIntoUtf8)
{
    Sandbox box;
    const QString ini = box.writeFile("a.ini", "[Sum]\r\nEditPath=" + Gbk("旧") + "\r\nOther=" + Gbk("保留") + "\r\n");
    const QString value = "/home/Zoë/🙂/édit";
    ASSERT_TRUE(WriteProfileString(ini, "Sum", "EditPath", value));
    const QByteArray bytes = ReadBytes(ini);
    // With a byte-order mark, so that the next reading need not guess.
    EXPECT_EQ(bytes, Utf8Bom + QString("[Sum]\r\nEditPath=%1\r\nOther=保留\r\n").arg(value).toUtf8());
    EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), value);
    EXPECT_EQ(ReadProfileString(ini, "Sum", "Other"), "保留");
    // Later writes keep the file in UTF-8.
    ASSERT_TRUE(WriteProfileString(ini, "Sum", "Preview", "开"));
    EXPECT_EQ(ReadProfileString(ini, "Sum", "EditPath"), value);
    EXPECT_EQ(ReadProfileString(ini, "Sum", "Preview"), "开");
}

TEST(IniWrite, FailureReportsFalseAndLeavesNothing)
{
    Sandbox box;
    box.writeFile("file", "x");
    EXPECT_FALSE(WriteProfileString(box.path("file/a.ini"), "Sum", "Preview", "1"));
}
