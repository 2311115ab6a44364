#include "export/DesktopPOCDefaultsSnapshot.h"

#include <QSettings>

namespace tessel {

DesktopPOCDefaultsSnapshot DesktopPOCDefaultsSnapshot::capture(QSettings &defaults)
{
    defaults.sync();
    DesktopPOCDefaultsSnapshot snapshot;
    for (const QString &key : defaults.allKeys()) {
        snapshot.keys.insert(key);
        snapshot.values.insert(key, defaults.value(key));
    }
    return snapshot;
}

void DesktopPOCDefaultsSnapshot::restore(QSettings &defaults) const
{
    for (const QString &key : defaults.allKeys()) {
        if (!keys.contains(key))
            defaults.remove(key);
    }
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        defaults.setValue(value.key(), value.value());
    defaults.sync();
}

} // namespace tessel
