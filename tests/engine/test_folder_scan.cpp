// The folder scan: which files are listed, in what order, and what the store
// holds after each way a scan ends.
#include "folder_scan.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"
#include "store_statements.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kestova;
using kestova::test::JpegBytes;
using kestova::test::RecordingDialogs;
using kestova::test::Sandbox;

namespace {

QStringList Relative(const QString &root, const QStringList &paths)
{
    QStringList out;
    for (const QString &p : paths)
        out << (p.startsWith(root) ? p.mid(root.size()) : p);
    return out;
}

class ScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        box.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
    }

    QList<QStringList> Rows(const QString &text) { return kestova::test::QueryRows(store->database(), text); }

    QList<QStringList> Details()
    {
        return Rows("SELECT PhotoPath,PhotoWidth,PhotoHeight,WidthAndHeight,PhotoArea,IsSucceed FROM PhotoDetail "
                    "ORDER BY rowid");
    }
    QList<QStringList> Totals() { return Rows(Statement::S7_SelectTotalGrid); }

    QString Folder(const QString &relative) { return box.mkdir(relative) + '/'; }

    Sandbox box;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    RecordingDialogs dialogs;
};

// Records the calls of a scan and stops it after a given file.
class Recorder : public ScanObserver
{
public:
    explicit Recorder(int stopAfter = -1) : m_stopAfter(stopAfter) {}
    void FilesListed(int count) override { calls << QString("listed %1").arg(count); }
    bool FileDone(int done) override
    {
        calls << QString("done %1").arg(done);
        return done == m_stopAfter;
    }
    QStringList calls;

private:
    int m_stopAfter;
};

} // namespace

TEST(ListFiles, OwnFilesFirstThenSubFoldersDepthFirstInCaseInsensitiveOrder)
{
    Sandbox box;
    box.writeFile("p/b.txt", "text");
    box.writeFile("p/A.jpg", "x");
    box.writeFile("p/c", "no extension");
    box.writeFile("p/s/c.jpg", "x");
    box.writeFile("p/S2/d.jpg", "x");
    box.writeFile("p/s/t/e.jpg", "x");
    box.writeFile("p/.hidden.jpg", "x");
    box.writeFile("p/.cache/f.jpg", "x");
    box.mkdir("p/empty");
    QStringList list;
    const QString root = box.path("p");
    EXPECT_EQ(ListFiles(root, "*.*", list), 6);
    EXPECT_EQ(Relative(root, list), (QStringList{"/A.jpg", "/b.txt", "/c", "/s/c.jpg", "/s/t/e.jpg", "/S2/d.jpg"}));

    // A path that ends with the separator does not get a second one, and the
    // running count covers only what this call appended.
    QStringList again = {"already there"};
    EXPECT_EQ(ListFiles(root + '/', "*.*", again), 6);
    EXPECT_EQ(again.size(), 7);
    EXPECT_EQ(again[1], root + "/A.jpg");
}

TEST(ListFiles, LinksAndSpecialFiles)
{
    Sandbox box;
    box.writeFile("p/a.jpg", "x");
    box.writeFile("p/s/b.jpg", "x");
    box.writeFile("elsewhere/c.jpg", "x");
    const QString root = box.path("p");
    // A link back up the tree, a link to another folder, a link to a file,
    // a broken link and a FIFO.
    ASSERT_TRUE(QFile::link(root, root + "/s/loop"));
    ASSERT_TRUE(QFile::link(box.path("elsewhere"), root + "/x-other"));
    ASSERT_TRUE(QFile::link(root + "/a.jpg", root + "/z-link.jpg"));
    ASSERT_TRUE(QFile::link(root + "/missing.jpg", root + "/broken.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/pipe.jpg").constData(), 0600), 0);
    QStringList list;
    EXPECT_EQ(ListFiles(root, "*.*", list), 4);
    EXPECT_EQ(Relative(root, list), (QStringList{"/a.jpg", "/z-link.jpg", "/s/b.jpg", "/x-other/c.jpg"}));
}

TEST(ListFiles, MissingOrUnreadableFolderListsNothing)
{
    Sandbox box;
    QStringList list;
    EXPECT_EQ(ListFiles(box.path("nowhere"), "*.*", list), 0);
    EXPECT_EQ(ListFiles(box.writeFile("file.jpg", "x"), "*.*", list), 0);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(ScanTest, CompletedScanStoresEveryFileAndRebuildsTotals)
{
    const QString root = Folder("photos");
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));   // 10 x 5 inches at 96 dpi
    box.writeFile("photos/b.txt", "not an image");
    box.writeFile("photos/s/c.jpg", JpegBytes(480, 960)); // the same picture turned
    Recorder recorder;
    EXPECT_EQ(ScanFolder(root, settings, *store, dialogs, &recorder), ScanEnd::Completed);
    EXPECT_EQ(recorder.calls, (QStringList{"listed 3", "done 1", "done 2", "done 3"}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    // 10 x 5 in = 50 in² = 0.032258 m²: 0.0323 at four decimals. The size
    // columns always hold width and height; the key puts the longer side first.
    EXPECT_EQ(Details(), (QList<QStringList>{
                             {root + "a.jpg", "25.4", "12.7", "25.4*12.7", "0.0323", "1"},
                             {root + "b.txt", "0", "0", "0*0", "0", "0"},
                             {root + "s/c.jpg", "12.7", "25.4", "25.4*12.7", "0.0323", "1"},
                         }));
    EXPECT_EQ(Totals(), (QList<QStringList>{{"25.4*12.7", "2", "0.06"}, {"合计", "2", "0.06"}}));
}

TEST_F(ScanTest, WithoutSamenessTurnedPicturesAreTwoSizesAndAreasRoundTwice)
{
    settings.Sameness = false;
    const QString root = Folder("photos");
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));
    box.writeFile("photos/b.jpg", JpegBytes(480, 960));
    EXPECT_EQ(ScanFolder(root, settings, *store, dialogs), ScanEnd::Completed);
    EXPECT_EQ(Rows("SELECT WidthAndHeight,PhotoArea FROM PhotoDetail ORDER BY rowid"),
              (QList<QStringList>{{"25.4*12.7", "0.03"}, {"12.7*25.4", "0.03"}}));
    EXPECT_EQ(Totals(), (QList<QStringList>{{"12.7*25.4", "1", "0.03"}, {"25.4*12.7", "1", "0.03"}, {"合计", "2", "0.06"}}));
}

TEST_F(ScanTest, UnitsAndDecimalsComeFromTheSettings)
{
    settings.PhotoSize = "1";
    settings.PhotoArea = "1";
    settings.UnitRadixPoint = 1;
    settings.RadixPoint = 0;
    const QString root = Folder("photos");
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));
    EXPECT_EQ(ScanFolder(root, settings, *store, dialogs), ScanEnd::Completed);
    // 50 in² = 322.58 cm²: 322.6 per picture, 323 in the totals.
    EXPECT_EQ(Rows("SELECT WidthAndHeight,PhotoArea FROM PhotoDetail"), (QList<QStringList>{{"10*5", "322.6"}}));
    EXPECT_EQ(Totals(), (QList<QStringList>{{"10*5", "1", "323"}, {"合计", "1", "323"}}));
}

TEST_F(ScanTest, NoFileFoundLeavesTheStoreAlone)
{
    const QString root = Folder("photos");
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));
    ASSERT_EQ(ScanFolder(root, settings, *store, dialogs), ScanEnd::Completed);
    const auto details = Details();
    const auto totals = Totals();

    box.writeFile("empty/.hidden.jpg", JpegBytes(10, 10));
    box.mkdir("empty/sub");
    for (const QString &folder : {Folder("empty"), QString(), box.path("missing") + '/'}) {
        dialogs.messages.clear();
        Recorder recorder;
        EXPECT_EQ(ScanFolder(folder, settings, *store, dialogs, &recorder), ScanEnd::NoFiles);
        EXPECT_EQ(recorder.calls, QStringList{"listed 0"});
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].text, "文件不存在！");
        EXPECT_EQ(dialogs.messages[0].title, "系统提示");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(Details(), details);
        EXPECT_EQ(Totals(), totals);
    }
}

TEST_F(ScanTest, StoppedScanKeepsMeasuredRowsAndThePreviousTotals)
{
    box.writeFile("first/a.jpg", JpegBytes(960, 480));
    ASSERT_EQ(ScanFolder(Folder("first"), settings, *store, dialogs), ScanEnd::Completed);
    const auto totals = Totals();

    for (int i = 0; i < 4; ++i)
        box.writeFile(QString("second/%1.jpg").arg(i), JpegBytes(480, 480));
    Recorder recorder(2);
    EXPECT_EQ(ScanFolder(Folder("second"), settings, *store, dialogs, &recorder), ScanEnd::Stopped);
    EXPECT_EQ(recorder.calls, (QStringList{"listed 4", "done 1", "done 2"}));
    EXPECT_EQ(Rows("SELECT PhotoPath FROM PhotoDetail ORDER BY rowid"),
              (QList<QStringList>{{box.path("second/0.jpg")}, {box.path("second/1.jpg")}}));
    EXPECT_EQ(Totals(), totals);
}

TEST_F(ScanTest, ScanWithoutAnyImageHoldsOnlyTheEmptyTotalRow)
{
    box.writeFile("docs/readme.txt", "hello");
    box.writeFile("docs/empty.jpg", "");
    EXPECT_EQ(ScanFolder(Folder("docs"), settings, *store, dialogs), ScanEnd::Completed);
    EXPECT_EQ(Totals(), (QList<QStringList>{{"合计", "<null>", "<null>"}}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM PhotoDetail WHERE IsSucceed=FALSE AND WidthAndHeight='0*0'"),
              QList<QStringList>{{"2"}});
}

TEST_F(ScanTest, PathsWithApostrophesAndChineseAreStoredAsOnDisk)
{
    const QString root = Folder("Bob's 照片");
    box.writeFile("Bob's 照片/it's.jpg", JpegBytes(96, 96));
    EXPECT_EQ(ScanFolder(root, settings, *store, dialogs), ScanEnd::Completed);
    EXPECT_EQ(Rows("SELECT PhotoPath,WidthAndHeight FROM PhotoDetail"),
              (QList<QStringList>{{root + "it's.jpg", "2.54*2.54"}}));
}
