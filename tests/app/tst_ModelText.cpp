#include "app/ModelText.h"
#include "app/ProcessInfo.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ModelText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenCountsDropEveryPointZero_data();
    void tokenCountsDropEveryPointZero();
    void usageNeedsAPositiveTotal();
    void availabilityNamesTheGatewaysLabel();
    void processInfoFindsOptionValuesAndNonEmptyVariables_data();
    void processInfoFindsOptionValuesAndNonEmptyVariables();
};

void tst_ModelText::tokenCountsDropEveryPointZero_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("999") << qint64(999) << u"999"_s;
    QTest::newRow("1000") << qint64(1000) << u"1k"_s;
    QTest::newRow("1500") << qint64(1500) << u"1.5k"_s;
    QTest::newRow("12345") << qint64(12345) << u"12.3k"_s;
    QTest::newRow("100000") << qint64(100000) << u"100k"_s;
    QTest::newRow("999999") << qint64(999999) << u"1000k"_s;
    QTest::newRow("1000000") << qint64(1000000) << u"1m"_s;
    QTest::newRow("1500000") << qint64(1500000) << u"1.5m"_s;
    QTest::newRow("negative") << qint64(-20) << u"-20"_s;
}

void tst_ModelText::tokenCountsDropEveryPointZero()
{
    QFETCH(qint64, count);
    QFETCH(QString, text);
    QCOMPARE(formatTokenCount(count), text);
}

void tst_ModelText::usageNeedsAPositiveTotal()
{
    QCOMPARE(contextUsageText(GatewaySessionContextUsage{950, 200000}), u"950 / 200k"_s);
    QCOMPARE(contextUsageText(GatewaySessionContextUsage{12345, 1000000}), u"12.3k / 1m"_s);
    QCOMPARE(contextUsageText(GatewaySessionContextUsage{5, 0}), std::nullopt);
    QCOMPARE(contextUsageText(GatewaySessionContextUsage{5, -1}), std::nullopt);
    QCOMPARE(contextUsageText(std::nullopt), std::nullopt);
}

void tst_ModelText::availabilityNamesTheGatewaysLabel()
{
    const QList<BackendDescriptor> catalog = {
        {BackendKind::codex, u"Codex CLI"_s, true, std::nullopt},
        {BackendKind::pi, u"Pi agent"_s, false, u"not installed"_s},
    };
    QCOMPARE(backendAvailabilityText(catalog, BackendKind::codex), u"Codex CLI is available on this gateway."_s);
    QCOMPARE(backendAvailabilityText(catalog, BackendKind::pi), u"Pi agent unavailable: not installed"_s);
    QCOMPARE(backendAvailabilityText({{BackendKind::pi, u"Pi"_s, false, u""_s}}, BackendKind::pi),
             u"Pi is unavailable on this gateway."_s);
    QCOMPARE(backendAvailabilityText({catalog[0]}, BackendKind::pi), std::nullopt);
}

void tst_ModelText::processInfoFindsOptionValuesAndNonEmptyVariables_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("given");
    QTest::addColumn<QString>("value");
    const QString flag = u"--export-screenshots-dir"_s;
    QTest::newRow("next argument") << QStringList{flag, u"/tmp/a"_s, flag, u"/tmp/b"_s} << true << u"/tmp/a"_s;
    QTest::newRow("after =") << QStringList{flag + u"=/tmp/a"_s, flag, u"/tmp/b"_s} << true << u"/tmp/a"_s;
    QTest::newRow("empty after =") << QStringList{flag + u"="_s} << true << QString();
    QTest::newRow("last") << QStringList{u"UITestsMockFiles"_s, flag} << false << QString();
    QTest::newRow("longer name") << QStringList{flag + u"s"_s, u"/tmp/a"_s} << false << QString();
}

void tst_ModelText::processInfoFindsOptionValuesAndNonEmptyVariables()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, given);
    QFETCH(QString, value);
    ProcessInfo info;
    info.arguments = QStringList{u"app"_s} + arguments;
    const auto found = info.optionValue(u"--export-screenshots-dir"_s);
    QCOMPARE(found.has_value(), given);
    QCOMPARE(found.value_or(QString()), value);
    info.environment.insert(u"EMPTY"_s, QString());
    info.environment.insert(u"SET"_s, u"x"_s);
    QCOMPARE(info.nonEmptyVariable(u"EMPTY"_s), std::nullopt);
    QCOMPARE(info.nonEmptyVariable(u"MISSING"_s), std::nullopt);
    QCOMPARE(info.nonEmptyVariable(u"SET"_s), u"x"_s);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelText)
#include "tst_ModelText.moc"
