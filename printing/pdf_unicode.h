// Text in the PDF files the program writes reads back as the characters that
// were drawn. Qt's PDF writer gives each embedded glyph the lowest code point
// the font maps to it; CJK fonts share one glyph between an ideograph and its
// Kangxi or supplementary radical (户 and ⼾ U+2F3E, 长 and ⻓ U+2ED3), so
// without mending, copied or searched text holds radicals.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestova {

// Rewrites the ToUnicode maps of a PDF written by Qt so that every glyph the
// Song face shares between a radical and an ideograph reads as the
// ideograph. The PDF keeps its length, so its cross-reference table stays
// valid. Returns the number of entries changed.
int MendPdfText(QByteArray &pdf);

} // namespace kestova
