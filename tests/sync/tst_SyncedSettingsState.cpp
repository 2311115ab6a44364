#include "protocol/JsonCodec.h"
#include "support/DataRow.h"
#include "support/TestJson.h"
#include "sync/SyncedSettingsState.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;

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

QByteArray document(const QByteArray &extra = {})
{
    return R"({"schemaVersion":2,"updatedAt":1.5,"machines":[])" + extra + "}";
}

const QByteArray id = R"("6F9619FF-8B86-D011-B42D-00C04FC964FF")";
const QByteArray handoff = R"(,"handoff":{"machineID":)" + id + R"(,"projectID":)" + id;

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
        QCOMPARE(decoded, state);
        QCOMPARE(encodeJson(*decoded), bytes);
        QCOMPARE(test::sortedKeys(bytes),
                 (QStringList{u"handoff"_s, u"machines"_s, u"schemaVersion"_s, u"updatedAt"_s, u"writer"_s}));
        QVERIFY(test::parseObject(bytes).value("updatedAt"_L1).isDouble());

        // Dates written elsewhere: more digits than a double holds, an exponent, a whole number.
        for (const char *date : {"786297600.12345678901234", "7.8e8", "0"}) {
            const auto first = decodeJson<SyncedSettingsState>(document().replace("1.5", date));
            QVERIFY2(first, date);
            QCOMPARE(decodeJson<SyncedSettingsState>(encodeJson(*first)), first);
        }
    }

    void convertsDatesFromTheReferenceDate()
    {
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(ReferenceDate::fromDateTime(reference.addMSecs(-1500)).secondsSinceReferenceDate(), -1.5);
        QCOMPARE(ReferenceDate(86400.25).toDateTime(), reference.addDays(1).addMSecs(250));
    }

    void leavesOutAbsentOptionals()
    {
        const auto decoded = decodeJson<SyncedSettingsState>(document());
        QVERIFY(decoded && !decoded->writer && !decoded->handoff);
        QCOMPARE(test::sortedKeys(encodeJson(*decoded)),
                 (QStringList{u"machines"_s, u"schemaVersion"_s, u"updatedAt"_s}));

        SyncedSettingsState state = fullDocument();
        state.writer->appVersion.reset();
        state.handoff->backendSessionId.reset();
        const QByteArray bytes = encodeJson(state);
        QVERIFY(!bytes.contains("appVersion") && !bytes.contains("backendSessionId") && !bytes.contains("null"));
        QCOMPARE(decodeJson<SyncedSettingsState>(bytes), state);
    }

    void decodesOnlyReadableDocuments_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decodes");
        row("null optionals, extra keys", document(R"(,"writer":null,"handoff":null,"future":{"x":1})"), true);
        row("version 1", document().replace(":2,", ":1,"), true);
        row("handoff without session id", document(handoff + R"(,"backend":"codex","updatedAt":3})"), true);
        row("not JSON", "\xff{"_ba, false);
        row("no machines", R"({"schemaVersion":2,"updatedAt":0})"_ba, false);
        row("date as text", document().replace("1.5", R"("2024-01-01")"), false);
        row("fractional version", document().replace(":2,", ":2.5,"), false);
        row("machine without projects",
            document().replace("[]", QByteArray("[{\"id\":" + id + R"(,"name":"","gatewayURL":""}])")), false);
        row("writer without platform", document(R"(,"writer":{"deviceID":"a","deviceName":"b"})"), false);
        row("unknown backend", document(handoff + R"(,"backend":"claude","updatedAt":0})"), false);
    }
    void decodesOnlyReadableDocuments()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, decodes);
        QCOMPARE(decodeJson<SyncedSettingsState>(bytes).has_value(), decodes);
    }
};

QTEST_GUILESS_MAIN(tst_SyncedSettingsState)
#include "tst_SyncedSettingsState.moc"
