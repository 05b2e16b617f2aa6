// The text form of PhotoTotal's rows.
#include "totals_text.h"

#include "numbers.h"

namespace kestova {

namespace {

QString ValueText(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        return QString::number(value.toLongLong());
    return NumberText(value.toDouble());
}

} // namespace

QString TotalsLine(const TotalRow &row)
{
    return row.PhotoSize + u' ' + ValueText(row.PhotoAmount) + u' ' + ValueText(row.PhotoArea);
}

QString TotalsText(const QList<TotalRow> &rows)
{
    QString text;
    for (const TotalRow &row : rows) {
        if (!text.isEmpty())
            text += QStringLiteral("\r\n");
        text += TotalsLine(row);
    }
    return text;
}

QString TsvField(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

QString TsvLine(const QStringList &fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u'\t';
        line += TsvField(fields[i]);
    }
    return line;
}

} // namespace kestova
