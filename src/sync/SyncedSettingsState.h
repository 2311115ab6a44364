#pragma once

#include "protocol/ProtocolEnums.h"
#include "storage/MachineProfile.h"
#include "sync/ReferenceDate.h"

#include <optional>

namespace tessel {

// A machine as it travels between installations: exactly the locally stored form (the
// same four fields and JSON keys), never with its token.
using SyncedMachineProfile = StoredMachineProfile;

// The installation that wrote a document; other installations only display it.
struct SyncedWriterInfo
{
    QString deviceID;
    QString deviceName;
    QString platform;
    std::optional<QString> appVersion;
    std::optional<QString> buildNumber;

    // This computer's host names, the operating system's name and this build's version.
    static SyncedWriterInfo current();

    static SyncedWriterInfo decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const SyncedWriterInfo &, const SyncedWriterInfo &) = default;
};

// The chat another installation may pick up.
struct SyncedChatHandoff
{
    QUuid machineID;
    QUuid projectID;
    BackendKind backend = BackendKind::codex;
    std::optional<QString> backendSessionId;
    ReferenceDate updatedAt;

    static SyncedChatHandoff decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const SyncedChatHandoff &, const SyncedChatHandoff &) = default;
};

// The registry shared between installations, stored as JSON under one key of the
// replicated store. Readers accept any schema version and ignore unknown keys.
struct SyncedSettingsState
{
    static constexpr qint64 currentSchemaVersion = 2;

    qint64 schemaVersion = currentSchemaVersion;
    ReferenceDate updatedAt;
    std::optional<SyncedWriterInfo> writer;
    QList<SyncedMachineProfile> machines;
    std::optional<SyncedChatHandoff> handoff;

    // Machines or a handoff; dates, writer and version alone are not content.
    bool hasMeaningfulContent() const { return !machines.isEmpty() || handoff.has_value(); }

    static SyncedSettingsState decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const SyncedSettingsState &, const SyncedSettingsState &) = default;
};

} // namespace tessel
