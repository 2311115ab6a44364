// Typing in huge documents, from key press to the editor's repaint: a 20 MB file of short
// lines and a 2 MB file of one line in the files pane's editor, offscreen. Baselines from
// the same run: the same editor with a small file, and a plain QPlainTextEdit whose every
// keystroke reads the whole text back and compares it with the file, as a draft bound to
// the text would. Also prints the growth of resident memory by loading and by typing, and
// the CPU time and repaints while the cursor only sits there. The chat composer (wrapped
// lines, blankness asked on every edit) with a short message and a 3 MB single line, beside
// the plain QPlainTextEdit it was, whose every keystroke copied the text into the model.
// Run: bench_document_typing

#include "ui/DocumentEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QProcess>
#include <QTextBlock>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

// Counts the paints of one widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

double residentMegabytes()
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends one key and runs the event loop until the editor has painted.
double keyToPaint(QPlainTextEdit &editor, PaintCounter &counter, Qt::Key key, const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    const int before = counter.paints;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &press);
    QApplication::sendEvent(&editor, &release);
    while (counter.paints == before && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(clock.nsecsElapsed()) / 1e6;
}

void measure(const char *name, QPlainTextEdit &editor, const std::function<void()> &load, int keys)
{
    const double memoryBefore = residentMegabytes();
    QElapsedTimer loading;
    loading.start();
    load();
    const double loadMs = double(loading.nsecsElapsed()) / 1e6;
    const double loadedMemory = residentMegabytes() - memoryBefore;
    editor.resize(1000, 700);
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.setFocus();
    // In the middle of the document, at the end of a line (block).
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor.setTextCursor(cursor);
    editor.ensureCursorVisible();
    PaintCounter counter;
    editor.viewport()->installEventFilter(&counter);
    runEventsFor(300);

    std::vector<double> samples;
    for (int i = 0; i < keys; ++i) {
        const bool erase = i % 4 == 3;
        samples.push_back(
            keyToPaint(editor, counter, erase ? Qt::Key_Backspace : Qt::Key_A, erase ? QString() : u"a"_s));
    }
    const double first = samples.front();
    std::sort(samples.begin(), samples.end());
    const double memory = residentMegabytes() - memoryBefore;

    const int paints = counter.paints;
    const double cpu = cpuSeconds();
    runEventsFor(3000);
    const double idle = (cpuSeconds() - cpu) / 3.0 * 100.0;
    std::printf("  %-34s load %5.0f ms, +%4.0f MB   key to paint: median %7.2f ms, first %7.2f ms, worst %7.2f ms"
                " (%d keys), +%4.0f MB   idle: %4.1f %% CPU, %d paints in 3 s\n",
                name, loadMs, loadedMemory, samples[samples.size() / 2], first, samples.back(), keys, memory, idle,
                counter.paints - paints);
    std::fflush(stdout);
    editor.viewport()->removeEventFilter(&counter);
    editor.hide();
}

// Unwrapped in a fixed font as in the files pane, or wrapped in the default font as in the
// composer.
void setUp(QPlainTextEdit &editor, bool composer)
{
    editor.setLineWrapMode(composer ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    if (!composer)
        editor.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

// A DocumentEditor showing `text` as a freshly opened document.
void measureEditor(const char *name, const QString &text, int keys, bool composer = false)
{
    DocumentEditor editor;
    setUp(editor, composer);
    QObject::connect(&editor, &DocumentEditor::draftEdited, &editor, [&](bool) {
        if (composer)
            editor.isBlank();
    });
    measure(
        name, editor, [&] { editor.showDraft(text, text); }, keys);
}

// A plain QPlainTextEdit whose every change reads the text back and compares it.
void measureBoundPlainEdit(const char *name, const QString &text, int keys, bool composer = false)
{
    QPlainTextEdit editor;
    setUp(editor, composer);
    bool differs = false;
    QObject::connect(&editor, &QPlainTextEdit::textChanged, &editor, [&] { differs = editor.toPlainText() != text; });
    measure(
        name, editor, [&] { editor.setPlainText(text); }, keys);
}

} // namespace

// Each case runs in a process of its own, so that its memory figures are its own.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList cases{u"small"_s,         u"lines"_s,          u"line"_s,
                            u"plain-lines"_s,   u"plain-line"_s,     u"composer"_s,
                            u"composer-line"_s, u"plain-composer"_s, u"plain-composer-line"_s};
    const QString chosen = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!cases.contains(chosen)) {
        std::printf("Key to paint in the files editor and the composer (offscreen, %d cores)\n",
                    int(sysconf(_SC_NPROCESSORS_ONLN)));
        std::fflush(stdout);
        for (const QString &name : cases)
            QProcess::execute(QCoreApplication::applicationFilePath(), {name});
        return 0;
    }
    QString lines;
    const QString line = u"    let value = compute(first, second) + offset; // a line of code\n"_s;
    while (lines.size() < 20'000'000)
        lines += line;
    const QString oneLine(2'000'000, u'x');
    const QString message = u"Could you look at the failing build and tell me what changed? "_s.repeated(3);
    const QString composerLine = u"lorem ipsum dolor sit amet "_s.repeated(111'000);
    if (chosen == "small"_L1)
        measureEditor("editor, 13 KB file (baseline)", line.repeated(200), 200);
    else if (chosen == "lines"_L1)
        measureEditor("editor, 20 MB file", lines, 200);
    else if (chosen == "line"_L1)
        measureEditor("editor, 2 MB single line", oneLine, 200);
    else if (chosen == "plain-lines"_L1)
        measureBoundPlainEdit("plain edit + read-back, 20 MB file", lines, 12);
    else if (chosen == "plain-line"_L1)
        measureBoundPlainEdit("plain edit + read-back, 2 MB line", oneLine, 4);
    else if (chosen == "composer"_L1)
        measureEditor("composer, 190-char message", message, 200, true);
    else if (chosen == "composer-line"_L1)
        measureEditor("composer, 3 MB single line", composerLine, 200, true);
    else if (chosen == "plain-composer"_L1)
        measureBoundPlainEdit("plain composer, 190-char message", message, 200, true);
    else
        measureBoundPlainEdit("plain composer, 3 MB single line", composerLine, 4, true);
    return 0;
}
