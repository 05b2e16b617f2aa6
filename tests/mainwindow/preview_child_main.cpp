// Not a test: previews one file the way a click on its row does, in a
// process of its own, so that the memory it takes can be measured alone.
// Exit status 0 when the picture is drawn, 1 when "显示失败!" is shown;
// without a file it only starts up (the idle baseline).
#include "photo_preview.h"

#include "qt_image_readers.h"
#include "recording_dialogs.h"
#include "settings.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    kestova::InstallQtImageReaders(&kestova::LinkedQtImageReaders());  // as the program does
    kestova::PhotoBox box;
    box.resize(402, 302);
    if (argc < 2)
        return 0;
    kestova::test::RecordingDialogs dialogs;
    kestova::PreviewPhoto(box, QString::fromLocal8Bit(argv[1]), kestova::Settings(), dialogs);
    return box.HasPicture() && dialogs.messages.isEmpty() ? 0 : 1;
}
