#include "protocol/GatewayProtocolValues.h"
#include "protocol/JsonCodec.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

namespace {

const QByteArray summaryJson = R"({"id":"s1","source":"live","backend":"codex","cwd":"/srv/app","sessionKey":"k1",)"
                               R"("state":"idle","title":"Fix tests","lastUpdatedAt":"2026-03-17T10:30:00Z")";

QByteArray summaryWith(const QByteArray &extra)
{
    return summaryJson + (extra.isEmpty() ? QByteArray() : "," + extra) + "}";
}

QByteArray summaryReplacing(const QByteArray &from, const QByteArray &to)
{
    return QByteArray(summaryJson).replace(from, to) + "}";
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
    void wireStringsAreExactAndCaseSensitive()
    {
        QCOMPARE(enumFromWire<BackendKind>(std::string_view("Codex")), std::nullopt);
        QCOMPARE(enumFromWire<SessionWorkflowState>(std::string_view("")), std::nullopt);
        QCOMPARE(enumFromWire<BackendKind>(u"pi"_s), BackendKind::pi);
        QCOMPARE(QString(enumToWire(GatewayTranscriptRole::thinking) + u' ' + enumToWire(ToolEventPhase::completed) +
                         u' ' + enumToWire(SessionSummarySource::saved)),
                 u"thinking completed saved"_s);
        QCOMPARE((allEnumCases<BackendKind>()), (std::array{BackendKind::codex, BackendKind::pi})); // picker order
        QCOMPARE(displayName(BackendKind::codex) + displayName(BackendKind::pi), u"CodexPi"_s);
    }

    // The decoded workflow state, or empty when the whole summary must fail.
    void summaryDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("workflowState");
        row("workflow missing", summaryWith({}), "active");
        row("workflow null", summaryWith(R"("workflowState":null)"), "active");
        row("workflow done", summaryWith(R"("workflowState":"done")"), "done");
        row("unknown workflow", summaryWith(R"("workflowState":"finished")"), "");
        row("display name as backend", summaryReplacing(R"("codex")", R"("Codex")"), "");
        row("unknown state", summaryReplacing(R"("idle")", R"("paused")"), "");
        row("upper-case source", summaryReplacing(R"("live")", R"("LIVE")"), "");
        row("missing title", summaryReplacing(R"("title":"Fix tests",)", ""), "");
        row("null required cwd", summaryReplacing(R"("/srv/app")", "null"), "");
        row("numeric detail", summaryWith(R"("detail":3)"), "");
    }
    void summaryDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, workflowState);
        const auto summary = decodeJson<GatewaySessionSummary>(json);
        QCOMPARE(summary ? QString(enumToWire(summary->workflowState)) : QString(), workflowState);
    }

    // The decoded sessionDoneWorkflow, or empty when the features must fail.
    void featuresDecoding_data()
    {
        const QByteArray tts = R"("tts":{"provider":"system","available":false})";
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("sessionDoneWorkflow");
        row("without sessionDoneWorkflow", R"({"voiceInput":true,)" + tts + "}", "false");
        row("null sessionDoneWorkflow", R"({"voiceInput":true,"sessionDoneWorkflow":null,)" + tts + "}", "false");
        row("with sessionDoneWorkflow", R"({"voiceInput":false,"sessionDoneWorkflow":true,)" + tts + "}", "true");
        row("without voiceInput", "{" + tts + "}", "");
        row("without tts", R"({"voiceInput":true})"_ba, "");
        row("tts without provider", R"({"voiceInput":true,"tts":{"available":true}})"_ba, "");
        row("string bool", R"({"voiceInput":"true",)" + tts + "}", "");
    }
    void featuresDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, sessionDoneWorkflow);
        const auto features = decodeJson<GatewayFeatures>(json);
        QCOMPARE(features ? QVariant(features->sessionDoneWorkflow).toString() : QString(), sessionDoneWorkflow);
    }

    // The decoded count, or empty when the value must fail.
    void integersMustBeIntegralSigned64Bit_data()
    {
        QTest::addColumn<QString>("used");
        QTest::addColumn<QString>("decoded");
        row("negative", "-5", "-5");
        row("minimum", "-9223372036854775808", "-9223372036854775808");
        row("maximum", "9223372036854775807", "9223372036854775807");
        row("integral with fraction", "12.0", "12");
        row("exponent", "1e3", "1000");
        row("fraction", "1.5", "");
        row("above range", "9223372036854775808", "");
        row("far above range", "1e300", "");
        row("string", R"("12")", "");
        row("bool", "true", "");
        row("null", "null", "");
    }
    void integersMustBeIntegralSigned64Bit()
    {
        QFETCH(QString, used);
        QFETCH(QString, decoded);
        const auto usage = decodeJson<GatewaySessionContextUsage>(
            QByteArray(R"({"totalTokens":7,"usedTokens":)" + used.toUtf8() + "}"));
        QCOMPARE(usage ? QString::number(usage->usedTokens) : QString(), decoded);
        QVERIFY(!usage || usage->totalTokens == 7);
    }

    void transcriptItemWithoutStreamingFlagIsAbsent()
    {
        const auto item = decodeJson<GatewayTranscriptItemEnvelope>(R"({"role":"tool","title":"ls","body":"a\nb"})");
        QCOMPARE(item, (GatewayTranscriptItemEnvelope{GatewayTranscriptRole::tool, u"ls"_s, u"a\nb"_s, {}, {}}));
        QVERIFY(!decodeJson<GatewayTranscriptItemEnvelope>(R"({"role":"narrator","title":"","body":""})"));
    }

    // Every field goes back out under its wire key; absent optionals are left out, never null.
    void valuesReencodeAsTheyCame()
    {
        const QByteArray summary = summaryReplacing(R"("Fix tests")", R"("tab\t \u0001 \\ é 😀")").chopped(1) +
            R"(,"backendSessionId":"b","sessionName":"n","workflowState":"done","subtitle":"s","detail":"d"})";
        const QByteArray descriptor = R"({"kind":"pi","label":"Pi","available":false,"unavailableReason":"none"})";
        const QByteArray item = R"({"role":"error","title":"E","body":"b","itemId":"i1","isStreaming":true})";
        const QByteArray features = R"({"voiceInput":true,"sessionDoneWorkflow":true,)"
                                    R"("tts":{"provider":"x","available":true,"voiceId":"v"}})";
        QCOMPARE(reencoded<GatewaySessionSummary>(summary), test::parseObject(summary));
        auto later = decodeJson<GatewaySessionSummary>(summary).value();
        later.lastUpdatedAt = u"2026-03-17T10:31:00Z"_s;
        QVERIFY(later != decodeJson<GatewaySessionSummary>(summary));
        QCOMPARE(reencoded<BackendDescriptor>(descriptor), test::parseObject(descriptor));
        QCOMPARE(reencoded<GatewayTranscriptItemEnvelope>(item), test::parseObject(item));
        QCOMPARE(reencoded<GatewayFeatures>(features), test::parseObject(features));
        QCOMPARE(reencoded<GatewaySessionContextUsage>(R"({"usedTokens":5,"totalTokens":9})"_ba),
                 test::parseObject(R"({"usedTokens":5,"totalTokens":9})"));
        // A null detail and a missing workflow state; false flags are written as well.
        QCOMPARE(reencoded<GatewaySessionSummary>(summaryWith(R"("detail":null)")),
                 test::parseObject(summaryWith(R"("workflowState":"active")")));
        QCOMPARE(reencoded<GatewayFeatures>(R"({"voiceInput":false,"tts":{"provider":"","available":false}})"),
                 test::parseObject(
                     R"({"voiceInput":false,"sessionDoneWorkflow":false,"tts":{"provider":"","available":false}})"));
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProtocolValues)
#include "tst_ProtocolValues.moc"
