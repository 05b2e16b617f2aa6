// The photo preview and the editor command.
#include "photo_preview.h"

#include "decoder_claims.h"
#include "dialogs.h"
#include "heif_preview.h"
#include "numbers.h"
#include "path_codec.h"
#include "program_title.h"
#include "settings.h"
#include "shell.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include <cerrno>
#include <cstring>
#include <limits>

namespace kestova {

namespace {

int Round(double value)
{
    return static_cast<int>(RoundHalfEven(value, 0));
}

// Decoding refuses images that would need more than this much memory at the
// size they are decoded (Qt's own default, stated here so that no
// environment setting can lift it).
constexpr int DecodeLimitMegabytes = 256;
constexpr qint64 DecodeLimitBytes = qint64(DecodeLimitMegabytes) * 1024 * 1024;

// libmng's memory per pixel of the frame and of each image it holds (the
// canvas, the image objects and Qt's copy).
constexpr int MngBytesPerPixel = 8;

// A PNG file read up to cut, then closed with an IEND chunk: the file
// without its damaged tail.
class CutPngDevice : public QIODevice
{
public:
    CutPngDevice(const QString &path, qint64 cut)
        : m_path(path)
        , m_cut(cut)
    {
    }

    bool open(OpenMode mode) override
    {
        return mode == ReadOnly && OpenForReading(m_file, m_path) && QIODevice::open(mode);
    }
    qint64 size() const override { return m_cut + qint64(sizeof IendChunk); }
    bool seek(qint64 pos) override
    {
        if (pos < 0 || pos > size() || !QIODevice::seek(pos))
            return false;
        m_pos = pos;
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        if (m_pos < m_cut) {
            if (!m_file.seek(m_pos))
                return -1;
            done = m_file.read(data, qMin(maxSize, m_cut - m_pos));
            if (done < 0)
                return -1;
        } else {
            const qint64 at = m_pos - m_cut;
            done = qBound<qint64>(0, qint64(sizeof IendChunk) - at, maxSize);
            std::memcpy(data, IendChunk + at, size_t(done));
        }
        m_pos += done;
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    static constexpr char IendChunk[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', '\xAE', 'B', '\x60', '\x82'};
    QString m_path;
    QFile m_file;
    qint64 m_cut;
    qint64 m_pos = 0;
};

// What the decoder may be given of the file.
enum class Vetting { Whole, Cut, Refused };

Vetting VetFile(const QString &path, qint64 *cut)
{
    ImageSource source(path);
    if (!source.isOpen())
        return Vetting::Whole; // the reader says it cannot read it
    const uchar *prefix = source.prefix();
    const qint64 n = source.prefixSize();
    if (IsPng(prefix, n)) {
        // A chunk running past the end of the file: the file is damaged.
        // When its image data is complete, the picture is shown without
        // the damaged tail.
        const PngChunks png = CheckPngChunks(source, 0, source.size());
        *cut = png.cut;
        return png.fit == PngChunks::Whole ? Vetting::Whole
             : png.fit == PngChunks::ImageThenCut ? Vetting::Cut
                                                   : Vetting::Refused;
    }
    if (StartsWith(prefix, n, "\xFF\xD8\xFF", 3)) // a few hundred bytes could claim 20 GB
        return JpegBufferedBytes(source) <= double(DecodeLimitBytes) ? Vetting::Whole : Vetting::Refused;
    if (IsMng(prefix, n))
        return MngClaimedPixels(source) * MngBytesPerPixel <= double(DecodeLimitBytes) ? Vetting::Whole
                                                                                        : Vetting::Refused;
    if (IsIconFile(prefix, n)) // the limit covers the pixels, not the chunks
        return EmbeddedPngsFit(source, std::numeric_limits<quint64>::max()) ? Vetting::Whole : Vetting::Refused;
    return Vetting::Whole;
}

} // namespace

QRect FitPhotoRect(int imageWidth, int imageHeight, int boxWidth, int boxHeight)
{
    const double wi = imageWidth;
    const double hi = imageHeight;
    if (imageWidth <= boxWidth && imageHeight <= boxHeight)
        return QRect(Round((boxWidth - wi) / 2), Round((boxHeight - hi) / 2), imageWidth, imageHeight);
    // The side that limits the scale takes the box's length, so the whole
    // photo shows: cutting its edges would hide what is going to be printed.
    if (wi * boxHeight > hi * boxWidth) {
        const int height = Round(hi / wi * boxWidth);
        return QRect(0, Round((boxHeight - height) / 2.0), boxWidth, height);
    }
    const int width = Round(wi / hi * boxHeight);
    return QRect(Round((boxWidth - width) / 2.0), 0, width, boxHeight);
}

QRect StoredRect(const QRect &uprightRect, const QSize &storedSize, QImageIOHandler::Transformations transformation)
{
    // The turn that QImageReader applies after decoding (mirror, flip, then
    // a quarter turn clockwise), as a mapping of stored to upright points.
    const qreal w = storedSize.width();
    const qreal h = storedSize.height();
    QTransform toUpright;
    if (transformation & QImageIOHandler::TransformationMirror)
        toUpright *= QTransform(-1, 0, 0, 1, w, 0);
    if (transformation & QImageIOHandler::TransformationFlip)
        toUpright *= QTransform(1, 0, 0, -1, 0, h);
    if (transformation & QImageIOHandler::TransformationRotate90)
        toUpright *= QTransform(0, 1, -1, 0, h, 0);
    return toUpright.inverted().mapRect(QRectF(uprightRect)).toAlignedRect();
}

bool PreviewOn(const Settings &settings)
{
    double value = 0;
    return !(ParseNumber(settings.Preview, &value) && value == 0);
}

PhotoBox::PhotoBox(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark)); // the application workspace
    setPalette(pal);
}

void PhotoBox::ClearPicture()
{
    m_picture = QImage();
    m_target = QRect();
    m_topLeft = QPoint();
    m_message.clear();
    update();
}

void PhotoBox::SetMessage(const QString &text)
{
    ClearPicture();
    m_message = text;
}

void PhotoBox::SetPicture(const QImage &picture, const QRect &target, const QPoint &topLeft)
{
    m_picture = picture;
    m_target = target;
    m_topLeft = topLeft;
    m_message.clear();
    update();
}

void PhotoBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inner = contentsRect();
    if (!m_message.isEmpty()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(inner.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_message);
        return;
    }
    if (m_picture.isNull())
        return;
    painter.setClipRect(inner);
    painter.drawImage(inner.topLeft() + m_topLeft, m_picture);
}

namespace {

FittedPhoto DecodeHeifFitted(const QString &path, int boxWidth, int boxHeight)
{
    FittedPhoto result;
    const HeifReader heif(path);
    if (!heif.IsOpen())
        return result;
    const QSize upright = heif.Size();
    result.target = FitPhotoRect(upright.width(), upright.height(), boxWidth, boxHeight);
    const QRect visible = result.target & QRect(0, 0, qMax(boxWidth, 0), qMax(boxHeight, 0));
    result.visibleTopLeft = visible.topLeft();
    if (visible.isEmpty()) {
        result.ok = !upright.isEmpty();
        return result;
    }
    const QImage fitted = heif.Read(result.target.size(), qint64(DecodeLimitMegabytes) * 1024 * 1024);
    if (fitted.isNull())
        return result;
    result.visible = fitted.copy(visible.translated(-result.target.topLeft()));
    result.ok = true;
    return result;
}

} // namespace

FittedPhoto DecodeFitted(const QString &path, int boxWidth, int boxHeight)
{
    FittedPhoto result;
    qint64 cut = 0;
    const Vetting vetting = VetFile(path, &cut);
    if (vetting == Vetting::Refused) {
        result.failure = QStringLiteral("图片太大或已损坏，预览不了");
        return result;
    }
    // Opened through the path codec, which finds names in any encoding and
    // paths past the system's length limit; the reader still gets the
    // extension as a hint, as it would from the path.
    QFile file;
    CutPngDevice cutPng(path, cut);
    QImageReader reader;
    if (vetting == Vetting::Cut) {
        if (!cutPng.open(QIODevice::ReadOnly)) {
            result.failure = QStringLiteral("文件打不开");
            return result;
        }
        reader.setDevice(&cutPng);
        reader.setFormat("png");
    } else {
        errno = 0;
        if (!OpenForReading(file, path)) {
            result.failure = errno == ENOENT ? QStringLiteral("文件已不存在") : QStringLiteral("文件打不开");
            return result;
        }
        reader.setDevice(&file);
        reader.setFormat(QFileInfo(path).suffix().toLower().toLatin1());
    }
    reader.setAutoTransform(true);
    reader.setAllocationLimit(DecodeLimitMegabytes);
    if (!reader.canRead()) {
        result = DecodeHeifFitted(path, boxWidth, boxHeight);
        if (!result.ok)
            result.failure = QStringLiteral("不是能识别的图片");
        return result;
    }
    const QRect box(0, 0, qMax(boxWidth, 0), qMax(boxHeight, 0));

    const QSize stored = reader.size();
    if (!stored.isValid()) {
        // A format that tells its size only by decoding: decode it whole
        // (within the limit) and scale afterwards.
        const QImage whole = reader.read();
        if (whole.isNull()) {
            result.failure = QStringLiteral("图片数据已损坏");
            return result;
        }
        result.target = FitPhotoRect(whole.width(), whole.height(), boxWidth, boxHeight);
        const QRect visible = result.target & box;
        if (!visible.isEmpty()) {
            result.visible = whole.scaled(result.target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .copy(visible.translated(-result.target.topLeft()));
        }
        result.visibleTopLeft = visible.topLeft();
        result.ok = true;
        return result;
    }
    if (stored.isEmpty()) {
        result.failure = QStringLiteral("图片数据已损坏");
        return result;
    }

    const QImageIOHandler::Transformations turn = reader.transformation();
    const bool quarterTurn = turn & QImageIOHandler::TransformationRotate90;
    const QSize upright = quarterTurn ? stored.transposed() : stored;

    result.target = FitPhotoRect(upright.width(), upright.height(), boxWidth, boxHeight);
    const QRect visible = result.target & box;
    result.visibleTopLeft = visible.topLeft();
    if (visible.isEmpty()) {
        // Nothing of it lands in the box; nothing to decode.
        result.ok = true;
        return result;
    }

    const QSize storedScaled = quarterTurn ? result.target.size().transposed() : result.target.size();
    const QRect storedClip = StoredRect(visible.translated(-result.target.topLeft()), storedScaled, turn);
    if (storedScaled != stored)
        reader.setScaledSize(storedScaled);
    if (storedClip != QRect(QPoint(0, 0), storedScaled))
        reader.setScaledClipRect(storedClip);
    result.visible = reader.read();
    if (result.visible.isNull()) {
        result.failure = QStringLiteral("图片数据已损坏");
        return result;
    }
    if (result.visible.size() != visible.size())
        result.visible = result.visible.scaled(visible.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.ok = true;
    return result;
}

void DrawPhotoFitted(PhotoBox &box, const QString &path, int boxWidth, int boxHeight, Dialogs &dialogs)
{
    const FittedPhoto photo = DecodeFitted(path, boxWidth, boxHeight);
    if (!photo.ok) {
        dialogs.ShowMessage(QStringLiteral("显示失败!"), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        return;
    }
    box.SetPicture(photo.visible, photo.target, photo.visibleTopLeft);
}

bool PreviewPhoto(PhotoBox &box, const QString &path, const Settings &settings, Dialogs &dialogs)
{
    if (path.trimmed().isEmpty())
        return false;
    box.ClearPicture();
    if (PreviewOn(settings)) {
        const QSize inner = box.InnerSize();
        DrawPhotoFitted(box, path, inner.width(), inner.height(), dialogs);
    }
    return true;
}

bool EditorSet(const Settings &settings)
{
    return settings.EditPath != QLatin1String("0") && !settings.EditPath.trimmed().isEmpty();
}

void OpenPhotoInEditor(const QString &path, const Settings &settings, Shell &shell)
{
    if (path.trimmed().isEmpty() || !EditorSet(settings))
        return;
    shell.StartProgram(settings.EditPath, path);
}

} // namespace kestova
