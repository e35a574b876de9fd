#include "core/SettingsStore.h"

#include "core/Numbers.h"

#include <QSettings>

namespace tellvane {

namespace {
QString keyOf(const QString& section, const QString& name)
{
    return section + QLatin1Char('/') + name;
}
}  // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("VelmarcoDiagnostic")))
{
}

SettingsStore::SettingsStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::value(const QString& section, const QString& name) const
{
    return m_settings->value(keyOf(section, name)).toString();
}

bool SettingsStore::setValue(const QString& section, const QString& name, const QString& text)
{
    m_settings->setValue(keyOf(section, name), text);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

SettingsStore::Position SettingsStore::position(const QString& section) const
{
    Position p;
    try {
        p.top = leadingNumber(value(section, QStringLiteral("Top")));
        p.left = leadingNumber(value(section, QStringLiteral("Left")));
    } catch (const std::exception&) {
        p = Position{};  // a stored value too large for a number places nothing
    }
    return p;
}

bool SettingsStore::savePosition(const QString& section, int topTwips, int leftTwips)
{
    const bool top = setValue(section, QStringLiteral("Top"), QString::number(topTwips));
    const bool left = setValue(section, QStringLiteral("Left"), QString::number(leftTwips));
    return top && left;
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

}  // namespace tellvane
