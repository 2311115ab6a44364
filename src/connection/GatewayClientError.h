#pragma once

#include <QString>

namespace tessel {

// Every failure of one gateway websocket, sending or receiving. Each case has exactly one
// user-facing message(). `transport` carries the socket layer's own description as is.
class GatewayClientError
{
public:
    enum class Case { messageTooLarge, notConnected, encodingFailed, unsupportedMessage, decodingFailed, transport };

    // notConnected; lets the error travel in QVariant and queued signals.
    GatewayClientError() = default;

    static GatewayClientError messageTooLarge(qint64 actualBytes, qint64 limit);
    static GatewayClientError notConnected();
    static GatewayClientError encodingFailed();
    static GatewayClientError unsupportedMessage();
    static GatewayClientError decodingFailed();
    static GatewayClientError transport(const QString &description);

    Case errorCase() const { return m_case; }
    qint64 actualBytes() const { return m_actualBytes; }
    qint64 limit() const { return m_limit; }
    QString message() const;

    friend bool operator==(const GatewayClientError &, const GatewayClientError &) = default;

private:
    explicit GatewayClientError(Case errorCase)
        : m_case(errorCase)
    { }

    Case m_case = Case::notConnected;
    qint64 m_actualBytes = 0;
    qint64 m_limit = 0;
    QString m_description;
};

} // namespace tessel
