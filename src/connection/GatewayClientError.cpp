#include "connection/GatewayClientError.h"

#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

// Decimal kilobytes or megabytes in the user's locale, exact so that two different sizes
// never read alike: 3,000,000 bytes is "3 MB", 3,000,001 bytes "3.000001 MB".
QString byteCount(qint64 bytes)
{
    const QLocale locale;
    const bool megabytes = bytes >= 1000 * 1000;
    const double amount = double(bytes) / (megabytes ? 1e6 : 1e3);
    return locale.toString(amount, 'f', QLocale::FloatingPointShortest) + (megabytes ? u" MB"_s : u" KB"_s);
}

} // namespace

GatewayClientError GatewayClientError::messageTooLarge(qint64 actualBytes, qint64 limit)
{
    GatewayClientError error(Case::messageTooLarge);
    error.m_actualBytes = actualBytes;
    error.m_limit = limit;
    return error;
}

GatewayClientError GatewayClientError::notConnected()
{
    return GatewayClientError(Case::notConnected);
}

GatewayClientError GatewayClientError::encodingFailed()
{
    return GatewayClientError(Case::encodingFailed);
}

GatewayClientError GatewayClientError::unsupportedMessage()
{
    return GatewayClientError(Case::unsupportedMessage);
}

GatewayClientError GatewayClientError::decodingFailed()
{
    return GatewayClientError(Case::decodingFailed);
}

GatewayClientError GatewayClientError::transport(const QString &description)
{
    GatewayClientError error(Case::transport);
    error.m_description = description;
    return error;
}

QString GatewayClientError::message() const
{
    switch (m_case) {
    case Case::messageTooLarge:
        return u"This message is too large to send ("_s + byteCount(m_actualBytes) + u", limit "_s +
            byteCount(m_limit) + u"). Try fewer or smaller images."_s;
    case Case::notConnected: return u"The websocket is not connected."_s;
    case Case::encodingFailed: return u"Failed to encode the websocket request."_s;
    case Case::unsupportedMessage: return u"The gateway sent an unsupported websocket frame."_s;
    case Case::decodingFailed:
        return u"Received a gateway event this app does not understand yet. The session stayed connected."_s;
    case Case::transport: return m_description;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace tessel
