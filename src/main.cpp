#include "BuildInfo.h"
#include "ui/DesktopApplication.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QCommandLineParser>

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
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Desktop client for tessel-gateway servers."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({u"export-screenshots-dir"_s, u"Write screenshots of both tabs to <dir> and quit."_s, u"dir"_s});
    parser.addPositionalArgument(u"mode"_s,
                                 u"UITestsMockFiles, UITestsMockChat or UITestsMockFileConflict: answer file "
                                 "requests from an in-memory project."_s,
                                 u"[mode...]"_s);
    parser.process(app);
}

// --help and --version print and exit, so they need no display.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int index = 1; index < argc; ++index) {
        const QByteArrayView argument(argv[index]);
        if (argument == "--help" || argument == "-h" || argument == "--help-all" || argument == "--version" ||
            argument == "-v")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    describeApplication();
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        parseCommandLine(app);
    }
    tessel::installPlatformMessageFilter();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Tessel Desktop POC"_s);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(tessel::DesktopApplication::desktopFileName));
    parseCommandLine(app);

    tessel::DesktopApplication application(tessel::ProcessInfo::current());
    application.start();
    return QApplication::exec();
}
