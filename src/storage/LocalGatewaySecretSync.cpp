#include "storage/LocalGatewaySecretSync.h"

#include "storage/RegularFile.h"

#include <QDir>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QStringDecoder>
#include <QSysInfo>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace tessel::LocalGatewaySecretSync {

namespace {

// An environment file is a few lines; anything this large is not one.
constexpr qint64 maxConfigurationBytes = 16 * 1024 * 1024;

bool isLineBreak(QChar character)
{
    switch (character.unicode()) {
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default: return false;
    }
}

QList<QStringView> nonEmptyLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype index = 0; index <= text.size(); ++index) {
        if (index < text.size() && !isLineBreak(text[index]))
            continue;
        if (index > start)
            lines.append(text.sliced(start, index - start));
        start = index + 1;
    }
    return lines;
}

QStringView unquoted(QStringView value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == u'"' || value.front() == u'\''))
        return value.sliced(1, value.size() - 2);
    return value;
}

// An optional sign, then ASCII digits only; nothing on overflow.
std::optional<qint64> parseDecimal(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    qint64 number = 0;
    for (const QChar character : text) {
        if (character < u'0' || character > u'9')
            return std::nullopt;
        if (number > (std::numeric_limits<qint64>::max() - 9) / 10)
            return std::nullopt;
        number = number * 10 + (character.unicode() - u'0');
    }
    return negative ? -number : number;
}

bool isIPv4Literal(const QString &host)
{
    const QStringList pieces = host.split(u'.', Qt::SkipEmptyParts);
    return pieces.size() == 4 && std::all_of(pieces.cbegin(), pieces.cend(), [](const QString &piece) {
               const std::optional<qint64> number = parseDecimal(piece);
               return number && *number >= 0 && *number <= 255 && piece.front().isDigit();
           });
}

bool shouldAddLocalSuffix(const QString &host)
{
    if (host.contains(u':') || isIPv4Literal(host))
        return false;
    return !host.contains(u'.');
}

} // namespace

QString defaultConfigurationPath(const QString &homeDirectory)
{
    return homeDirectory + "/.config/tessel-gateway/gateway.env"_L1;
}

std::optional<LocalGatewayEnvironmentConfiguration> loadConfiguration(const QString &path)
{
    // A link to the real file is fine (dotfile managers make them); a FIFO or device is not.
    const RegularFile::ReadResult file = RegularFile::read(path, maxConfigurationBytes, RegularFile::Links::follow);
    if (file.status != RegularFile::ReadResult::Status::read)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(file.bytes);
    if (decoder.hasError())
        return std::nullopt;
    return parseConfiguration(text);
}

std::optional<LocalGatewayEnvironmentConfiguration> parseConfiguration(const QString &text)
{
    std::optional<QString> token;
    int port = LocalGatewayEnvironmentConfiguration::defaultPort;
    for (const QStringView rawLine : nonEmptyLines(text)) {
        const QStringView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = line.first(equals).trimmed();
        const QStringView value = unquoted(line.sliced(equals + 1).trimmed());
        if (key == u"TESSEL_AUTH_TOKEN") {
            token = value.toString();
        } else if (key == u"TESSEL_PORT" && !value.isEmpty()) {
            if (const std::optional<qint64> number = parseDecimal(value); number && *number > 0 && *number < 65536)
                port = int(*number);
        }
    }
    if (!token)
        return std::nullopt;
    return LocalGatewayEnvironmentConfiguration::make(*token, port);
}

QStringList currentInterfaceAddresses()
{
    QStringList addresses;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            const auto protocol = address.protocol();
            if (protocol == QAbstractSocket::IPv4Protocol || protocol == QAbstractSocket::IPv6Protocol)
                addresses.append(address.toString());
        }
    }
    return addresses;
}

QSet<QString> localEndpointIdentifiers()
{
    return localEndpointIdentifiers({QHostInfo::localHostName(), QSysInfo::machineHostName()},
                                    currentInterfaceAddresses());
}

QSet<QString> localEndpointIdentifiers(const QStringList &hostNames, const QStringList &interfaceAddresses)
{
    QSet<QString> identifiers{u"localhost"_s, u"127.0.0.1"_s, u"::1"_s, u"0.0.0.0"_s};
    for (const QString &address : interfaceAddresses)
        identifiers.insert(address);
    for (const QString &name : hostNames)
        identifiers.unite(normalizedHostIdentifiers(name));
    return identifiers;
}

QSet<QString> normalizedHostIdentifiers(const QString &value)
{
    qsizetype start = 0;
    qsizetype end = value.size();
    while (start < end && (value[start] == u'[' || value[start] == u']'))
        ++start;
    while (end > start && (value[end - 1] == u'[' || value[end - 1] == u']'))
        --end;
    const QString host = value.sliced(start, end - start).trimmed().toLower();
    if (host.isEmpty())
        return {};
    const QStringList pieces = host.split(u'%', Qt::SkipEmptyParts);
    const QString kept = pieces.isEmpty() ? host : pieces.first();
    if (kept.isEmpty())
        return {};
    QSet<QString> identifiers{kept};
    if (kept.endsWith(".local"_L1))
        identifiers.insert(kept.chopped(6));
    else if (shouldAddLocalSuffix(kept))
        identifiers.insert(kept + ".local"_L1);
    return identifiers;
}

bool matchesLocalGateway(const QString &gatewayURL, int port, const QSet<QString> &identifiers)
{
    const QUrl url(gatewayURL, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString host = url.host().trimmed();
    if (host.isEmpty())
        return false;
    if (url.port(LocalGatewayEnvironmentConfiguration::defaultPort) != port)
        return false;
    QSet<QString> local;
    for (const QString &identifier : identifiers)
        local.unite(normalizedHostIdentifiers(identifier));
    return local.intersects(normalizedHostIdentifiers(host));
}

} // namespace tessel::LocalGatewaySecretSync
