#include "DemoGatewayOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

namespace {

QString randomToken()
{
    QByteArray bytes(24, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// A token is written into a KEY=VALUE file, so it must stay on one line and unquoted.
bool isPlainToken(const QString &token)
{
    return !token.isEmpty() &&
        std::all_of(token.begin(), token.end(), [](QChar c) { return c.isPrint() && !c.isSpace(); });
}

} // namespace

std::variant<DemoGatewayOptions, QString> DemoGatewayOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A small gateway for demos and tests: answers every request of the Tessel protocol with a scripted "
        "agent and serves the project files below --root. The message \"flood N\" streams N deltas at full speed."_s);
    parser.addHelpOption();
    const QCommandLineOption port(u"port"_s, u"TCP port (default 4821; 0 picks a free one)."_s, u"port"_s, u"4821"_s);
    const QCommandLineOption listen(u"listen"_s, u"Address to listen on (default 127.0.0.1)."_s, u"address"_s);
    const QCommandLineOption token(u"token"_s, u"Token clients must send in \"hello\" (default: random)."_s,
                                   u"token"_s);
    const QCommandLineOption root(u"root"_s, u"Directory whose files are served (default: current)."_s, u"dir"_s);
    const QCommandLineOption noEnvFile(u"no-env-file"_s, u"Do not write ~/.config/tessel-gateway/gateway.env."_s);
    const QCommandLineOption piUnavailable(u"pi-unavailable"_s, u"Report the pi backend as unavailable."_s,
                                           u"reason"_s);
    const QCommandLineOption interval(u"delta-interval-ms"_s, u"Pause between streamed pieces (default 40)."_s, u"ms"_s,
                                      u"40"_s);
    const QCommandLineOption logRequests(u"log-requests"_s,
                                         u"Print each request's type and key names (never values) on stdout."_s);
    const QCommandLineOption writeDelay(
        u"file-write-delay-ms"_s, u"Apply and answer each file write this much later (default 0)."_s, u"ms"_s, u"0"_s);
    parser.addOptions({port, listen, token, root, noEnvFile, piUnavailable, interval, logRequests, writeDelay});
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(u"help"_s))
        return parser.helpText();

    DemoGatewayOptions options;
    bool ok = false;
    options.port = parser.value(port).toUShort(&ok);
    if (!ok)
        return u"--port must be a number from 0 to 65535."_s;
    if (parser.isSet(listen) && !options.listenAddress.setAddress(parser.value(listen)))
        return u"--listen must be a numeric IPv4 or IPv6 address."_s;
    const int intervalMs = parser.value(interval).toInt(&ok);
    if (!ok || intervalMs < 1)
        return u"--delta-interval-ms must be a positive number."_s;
    options.deltaInterval = std::chrono::milliseconds(intervalMs);
    const int writeDelayMs = parser.value(writeDelay).toInt(&ok);
    if (!ok || writeDelayMs < 0)
        return u"--file-write-delay-ms must be a number of milliseconds."_s;
    options.fileWriteDelay = std::chrono::milliseconds(writeDelayMs);
    options.writeEnvironmentFile = !parser.isSet(noEnvFile);
    options.logRequests = parser.isSet(logRequests);
    options.token = parser.value(token);
    if (parser.isSet(token) && !isPlainToken(options.token))
        return u"--token must be non-empty and contain no spaces or control characters."_s;
    if (!parser.isSet(token)) {
        if (!options.writeEnvironmentFile)
            return u"--no-env-file needs --token: a random token would be known to no client."_s;
        options.token = randomToken();
    }
    if (parser.isSet(piUnavailable))
        options.piUnavailableReason = parser.value(piUnavailable);
    const QFileInfo rootInfo(parser.isSet(root) ? parser.value(root) : QDir::currentPath());
    if (!rootInfo.isDir())
        return u"--root must be an existing directory: "_s + rootInfo.filePath();
    options.root = rootInfo.canonicalFilePath();
    return options;
}

} // namespace tessel::demo
