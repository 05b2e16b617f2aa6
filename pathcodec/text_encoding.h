// The encodings a settings file may be in, and how a file's bytes tell which
// one it is: a byte-order mark decides (UTF-8, UTF-16 LE as Windows Notepad
// saves "Unicode", UTF-16 BE); without one, zero bytes in every other place
// are UTF-16 of that byte order; otherwise bytes that are not valid UTF-8
// are GBK, and bytes valid in both are taken in the reading that gives the
// more Chinese-looking text, since GBK text is often valid UTF-8 by chance
// (图片 = CD BC C6 AC reads as "ͼƬ" in UTF-8).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <optional>

namespace kestova {

enum class TextEncoding {
    Gbk,      // no byte-order mark; plain ASCII counts as GBK
    Utf8,     // no byte-order mark, as a user's editor may save it
    Utf8Bom,  // EF BB BF
    Utf16Le,  // FF FE
    Utf16Be,  // FE FF
};

struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Gbk;
    qsizetype bomSize = 0; // bytes of byte-order mark at the start
};

DetectedEncoding DetectEncoding(const QByteArray &bytes);

bool IsAscii(QByteArrayView bytes);

// The byte-order mark written at the start of a file in that encoding.
QByteArray ByteOrderMark(TextEncoding encoding);

// The index after the next line feed at or after from, or bytes.size();
// from and the result are on code-unit boundaries.
qsizetype NextLineStart(const QByteArray &bytes, qsizetype from, TextEncoding encoding);

// Decoding and encoding in one encoding; no byte-order mark is read or
// written here.
class TextCodec
{
public:
    explicit TextCodec(TextEncoding encoding);

    QString decode(QByteArrayView bytes);
    // False when the encoding cannot hold every character (only GBK).
    bool encode(const QString &text, QByteArray *out) const;

private:
    TextEncoding m_encoding;
    std::optional<QStringDecoder> m_decoder; // opened on first need
};

} // namespace kestova
