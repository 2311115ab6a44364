#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

QStringList g_messages;

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTitledWindowAtMinimumSizeWithoutWarnings()
    {
        const auto previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) { g_messages << message; });
        // Chains to the collector, as it chains to the default handler in the app.
        installPlatformMessageFilter();
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.windowTitle(), u"Tessel Desktop POC"_s);
            window.resize(200, 200);
            QVERIFY(window.centralWidget()->width() >= 1120 && window.centralWidget()->height() >= 720);
        }
        qWarning("a real warning still gets through");
        qInstallMessageHandler(previous);
        QCOMPARE(g_messages, QStringList{u"a real warning still gets through"_s});
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_MainWindow)
#include "tst_MainWindow.moc"
