#include "storage/UserDefaultsTesselSettingsLocalStore.h"

#include "protocol/JsonCodec.h"
#include "protocol/JsonReader.h"

#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

template<typename T>
std::optional<QList<T>> decodeList(QByteArrayView bytes)
{
    std::optional<QList<T>> result;
    json::detail::decodeRoot(
        bytes, [&result](const json::Element &root) { result = json::asList<T>(root, &T::decode); }, nullptr);
    return result;
}

std::optional<QMap<QString, QString>> decodeStringMap(QByteArrayView bytes)
{
    std::optional<QMap<QString, QString>> result;
    json::detail::decodeRoot(
        bytes,
        [&result](const json::Element &root) {
            QMap<QString, QString> map;
            for (const auto field : json::asObject(root))
                map.insert(QString::fromUtf8(field.key.data(), qsizetype(field.key.size())),
                           json::asString(field.value));
            result = std::move(map);
        },
        nullptr);
    return result;
}

QByteArray encodeStringMap(const QMap<QString, QString> &map)
{
    JsonWriter writer;
    writer.beginObject();
    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
        const QByteArray key = entry.key().toUtf8();
        writer.field(std::string_view(key.constData(), std::size_t(key.size())), entry.value());
    }
    writer.endObject();
    return writer.bytes();
}

} // namespace

UserDefaultsTesselSettingsLocalStore::UserDefaultsTesselSettingsLocalStore(
    QSettings &settings, TesselSettingsLocalStoreConfiguration configuration)
    : m_settings(settings)
    , m_configuration(std::move(configuration))
{ }

LocalSettingsLoadResult UserDefaultsTesselSettingsLocalStore::load() const
{
    LoadedMachines machines = loadMachines();
    LocalSettingsLoadResult result;
    result.snapshot.machines = std::move(machines.machines);
    result.migratedGatewayTokensByMachineID = std::move(machines.migratedGatewayTokensByMachineID);
    result.snapshot.projectWorkspaceTabs = loadDictionary(m_configuration.projectWorkspaceTabs);
    result.snapshot.projectLastOpenedFiles = loadDictionary(m_configuration.projectLastOpenedFiles);
    return result;
}

void UserDefaultsTesselSettingsLocalStore::save(const LocalSettingsSnapshot &snapshot)
{
    m_settings.setValue(m_configuration.machineRegistry, encodeJson(snapshot.machines));
    saveDictionary(snapshot.projectWorkspaceTabs, m_configuration.projectWorkspaceTabs);
    saveDictionary(snapshot.projectLastOpenedFiles, m_configuration.projectLastOpenedFiles);
    for (const QString &key : {m_configuration.legacy.machines, m_configuration.legacy.gatewayURL,
                               m_configuration.legacy.gatewayToken, m_configuration.legacy.cwd})
        m_settings.remove(key);
    // The registry is the user's data: get it to disk now rather than at some later idle moment.
    m_settings.sync();
}

UserDefaultsTesselSettingsLocalStore::LoadedMachines UserDefaultsTesselSettingsLocalStore::loadMachines() const
{
    if (auto current = loadCurrentRegistry())
        return std::move(*current);
    if (auto legacy = loadLegacyRegistry())
        return std::move(*legacy);
    return loadOldestSingleMachine();
}

std::optional<UserDefaultsTesselSettingsLocalStore::LoadedMachines>
UserDefaultsTesselSettingsLocalStore::loadCurrentRegistry() const
{
    const auto bytes = bytesValue(m_configuration.machineRegistry);
    if (!bytes)
        return std::nullopt;
    auto machines = decodeList<StoredMachineProfile>(*bytes);
    if (!machines)
        return std::nullopt;
    return LoadedMachines{std::move(*machines), {}};
}

std::optional<UserDefaultsTesselSettingsLocalStore::LoadedMachines>
UserDefaultsTesselSettingsLocalStore::loadLegacyRegistry() const
{
    const auto bytes = bytesValue(m_configuration.legacy.machines);
    if (!bytes)
        return std::nullopt;
    const auto machines = decodeList<MachineProfile>(*bytes);
    if (!machines)
        return std::nullopt;
    LoadedMachines loaded;
    for (const MachineProfile &machine : *machines) {
        loaded.machines.append(StoredMachineProfile::from(machine));
        loaded.migratedGatewayTokensByMachineID.insert(machine.id, machine.gatewayToken);
    }
    return loaded;
}

UserDefaultsTesselSettingsLocalStore::LoadedMachines
UserDefaultsTesselSettingsLocalStore::loadOldestSingleMachine() const
{
    const QString gatewayURL = stringValue(m_configuration.legacy.gatewayURL);
    const QString token = stringValue(m_configuration.legacy.gatewayToken);
    const QString directory = stringValue(m_configuration.legacy.cwd);

    QList<ProjectProfile> projects;
    if (!directory.trimmed().isEmpty()) {
        const QStringList pieces = directory.split(u'/', Qt::SkipEmptyParts);
        projects.append({QUuid::createUuid(), pieces.isEmpty() ? u"Default Project"_s : pieces.last(), directory});
    }
    LoadedMachines loaded;
    loaded.machines.append({QUuid::createUuid(), u"Local Machine"_s, gatewayURL, projects});
    if (!token.trimmed().isEmpty())
        loaded.migratedGatewayTokensByMachineID.insert(loaded.machines.first().id, token);
    return loaded;
}

QMap<QString, QString> UserDefaultsTesselSettingsLocalStore::loadDictionary(const QString &key) const
{
    const auto bytes = bytesValue(key);
    if (!bytes)
        return {};
    return decodeStringMap(*bytes).value_or(QMap<QString, QString>());
}

void UserDefaultsTesselSettingsLocalStore::saveDictionary(const QMap<QString, QString> &map, const QString &key)
{
    m_settings.setValue(key, encodeStringMap(map));
}

// Only a bytes value counts, as the settings database reads "data for key": a string or a
// number under a registry key is undecodable data, not a registry.
std::optional<QByteArray> UserDefaultsTesselSettingsLocalStore::bytesValue(const QString &key) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

QString UserDefaultsTesselSettingsLocalStore::stringValue(const QString &key) const
{
    const QVariant value = m_settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

} // namespace tessel
