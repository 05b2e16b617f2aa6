// CountedFolders: the folders counted in this run, lost at exit. A path is
// compared as a literal value, letter case included.
#pragma once

#include <QStringList>

namespace kestova {

class CountedFolders
{
public:
    bool IsEmpty() const { return m_Floder.isEmpty(); }
    bool Holds(const QString &path) const { return m_Floder.contains(path, Qt::CaseSensitive); }
    // Appends even when the path is already held.
    void Append(const QString &path) { m_Floder.append(path); }

private:
    QStringList m_Floder;
};

} // namespace kestova
