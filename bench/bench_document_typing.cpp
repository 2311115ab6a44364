// Typing in huge documents, key press to repaint, offscreen: a 20 MB file of short lines and a
// 2 MB single line in the files pane's editor (unwrapped), a 3 MB single line in the composer
// (wrapped, blankness asked on every edit); then the CPU while the cursor only sits there.
// Baseline: a plain QPlainTextEdit whose every keystroke reads the whole text back, as a draft
// bound to the text would. Each case runs in a process of its own.

#include "BenchSupport.h"
#include "PaintCounter.h"

#include "ui/DocumentEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QProcess>
#include <QTextBlock>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

struct Figures
{
    double medianMs = 0, idleCpu = 0;
};

// Sends one key and runs the event loop until the editor has painted.
double keyToPaint(QPlainTextEdit &editor, const PaintCounter &counter, Qt::Key key, const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    const int before = counter.paints;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text), release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &press);
    QApplication::sendEvent(&editor, &release);
    while (counter.paints == before && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Types `keys` keys (every fourth a backspace) at the end of the middle line of the loaded
// editor, then lets it sit for 3 s.
Figures measure(QPlainTextEdit &editor, int keys)
{
    editor.resize(1000, 700);
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.setFocus();
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor.setTextCursor(cursor);
    PaintCounter counter;
    editor.viewport()->installEventFilter(&counter);
    runEventsFor(300);
    std::vector<double> samples;
    for (int i = 0; i < keys; ++i)
        samples.push_back(i % 4 == 3 ? keyToPaint(editor, counter, Qt::Key_Backspace, {})
                                     : keyToPaint(editor, counter, Qt::Key_A, u"a"_s));
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    runEventsFor(3000);
    editor.viewport()->removeEventFilter(&counter);
    return {percentile(samples, 0.5), (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) / 3.0 * 100.0};
}

QString caseText(const QString &name)
{
    if (name.endsWith("composer"_L1))
        return u"lorem ipsum dolor sit amet "_s.repeated(111'000);
    if (name.endsWith("line"_L1))
        return QString(2'000'000, u'x');
    return u"    let value = compute(first, second) + offset; // a line of code\n"_s.repeated(300'000);
}

// Runs case `name` ("lines", "line", "composer", each with or without "plain-") and prints
// its figures.
void runCase(const QString &name)
{
    const QString text = caseText(name);
    const bool composer = name.endsWith("composer"_L1), plain = name.startsWith("plain"_L1);
    DocumentEditor *document = plain ? nullptr : new DocumentEditor;
    const std::unique_ptr<QPlainTextEdit> editor(plain ? new QPlainTextEdit : document);
    editor->setLineWrapMode(composer ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    if (!composer)
        editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (document) {
        document->showDraft(text, text);
        QObject::connect(document, &DocumentEditor::draftEdited, document, [=](bool) {
            if (composer)
                document->isBlank();
        });
    } else {
        editor->setPlainText(text);
        QObject::connect(editor.get(), &QPlainTextEdit::textChanged, [&] { (void)(editor->toPlainText() != text); });
    }
    const Figures figures = measure(*editor, plain && text.size() > 1'000'000 ? 4 : 200);
    std::printf("%f %f", figures.medianMs, figures.idleCpu);
}

Figures runProcess(const QString &name)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {name});
    child.waitForFinished(-1);
    const QList<QByteArray> printed = child.readAllStandardOutput().simplified().split(' ');
    return {printed.value(0).toDouble(), printed.value(1).toDouble()};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        return runCase(QString::fromLocal8Bit(argv[1])), 0;
    printHeader("Key to paint in the files editor and the composer, offscreen; baseline: a plain QPlainTextEdit");
    for (const auto &[name, label] : {std::pair("lines", "20 MB file"), std::pair("line", "2 MB line"),
                                      std::pair("composer", "composer, 3 MB line")}) {
        const Figures ours = runProcess(QLatin1StringView(name)), plain = runProcess(u"plain-%1"_s.arg(QLatin1StringView(name)));
        printRow(qPrintable(u"%1: key to paint, median"_s.arg(QLatin1StringView(label))), ours.medianMs, plain.medianMs, "ms");
        printRow(qPrintable(u"%1: idle CPU"_s.arg(QLatin1StringView(label))), ours.idleCpu, plain.idleCpu, "%");
    }
    return 0;
}
