#pragma once

#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace tessel {

// UUID text as stored and sent: 36 characters, upper-case, hyphenated, no braces.
QString uuidText(const QUuid &uuid);

// Accepts exactly the 36-character hyphenated form, in either case; braces, missing
// hyphens or other lengths give nothing. The all-zero UUID is valid text.
std::optional<QUuid> parseUuidText(QStringView text);

} // namespace tessel
