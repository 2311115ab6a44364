// Typing in huge documents, from key press to the editor's repaint: a 20 MB file of short
// lines and a 2 MB file of one line in the files pane's editor, offscreen. Baselines from
// the same run: the same editor with a small file, and a plain QPlainTextEdit whose every
// keystroke reads the whole text back and compares it with the file, as a draft bound to
// the text would. Also the growth of resident memory by loading and by typing, and the CPU
// time and repaints while the cursor only sits there. The same for the chat composer (wrapped
// lines, blankness asked on every edit) with a short message and a 3 MB single line, beside
// the plain QPlainTextEdit it was, whose every keystroke copied the text into the model.
// Each case runs in a process of its own, so that its memory figures are its own.

#include "BenchSupport.h"

#include "ui/DocumentEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QProcess>
#include <QTextBlock>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

// What one case measures, in the order a case's process prints them.
enum Figure { loadMs, loadMb, medianMs, firstMs, worstMs, typedMb, idleCpu, idlePaints, figureCount };
using Figures = std::array<double, figureCount>;

// Counts the paints of one widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends one key and runs the event loop until the editor has painted.
double keyToPaint(QPlainTextEdit &editor, const PaintCounter &counter, Qt::Key key, const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    const int before = counter.paints;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text),
        release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &press);
    QApplication::sendEvent(&editor, &release);
    while (counter.paints == before && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Loads with `load`, types `keys` keys (every fourth a backspace) at the end of the middle
// line, then lets the editor sit for 3 s.
Figures measure(QPlainTextEdit &editor, const std::function<void()> &load, int keys)
{
    Figures figures{};
    if (editor.lineWrapMode() == QPlainTextEdit::NoWrap)
        editor.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const double memoryBefore = statusMegabytes("VmRSS:");
    QElapsedTimer loading;
    loading.start();
    load();
    figures[loadMs] = double(loading.nsecsElapsed()) / 1e6;
    figures[loadMb] = statusMegabytes("VmRSS:") - memoryBefore;
    editor.resize(1000, 700);
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.setFocus();
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor.setTextCursor(cursor);
    editor.ensureCursorVisible();
    PaintCounter counter;
    editor.viewport()->installEventFilter(&counter);
    runEventsFor(300);
    std::vector<double> samples;
    for (int i = 0; i < keys; ++i)
        samples.push_back(i % 4 == 3 ? keyToPaint(editor, counter, Qt::Key_Backspace, {})
                                     : keyToPaint(editor, counter, Qt::Key_A, u"a"_s));
    figures[firstMs] = samples.front();
    figures[medianMs] = percentile(samples, 0.5);
    figures[worstMs] = percentile(samples, 1);
    figures[typedMb] = statusMegabytes("VmRSS:") - memoryBefore;
    const int paints = counter.paints;
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    runEventsFor(3000);
    figures[idleCpu] = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) / 3.0 * 100.0;
    figures[idlePaints] = counter.paints - paints;
    editor.viewport()->removeEventFilter(&counter);
    return figures;
}

// The text a case types into.
QString caseText(const QString &name)
{
    const QString line = u"    let value = compute(first, second) + offset; // a line of code\n"_s;
    if (name.endsWith("composer"_L1))
        return u"Could you look at the failing build and tell me what changed? "_s.repeated(3);
    if (name.endsWith("composer-line"_L1))
        return u"lorem ipsum dolor sit amet "_s.repeated(111'000);
    if (name == "small"_L1)
        return line.repeated(200);
    if (name.endsWith("line"_L1))
        return QString(2'000'000, u'x');
    QString lines;
    while (lines.size() < 20'000'000)
        lines += line;
    return lines;
}

// Runs `name` in the process it was asked for and prints its figures. Files cases are
// unwrapped, as in the files pane; composer cases wrap and ask for blankness on each edit.
void runCase(const QString &name)
{
    const QString text = caseText(name);
    const bool composer = name.contains("composer"_L1);
    const auto wrap = composer ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap;
    Figures figures;
    if (name.startsWith("plain"_L1)) {
        QPlainTextEdit editor;
        editor.setLineWrapMode(wrap);
        bool differs = false;
        QObject::connect(&editor, &QPlainTextEdit::textChanged, &editor,
                         [&] { differs = editor.toPlainText() != text; });
        figures = measure(
            editor, [&] { editor.setPlainText(text); }, text.size() > 1'000'000 ? 4 : 200);
    } else {
        DocumentEditor editor;
        editor.setLineWrapMode(wrap);
        QObject::connect(&editor, &DocumentEditor::draftEdited, &editor, [&](bool) {
            if (composer)
                editor.isBlank();
        });
        figures = measure(
            editor, [&] { editor.showDraft(text, text); }, 200);
    }
    for (double figure : figures)
        std::printf("%f ", figure);
}

Figures runProcess(const QString &name)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {name});
    child.waitForFinished(-1);
    const QList<QByteArray> printed = child.readAllStandardOutput().simplified().split(' ');
    Figures figures;
    for (int i = 0; i < figureCount; ++i)
        figures[i] = printed.value(i).toDouble();
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        return runCase(QString::fromLocal8Bit(argv[1])), 0;
    const Figures small = runProcess(u"small"_s), lines = runProcess(u"lines"_s), line = runProcess(u"line"_s);
    const Figures plainLines = runProcess(u"plain-lines"_s), plainLine = runProcess(u"plain-line"_s);
    const Figures composer = runProcess(u"composer"_s), composerLine = runProcess(u"composer-line"_s);
    const Figures plainComposer = runProcess(u"plain-composer"_s);
    const Figures plainComposerLine = runProcess(u"plain-composer-line"_s);
    printHeader(
        qPrintable(u"Key to paint in the files editor and the composer, offscreen, %1 cores"_s.arg(sysconf(_SC_NPROCESSORS_ONLN))));
    const auto rows = [](const char *file, const Figures &ours, const Figures &baseline, const char *against) {
        const auto row = [&](const char *what, Figure figure, const char *unit) {
            printRow(qPrintable(u"%1, %2 vs %3"_s.arg(QLatin1StringView(what), QLatin1StringView(file),
                                                      QLatin1StringView(against))),
                     ours[figure], baseline[figure], unit);
        };
        row("key to paint median", medianMs, "ms");
        row("key to paint worst", worstMs, "ms");
        row("first key to paint", firstMs, "ms");
        row("load", loadMs, "ms");
        row("resident growth by loading", loadMb, "MB");
        row("resident growth by loading and typing", typedMb, "MB");
        row("idle CPU %", idleCpu, "%");
        row("idle paints in 3 s", idlePaints, "");
    };
    rows("20 MB file", lines, small, "13 KB");
    rows("2 MB line", line, small, "13 KB");
    rows("20 MB file", lines, plainLines, "plain edit");
    rows("2 MB line", line, plainLine, "plain edit");
    rows("composer, 190-char message", composer, plainComposer, "plain composer");
    rows("composer, 3 MB line", composerLine, plainComposerLine, "plain composer");
    return 0;
}
