// Formats without a reader of our own, through Qt's image handler of the
// named format (icons, PNM, XPM, TGA …): the engine_qt_images library, the
// one part of the engine that needs Qt Gui. The handler reports the size
// from its header where it can; a handler that cannot (ICNS) decodes the
// first image, one file at a time, and only when the PNG images embedded in the
// file are whole and small: a count measures several files at once, and a
// decode costs what the file claims, not what it holds.
#include "decoder_claims.h"
#include "image_formats.h"
#include "qt_image_readers.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QList>

#include <algorithm>
#include <mutex>
#include <utility>

namespace kestova {

namespace {

// The largest embedded PNG a count decodes: 64 MB of pixels.
constexpr quint64 MaxDecodedPixels = 16 * 1024 * 1024;

std::mutex decoding;

// What Qt's image handlers say while a file is read on this thread. They
// speak through Qt's message handler ("QTgaHandler::canRead() …"); those
// words belong to the file, as its failure reason, not to standard error.
thread_local QStringList *t_heard = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void HearHandlers(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_heard && type != QtFatalMsg) {
        t_heard->append(message);
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        qt_message_output(type, context, message);
}

// Listens for the handlers' messages while it lives, on this thread.
class Listening
{
public:
    Listening()
    {
        static std::once_flag installed;
        std::call_once(installed, [] { g_previousHandler = qInstallMessageHandler(HearHandlers); });
        m_outer = std::exchange(t_heard, &m_heard);
    }
    ~Listening() { t_heard = m_outer; }
    QString First() const { return m_heard.isEmpty() ? QString() : m_heard.first().trimmed(); }

private:
    QStringList m_heard;
    QStringList *m_outer = nullptr;
};

// Qt's formats by extension, less those the engine reads by signature (a file
// without the signature is not of that format), vector drawings (no pixel
// size) and camera raw formats, which a Qt plugin may decode but this
// program does not measure.
QByteArray QtFormatFor(const QString &name)
{
    static const QList<QByteArray> formats = [] {
        static const char *const excluded[] = {
            "bmp", "dib", "gif", "jpeg", "jpg", "jpe", "jfif", "png", "tif", "tiff", "webp", "heic", "heif",
            "svg", "svgz", "pdf", "ps", "eps", "epsf", "epsi", "wmf", "emf",
            "3fr", "ari", "arw", "bay", "cap", "cr2", "cr3", "crw", "cs1", "dc2", "dcr", "dng", "drf", "eip",
            "erf", "fff", "iiq", "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "obm", "orf", "pef",
            "ptx", "pxn", "r3d", "raf", "raw", "rw2", "rwl", "rwz", "sr2", "srf", "srw", "sti", "x3f",
        };
        QList<QByteArray> list = QImageReader::supportedImageFormats();
        list.removeIf([](const QByteArray &f) {
            return std::any_of(std::begin(excluded), std::end(excluded), [&f](const char *e) { return f == e; });
        });
        return list;
    }();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || name.indexOf(u'/', dot) >= 0 || name.indexOf(u'\\', dot) >= 0)
        return QByteArray();
    const QByteArray suffix = name.mid(dot + 1).toLower().toLatin1();
    return formats.contains(suffix) ? suffix : QByteArray();
}

bool ReadQtImageHeader(ImageSource &source, const QByteArray &format, ImageHeader *header)
{
    QFile file;
    QBuffer buffer;
    QIODevice *device = &file;
    if (source.memory()) {
        buffer.setData(QByteArray::fromRawData(source.memory(), qsizetype(source.size())));
        if (!buffer.open(QIODevice::ReadOnly))
            return false;
        device = &buffer;
    } else if (!file.open(source.fileDescriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0)) {
        return false;
    }
    const Listening listening;
    QImageReader reader(device, format);
    reader.setAutoDetectImageFormat(false);
    QSize size = reader.size();
    if (!size.isValid() && !reader.supportsOption(QImageIOHandler::Size)) {
        if (!EmbeddedPngsFit(source, MaxDecodedPixels))
            return false;
        const std::lock_guard lock(decoding);
        size = reader.read().size();
    }
    if (size.width() > 0 && size.height() > 0 && SetPixelSize(header, quint64(size.width()), quint64(size.height())))
        return true;
    const QString heard = listening.First();
    if (!heard.isEmpty())
        header->failure = QStringLiteral("图片数据有误：") + heard;
    return false;
}

} // namespace

const QtImageReaders &LinkedQtImageReaders()
{
    static const QtImageReaders readers{QtFormatFor, ReadQtImageHeader};
    return readers;
}

} // namespace kestova
