#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tessel {

// What the selection points the connection at; compared before and after a change to
// tell whether the connection target moved.
struct SelectedConnectionSnapshot
{
    std::optional<QUuid> machineID;
    QString gatewayURL;
    QString gatewayToken;
    std::optional<QUuid> projectID;
    QString projectDirectory;

    friend bool operator==(const SelectedConnectionSnapshot &, const SelectedConnectionSnapshot &) = default;
};

} // namespace tessel
