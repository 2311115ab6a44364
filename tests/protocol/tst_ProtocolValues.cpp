#include "protocol/GatewayProtocolValues.h"
#include "protocol/JsonCodec.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

namespace {

const QByteArray summaryJson = R"({"id":"s1","source":"saved","backend":"codex","cwd":"/srv/app","sessionKey":"k1",)"
                               R"("state":"idle","title":"Fix tests","lastUpdatedAt":"2026-03-17T10:30:00Z")";

QByteArray summaryWith(const QByteArray &extra)
{
    return summaryJson + (extra.isEmpty() ? QByteArray() : "," + extra) + "}";
}

// The object that decoding `json` as T and encoding the result gives; empty when decoding fails.
template<typename T>
QJsonObject reencoded(const QByteArray &json)
{
    const auto value = decodeJson<T>(json);
    return value ? test::parseObject(encodeJson(*value)) : QJsonObject();
}

} // namespace

class tst_ProtocolValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enumsAndDisplayNames()
    {
        QCOMPARE(enumFromWire<BackendKind>(u"pi"_s), BackendKind::pi);
        QCOMPARE((allEnumCases<BackendKind>()), (std::array{BackendKind::codex, BackendKind::pi})); // picker order
        QCOMPARE(displayName(BackendKind::codex) + displayName(BackendKind::pi), u"CodexPi"_s);
    }

    // Every value type decoded and encoded again: each field under its wire key, absent
    // optionals (missing or null) left out, never null, and their defaults written. One row per
    // branch of the shared readers; "fails" when the whole value must fail.
    void valuesDecodeStrictlyAndEncodeAsTheyCame_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray full = summaryWith(R"("backendSessionId":"b","sessionName":"tab\t \u0001 \\ é 😀",)"
                                            R"("workflowState":"done","subtitle":"s","detail":"d")");
        row("summary, every field", "summary"_ba, full, full);
        row("summary, workflow null", "summary"_ba, summaryWith(R"("workflowState":null,"detail":null)"),
            summaryWith(R"("workflowState":"active")"));
        row("summary, unknown workflow", "summary"_ba, summaryWith(R"("workflowState":"finished")"), "fails"_ba);
        row("summary, display name as backend", "summary"_ba, summaryWith({}).replace("codex", "Codex"), "fails"_ba);
        row("summary, missing title", "summary"_ba, summaryWith({}).replace(R"("title":"Fix tests",)", ""), "fails"_ba);
        row("summary, numeric detail", "summary"_ba, summaryWith(R"("detail":3)"), "fails"_ba);
        const QByteArray tts = R"("tts":{"provider":"x","available":true,"voiceId":"v"})";
        row("features, every field", "features"_ba, R"({"voiceInput":true,"sessionDoneWorkflow":true,)" + tts + "}",
            R"({"voiceInput":true,"sessionDoneWorkflow":true,)" + tts + "}");
        row("features, no sessionDoneWorkflow", "features"_ba, R"({"voiceInput":false,)" + tts + "}",
            R"({"voiceInput":false,"sessionDoneWorkflow":false,)" + tts + "}");
        row("features, string bool", "features"_ba, R"({"voiceInput":"true",)" + tts + "}", "fails"_ba);
        row("features, tts without provider", "features"_ba, R"({"voiceInput":true,"tts":{"available":true}})"_ba,
            "fails"_ba);
        const QByteArray descriptor = R"({"kind":"pi","label":"Pi","available":false,"unavailableReason":"none"})";
        row("descriptor", "descriptor"_ba, descriptor, descriptor);
        const QByteArray item = R"({"role":"thinking","title":"T","body":"b","itemId":"i1","isStreaming":true})";
        row("item, every field", "item"_ba, item, item);
        row("item without streaming flag", "item"_ba, R"({"role":"tool","title":"ls","body":"a\nb"})"_ba,
            R"({"role":"tool","title":"ls","body":"a\nb"})"_ba);
        row("item, unknown role", "item"_ba, R"({"role":"narrator","title":"","body":""})"_ba, "fails"_ba);
        // Integers must be integral and signed 64-bit.
        const auto usage = [](const char *used) -> QByteArray {
            return QByteArray(R"({"usedTokens":)") + used + R"(,"totalTokens":7})";
        };
        row("usage, maximum", "usage"_ba, usage("9223372036854775807"), usage("9223372036854775807"));
        row("usage, integral with fraction", "usage"_ba, usage("-12.0"), usage("-12"));
        row("usage, above range", "usage"_ba, usage("9223372036854775808"), "fails"_ba);
        row("usage, fraction", "usage"_ba, usage("1.5"), "fails"_ba);
        row("usage, far above range", "usage"_ba, usage("1e300"), "fails"_ba);
        row("usage, string", "usage"_ba, usage(R"("12")"), "fails"_ba);
    }
    void valuesDecodeStrictlyAndEncodeAsTheyCame()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, expected);
        const QHash<QByteArray, QJsonObject (*)(const QByteArray &)> roundTrips = {
            {"summary", reencoded<GatewaySessionSummary>},
            {"features", reencoded<GatewayFeatures>},
            {"descriptor", reencoded<BackendDescriptor>},
            {"item", reencoded<GatewayTranscriptItemEnvelope>},
            {"usage", reencoded<GatewaySessionContextUsage>}};
        QCOMPARE(roundTrips.value(type)(json), expected == "fails" ? QJsonObject() : test::parseObject(expected));
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProtocolValues)
#include "tst_ProtocolValues.moc"
