// The stored property set a container keeps for a control: read with a
// default for a missing key, written with the default so that a value equal
// to it is left out. Keys match without regard to letter case.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace kestova {

class PropertyBag
{
public:
    virtual ~PropertyBag() = default;
    virtual QVariant ReadProperty(const QString &name, const QVariant &defaultValue) const = 0;
    virtual void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue) = 0;
};

// A property set held in a QVariantMap.
class VariantMapBag : public PropertyBag
{
public:
    explicit VariantMapBag(QVariantMap values = {}) : m_values(std::move(values)) {}

    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) const override;
    // Replaces a key spelled in another case; a default value removes the key.
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue) override;

    const QVariantMap &Values() const { return m_values; }

private:
    QVariantMap::const_iterator Find(const QString &name) const;

    QVariantMap m_values;
};

} // namespace kestova
