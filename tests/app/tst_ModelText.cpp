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
        row("1500 of 1000000", 1500, 1000000, "1.5k / 1m");
        row("999999 of 12345", 999999, 12345, "1000k / 12.3k");
        row("100000 of 1500000", 100000, 1500000, "100k / 1.5m");
        row("negative used", -20, 100, "-20 / 100");
        row("zero total", 5, 0, "");
        row("negative total", 5, -1, "");
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

    // "--name value" or "--name=value", the first occurrence counts; none when it ends the arguments.
    void processInfoFindsOptionValues_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("value");
        const QString flag = u"--export-screenshots-dir"_s;
        QTest::newRow("next argument") << QStringList{flag, u"/tmp/a"_s, flag, u"/tmp/b"_s} << u"/tmp/a"_s;
        QTest::newRow("after =") << QStringList{flag + u"=/tmp/a"_s, flag, u"/tmp/b"_s} << u"/tmp/a"_s;
        QTest::newRow("empty after =") << QStringList{flag + u"="_s} << u""_s;
        QTest::newRow("last") << QStringList{u"UITestsMockFiles"_s, flag} << QString();
        QTest::newRow("longer name") << QStringList{flag + u"s"_s, u"/tmp/a"_s} << QString();
    }
    void processInfoFindsOptionValues()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, value);
        ProcessInfo info;
        info.arguments = QStringList{u"app"_s} + arguments;
        const auto found = info.optionValue(u"--export-screenshots-dir"_s);
        QCOMPARE(found.has_value(), !value.isNull());
        QCOMPARE(found.value_or(QString()), value);
        info.environment.insert(u"EMPTY"_s, QString());
        info.environment.insert(u"SET"_s, u"x"_s);
        QCOMPARE(info.nonEmptyVariable(u"EMPTY"_s), std::nullopt);
        QCOMPARE(info.nonEmptyVariable(u"MISSING"_s), std::nullopt);
        QCOMPARE(info.nonEmptyVariable(u"SET"_s), u"x"_s);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelText)
#include "tst_ModelText.moc"
