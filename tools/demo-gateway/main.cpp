#include "DemoEnvironmentFile.h"
#include "DemoGatewayOptions.h"
#include "DemoGatewayServer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel::demo;

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tessel-demo-gateway"_s);
    const auto parsed = DemoGatewayOptions::parse(QCoreApplication::arguments());
    if (const QString *message = std::get_if<QString>(&parsed)) {
        const bool help =
            QCoreApplication::arguments().contains(u"--help"_s) || QCoreApplication::arguments().contains(u"-h"_s);
        printLine(help ? stdout : stderr, *message);
        return help ? 0 : 2;
    }
    const DemoGatewayOptions &options = std::get<DemoGatewayOptions>(parsed);
    if (!options.listenAddress.isLoopback())
        printLine(stderr,
                  u"warning: listening on %1 lets other computers reach the files below %2"_s.arg(
                      options.listenAddress.toString(), options.root));

    DemoGatewayServer server(options);
    QString error;
    if (!server.listen(&error)) {
        printLine(stderr,
                  u"cannot listen on %1:%2: %3"_s.arg(options.listenAddress.toString()).arg(options.port).arg(error));
        return 1;
    }
    if (options.writeEnvironmentFile) {
        const QString file = writeEnvironmentFile(QDir::homePath(), options.token, server.port(), &error);
        if (file.isEmpty()) {
            printLine(stderr, u"cannot write the gateway environment file: "_s + error);
            return 1;
        }
        printLine(stdout, u"token written to "_s + file);
    }
    // Tests read the port from this line; the token is never printed.
    printLine(stdout,
              u"listening on ws://%1:%2 serving %3"_s.arg(options.listenAddress.toString())
                  .arg(server.port())
                  .arg(options.root));
    return QCoreApplication::exec();
}
