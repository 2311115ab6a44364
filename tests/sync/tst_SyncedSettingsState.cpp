#include "protocol/JsonCodec.h"
#include "support/TestJson.h"
#include "sync/SyncedSettingsState.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

SyncedSettingsState fullDocument()
{
    SyncedSettingsState state;
    state.updatedAt = ReferenceDate(786297600.123456789);
    state.writer = SyncedWriterInfo{u"host-id"_s, u"Büro \"Mac\""_s, u"Debian GNU/Linux 12"_s, u"0.1.0"_s, u"7"_s};
    state.machines = {{QUuid::createUuid(),
                       u"Build box"_s,
                       u"ws://devbox:4821"_s,
                       {{QUuid::createUuid(), u"app"_s, u"/srv/app"_s}, {QUuid::createUuid(), QString(), QString()}}},
                      {QUuid::createUuid(), QString(), QString(), {}}};
    state.handoff = SyncedChatHandoff{state.machines[0].id, state.machines[0].projects[0].id, BackendKind::pi,
                                      u"session-1"_s, ReferenceDate(-12.5)};
    return state;
}

QByteArray minimalDocument(const QByteArray &extra = {})
{
    const QByteArray document = R"({"schemaVersion":2,"updatedAt":1.5,"machines":[])" + extra + "}";
    return document;
}

} // namespace

class tst_SyncedSettingsState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripsEqualWithDatesExact()
    {
        const SyncedSettingsState state = fullDocument();
        const QByteArray bytes = encodeJson(state);
        const auto decoded = decodeJson<SyncedSettingsState>(bytes);
        QVERIFY(decoded);
        QCOMPARE(*decoded, state);
        QCOMPARE(encodeJson(*decoded), bytes);
        QCOMPARE(test::sortedKeys(bytes),
                 (QStringList{u"handoff"_s, u"machines"_s, u"schemaVersion"_s, u"updatedAt"_s, u"writer"_s}));
        QVERIFY(test::parseObject(bytes).value("updatedAt"_L1).isDouble());
    }

    void readsDatesWrittenElsewhereExactly()
    {
        // More digits than a double holds, an exponent, and a whole number.
        for (const QByteArray &date : {QByteArray("786297600.12345678901234"), QByteArray("7.8e8"), QByteArray("0")}) {
            const QByteArray document = R"({"schemaVersion":2,"updatedAt":)" + date + R"(,"machines":[]})";
            const auto first = decodeJson<SyncedSettingsState>(document);
            QVERIFY2(first, date.constData());
            const auto second = decodeJson<SyncedSettingsState>(encodeJson(*first));
            QVERIFY(second);
            QCOMPARE(*second, *first);
        }
    }

    void convertsDatesFromTheReferenceDate()
    {
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(ReferenceDate::fromDateTime(reference).secondsSinceReferenceDate(), 0.0);
        QCOMPARE(ReferenceDate::fromDateTime(reference.addMSecs(1500)).secondsSinceReferenceDate(), 1.5);
        QCOMPARE(ReferenceDate::fromDateTime(reference.addDays(-1)).secondsSinceReferenceDate(), -86400.0);
        QCOMPARE(ReferenceDate(86400.25).toDateTime(), reference.addDays(1).addMSecs(250));
        QVERIFY(ReferenceDate(1.0) < ReferenceDate(1.5));
    }

    void leavesOutAbsentOptionals()
    {
        const auto decoded = decodeJson<SyncedSettingsState>(minimalDocument());
        QVERIFY(decoded);
        QCOMPARE(decoded->writer, std::nullopt);
        QCOMPARE(decoded->handoff, std::nullopt);
        QCOMPARE(test::sortedKeys(encodeJson(*decoded)),
                 (QStringList{u"machines"_s, u"schemaVersion"_s, u"updatedAt"_s}));

        SyncedSettingsState state = fullDocument();
        state.writer->appVersion.reset();
        state.handoff->backendSessionId.reset();
        const QByteArray bytes = encodeJson(state);
        QVERIFY(!bytes.contains("appVersion"));
        QVERIFY(!bytes.contains("backendSessionId"));
        QVERIFY(!bytes.contains("null"));
        QCOMPARE(decodeJson<SyncedSettingsState>(bytes), state);
    }

    void acceptsNullOptionalsAnyVersionAndExtraKeys()
    {
        const auto decoded =
            decodeJson<SyncedSettingsState>(R"({"schemaVersion":3,"updatedAt":0,"machines":[],"writer":null,)"
                                            R"("handoff":null,"future":{"x":1}})");
        QVERIFY(decoded);
        QCOMPARE(decoded->schemaVersion, 3);
        QVERIFY(decodeJson<SyncedSettingsState>(R"({"schemaVersion":1,"updatedAt":0,"machines":[]})"));
    }

    void rejectsUnreadableDocuments_data()
    {
        const QByteArray machine = R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"","gatewayURL":"")";
        const QByteArray handoff = R"({"machineID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
                                   R"("projectID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)";
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not JSON") << QByteArray("\xff{");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("no machines") << QByteArray(R"({"schemaVersion":2,"updatedAt":0})");
        QTest::newRow("no date") << QByteArray(R"({"schemaVersion":2,"machines":[]})");
        QTest::newRow("date as text") << QByteArray(R"({"schemaVersion":2,"updatedAt":"2024-01-01","machines":[]})");
        QTest::newRow("fractional version") << QByteArray(R"({"schemaVersion":2.5,"updatedAt":0,"machines":[]})");
        QTest::newRow("machine without projects")
            << QByteArray(R"({"schemaVersion":2,"updatedAt":0,"machines":[)" + machine + "}]}");
        QTest::newRow("bad machine id") << QByteArray(
            R"({"schemaVersion":2,"updatedAt":0,"machines":[{"id":"x","name":"","gatewayURL":"","projects":[]}]})");
        QTest::newRow("writer without platform") << minimalDocument(R"(,"writer":{"deviceID":"a","deviceName":"b"})");
        QTest::newRow("unknown backend") << minimalDocument(R"(,"handoff":)" + handoff +
                                                            R"("backend":"claude","updatedAt":0})");
        QTest::newRow("handoff without date") << minimalDocument(R"(,"handoff":)" + handoff + R"("backend":"codex"})");
    }

    void rejectsUnreadableDocuments()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(decodeJson<SyncedSettingsState>(bytes), std::nullopt);
    }

    void handoffWithoutSessionIdDecodes()
    {
        const auto decoded = decodeJson<SyncedSettingsState>(
            minimalDocument(R"(,"handoff":{"machineID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
                            R"("projectID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","backend":"codex","updatedAt":3})"));
        QVERIFY(decoded && decoded->handoff);
        QCOMPARE(decoded->handoff->backendSessionId, std::nullopt);
        QCOMPARE(decoded->handoff->backend, BackendKind::codex);
    }

    void equalityCoversDatesAndMeaningDependsOnContent()
    {
        SyncedSettingsState later = fullDocument();
        later.updatedAt = ReferenceDate(later.updatedAt.secondsSinceReferenceDate() + 0.001);
        QVERIFY(later != fullDocument());

        SyncedSettingsState empty;
        empty.writer = SyncedWriterInfo::current();
        empty.updatedAt = ReferenceDate::now();
        QVERIFY(!empty.hasMeaningfulContent());
        empty.handoff = fullDocument().handoff;
        QVERIFY(empty.hasMeaningfulContent());
        QVERIFY(fullDocument().hasMeaningfulContent());
    }
};

QTEST_GUILESS_MAIN(tst_SyncedSettingsState)
#include "tst_SyncedSettingsState.moc"
