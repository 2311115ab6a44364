#include "app/ModelText.h"
#include "app/ProcessInfo.h"
#include "support/DataRow.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

class tst_ModelText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Counts drop every ".0"; no text without a positive total.
    void usageText_data()
    {
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        row("999 of 1000", 999, 1000, "999 / 1k");
        row("1500 of 1500000", 1500, 1500000, "1.5k / 1.5m");
        row("999999 of 12345", 999999, 12345, "1000k / 12.3k");
        row("zero total", 5, 0, "");
    }
    void usageText()
    {
        QFETCH(int, used);
        QFETCH(int, total);
        QFETCH(QString, text);
        QCOMPARE(contextUsageText(GatewaySessionContextUsage{used, total}).value_or(QString()), text);
        QCOMPARE(contextUsageText(std::nullopt), std::nullopt);
    }

    void availabilityNamesTheGatewaysLabel()
    {
        const QList<BackendDescriptor> catalog = {{BackendKind::codex, u"Codex CLI"_s, true, std::nullopt},
                                                  {BackendKind::pi, u"Pi agent"_s, false, u"not installed"_s}};
        QCOMPARE(backendAvailabilityText(catalog, BackendKind::codex), u"Codex CLI is available on this gateway."_s);
        QCOMPARE(backendAvailabilityText(catalog, BackendKind::pi), u"Pi agent unavailable: not installed"_s);
        QCOMPARE(backendAvailabilityText({{BackendKind::pi, u"Pi"_s, false, u""_s}}, BackendKind::pi),
                 u"Pi is unavailable on this gateway."_s);
        QCOMPARE(backendAvailabilityText({catalog[0]}, BackendKind::pi), std::nullopt);
    }

    // The rest of option parsing is tested through the screenshot exporter's directory.
    void optionValueNeedsTheWholeName()
    {
        ProcessInfo info;
        info.arguments = {u"app"_s, u"--export-screenshots-dirs"_s, u"/tmp/a"_s, u"--export-screenshots-dir=/tmp/b"_s};
        QCOMPARE(info.optionValue(u"--export-screenshots-dir"_s), u"/tmp/b"_s);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelText)
#include "tst_ModelText.moc"
