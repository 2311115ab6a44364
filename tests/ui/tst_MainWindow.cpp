#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTitledWindowAtMinimumSizeWithoutWarnings();
};

namespace {

QStringList g_messages;

void collectMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages << message;
}

} // namespace

void tst_MainWindow::showsTitledWindowAtMinimumSizeWithoutWarnings()
{
    const auto previous = qInstallMessageHandler(collectMessages);
    // Chains to the collector, as it chains to the default handler in the app.
    installPlatformMessageFilter();
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), u"Tessel Desktop POC"_s);
        QVERIFY(window.centralWidget()->width() >= 1120);
        QVERIFY(window.centralWidget()->height() >= 720);
        window.resize(200, 200);
        QVERIFY(window.centralWidget()->width() >= 1120);
    }
    qWarning("a real warning still gets through");
    qInstallMessageHandler(previous);
    QCOMPARE(g_messages.value(g_messages.size() - 1), u"a real warning still gets through"_s);
    g_messages.removeLast();
    QVERIFY2(g_messages.isEmpty(), qPrintable(g_messages.join(u'\n')));
}

} // namespace tessel

QTEST_MAIN(tessel::tst_MainWindow)
#include "tst_MainWindow.moc"
