#include "storage/GatewaySecretStoreBackend.h"

#include <QStringDecoder>

namespace tessel {

std::optional<QString> tokenFromStoredBytes(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString token = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return token;
}

} // namespace tessel
