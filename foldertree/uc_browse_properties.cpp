// ucBrowse: the stored property set and the property setters.
#include "uc_browse.h"

#include "property_bag.h"

namespace kestova {

// ---- the stored property set ---------------------------------------------

void ucBrowse::InitProperties()
{
    m_checkBoxes = m_fullRowSelect = m_hasLines = m_hasButtons = m_hideSelection = m_hotTracking = false;
    m_reading = true;
    QWidget::setEnabled(false);
    m_reading = false;
    m_currentPath.clear();
    m_root = 0;
    setAppearance(1);
    setTheme(0);
    setFolderFlags(4101);
}

void ucBrowse::ReadProperties(const PropertyBag &bag)
{
    m_reading = true;
    m_appearance = bag.ReadProperty(QStringLiteral("Appearance"), 1).toInt();
    SetContainerLook(qint16(m_appearance), m_singleBorder);
    m_checkBoxes = bag.ReadProperty(QStringLiteral("CheckBoxes"), false).toBool();
    QWidget::setEnabled(bag.ReadProperty(QStringLiteral("Enabled"), true).toBool());
    m_folderFlags = bag.ReadProperty(QStringLiteral("FolderFlags"), 4101).toInt();
    m_fullRowSelect = bag.ReadProperty(QStringLiteral("FullRowSelect"), false).toBool();
    m_hasLines = bag.ReadProperty(QStringLiteral("HasLines"), false).toBool();
    m_hasButtons = bag.ReadProperty(QStringLiteral("HasButtons"), true).toBool();
    m_hideSelection = bag.ReadProperty(QStringLiteral("HideSelection"), true).toBool();
    m_hotTracking = bag.ReadProperty(QStringLiteral("HotTracking"), true).toBool();
    m_currentPath = bag.ReadProperty(QStringLiteral("Path"), QString()).toString();
    m_root = bag.ReadProperty(QStringLiteral("Root"), 0).toInt();
    m_theme = bag.ReadProperty(QStringLiteral("Theme"), 0).toInt();
    m_reading = false;

    if (m_userMode)
        StartUp();
    if (QWidget *host = window(); host != this)
        host->setFocus(Qt::OtherFocusReason);
}

void ucBrowse::ReadProperties(const QVariantMap &values)
{
    ReadProperties(VariantMapBag(values));
}

void ucBrowse::WriteProperties(PropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("Appearance"), m_appearance, 1);
    bag.WriteProperty(QStringLiteral("CheckBoxes"), m_checkBoxes, false);
    bag.WriteProperty(QStringLiteral("Enabled"), Enabled(), true);
    bag.WriteProperty(QStringLiteral("FolderFlags"), m_folderFlags, 4101);
    bag.WriteProperty(QStringLiteral("FullRowSelect"), m_fullRowSelect, false);
    bag.WriteProperty(QStringLiteral("HasLines"), m_hasLines, false);
    bag.WriteProperty(QStringLiteral("HasButtons"), m_hasButtons, true);
    bag.WriteProperty(QStringLiteral("HideSelection"), m_hideSelection, true);
    bag.WriteProperty(QStringLiteral("HotTracking"), m_hotTracking, true);
    bag.WriteProperty(QStringLiteral("Path"), m_currentPath, QString());
    bag.WriteProperty(QStringLiteral("Root"), m_root, 0);
    bag.WriteProperty(QStringLiteral("Theme"), m_theme, 0);
}

QVariantMap ucBrowse::WriteProperties() const
{
    VariantMapBag bag;
    WriteProperties(bag);
    return bag.Values();
}

// ---- properties --------------------------------------------------------------

void ucBrowse::setAppearance(int value)
{
    m_appearance = value;
    SetContainerLook(qint16(value), m_singleBorder);
    if (!m_inRefresh)
        Refresh();
    emit PropertyChanged(QStringLiteral("Appearance"));
}

void ucBrowse::setCheckBoxes(bool value)
{
    m_checkBoxes = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("CheckBoxes"));
}

bool ucBrowse::Enabled() const
{
    return !testAttribute(Qt::WA_ForceDisabled);
}

void ucBrowse::setFolderFlags(int value)
{
    m_folderFlags = value;  // used when the tree is next opened
    emit PropertyChanged(QStringLiteral("FolderFlags"));
}

void ucBrowse::setFullRowSelect(bool value)
{
    m_fullRowSelect = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("FullRowSelect"));
}

void ucBrowse::setHasLines(bool value)
{
    m_hasLines = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("HasLines"));
}

void ucBrowse::setHasButtons(bool value)
{
    m_hasButtons = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("HasButtons"));
}

void ucBrowse::setHideSelection(bool value)
{
    m_hideSelection = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("HideSelection"));
}

void ucBrowse::setHotTracking(bool value)
{
    m_hotTracking = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("HotTracking"));
}

QString ucBrowse::Path() const
{
    return m_currentPath.isEmpty() ? QString() : QualifyPath(m_currentPath);
}

void ucBrowse::setPath(const QString &sNewPath)
{
    if (sNewPath.isEmpty())
        m_currentPath.clear();
    else
        m_currentPath = QualifyPath(sNewPath);
    // A change of the tree's selection raises PathChange.
    SelectPath(m_currentPath);
    emit PropertyChanged(QStringLiteral("Path"));
}

void ucBrowse::setRoot(int value)
{
    m_root = value;
    CloseUp();
    Reset();
    Refresh();
    emit PropertyChanged(QStringLiteral("Root"));
}

void ucBrowse::setTheme(int value)
{
    m_theme = value;
    Refresh();
    emit PropertyChanged(QStringLiteral("Theme"));
}

} // namespace kestova
