// Screenshots of the real window for looking at it: connected to tessel-demo-gateway (path in
// $TESSEL_DEMO_GATEWAY) over a project folder, with a streamed reply, a tool item, an error
// item and an open file, on both tabs and with the transcript's find bar open, in a light and
// a dark palette, at the minimum and at a large size; then the files tab with a CRLF file, a file of one long line and the
// README's Markdown preview; then with texts too long for their place (a failure message,
// machine and project names, a deeply nested file) at the minimum size.
// Usage: tessel_window_screenshots OUTPUT_DIR PROJECT_DIR (a scratch copy: files are added)
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/TesselDesktopPOCContentView.h"
#include "ui/TranscriptArea.h"
#include "ui/TranscriptView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTcpServer>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int timeoutMs = 20000;

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2d, 0x31), base(0x1e, 0x1f, 0x22), text(0xe8, 0xea, 0xed);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd8));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8d, 0x93));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6b, 0x6e, 0x74));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6b, 0x6e, 0x74));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6b, 0x6e, 0x74));
    return palette;
}

bool fail(const char *what)
{
    std::fprintf(stderr, "window screenshots: %s\n", what);
    return false;
}

bool prepareSession(TesselDesktopPOCModel &model)
{
    model.connect();
    if (!QTest::qWaitFor([&model] { return model.currentSessionID().has_value(); }, timeoutMs))
        return fail("no session");
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
    if (!QTest::qWaitFor(replied, timeoutMs))
        return fail("no reply");
    model.setComposerText(u"Add a --shout option, please."_s);
    model.openDocument(u"src/greeter.py"_s);
    if (!QTest::qWaitFor([&model] { return model.currentDocument().has_value(); }, timeoutMs))
        return fail("no document");
    model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"\n# An unsaved edit.\n"_s);
    return true;
}

// Long names, a deeply nested document and a failed connection whose message names a long URL.
bool prepareLongTexts(TesselDesktopPOCModel &model, const QString &projectDirectory)
{
    const QString nested = u"docs/architecture/decisions/desktop-client/window-layout/sidebar"_s;
    QDir(projectDirectory).mkpath(nested);
    const QString document = nested + u"/status-section-and-session-list-heights.md"_s;
    QFile file(QDir(projectDirectory).filePath(document));
    if (!file.open(QIODevice::WriteOnly) || file.write("# Heights\n\nThe status section shows in full.\n") < 0)
        return fail("cannot write the nested document");
    file.close();
    model.updateSelectedMachineName(u"Build Server in the Basement Rack, Second Shelf from the Top"_s);
    model.updateSelectedProjectName(u"Customer Portal Frontend Rewrite (Quarterly Milestone Branch)"_s);
    model.openDocument(document);
    if (!QTest::qWaitFor(
            [&model, &document] { return model.currentDocument() && model.currentDocument()->path == document; },
            timeoutMs))
        return fail("no nested document");
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return fail("no free port");
    const QString refused =
        u"ws://127.0.0.1:%1/gateway/with/a/path/long/enough/to/fill/the/header"_s.arg(closed.serverPort());
    closed.close();
    model.updateSelectedGatewayURL(refused);
    model.connect();
    if (!QTest::qWaitFor([&model] { return model.connectionState().is(ConnectionState::Kind::failed); }, timeoutMs))
        return fail("the connection did not fail");
    return true;
}

// The window over the model, shown at `size`.
std::unique_ptr<MainWindow> showWindow(TesselDesktopPOCModel &model, QSize size)
{
    auto window = std::make_unique<MainWindow>();
    window->setContent(new TesselDesktopPOCContentView(&model));
    window->resize(size);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        fail("the window was not exposed");
    return window;
}

// Saves the window as it looks once it has settled.
void save(QWidget &window, const QString &directory, const QString &name)
{
    QTest::qWait(400);
    const QString file = QDir(directory).filePath(name + u".png"_s);
    if (!window.grab().save(file))
        fail("cannot write a screenshot");
    std::printf("%s\n", qPrintable(file));
}

void shoot(TesselDesktopPOCModel &model, const QString &directory, const QString &name, QSize size)
{
    const auto window = showWindow(model, size);
    for (const auto tab : {ProjectWorkspaceTab::chat, ProjectWorkspaceTab::files}) {
        model.setWorkspaceTab(tab);
        save(*window, directory, name + u'-' + QString(enumToWire(tab)));
    }
}

// The chat tab with the find bar open over the transcript, its matches highlighted, and the
// view left above the latest items, so that "Jump to latest" counts one that arrived since.
void shootFind(TesselDesktopPOCModel &model, const QString &directory, const QString &name)
{
    model.setWorkspaceTab(ProjectWorkspaceTab::chat);
    const auto window = showWindow(model, QSize(1120, 720));
    auto *transcript = window->findChild<TranscriptArea *>();
    QTest::qWait(400);
    transcript->openFind();
    if (auto *field = window->findChild<QLineEdit *>(u"desktop-transcript-find-field"_s))
        field->setText(u"greet"_s);
    transcript->view()->verticalScrollBar()->setValue(transcript->view()->verticalScrollBar()->maximum() - 120);
    model.transcript()->append(DesktopTranscriptItem::system(u"An item that arrived while reading."_s));
    save(*window, directory, name);
}

// The files tab with `path` open, edited (".md": previewed).
void shootDocument(TesselDesktopPOCModel &model, const QString &directory, const QString &name, const QString &path)
{
    model.openDocument(path);
    if (!QTest::qWaitFor([&] { return model.currentDocument() && model.currentDocument()->path == path; }, timeoutMs))
        fail("no document");
    model.setCurrentDocumentDraft(model.currentDocumentDraft() + u"An unsaved line.\n"_s);
    const auto window = showWindow(model, QSize(1120, 720));
    // At the end of the first line, where a long line shows where it continues.
    if (auto *editor = window->findChild<QPlainTextEdit *>(u"desktop-files-editor"_s))
        editor->moveCursor(QTextCursor::EndOfBlock);
    if (path.endsWith(".md"_L1)) {
        if (auto *mode = window->findChild<QTabBar *>(u"desktop-files-markdown-mode-picker"_s))
            mode->setCurrentIndex(1);
    }
    save(*window, directory, name);
}

void writeSampleFile(const QString &projectDirectory, const QString &name, const QByteArray &bytes)
{
    QFile file(QDir(projectDirectory).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail("cannot write a sample file");
}

} // namespace

int main(int argc, char *argv[])
{
    installPlatformMessageFilter();
    QApplication app(argc, argv);
    if (argc != 3)
        return fail("usage: tessel_window_screenshots OUTPUT_DIR PROJECT_DIR") ? 0 : 2;
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));

    test::DemoGatewayProcess gateway;
    const QString token = u"screenshots-token"_s;
    if (!gateway.start({u"--root"_s, QString::fromLocal8Bit(argv[2]), u"--token"_s, token, u"--no-env-file"_s,
                        u"--delta-interval-ms"_s, u"15"_s}))
        return fail(qPrintable(gateway.errorText())) ? 0 : 1;
    test::ModelHarness harness;
    TesselDesktopPOCModel &model = harness.start();
    model.updateSelectedMachineName(u"Demo Gateway"_s);
    model.updateSelectedGatewayURL(gateway.url().toString());
    model.updateSelectedGatewayToken(token);
    model.updateSelectedProjectName(u"Sample Project"_s);
    model.updateSelectedProjectDirectory(QString::fromLocal8Bit(argv[2]));
    if (!prepareSession(model))
        return 1;

    const QPalette light = QApplication::style()->standardPalette();
    const std::initializer_list<std::pair<QString, QPalette>> palettes{{u"light"_s, light}, {u"dark"_s, darkPalette()}};
    for (const auto &[paletteName, palette] : palettes) {
        QApplication::setPalette(palette);
        shoot(model, output, paletteName + u"-1120x720"_s, QSize(1120, 720));
        shoot(model, output, paletteName + u"-1680x1050"_s, QSize(1680, 1050));
        shootFind(model, output, paletteName + u"-find"_s);
    }

    const QString project = QString::fromLocal8Bit(argv[2]);
    writeSampleFile(project, u"windows.txt"_s,
                    "Written on Windows.\r\nEvery line ends in CR LF.\r\n\r\nKept as is.\r\n");
    writeSampleFile(project, u"one-line.json"_s,
                    "[" + QByteArray("{\"key\": \"value\", \"count\": 12345}, ").repeated(2000) + "0]\n");
    model.setWorkspaceTab(ProjectWorkspaceTab::files);
    model.loadCurrentDirectory(false);
    for (const auto &[paletteName, palette] : palettes) {
        QApplication::setPalette(palette);
        shootDocument(model, output, paletteName + u"-crlf"_s, u"windows.txt"_s);
        shootDocument(model, output, paletteName + u"-long-line"_s, u"one-line.json"_s);
        shootDocument(model, output, paletteName + u"-markdown-preview"_s, u"README.md"_s);
    }
    if (!prepareLongTexts(model, project))
        return 1;
    for (const auto &[paletteName, palette] : palettes) {
        QApplication::setPalette(palette);
        shoot(model, output, paletteName + u"-long-1120x720"_s, QSize(1120, 720));
    }
    return 0;
}
