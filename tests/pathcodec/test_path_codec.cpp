// The path codec's decoding of names that are not UTF-8. Finding such names
// on disk again is tested through the folder scan, which lists real files.
#include "path_codec.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace kestova;

TEST(PathCodec, NamesDecodeAsUtf8ElseGbkElseByteForByte)
{
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"plain.jpg", "plain.jpg"},
        {"\xE7\x85\xA7\xE7\x89\x87.jpg", "照片.jpg"},   // UTF-8
        {"\xD5\xD5\xC6\xAC.jpg", "照片.jpg"},           // GBK
        {"\xCD\xBC\xC6\xAC.jpg", "图片.jpg"},           // GBK that is also UTF-8 ("ͼƬ.jpg")
        {"\xC0\xCF\xD5\xD5\xC6\xAC", "老照片"},
        {"caf\xC3\xA9 M\xC3\xBCller.jpg", "café Müller.jpg"}, // accented Latin stays UTF-8
        {"\xEF\xBB\xBF" "a", QString::fromUtf16(u"\uFEFFa")}, // a leading byte-order mark is part of the name
        // A lead byte without its trail, bytes no GBK character starts with,
        // and a byte no GBK character ends with: each byte kept as itself.
        {"\xD5", QString::fromUtf16(u"\uF7D5")},
        {"a\x80\xFF" "b", QString::fromUtf16(u"a\uF780\uF7FFb")},
        {"\xD5\x7F\xD5\xD5", QString::fromUtf16(u"\uF7D5\x7F照")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecodeName(c.bytes), c.text) << c.bytes.toHex().toStdString();
    // An overlong form, a surrogate and a code point past U+10FFFF are no
    // UTF-8, so they are not decoded as such (into replacement characters).
    for (const QByteArray &bytes : {QByteArray("\xC0\xAF"), QByteArray("\xED\xA0\x80"), QByteArray("\xF4\x90\x80\x80")})
        EXPECT_FALSE(DecodeName(bytes).contains(QChar::ReplacementCharacter)) << bytes.toHex().toStdString();

    EXPECT_EQ(DecodePath("/tmp/\xD5\xD5\xC6\xAC//\xFF/x/"), QString::fromUtf16(u"/tmp/照片//\uF7FF/x/"));
}

// No two names that are not UTF-8 may share a text, or one of them could
// never be opened again; none may hold the replacement character.
TEST(PathCodec, EveryTwoByteNameThatIsNotUtf8HasATextOfItsOwn)
{
    QSet<QString> texts;
    int names = 0;
    for (int first = 1; first < 256; ++first) {
        for (int second = 1; second < 256; ++second) {
            const char bytes[2] = {char(first), char(second)};
            const QByteArray name(bytes, 2);
            if (QString::fromUtf8(name).toUtf8() == name)
                continue;
            const QString text = DecodeName(name);
            ASSERT_FALSE(text.contains(QChar::ReplacementCharacter)) << name.toHex().toStdString();
            texts.insert(text);
            ++names;
        }
    }
    EXPECT_EQ(texts.size(), names);
    EXPECT_GT(names, 40000);
}
