#pragma once

#include "storage/GatewaySecretStoreBackend.h"

#include <QJsonArray>

namespace tessel {

// Token items in one JSON file readable by its owner only (folder 0700, file 0600),
// replaced atomically on every change. The fallback when no Secret Service answers, so
// tokens still persist on a desktop without a keyring. Locations are distinct items, as
// in the Secret Service. Every call reads the file afresh; nothing is cached. Only a
// regular file is read: a link or device at the path counts as an unreadable file.
class OwnerOnlyFileSecretBackend
{
public:
    explicit OwnerOnlyFileSecretBackend(QString filePath);

    // gateway-tokens.json in a "secrets" folder under the application's state folder
    // ($XDG_STATE_HOME), apart from the data folder that holds the default sync folder: a
    // sync tool pointed at the sync folder's parent must not copy tokens.
    static QString defaultFilePath();
    // Where earlier versions kept the file: beside the default sync folder.
    static QString earlierDefaultFilePath();

    GatewaySecretStoreBackend backend() const;

    std::optional<QString> readToken(const QString &account, const GatewaySecretStoreConfiguration &location) const;
    bool upsertToken(const QString &token, const QString &account,
                     const GatewaySecretStoreConfiguration &location) const;
    void removeToken(const QString &account, const GatewaySecretStoreConfiguration &location) const;

    // Moves every item into `target`, at the same location: an item leaves this file only
    // after the target accepted it; the file (and its folder, when empty) goes once no item
    // is left. An unreadable file is left alone.
    void moveItemsInto(const GatewaySecretStoreBackend &target) const;

    // An unreadable file is moved aside to this name on the next write, not overwritten.
    QString corruptFilePath() const;

private:
    // The stored items; empty when there is no file, nothing when the file is unreadable.
    std::optional<QJsonArray> readItems() const;
    // Items for a write: an unreadable file is kept aside and the write starts afresh.
    std::optional<QJsonArray> itemsForWriting() const;
    bool writeItems(const QJsonArray &items) const;

    QString m_filePath;
};

} // namespace tessel
