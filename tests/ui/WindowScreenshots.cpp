// Screenshots of the real window for looking at it: connected to tessel-demo-gateway (path in
// $TESSEL_DEMO_GATEWAY) over a project folder, with a streamed reply, a tool item, an error
// item and an open file, on both tabs, in a light and a dark palette, at the minimum and at
// a large size; then the files tab with a CRLF file, a file of one long line and the
// README's Markdown preview; then with texts too long for their place (a failure message,
// machine and project names, a deeply nested file) at the minimum size.
// Usage: tessel_window_screenshots OUTPUT_DIR PROJECT_DIR (a scratch copy: files are added)
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "support/TestFiles.h"
#include "support/TestWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleFactory>
#include <QTcpServer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int timeoutMs = 20000;

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2b2d31), base(0x1e1f22), text(0xe8eaed);
    for (const auto &[role, colour] : {std::pair{QPalette::Window, window},
                                       {QPalette::WindowText, text},
                                       {QPalette::Base, base},
                                       {QPalette::AlternateBase, window},
                                       {QPalette::Text, text},
                                       {QPalette::Button, window},
                                       {QPalette::ButtonText, text},
                                       {QPalette::Highlight, QColor(0x3d7ed8)},
                                       {QPalette::HighlightedText, QColor(Qt::white)},
                                       {QPalette::PlaceholderText, QColor(0x8a8d93)}})
        palette.setColor(role, colour);
    for (const auto role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
        palette.setColor(QPalette::Disabled, role, QColor(0x6b6e74));
    return palette;
}

bool fail(const char *what)
{
    std::fprintf(stderr, "window screenshots: %s\n", what);
    return false;
}

bool waitFor(const std::function<bool()> &condition, const char *failure)
{
    return QTest::qWaitFor(condition, timeoutMs) || fail(failure);
}

bool openDocument(TesselDesktopPOCModel &model, const QString &path)
{
    model.openDocument(path);
    return waitFor([&] { return model.currentDocument() && model.currentDocument()->path == path; }, "no document");
}

bool prepareSession(TesselDesktopPOCModel &model)
{
    model.connect();
    if (!waitFor([&model] { return model.currentSessionID().has_value(); }, "no session"))
        return false;
    model.setComposerText(u"Which files are in this project?"_s);
    model.sendComposerMessage();
    // A second message while the agent is still busy: the gateway answers with an error item.
    QTest::qWait(150);
    model.setComposerText(u"And what does greeter.py do?"_s);
    model.sendComposerMessage();
    const auto replied = [&model] {
        return std::ranges::any_of(model.transcript()->items(), [](const DesktopTranscriptItem &item) {
            return item.role == DesktopTranscriptRole::assistant && !item.isStreaming;
        });
    };
    if (!waitFor(replied, "no reply"))
        return false;
    model.setComposerText(u"Add a --shout option, please."_s);
    if (!openDocument(model, u"src/greeter.py"_s))
        return false;
    model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"\n# An unsaved edit.\n"_s);
    return true;
}

// Long names, a deeply nested document and a failed connection whose message names a long URL.
bool prepareLongTexts(TesselDesktopPOCModel &model, const QDir &project)
{
    const QString nested = u"docs/architecture/decisions/desktop-client/window-layout/sidebar"_s;
    const QString document = nested + u"/status-section-and-session-list-heights.md"_s;
    if (!test::writeFile(project.filePath(document), "# Heights\n\nThe status section shows in full.\n"))
        return fail("cannot write a file");
    model.updateSelectedMachineName(u"Build Server in the Basement Rack, Second Shelf from the Top"_s);
    model.updateSelectedProjectName(u"Customer Portal Frontend Rewrite (Quarterly Milestone Branch)"_s);
    if (!openDocument(model, document))
        return false;
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return fail("no free port");
    model.updateSelectedGatewayURL(
        u"ws://127.0.0.1:%1/gateway/with/a/path/long/enough/to/fill/the/header"_s.arg(closed.serverPort()));
    closed.close();
    model.connect();
    return waitFor([&model] { return model.connectionState().is(ConnectionState::Kind::failed); },
                   "the connection did not fail");
}

// One shot in every palette: the window at `size` on both tabs, as PALETTE-NAME-chat and
// PALETTE-NAME-files; or, with a `document`, the files tab with it open and edited, at the end
// of its first line, where a long line shows where it continues, Markdown in its preview.
struct Shot
{
    QString name;
    QString document = {};
    QSize size = {1120, 720};
};

// Writes the window over `model` at the shot's size to DIRECTORY/NAME.png.
void shoot(TesselDesktopPOCModel &model, const QDir &directory, const QString &name, const Shot &shot)
{
    test::TestWindow window(model, shot.size);
    if (!QTest::qWaitForWindowExposed(&window))
        fail("the window was not exposed");
    if (!shot.document.isEmpty()) {
        window.control<QPlainTextEdit>("files-editor")->moveCursor(QTextCursor::EndOfBlock);
        if (shot.document.endsWith(".md"_L1))
            window.control<QTabBar>("files-markdown-mode-picker")->setCurrentIndex(1);
    }
    QTest::qWait(400);
    const QString file = directory.filePath(name + u".png"_s);
    if (!window.grab().save(file))
        fail("cannot write a screenshot");
    std::printf("%s\n", qPrintable(file));
}

void shootInEveryPalette(TesselDesktopPOCModel &model, const QDir &directory, std::initializer_list<Shot> shots)
{
    for (const auto &[paletteName, palette] : {std::pair{u"light"_s, QApplication::style()->standardPalette()},
                                               {u"dark"_s, darkPalette()}}) {
        QApplication::setPalette(palette);
        for (const Shot &shot : shots) {
            const QString name = paletteName + u'-' + shot.name;
            if (!shot.document.isEmpty()) {
                openDocument(model, shot.document);
                model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"An unsaved line.\n"_s);
                shoot(model, directory, name, shot);
                continue;
            }
            for (const auto tab : {ProjectWorkspaceTab::chat, ProjectWorkspaceTab::files}) {
                model.setWorkspaceTab(tab);
                shoot(model, directory, name + u'-' + QString(enumToWire(tab)), shot);
            }
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    installPlatformMessageFilter();
    QApplication app(argc, argv);
    if (argc != 3)
        return fail("usage: tessel_window_screenshots OUTPUT_DIR PROJECT_DIR") ? 0 : 2;
    const QDir output(QString::fromLocal8Bit(argv[1]));
    const QString project = QString::fromLocal8Bit(argv[2]);
    output.mkpath(u"."_s);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));

    test::DemoGatewayProcess gateway;
    const QString token = u"screenshots-token"_s;
    if (!gateway.start(
            {u"--root"_s, project, u"--token"_s, token, u"--no-env-file"_s, u"--delta-interval-ms"_s, u"15"_s}))
        return fail(qPrintable(gateway.errorText())) ? 0 : 1;
    test::ModelHarness harness;
    TesselDesktopPOCModel &model = harness.start();
    model.updateSelectedMachineName(u"Demo Gateway"_s);
    model.updateSelectedGatewayURL(gateway.url().toString());
    model.updateSelectedGatewayToken(token);
    model.updateSelectedProjectName(u"Sample Project"_s);
    model.updateSelectedProjectDirectory(project);
    if (!prepareSession(model))
        return 1;

    shootInEveryPalette(model, output, {{u"1120x720"_s}, {u"1680x1050"_s, {}, QSize(1680, 1050)}});
    if (!test::writeFile(QDir(project).filePath(u"windows.txt"_s),
                         "Written on Windows.\r\nEvery line ends in CR LF.\r\n\r\nKept as is.\r\n") ||
        !test::writeFile(QDir(project).filePath(u"one-line.json"_s),
                         "[" + QByteArray("{\"key\": \"value\", \"count\": 12345}, ").repeated(2000) + "0]\n"))
        return fail("cannot write a file") ? 0 : 1;
    model.setWorkspaceTab(ProjectWorkspaceTab::files);
    model.loadCurrentDirectory(false);
    shootInEveryPalette(model, output,
                        {{u"crlf"_s, u"windows.txt"_s}, {u"long-line"_s, u"one-line.json"_s},
                         {u"markdown-preview"_s, u"README.md"_s}});
    if (!prepareLongTexts(model, QDir(project)))
        return 1;
    shootInEveryPalette(model, output, {{u"long-1120x720"_s}});
    return 0;
}
