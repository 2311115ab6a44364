#pragma once

#include <QString>

#include <optional>

namespace tessel::ProjectFileLanguage {

// The syntax language of a file judged by its extension alone (lower-cased); no hint for
// other extensions or names without one. Live gateways send their own hint; the mock
// store uses this one.
std::optional<QString> hint(const QString &path);

} // namespace tessel::ProjectFileLanguage
