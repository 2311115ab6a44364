#pragma once

#include <QString>

namespace tessel {

struct GatewayServerEnvelope;

// Every failure of a project file operation. Each case has exactly one user-facing
// message(), which is what the files workspace shows.
class ProjectFileServiceError
{
public:
    enum class Case { invalidGatewayURL, gateway, transport, timeout, unsupportedGateway, malformedResponse };

    static ProjectFileServiceError invalidGatewayURL(const QString &trimmedURL);
    static ProjectFileServiceError gateway(const QString &code, const QString &message);
    static ProjectFileServiceError transport(const QString &message);
    static ProjectFileServiceError timeout();
    static ProjectFileServiceError unsupportedGateway();
    static ProjectFileServiceError malformedResponse();

    Case errorCase() const { return m_case; }
    // The gateway's error code; empty for every other case.
    const QString &code() const { return m_code; }
    QString message() const;

    friend bool operator==(const ProjectFileServiceError &, const ProjectFileServiceError &) = default;

private:
    ProjectFileServiceError(Case errorCase, const QString &code, const QString &detail);

    Case m_case;
    QString m_code;
    // The URL, the gateway's message or the transport's message, by case.
    QString m_detail;
};

// Maps a gateway "error" message onto the error type. A gateway that predates project
// files answers an unknown request kind with one fixed code and message pair.
ProjectFileServiceError projectFileServiceError(const GatewayServerEnvelope &envelope);

} // namespace tessel
