// The QVariantMap property set.
#include "property_bag.h"

namespace kestova {

QVariantMap::const_iterator VariantMapBag::Find(const QString &name) const
{
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it;
    }
    return m_values.cend();
}

QVariant VariantMapBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    const auto it = Find(name);
    return it == m_values.cend() ? defaultValue : it.value();
}

void VariantMapBag::WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue)
{
    for (auto it = Find(name); it != m_values.cend(); it = Find(name))
        m_values.remove(it.key());
    if (value != defaultValue)
        m_values.insert(name, value);
}

} // namespace kestova
