#include "storage/OwnerOnlyFileSecretBackend.h"

#include "storage/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

// Far beyond any number of machines; a larger file is not ours.
constexpr qint64 maxFileBytes = 4 * 1024 * 1024;
constexpr unsigned ownerOnlyFileMode = 0600;
const QLatin1StringView tokenFileName = "secrets/gateway-tokens.json"_L1;

// $XDG_STATE_HOME (else ~/.local/state) with the organisation and application folders that
// QStandardPaths adds to its locations; Qt 6.4 has no state location of its own.
QString applicationStateFolder()
{
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(folder))
        folder = QDir::homePath() + "/.local/state"_L1;
    for (const QString &name : {QCoreApplication::organizationName(), QCoreApplication::applicationName()}) {
        if (!name.isEmpty())
            folder += u'/' + name;
    }
    return folder;
}

GatewaySecretStoreConfiguration locationOf(const QJsonObject &item)
{
    const QString group = item.value("accessGroup"_L1).toString();
    return {item.value("service"_L1).toString(), group.isEmpty() ? std::nullopt : std::optional(group),
            item.value("synchronizable"_L1).toBool()};
}

bool isItem(const QJsonValue &value, const QString &account, const GatewaySecretStoreConfiguration &location)
{
    const QJsonObject item = value.toObject();
    return item.value("service"_L1) == location.service && item.value("account"_L1) == account &&
        item.value("accessGroup"_L1) == location.accessGroup.value_or(QString()) &&
        item.value("synchronizable"_L1) == location.isSynchronizable;
}

qsizetype indexOf(const QJsonArray &items, const QString &account, const GatewaySecretStoreConfiguration &location)
{
    for (qsizetype index = 0; index < items.size(); ++index) {
        if (isItem(items.at(index), account, location))
            return index;
    }
    return -1;
}

} // namespace

OwnerOnlyFileSecretBackend::OwnerOnlyFileSecretBackend(QString filePath)
    : m_filePath(std::move(filePath))
{ }

QString OwnerOnlyFileSecretBackend::defaultFilePath()
{
    return applicationStateFolder() + u'/' + tokenFileName;
}

QString OwnerOnlyFileSecretBackend::earlierDefaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + u'/' + tokenFileName;
}

GatewaySecretStoreBackend OwnerOnlyFileSecretBackend::backend() const
{
    const OwnerOnlyFileSecretBackend file = *this;
    return {[file](const QString &account, const GatewaySecretStoreConfiguration &location) {
                return file.readToken(account, location);
            },
            [file](const QString &token, const QString &account, const GatewaySecretStoreConfiguration &location) {
                return file.upsertToken(token, account, location);
            },
            [file](const QString &account, const GatewaySecretStoreConfiguration &location) {
                file.removeToken(account, location);
            }};
}

std::optional<QString> OwnerOnlyFileSecretBackend::readToken(const QString &account,
                                                             const GatewaySecretStoreConfiguration &location) const
{
    const std::optional<QJsonArray> items = readItems();
    if (!items)
        return std::nullopt;
    const qsizetype index = indexOf(*items, account, location);
    if (index < 0)
        return std::nullopt;
    const QJsonValue token = items->at(index).toObject().value("token"_L1);
    if (!token.isString())
        return std::nullopt;
    return token.toString();
}

bool OwnerOnlyFileSecretBackend::upsertToken(const QString &token, const QString &account,
                                             const GatewaySecretStoreConfiguration &location) const
{
    std::optional<QJsonArray> items = itemsForWriting();
    if (!items)
        return false;
    const QJsonObject item{{"service"_L1, location.service},
                           {"account"_L1, account},
                           {"accessGroup"_L1, location.accessGroup.value_or(QString())},
                           {"synchronizable"_L1, location.isSynchronizable},
                           {"token"_L1, token}};
    if (const qsizetype index = indexOf(*items, account, location); index >= 0)
        items->replace(index, item);
    else
        items->append(item);
    return writeItems(*items);
}

void OwnerOnlyFileSecretBackend::removeToken(const QString &account,
                                             const GatewaySecretStoreConfiguration &location) const
{
    std::optional<QJsonArray> items = readItems();
    if (!items)
        return;
    const qsizetype index = indexOf(*items, account, location);
    if (index < 0)
        return;
    items->removeAt(index);
    writeItems(*items);
}

void OwnerOnlyFileSecretBackend::moveItemsInto(const GatewaySecretStoreBackend &target) const
{
    const std::optional<QJsonArray> items = readItems();
    if (!items || !QFileInfo::exists(m_filePath))
        return;
    QJsonArray kept;
    for (const QJsonValue &value : *items) {
        const QJsonObject item = value.toObject();
        const QJsonValue token = item.value("token"_L1);
        // An item leaves the file only once the target holds its token.
        if (!token.isString() ||
            !target.upsertToken(token.toString(), item.value("account"_L1).toString(), locationOf(item)))
            kept.append(value);
    }
    if (!kept.isEmpty()) {
        if (kept.size() < items->size())
            writeItems(kept);
        return;
    }
    // Nothing left: no plaintext file stays behind, nor its folder when that is empty now.
    if (QFile::remove(m_filePath))
        QDir().rmdir(QFileInfo(m_filePath).absolutePath());
}

QString OwnerOnlyFileSecretBackend::corruptFilePath() const
{
    return m_filePath + ".corrupt"_L1;
}

std::optional<QJsonArray> OwnerOnlyFileSecretBackend::readItems() const
{
    const RegularFile::ReadResult file = RegularFile::read(m_filePath, maxFileBytes, RegularFile::Links::refuse);
    if (file.status == RegularFile::ReadResult::Status::absent)
        return QJsonArray();
    if (file.status != RegularFile::ReadResult::Status::read)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes);
    const QJsonValue items = document.object().value("items"_L1);
    if (!items.isArray())
        return std::nullopt;
    return items.toArray();
}

std::optional<QJsonArray> OwnerOnlyFileSecretBackend::itemsForWriting() const
{
    if (std::optional<QJsonArray> items = readItems())
        return items;
    // Keep what is there for the user to recover by hand rather than overwrite it.
    QFile::remove(corruptFilePath());
    if (!QFile::rename(m_filePath, corruptFilePath()))
        return std::nullopt;
    return QJsonArray();
}

bool OwnerOnlyFileSecretBackend::writeItems(const QJsonArray &items) const
{
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    if (!QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return false;
    return RegularFile::replace(
        m_filePath, QJsonDocument(QJsonObject{{"items"_L1, items}}).toJson(QJsonDocument::Compact), ownerOnlyFileMode);
}

} // namespace tessel
