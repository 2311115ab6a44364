#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

class QSettings;

namespace tessel {

// Every key of the preferences and its value at one moment, so that an export can put the
// preferences back exactly as they were: captured values rewritten, keys added since removed.
struct DesktopPOCDefaultsSnapshot
{
    QSet<QString> keys;
    QMap<QString, QVariant> values;

    static DesktopPOCDefaultsSnapshot capture(QSettings &defaults);
    // Writes every captured value back, removes every key not captured, and flushes.
    void restore(QSettings &defaults) const;
};

} // namespace tessel
