#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <variant>

namespace tessel::demo {

// The demo gateway's command line.
struct DemoGatewayOptions
{
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 4821;
    QString token;
    QString root;
    bool writeEnvironmentFile = true;
    std::optional<QString> piUnavailableReason;
    std::chrono::milliseconds deltaInterval{40};
    // One line per request on standard output: its type and the names of its keys, never
    // their values (the token stays out).
    bool logRequests = false;
    // Writes are applied and answered this much later, like a slow gateway's.
    std::chrono::milliseconds fileWriteDelay{0};

    // The options, or the text of what is wrong with the arguments.
    static std::variant<DemoGatewayOptions, QString> parse(const QStringList &arguments);
};

} // namespace tessel::demo
