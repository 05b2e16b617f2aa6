// The folder scan: which files are listed, in what order, and what the store
// holds after each way a scan ends.
#include "folder_scan.h"
#include "path_codec.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"
#include "slow_mount.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include <sys/stat.h>

using namespace kestova;
using kestova::test::JpegBytes;
using kestova::test::RecordingDialogs;
using kestova::test::Sandbox;
using kestova::test::SlowMount;

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

    QList<QStringList> Rows(const QString &text) { return kestova::test::FileRows(DataMdbPath(), text); }

    QList<QStringList> Details()
    {
        return Rows("SELECT PhotoPath,PhotoWidth,PhotoHeight,WidthAndHeight,PhotoArea,IsSucceed FROM PhotoDetail "
                    "ORDER BY rowid");
    }
    QList<QStringList> Totals() { return kestova::test::GridRows(store->ReadTotalGrid()); }

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

TEST(ListFiles, NamesInUpperCaseOrderAsNtfsKeepsThem)
{
    Sandbox box;
    for (const char *name : {"_under", "[br]", "Zeta", "IMG_1", "IMGA", "imga", "b", "B"})
        box.writeFile(QString("p/") + name, "x");
    QStringList list;
    const QString root = box.path("p");
    ListFiles(root, "*.*", list);
    EXPECT_EQ(Relative(root, list), (QStringList{"/B", "/b", "/IMGA", "/imga", "/IMG_1", "/Zeta", "/[br]", "/_under"}));
}

// GBK "照片" and "相片", and bytes that neither UTF-8 nor GBK can read;
// GBK "图片", whose bytes are also valid UTF-8 ("ͼƬ").
const QByteArray GbkPhotos("\xD5\xD5\xC6\xAC");
const QByteArray GbkPictures("\xCF\xE0\xC6\xAC");
const QByteArray Undecodable("\xFF\x80x\xD5");
const QByteArray GbkImages("\xCD\xBC\xC6\xAC");

// Each file holds its own name on disk, so a listed path that opens the
// wrong file shows.
TEST(ListFiles, EveryNameIsListedAndItsTextOpensThatFileAgain)
{
    Sandbox box;
    const QList<QByteArray> names = {
        "p/" + GbkPhotos + ".jpg",
        "p/" + QString("照片.jpg").toUtf8(), // the same text as the GBK name above
        "p/" + GbkPictures + ".jpg",
        "p/" + Undecodable + ".jpg",
        "p/" + GbkPhotos + "/" + GbkPictures + ".jpg",
        "p/" + Undecodable + "/a.jpg",
        "p/" + GbkImages + ".jpg",
        "p/" + QString("图片.jpg").toUtf8(),
        "p/" + GbkPhotos + "/" + GbkImages + ".jpg",
    };
    for (const QByteArray &name : names)
        box.writeRawFile(name, name);
    QStringList list;
    const QString root = box.path("p");
    ASSERT_EQ(ListFiles(root, "*.*", list), names.size());
    // GBK text unless the folder holds the same text in UTF-8: then every
    // byte above 0x7F stands for itself, as it does in names GBK cannot read.
    const QString escapedPhotos = QString::fromUtf16(u"\uF7D5\uF7D5\uF7C6\uF7AC");
    const QString undecodable = QString::fromUtf16(u"\uF7FF\uF780x\uF7D5");
    const QString escapedImages = QString::fromUtf16(u"\uF7CD\uF7BC\uF7C6\uF7AC");
    EXPECT_EQ(Relative(root, list),
              (QStringList{"/图片.jpg", "/照片.jpg", "/相片.jpg", "/" + escapedImages + ".jpg", "/" + escapedPhotos + ".jpg",
                           "/" + undecodable + ".jpg", "/照片/图片.jpg", "/照片/相片.jpg", "/" + undecodable + "/a.jpg"}));
    QList<QByteArray> opened;
    for (const QString &path : list) {
        EXPECT_FALSE(path.contains(QChar::ReplacementCharacter)) << path.toStdString();
        QFile file;
        ASSERT_TRUE(OpenForReading(file, path)) << path.toStdString();
        opened << file.readAll();
        EXPECT_EQ(EncodePath(path), QFile::encodeName(box.root()) + '/' + opened.last());
    }
    std::sort(opened.begin(), opened.end());
    QList<QByteArray> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
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

TEST(ListFiles, AMissingFolderOrAFileListsNothing)
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
    settings.PhotoSize = LengthUnit::Inch;
    settings.PhotoArea = AreaUnit::SquareCentimetre;
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

TEST_F(ScanTest, PhotosWithGbkNamesAreMeasuredUnderTheirDecodedNames)
{
    box.writeRawFile("gbk/" + GbkPhotos + ".jpg", JpegBytes(960, 480));
    box.writeRawFile("gbk/" + GbkPictures + "/" + Undecodable + ".jpg", JpegBytes(480, 960));
    const QString root = box.path("gbk") + '/';
    EXPECT_EQ(ScanFolder(root, settings, *store, dialogs), ScanEnd::Completed);
    EXPECT_EQ(Rows("SELECT PhotoPath,WidthAndHeight,IsSucceed FROM PhotoDetail ORDER BY rowid"),
              (QList<QStringList>{{root + "照片.jpg", "25.4*12.7", "1"},
                                  {root + "相片/" + DecodeName(Undecodable) + ".jpg", "25.4*12.7", "1"}}));
    EXPECT_EQ(Totals(), (QList<QStringList>{{"25.4*12.7", "2", "0.06"}, {"合计", "2", "0.06"}}));
}

// A tree whose paths pass the system's limit, made with mkdirat and openat:
// photos above, at and far below the limit are all counted.
TEST_F(ScanTest, FoldersDeeperThanThePathLimitAreCounted)
{
    const QByteArray level = QByteArray(200, 'd') + '/';
    QByteArray deep = "deep/";
    int photos = 0;
    for (int depth = 0; deep.size() < 3 * PATH_MAX; ++depth) {
        deep += depth == 25 ? GbkPhotos + '/' : level;
        if (depth % 8 == 0) {
            box.writeRawFile(deep + "p.jpg", JpegBytes(960, 480));
            ++photos;
        }
    }
    box.writeRawFile(deep + "p.jpg", JpegBytes(960, 480));
    ++photos;
    EXPECT_EQ(ScanFolder(box.path("deep") + '/', settings, *store, dialogs), ScanEnd::Completed);
    const auto rows = Rows("SELECT PhotoPath,WidthAndHeight,IsSucceed FROM PhotoDetail ORDER BY rowid");
    ASSERT_EQ(rows.size(), photos);
    EXPECT_GT(rows.last()[0].toUtf8().size(), 2 * PATH_MAX);
    EXPECT_TRUE(rows.last()[0].contains("/照片/"));
    for (const QStringList &row : rows)
        EXPECT_EQ(row.mid(1), (QStringList{"25.4*12.7", "1"})) << row[0].size();
    EXPECT_EQ(Totals().last().mid(0, 2), (QStringList{"合计", QString::number(photos)}));
}

// Through a share that answers every request 2 ms late, folders are listed
// and files measured by many threads at once, out of order; the rows still
// come in list order, and folders reached twice through links are counted
// where the depth-first order reaches them first.
TEST_F(ScanTest, OnASlowShareTheRowsComeInListOrder)
{
    const QStringList folders = {"d0", "D1", "_x", "[y]", "Zeta", "a/b", "a/B2", "a/b/c", "e", "f", "g", "h"};
    for (int d = 0; d < folders.size(); ++d) {
        for (int f = 0; f < 9; ++f) {
            const QString name = f % 2 ? QString("IMG_%1.jpg").arg(f) : QString("img%1.JPG").arg(f);
            box.writeFile(QString("share/%1/%2").arg(folders[d], name), JpegBytes(96 * (f + 1), 96 * (d + 1)));
        }
    }
    box.writeRawFile("share/" + GbkPhotos + "/" + GbkPictures + ".jpg", JpegBytes(960, 480));
    box.writeFile("share/notes.txt", "text");
    const QString root = box.path("share");
    ASSERT_TRUE(QFile::link("..", root + "/a/b/c/up"));  // a loop
    ASSERT_TRUE(QFile::link("../e", root + "/D1/e-again")); // e, reached first from here
    ASSERT_EQ(ScanFolder(root + '/', settings, *store, dialogs), ScanEnd::Completed);
    const auto local = Rows("SELECT PhotoPath,WidthAndHeight,IsSucceed FROM PhotoDetail ORDER BY rowid");
    ASSERT_EQ(local.size(), 12 * 9 + 2); // e is counted once, under D1 (before E)
    EXPECT_EQ(local[1][0], root + "/a/b/img0.JPG");
    EXPECT_TRUE(std::any_of(local.begin(), local.end(),
                            [&](const QStringList &row) { return row[0] == root + "/D1/e-again/img0.JPG"; }));

    SlowMount share(root, 2000);
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    QStringList listed;
    ASSERT_TRUE(ListFiles(share.path(), "*.*", listed, {}).deviceWaits) << "the mirror answers too fast for a share";
    EXPECT_EQ(ScanFolder(share.path() + '/', settings, *store, dialogs), ScanEnd::Completed);
    auto rows = Rows("SELECT PhotoPath,WidthAndHeight,IsSucceed FROM PhotoDetail ORDER BY rowid");
    for (QStringList &row : rows)
        row[0].replace(share.path(), root);
    EXPECT_EQ(rows, local);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A share that stops answering for one file does not hold up a stop: the
// scan returns while the file is still being read, with the rows before it.
TEST_F(ScanTest, AStopWhileTheShareHoldsAFileUpReturnsWithoutWaitingForIt)
{
    QList<QStringList> expected;
    for (int i = 0; i < 12; ++i)
        box.writeFile(QString("held/f%1.jpg").arg(i, 2, 10, QChar(u'0')), JpegBytes(96, 96));
    SlowMount share(box.path("held"), 0, "f05.jpg");
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    for (int i = 0; i < 5; ++i)
        expected.append({share.path() + QString("/f%1.jpg").arg(i, 2, 10, QChar(u'0'))});

    class StopAtTheHeldFile : public ScanObserver
    {
        bool Waiting(int done) override { return done == 5; }
    } observer;
    EXPECT_EQ(ScanFolder(share.path() + '/', settings, *store, dialogs, &observer), ScanEnd::Stopped);
    EXPECT_TRUE(share.held());
    EXPECT_FALSE(share.letGo()) << "the scan waited for the held file";
    EXPECT_EQ(Rows("SELECT PhotoPath FROM PhotoDetail ORDER BY rowid"), expected);
}

// A share lost in the middle of a count (the mirror ends while a file is
// held up): the count ends as failed, names the folder, and makes no totals
// of the files that failed for that reason.
TEST_F(ScanTest, AFolderThatGoesAwayDuringTheCountFailsIt)
{
    for (int i = 0; i < 12; ++i)
        box.writeFile(QString("card/f%1.jpg").arg(i, 2, 10, QChar(u'0')), JpegBytes(96, 96));
    SlowMount card(box.path("card"), 0, "f05.jpg");
    if (!card.whyNot().isEmpty())
        GTEST_SKIP() << card.whyNot().toStdString();

    struct PullTheCard : ScanObserver {
        SlowMount &card;
        explicit PullTheCard(SlowMount &c) : card(c) {}
        bool Waiting(int) override
        {
            if (card.held())
                card.vanish();
            return false;
        }
    } observer(card);
    ScanReport report;
    EXPECT_EQ(ScanFolder(card.path() + '/', settings, *store, dialogs, &observer, &report), ScanEnd::FolderGone);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("统计失败：文件夹 " + card.path() + "/ 在统计中途已无法访问"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(report.goneMessage, dialogs.messages[0].text);
    EXPECT_TRUE(Totals().isEmpty());
}
