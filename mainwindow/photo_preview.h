// The photo preview box picView, DrawPhotoFitted and the detail grid's two
// mouse commands: a click previews the row's file, a double-click opens it
// in the picture editor named by EditPath.
//
// The box keeps the drawn picture and paints it again whenever it is
// repainted, so a preview stays on screen until the next click. The reader
// is asked for just the part of the fitted image that lands inside the box,
// at the size it is drawn: JPEG and PNG decode no more than that, so a
// 50-megapixel photo costs about the memory of the box. Formats that cannot
// decode scaled are decoded whole, within a fixed memory limit, so a file
// that claims an absurd size is refused instead of filling the memory. What
// that limit does not cover is checked on the file's headers first: PNG
// chunks running past the end of the file (libpng would allocate them), the
// frames and images of an MNG, the coefficients libjpeg keeps for a
// progressive JPEG.
#pragma once

#include <QFrame>
#include <QImage>
#include <QImageIOHandler>
#include <QRect>

namespace kestova {

class Dialogs;
class Shell;
struct Settings;

// DrawPhotoFitted's target rectangle in the box, for an image of
// imageWidth × imageHeight pixels in a box of boxWidth × boxHeight:
//  - an image that fits keeps its size and is centred;
//  - otherwise the image is scaled to fit whole, centred: it takes the box's
//    width when it is relatively wider than the box, else the box's height,
//    and the other side follows the image's proportions.
// Each division is rounded to a whole pixel, ties to the even value.
QRect FitPhotoRect(int imageWidth, int imageHeight, int boxWidth, int boxHeight);

// The rectangle of an image stored with the given EXIF transformation that
// becomes uprightRect once the image of storedSize is turned upright.
QRect StoredRect(const QRect &uprightRect, const QSize &storedSize, QImageIOHandler::Transformations transformation);

// picView: the preview box, in the application workspace colour.
class PhotoBox : public QFrame
{
    Q_OBJECT
public:
    explicit PhotoBox(QWidget *parent = nullptr);

    // The inner size in pixels: the box without its border.
    QSize InnerSize() const { return contentsRect().size(); }

    void ClearPicture();
    // Instead of a picture, a short text in the middle of the box ("无法预览"
    // and why).
    void SetMessage(const QString &text);
    QString Message() const { return m_message; }
    // picture is the visible part of the fitted image; it goes at topLeft
    // of the inner area.
    void SetPicture(const QImage &picture, const QRect &target, const QPoint &topLeft);

    bool HasPicture() const { return !m_picture.isNull(); }
    QImage Picture() const { return m_picture; }
    QRect Target() const { return m_target; }  // the whole fitted rectangle

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QRect m_target;
    QPoint m_topLeft;
    QString m_message;
};

// The fitted decode of one file: the visible part of the image, upright, at
// the size it is drawn, and where the whole fitted image lies in the box.
struct FittedPhoto {
    bool ok = false;
    QString reason;  // why it is not shown, for the operator; empty when ok
    QImage visible;
    QRect target;
    QPoint visibleTopLeft;
};
FittedPhoto DecodeFitted(const QString &path, int boxWidth, int boxHeight);

// A file whose header the count cannot read is not decoded: the preview
// shows only what the count measured. A file the decoders would need more
// memory for than the limit, or whose metadata would, is given to them
// without that metadata (preview_bytes.h) or refused with the reason.
// Draws the file into the box (box pixels boxWidth × boxHeight). A file that
// cannot be read or drawn shows "显示失败!" and leaves the box as it was.
// Returns why the file is not shown (FittedPhoto::reason), empty when it is.
QString DrawPhotoFitted(PhotoBox &box, const QString &path, int boxWidth, int boxHeight, Dialogs &dialogs);

// A click on a row with path P: clears the box, draws P (when the Preview
// setting allows it) and returns true when the status bar is to show P.
// Nothing happens for a row without a path.
bool PreviewPhoto(PhotoBox &box, const QString &path, const Settings &settings, Dialogs &dialogs);

// Whether an editor is set (EditPath not blank).
bool EditorSet(const Settings &settings);

// A double-click on a row with path P: starts EditPath with P as its one
// argument; nothing when P is empty or no editor is set.
void OpenPhotoInEditor(const QString &path, const Settings &settings, Shell &shell);

} // namespace kestova
