#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <concepts>

namespace simdjson::dom {
class element;
}

namespace tessel {

class JsonWriter;

// A project directory on a machine. Fields are stored exactly as the user typed them.
struct ProjectProfile
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString directory;

    // The trimmed name, else the last non-empty piece of the directory, else "Untitled Project".
    QString displayName() const;

    static ProjectProfile decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const ProjectProfile &, const ProjectProfile &) = default;
};

// A machine of the registry with its token, as the model holds it. The token is never
// written to settings or the synced document; the secret store keeps it under `id`.
struct MachineProfile
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString gatewayURL;
    QString gatewayToken;
    QList<ProjectProfile> projects;

    // The trimmed name, else the gateway URL's host, else "Unnamed Machine".
    QString displayName() const;

    static MachineProfile decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const MachineProfile &, const MachineProfile &) = default;
};

// A machine as saved in local settings: everything but the token.
struct StoredMachineProfile
{
    QUuid id;
    QString name;
    QString gatewayURL;
    QList<ProjectProfile> projects;

    static StoredMachineProfile from(const MachineProfile &machine);
    // `token` is what the secret store holds for this machine (empty when none).
    MachineProfile toMachineProfile(const QString &token) const;

    static StoredMachineProfile decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const StoredMachineProfile &, const StoredMachineProfile &) = default;
};

// Any machine shape with an identity and a gateway URL, so that token discovery can run
// over machines, stored machines and synced machines alike.
template<typename T>
concept GatewayMachineDescriptor = requires(const T &machine)
{
    {
        machine.id
        } -> std::convertible_to<QUuid>;
    {
        machine.gatewayURL
        } -> std::convertible_to<QString>;
};

} // namespace tessel
