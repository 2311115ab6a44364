// Screenshots of the real window for looking at it: connected to tessel-demo-gateway (path in
// $TESSEL_DEMO_GATEWAY) over a project folder, with a streamed reply, a tool item, an error
// item and an open file, on both tabs and with the transcript's find bar open, in a light and a dark palette, at the minimum and at
// a large size; then the files tab with a CRLF file, a file of one long line and the
// README's Markdown preview; then the chat with a Markdown reply and a reply of one line too
// long to show whole; then with texts too long for their place (a failure message,
// machine and project names, a deeply nested file) at the minimum size.
// Usage: tessel_window_screenshots OUTPUT_DIR PROJECT_DIR (a scratch copy: files are added)
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "support/TestWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/TranscriptArea.h"
#include "ui/TranscriptView.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) || fail("cannot write a file");
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
        const auto &items = model.transcript()->items();
        return std::any_of(items.cbegin(), items.cend(), [](const DesktopTranscriptItem &item) {
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
    if (!project.mkpath(nested) ||
        !writeFile(project.filePath(document), "# Heights\n\nThe status section shows in full.\n"))
        return false;
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

// Writes the window over `model` at `size` to DIRECTORY/NAME.png once `arrange` has set it up.
void shoot(TesselDesktopPOCModel &model, const QDir &directory, const QString &name, QSize size,
           const std::function<void(test::TestWindow &)> &arrange = {})
{
    test::TestWindow window(model, size);
    if (!QTest::qWaitForWindowExposed(&window))
        fail("the window was not exposed");
    if (arrange)
        arrange(window);
    QTest::qWait(400);
    const QString file = directory.filePath(name + u".png"_s);
    if (!window.grab().save(file))
        fail("cannot write a screenshot");
    std::printf("%s\n", qPrintable(file));
}

// Both tabs, as NAME-chat and NAME-files.
void shootTabs(TesselDesktopPOCModel &model, const QDir &directory, const QString &name, QSize size)
{
    for (const auto tab : {ProjectWorkspaceTab::chat, ProjectWorkspaceTab::files}) {
        model.setWorkspaceTab(tab);
        shoot(model, directory, name + u'-' + QString(enumToWire(tab)), size);
    }
}

// The files tab with `path` open and edited, at the end of its first line, where a long line
// shows where it continues; Markdown in its preview.
void shootDocument(TesselDesktopPOCModel &model, const QDir &directory, const QString &name, const QString &path)
{
    openDocument(model, path);
    model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"An unsaved line.\n"_s);
    shoot(model, directory, name, QSize(1120, 720), [&path](test::TestWindow &window) {
        window.control<QPlainTextEdit>("files-editor")->moveCursor(QTextCursor::EndOfBlock);
        if (path.endsWith(".md"_L1))
            window.control<QTabBar>("files-markdown-mode-picker")->setCurrentIndex(1);
    });
}

// The chat tab with the find bar open over the transcript, its matches highlighted, and the
// view left above the latest items, so that "Jump to latest" counts one that arrived since.
void shootFind(TesselDesktopPOCModel &model, const QDir &directory, const QString &name)
{
    model.setWorkspaceTab(ProjectWorkspaceTab::chat);
    shoot(model, directory, name, QSize(1120, 720), [&model](test::TestWindow &window) {
        auto *transcript = window.findChild<TranscriptArea *>();
        QTest::qWait(400);
        transcript->openFind();
        window.control<QLineEdit>("transcript-find-field")->setText(u"greet"_s);
        QScrollBar *scroll = transcript->view()->verticalScrollBar();
        scroll->setValue(scroll->maximum() - 120);
        model.transcript()->append(DesktopTranscriptItem::system(u"An item that arrived while reading."_s));
    });
}

// The chat tab ending with a reply in Markdown, after a reply of one very long line; then
// scrolled to the end of that line, where the bubble says how much of it is shown.
void shootTranscript(TesselDesktopPOCModel &model, const QDir &directory, const QString &name)
{
    model.setWorkspaceTab(ProjectWorkspaceTab::chat);
    const int longRow = model.transcript()->rowCount() - 2;
    for (const auto &[suffix, row] : {std::pair{u"-markdown"_s, longRow + 1}, std::pair{u"-long-reply"_s, longRow}}) {
        shoot(model, directory, name + suffix, QSize(1120, 720), [row](test::TestWindow &window) {
            // The long reply is laid out a little per frame: let it finish first.
            QTest::qWait(1500);
            auto *view = window.findChild<TranscriptView *>();
            view->scrollTo(view->model()->index(row, 0), QAbstractItemView::PositionAtBottom);
        });
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

    const std::initializer_list<std::pair<QString, QPalette>> palettes{
        {u"light"_s, QApplication::style()->standardPalette()}, {u"dark"_s, darkPalette()}};
    for (const auto &[name, palette] : palettes) {
        QApplication::setPalette(palette);
        shootTabs(model, output, name + u"-1120x720"_s, QSize(1120, 720));
        shootTabs(model, output, name + u"-1680x1050"_s, QSize(1680, 1050));
        shootFind(model, output, name + u"-find"_s);
    }

    writeFile(QDir(project).filePath(u"windows.txt"_s),
              "Written on Windows.\r\nEvery line ends in CR LF.\r\n\r\nKept as is.\r\n");
    writeFile(QDir(project).filePath(u"one-line.json"_s),
              "[" + QByteArray("{\"key\": \"value\", \"count\": 12345}, ").repeated(2000) + "0]\n");
    model.setWorkspaceTab(ProjectWorkspaceTab::files);
    model.loadCurrentDirectory(false);
    for (const auto &[name, palette] : palettes) {
        QApplication::setPalette(palette);
        shootDocument(model, output, name + u"-crlf"_s, u"windows.txt"_s);
        shootDocument(model, output, name + u"-long-line"_s, u"one-line.json"_s);
        shootDocument(model, output, name + u"-markdown-preview"_s, u"README.md"_s);
    }
    model.transcript()->finalizeAssistantMessage(u"lines/"_s + QString(300'000, u'x'), u"long"_s, u"Codex"_s);
    model.transcript()->finalizeAssistantMessage(
        u"## Adding `--shout`\n\nThe greeter takes its options in *one* place, so the change is small:\n\n"
        "1. Parse the flag in `main()`.\n2. Upper-case the greeting when it is set.\n\n"
        "```python\nif args.shout:\n    greeting = greeting.upper()\n```\n\n"
        "See the [argparse documentation](https://docs.python.org/3/library/argparse.html) for **more**."_s,
        u"markdown"_s, u"Codex"_s);
    for (const auto &[name, palette] : palettes) {
        QApplication::setPalette(palette);
        shootTranscript(model, output, name + u"-transcript"_s);
    }
    if (!prepareLongTexts(model, QDir(project)))
        return 1;
    for (const auto &[name, palette] : palettes) {
        QApplication::setPalette(palette);
        shootTabs(model, output, name + u"-long-1120x720"_s, QSize(1120, 720));
    }
    return 0;
}
