// Text encodings of the settings file.
#include "text_encoding.h"

#include <QList>
#include <QStringEncoder>

namespace kestova {

namespace {

bool IsValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)QString(decoder.decode(bytes));
    return !decoder.hasError();
}

// How much a character that is not a Han ideograph looks like part of a
// Chinese settings file: punctuation of Chinese text scores a little, letters
// and marks of alphabetic scripts (what GBK bytes turn into when read as
// UTF-8: Latin, Greek, Cyrillic, combining marks…) count against, control
// and private-use characters more so.
int OtherCharacterScore(char32_t c)
{
    if (c < 0xA0 || (c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFD)
        return -5;
    if (c == 0xB7)
        return 1; // the middle dot of Chinese names
    if (c < 0xC0)
        return -1;
    if (c < 0x2000)
        return -3;
    if (c <= 0x206F || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF))
        return 1;
    return 0;
}

// The mean score of the text's non-ASCII characters, as a fraction. Han
// ideographs score by their place in GBK: the 3755 common ones of GB2312
// level 1 high, level 2 lower, the rare ones of the GBK extension not at all.
// A UTF-8 file read as GBK gives many rare ideographs; real text, few.
struct Score {
    qint64 total = 0;
    qint64 count = 0;
};

Score ChineseScore(const QString &text)
{
    Score score;
    QString han;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80)
            continue;
        ++score.count;
        if (c >= 0x4E00 && c <= 0x9FA5)
            han += QChar(char16_t(c));
        else
            score.total += OtherCharacterScore(c);
    }
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(han);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80 || i + 1 == bytes.size())
            continue; // not held by GBK: scores nothing
        const auto trail = static_cast<unsigned char>(bytes[++i]);
        if (trail >= 0xA1 && lead >= 0xB0 && lead <= 0xD7)
            score.total += 3;
        else if (trail >= 0xA1 && lead >= 0xD8 && lead <= 0xF7)
            score.total += 1;
    }
    return score;
}

bool ScoresHigher(const Score &a, const Score &b)
{
    // a.total / a.count > b.total / b.count, with an empty text scoring 0.
    if (a.count == 0 || b.count == 0)
        return (a.count ? a.total : 0) > (b.count ? b.total : 0);
    return a.total * b.count > b.total * a.count;
}

} // namespace

bool IsAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

DetectedEncoding DetectEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {TextEncoding::Utf8Bom, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {TextEncoding::Utf16Le, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {TextEncoding::Utf16Be, 2};
    // UTF-16 without a mark: the text of a settings file is mostly ASCII, so
    // every other byte is zero; GBK and UTF-8 text never holds a zero byte.
    if (bytes.size() % 2 == 0 && bytes.contains('\0')) {
        qsizetype zeroEven = 0;
        qsizetype zeroOdd = 0;
        for (qsizetype i = 0; i < bytes.size(); i += 2) {
            zeroEven += bytes[i] == '\0';
            zeroOdd += bytes[i + 1] == '\0';
        }
        if (zeroOdd > zeroEven)
            return {TextEncoding::Utf16Le, 0};
        if (zeroEven > zeroOdd)
            return {TextEncoding::Utf16Be, 0};
    }
    if (IsAscii(bytes) || !IsValidUtf8(bytes))
        return {TextEncoding::Gbk, 0};
    QStringDecoder gbk("GBK");
    const QString asGbk = gbk.decode(bytes);
    // On a tie UTF-8 wins: a text that reads equally well both ways is more
    // likely from an editor of today.
    if (ScoresHigher(ChineseScore(asGbk), ChineseScore(QString::fromUtf8(bytes))))
        return {TextEncoding::Gbk, 0};
    return {TextEncoding::Utf8, 0};
}

QByteArray ByteOrderMark(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom: return QByteArray("\xEF\xBB\xBF");
    case TextEncoding::Utf16Le: return QByteArray("\xFF\xFE");
    case TextEncoding::Utf16Be: return QByteArray("\xFE\xFF");
    case TextEncoding::Gbk:
    case TextEncoding::Utf8: break;
    }
    return {};
}

qsizetype NextLineStart(const QByteArray &bytes, qsizetype from, TextEncoding encoding)
{
    if (encoding != TextEncoding::Utf16Le && encoding != TextEncoding::Utf16Be) {
        const qsizetype lf = bytes.indexOf('\n', from);
        return lf < 0 ? bytes.size() : lf + 1;
    }
    const qsizetype low = encoding == TextEncoding::Utf16Le ? 0 : 1;
    for (qsizetype i = from; i + 1 < bytes.size(); i += 2) {
        if (bytes[i + low] == '\n' && bytes[i + 1 - low] == '\0')
            return i + 2;
    }
    return bytes.size();
}

namespace {

QStringDecoder DecoderFor(TextEncoding encoding)
{
    constexpr auto flags = QStringConverter::Flag::Stateless;
    switch (encoding) {
    case TextEncoding::Gbk: return QStringDecoder("GBK", flags);
    case TextEncoding::Utf16Le: return QStringDecoder(QStringConverter::Utf16LE, flags);
    case TextEncoding::Utf16Be: return QStringDecoder(QStringConverter::Utf16BE, flags);
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom: break;
    }
    return QStringDecoder(QStringConverter::Utf8, flags);
}

} // namespace

TextCodec::TextCodec(TextEncoding encoding)
    : m_encoding(encoding)
{
}

QString TextCodec::decode(QByteArrayView bytes)
{
    // ASCII reads the same in GBK. GBK's decoder is built from ICU's tables,
    // which a cold start would read from disk for a settings file that is
    // plain ASCII, as most are.
    if (m_encoding == TextEncoding::Gbk && IsAscii(bytes))
        return QString::fromLatin1(bytes);
    if (!m_decoder)
        m_decoder = DecoderFor(m_encoding);
    return m_decoder->decode(bytes);
}

bool TextCodec::encode(const QString &text, QByteArray *out) const
{
    switch (m_encoding) {
    case TextEncoding::Gbk: {
        QStringEncoder gbk("GBK");
        *out = gbk.encode(text);
        return !gbk.hasError();
    }
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        QStringEncoder utf16(m_encoding == TextEncoding::Utf16Le ? QStringConverter::Utf16LE
                                                                  : QStringConverter::Utf16BE);
        *out = utf16.encode(text);
        return true;
    }
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom: break;
    }
    *out = text.toUtf8();
    return true;
}

} // namespace kestova
