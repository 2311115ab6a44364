#include "BuildInfo.h"
#include "connection/GatewayURL.h"
#include "ui/DesktopApplication.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

void describeApplication()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(tessel::DesktopApplication::organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(tessel::DesktopApplication::applicationName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(tessel::buildinfo::appVersion) + u" (build "_s +
                                            QString::fromUtf8(tessel::buildinfo::buildNumber) + u')');
}

void parseCommandLine(const QCoreApplication &app)
{
    using tessel::DesktopApplication;
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Desktop client for tessel-gateway servers."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({u"export-screenshots-dir"_s, u"Write screenshots of both tabs to <dir> and quit."_s, u"dir"_s});
    const QString untouched = u" Applies only while the registry is still the untouched first-start default; it is "
                              "shown, not saved or synced, until you edit the registry."_s;
    const QCommandLineOption gatewayURL(QString::fromLatin1(DesktopApplication::gatewayURLOption),
                                        u"Point the machine at the gateway <url> (ws://host:port)."_s + untouched,
                                        u"url"_s);
    const QCommandLineOption projectDirectory(QString::fromLatin1(DesktopApplication::projectDirectoryOption),
                                              u"Point the project at <dir> on the gateway's computer."_s + untouched,
                                              u"dir"_s);
    parser.addOptions({gatewayURL, projectDirectory});
    parser.addPositionalArgument(u"mode"_s,
                                 u"UITestsMockFiles, UITestsMockChat or UITestsMockFileConflict: answer file "
                                 "requests from an in-memory project."_s,
                                 u"[mode...]"_s);
    parser.process(app);
    const auto refuse = [](const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::exit(2);
    };
    if (parser.isSet(gatewayURL) && !tessel::parseGatewayURL(parser.value(gatewayURL)))
        refuse(u"--gateway-url needs a websocket URL such as ws://127.0.0.1:4821, not: "_s + parser.value(gatewayURL));
    if (parser.isSet(projectDirectory) && parser.value(projectDirectory).trimmed().isEmpty())
        refuse(u"--project-directory needs a directory."_s);
}

} // namespace

int main(int argc, char *argv[])
{
    describeApplication();
    {
        // Checked before there is a window: --help, --version and a refused option answer
        // without a display.
        QCoreApplication app(argc, argv);
        parseCommandLine(app);
    }
    tessel::installPlatformMessageFilter();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Tessel Desktop POC"_s);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(tessel::DesktopApplication::desktopFileName));

    tessel::DesktopApplication application(tessel::ProcessInfo::current());
    application.start();
    return QApplication::exec();
}
