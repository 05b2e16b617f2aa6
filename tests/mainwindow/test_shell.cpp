// The desktop shell's program start: the picture editor is given the photo's
// path as its bytes on disk.
#include "path_codec.h"
#include "sandbox.h"
#include "shell.h"

#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/stat.h>

using namespace kestova;
using kestova::test::Sandbox;

// The "editor" is a script in a GBK-named folder that copies the file it is
// given next to itself; the copy shows it could open that file.
TEST(SystemShell, EditorOpensAPhotoWhoseNameIsGbk)
{
    Sandbox box;
    const QByteArray folder("\xD5\xD5\xC6\xAC"); // 照片
    box.writeRawFile(folder + "/\xCF\xE0\xC6\xAC.jpg", "photo bytes"); // 相片.jpg
    box.writeRawFile(folder + "/editor", "#!/bin/sh\ncat \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
    ASSERT_EQ(::chmod(QFile::encodeName(box.root()) + '/' + folder + "/editor", 0755), 0);

    const QString text = box.root() + "/照片/";
    SystemShell().StartProgram(text + "editor", text + "相片.jpg");

    // The editor runs detached; give it time to finish.
    QFile copy;
    for (int i = 0; i < 200 && !OpenForReading(copy, text + "editor.out"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(copy.isOpen());
    EXPECT_EQ(copy.readAll(), "photo bytes");
}
