// Trimming blanks: the one-line texts of the order are trimmed of spaces
// only, not of other white space.
#pragma once

#include <QString>

namespace kestova {

inline QString TrimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace kestova
