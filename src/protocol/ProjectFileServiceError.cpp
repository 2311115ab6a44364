#include "protocol/ProjectFileServiceError.h"

#include "protocol/GatewayServerEnvelope.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

ProjectFileServiceError::ProjectFileServiceError(Case errorCase, const QString &code, const QString &detail)
    : m_case(errorCase)
    , m_code(code)
    , m_detail(detail)
{ }

ProjectFileServiceError ProjectFileServiceError::invalidGatewayURL(const QString &trimmedURL)
{
    return {Case::invalidGatewayURL, {}, trimmedURL};
}

ProjectFileServiceError ProjectFileServiceError::gateway(const QString &code, const QString &message)
{
    return {Case::gateway, code, message};
}

ProjectFileServiceError ProjectFileServiceError::transport(const QString &message)
{
    return {Case::transport, {}, message};
}

ProjectFileServiceError ProjectFileServiceError::timeout()
{
    return {Case::timeout, {}, {}};
}

ProjectFileServiceError ProjectFileServiceError::unsupportedGateway()
{
    return {Case::unsupportedGateway, {}, {}};
}

ProjectFileServiceError ProjectFileServiceError::malformedResponse()
{
    return {Case::malformedResponse, {}, {}};
}

QString ProjectFileServiceError::message() const
{
    switch (m_case) {
    case Case::invalidGatewayURL: return u"The gateway URL is invalid: "_s + m_detail;
    case Case::gateway:
    case Case::transport: return m_detail;
    case Case::timeout: return u"The gateway did not respond in time."_s;
    case Case::unsupportedGateway:
        return u"This gateway does not support project files yet. Update tessel-gateway on the Mac and try again."_s;
    case Case::malformedResponse: return u"The gateway returned an incomplete file response."_s;
    }
    Q_UNREACHABLE();
    return {};
}

ProjectFileServiceError projectFileServiceError(const GatewayServerEnvelope &envelope)
{
    const QString code = envelope.code.value_or(u"INTERNAL_ERROR"_s);
    const QString message = envelope.message.value_or(u"Unknown gateway error"_s);
    if (code == "BAD_REQUEST"_L1 && message == "Request validation failed"_L1)
        return ProjectFileServiceError::unsupportedGateway();
    return ProjectFileServiceError::gateway(code, message);
}

} // namespace tessel
