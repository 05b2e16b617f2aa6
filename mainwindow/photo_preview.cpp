// The photo preview and the editor command.
#include "photo_preview.h"

#include "decoder_claims.h"
#include "dialogs.h"
#include "heif_preview.h"
#include "image_headers.h"
#include "image_source.h"
#include "numbers.h"
#include "preview_bytes.h"
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

// A PNG's damaged tail replaced by an IEND chunk.
const QByteArray IendChunk("\0\0\0\0IEND\xAE\x42\x60\x82", 12);

PreviewBytes Refused(const QString &reason)
{
    PreviewBytes result;
    result.kind = PreviewBytes::Refused;
    result.reason = reason;
    return result;
}

const QString TooLarge = QStringLiteral("图片过大，预览需要的内存超出限制");
const QString Damaged = QStringLiteral("文件已损坏");

// What the decoder may be given of the file.
PreviewBytes VetFile(const QString &path)
{
    ImageSource source(path);
    if (!source.isOpen())
        return {}; // the reader says it cannot read it
    const uchar *prefix = source.prefix();
    const qint64 n = source.prefixSize();
    if (IsPng(prefix, n)) {
        // A chunk running past the end of the file: the file is damaged.
        // When its image data is complete, the picture is shown without
        // the damaged tail.
        const PngChunks png = CheckPngChunks(source, 0, source.size());
        if (png.fit == PngChunks::Whole)
            return {};
        if (png.fit != PngChunks::ImageThenCut)
            return Refused(Damaged);
        PreviewBytes cut;
        cut.kind = PreviewBytes::Pieces;
        cut.pieces = {{0, png.cut, {}}, {-1, IendChunk.size(), IendChunk}};
        return cut;
    }
    if (StartsWith(prefix, n, "\xFF\xD8\xFF", 3)) { // a few hundred bytes could claim 20 GB
        if (JpegBufferedBytes(source) > double(DecodeLimitBytes))
            return Refused(TooLarge);
        return LeanJpeg(source);
    }
    if (StartsWith(prefix, n, "II*\0", 4) || StartsWith(prefix, n, "MM\0*", 4) || StartsWith(prefix, n, "II+\0", 4)
        || StartsWith(prefix, n, "MM\0+", 4))
        return LeanTiff(source);
    if (StartsWith(prefix, n, "RIFF", 4) && n >= 12 && std::memcmp(prefix + 8, "WEBP", 4) == 0)
        return LeanWebp(source);
    if (IsMng(prefix, n))
        return MngClaimedPixels(source) * MngBytesPerPixel <= double(DecodeLimitBytes) ? PreviewBytes()
                                                                                        : Refused(TooLarge);
    if (IsIconFile(prefix, n)) // the limit covers the pixels, not the chunks
        return EmbeddedPngsFit(source, std::numeric_limits<quint64>::max()) ? PreviewBytes() : Refused(TooLarge);
    return {};
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

const QString CannotDecode = QStringLiteral("无法解码图片");

// A decoder gave no picture: the file is damaged, or its picture would take
// more memory than the limit.
FittedPhoto Failed(FittedPhoto result, const QSize &claimed)
{
    result.reason = claimed.isValid() && qint64(claimed.width()) * claimed.height() * 4 > DecodeLimitBytes
        ? TooLarge
        : CannotDecode;
    return result;
}

FittedPhoto DecodeHeifFitted(const QString &path, int boxWidth, int boxHeight)
{
    FittedPhoto result;
    result.reason = CannotDecode;
    const HeifReader heif(path);
    if (!heif.IsOpen())
        return result;
    const QSize upright = heif.Size();
    result.target = FitPhotoRect(upright.width(), upright.height(), boxWidth, boxHeight);
    const QRect visible = result.target & QRect(0, 0, qMax(boxWidth, 0), qMax(boxHeight, 0));
    result.visibleTopLeft = visible.topLeft();
    if (visible.isEmpty()) {
        result.ok = !upright.isEmpty();
        if (result.ok)
            result.reason.clear();
        return result;
    }
    const QImage fitted = heif.Read(result.target.size(), qint64(DecodeLimitMegabytes) * 1024 * 1024);
    if (fitted.isNull())
        return result;
    result.visible = fitted.copy(visible.translated(-result.target.topLeft()));
    result.ok = true;
    result.reason.clear();
    return result;
}

} // namespace

FittedPhoto DecodeFitted(const QString &path, int boxWidth, int boxHeight)
{
    FittedPhoto result;
    result.reason = CannotDecode;
    // What the count could not measure is not shown as if it were fine.
    const ImageHeader header = ReadImageHeader(path);
    const QSize claimed(header.width, header.height);
    if (!header.valid) {
        result.reason = ImageSource(path).isOpen() ? QStringLiteral("无法读出图片的尺寸，统计时记为失败")
                                                   : QStringLiteral("无法读取文件");
        return result;
    }
    const PreviewBytes bytes = VetFile(path);
    if (bytes.kind == PreviewBytes::Refused) {
        result.reason = bytes.reason;
        return result;
    }
    // Opened through the path codec, which finds names in any encoding and
    // paths past the system's length limit; the reader still gets the
    // extension as a hint, as it would from the path.
    QFile file;
    PieceDevice pieces(path, bytes.pieces, bytes.leanScans);
    QImageReader reader;
    if (bytes.kind == PreviewBytes::Pieces) {
        if (!pieces.open(QIODevice::ReadOnly))
            return result;
        reader.setDevice(&pieces);
    } else {
        errno = 0;
        if (!OpenForReading(file, path)) {
            result.reason = errno == ENOENT ? QStringLiteral("文件已不存在") : QStringLiteral("文件打不开");
            return result;
        }
        reader.setDevice(&file);
    }
    reader.setFormat(QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoTransform(true);
    reader.setAllocationLimit(DecodeLimitMegabytes);
    if (!reader.canRead()) {
        const FittedPhoto heif = DecodeHeifFitted(path, boxWidth, boxHeight);
        return heif.ok ? heif : Failed(result, claimed);
    }
    const QRect box(0, 0, qMax(boxWidth, 0), qMax(boxHeight, 0));

    const QSize stored = reader.size();
    if (!stored.isValid()) {
        // A format that tells its size only by decoding: decode it whole
        // (within the limit) and scale afterwards.
        const QImage whole = reader.read();
        if (whole.isNull())
            return Failed(result, claimed);
        result.target = FitPhotoRect(whole.width(), whole.height(), boxWidth, boxHeight);
        const QRect visible = result.target & box;
        if (!visible.isEmpty()) {
            result.visible = whole.scaled(result.target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .copy(visible.translated(-result.target.topLeft()));
        }
        result.visibleTopLeft = visible.topLeft();
        result.ok = true;
        result.reason.clear();
        return result;
    }
    if (stored.isEmpty()) {
        result.reason = QStringLiteral("图片数据已损坏");
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
        result.reason.clear();
        return result;
    }

    const QSize storedScaled = quarterTurn ? result.target.size().transposed() : result.target.size();
    const QRect storedClip = StoredRect(visible.translated(-result.target.topLeft()), storedScaled, turn);
    if (storedScaled != stored)
        reader.setScaledSize(storedScaled);
    if (storedClip != QRect(QPoint(0, 0), storedScaled))
        reader.setScaledClipRect(storedClip);
    result.visible = reader.read();
    if (result.visible.isNull())
        return Failed(result, claimed);
    if (result.visible.size() != visible.size())
        result.visible = result.visible.scaled(visible.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.ok = true;
    result.reason.clear();
    return result;
}

QString DrawPhotoFitted(PhotoBox &box, const QString &path, int boxWidth, int boxHeight, Dialogs &dialogs)
{
    const FittedPhoto photo = DecodeFitted(path, boxWidth, boxHeight);
    if (!photo.ok) {
        dialogs.ShowMessage(QStringLiteral("显示失败!"), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
        return photo.reason;
    }
    box.SetPicture(photo.visible, photo.target, photo.visibleTopLeft);
    return QString();
}

bool PreviewPhoto(PhotoBox &box, const QString &path, const Settings &settings, Dialogs &dialogs)
{
    if (path.trimmed().isEmpty())
        return false;
    box.ClearPicture();
    if (settings.Preview) {
        const QSize inner = box.InnerSize();
        DrawPhotoFitted(box, path, inner.width(), inner.height(), dialogs);
    }
    return true;
}

bool EditorSet(const Settings &settings)
{
    return !settings.EditPath.trimmed().isEmpty();
}

void OpenPhotoInEditor(const QString &path, const Settings &settings, Shell &shell)
{
    if (path.trimmed().isEmpty() || !EditorSet(settings))
        return;
    shell.StartProgram(settings.EditPath, path);
}

} // namespace kestova
