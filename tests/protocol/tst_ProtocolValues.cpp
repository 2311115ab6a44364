#include "protocol/GatewayProtocolValues.h"
#include "protocol/JsonCodec.h"
#include "support/TestJson.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ProtocolValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enumerationsRoundTripTheirExactWireStrings();
    void backendKindListsCasesInPickerOrderWithDisplayNames();
    void summaryDefaultsWorkflowStateToActive_data();
    void summaryDefaultsWorkflowStateToActive();
    void summaryRejectsUnknownEnumerationsAnywhere_data();
    void summaryRejectsUnknownEnumerationsAnywhere();
    void summaryDropsNullOptionalsOnReencode();
    void summariesDifferingOnlyInTimeAreUnequal();
    void featuresDefaultSessionDoneWorkflowButRequireTheRest_data();
    void featuresDefaultSessionDoneWorkflowButRequireTheRest();
    void featuresAlwaysWriteAllThreeKeys();
    void integersMustBeIntegralSigned64Bit_data();
    void integersMustBeIntegralSigned64Bit();
    void transcriptItemWithoutStreamingFlagIsAbsent();
    void recordsRoundTripThroughJson();
};

namespace {

const QByteArray summaryJson =
    R"({"id":"s1","source":"live","backend":"codex","cwd":"/srv/app","sessionKey":"k1","state":"idle",)"
    R"("title":"Fix tests","lastUpdatedAt":"2026-03-17T10:30:00Z")";

QByteArray summaryWith(const QByteArray &extra)
{
    return summaryJson + (extra.isEmpty() ? QByteArray() : "," + extra) + "}";
}

} // namespace

void tst_ProtocolValues::enumerationsRoundTripTheirExactWireStrings()
{
    for (const auto state : allEnumCases<SessionLifecycleState>())
        QCOMPARE(enumFromWire<SessionLifecycleState>(enumWireName(state)), state);
    QCOMPARE(enumToWire(GatewayTranscriptRole::thinking), "thinking"_L1);
    QCOMPARE(enumToWire(ToolEventPhase::completed), "completed"_L1);
    QCOMPARE(enumToWire(SessionSummarySource::saved), "saved"_L1);
    QCOMPARE(enumFromWire<BackendKind>(std::string_view("Codex")), std::nullopt);
    QCOMPARE(enumFromWire<SessionWorkflowState>(std::string_view("")), std::nullopt);
    QCOMPARE(enumFromWire<BackendKind>(u"pi"_s), BackendKind::pi);
}

void tst_ProtocolValues::backendKindListsCasesInPickerOrderWithDisplayNames()
{
    const auto cases = allEnumCases<BackendKind>();
    QCOMPARE(cases.size(), 2u);
    QCOMPARE(cases[0], BackendKind::codex);
    QCOMPARE(cases[1], BackendKind::pi);
    QCOMPARE(displayName(BackendKind::codex), u"Codex"_s);
    QCOMPARE(displayName(BackendKind::pi), u"Pi"_s);
}

void tst_ProtocolValues::summaryDefaultsWorkflowStateToActive_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<SessionWorkflowState>("expected");
    QTest::newRow("missing") << QByteArray() << SessionWorkflowState::active;
    QTest::newRow("null") << QByteArray(R"("workflowState":null)") << SessionWorkflowState::active;
    QTest::newRow("done") << QByteArray(R"("workflowState":"done")") << SessionWorkflowState::done;
}

void tst_ProtocolValues::summaryDefaultsWorkflowStateToActive()
{
    QFETCH(QByteArray, extra);
    QFETCH(SessionWorkflowState, expected);
    const auto summary = decodeJson<GatewaySessionSummary>(summaryWith(extra));
    QVERIFY(summary);
    QCOMPARE(summary->workflowState, expected);
}

void tst_ProtocolValues::summaryRejectsUnknownEnumerationsAnywhere_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("workflow state") << summaryWith(R"("workflowState":"finished")");
    QTest::newRow("display name as backend")
        << QByteArray(summaryJson).replace(R"("backend":"codex")", R"("backend":"Codex")") + "}";
    QTest::newRow("state") << QByteArray(summaryJson).replace(R"("state":"idle")", R"("state":"paused")") + "}";
    QTest::newRow("source") << QByteArray(summaryJson).replace(R"("source":"live")", R"("source":"LIVE")") + "}";
    QTest::newRow("missing title") << QByteArray(summaryJson).replace(R"("title":"Fix tests",)", "") + "}";
    QTest::newRow("null cwd") << QByteArray(summaryJson).replace(R"("cwd":"/srv/app")", R"("cwd":null)") + "}";
    QTest::newRow("numeric detail") << summaryWith(R"("detail":3)");
}

void tst_ProtocolValues::summaryRejectsUnknownEnumerationsAnywhere()
{
    QFETCH(QByteArray, json);
    QVERIFY(!decodeJson<GatewaySessionSummary>(json));
}

void tst_ProtocolValues::summaryDropsNullOptionalsOnReencode()
{
    const auto summary = decodeJson<GatewaySessionSummary>(summaryWith(R"("detail":null,"subtitle":"main")"));
    QVERIFY(summary);
    QCOMPARE(summary->detail, std::nullopt);
    const QStringList keys = test::sortedKeys(encodeJson(*summary));
    QVERIFY(!keys.contains(u"detail"_s));
    QVERIFY(keys.contains(u"subtitle"_s));
    // The defaulted workflow state is always written.
    QVERIFY(keys.contains(u"workflowState"_s));
    QVERIFY(!encodeJson(*summary).contains("null"));
}

void tst_ProtocolValues::summariesDifferingOnlyInTimeAreUnequal()
{
    auto first = decodeJson<GatewaySessionSummary>(summaryWith({}));
    QVERIFY(first);
    auto second = *first;
    QCOMPARE(second, *first);
    second.lastUpdatedAt = u"2026-03-17T10:31:00Z"_s;
    QVERIFY(second != *first);
}

void tst_ProtocolValues::featuresDefaultSessionDoneWorkflowButRequireTheRest_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<bool>("sessionDoneWorkflow");
    const QByteArray tts = R"("tts":{"provider":"system","available":false})";
    QTest::newRow("without sessionDoneWorkflow") << R"({"voiceInput":true,)" + tts + "}" << true << false;
    QTest::newRow("null sessionDoneWorkflow")
        << R"({"voiceInput":true,"sessionDoneWorkflow":null,)" + tts + "}" << true << false;
    QTest::newRow("with sessionDoneWorkflow")
        << R"({"voiceInput":false,"sessionDoneWorkflow":true,)" + tts + "}" << true << true;
    QTest::newRow("without voiceInput") << "{" + tts + "}" << false << false;
    QTest::newRow("without tts") << QByteArray(R"({"voiceInput":true})") << false << false;
    QTest::newRow("tts without provider")
        << QByteArray(R"({"voiceInput":true,"tts":{"available":true}})") << false << false;
    QTest::newRow("string bool") << R"({"voiceInput":"true",)" + tts + "}" << false << false;
}

void tst_ProtocolValues::featuresDefaultSessionDoneWorkflowButRequireTheRest()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, decodes);
    QFETCH(bool, sessionDoneWorkflow);
    const auto features = decodeJson<GatewayFeatures>(json);
    QCOMPARE(features.has_value(), decodes);
    if (features)
        QCOMPARE(features->sessionDoneWorkflow, sessionDoneWorkflow);
}

void tst_ProtocolValues::featuresAlwaysWriteAllThreeKeys()
{
    const GatewayFeatures features{false, false, {u"system"_s, true, std::nullopt}};
    const QByteArray json = encodeJson(features);
    QCOMPARE(test::sortedKeys(json), (QStringList{u"sessionDoneWorkflow"_s, u"tts"_s, u"voiceInput"_s}));
    QCOMPARE(test::parseObject(json).value(u"tts"_s).toObject().keys(), (QStringList{u"available"_s, u"provider"_s}));
}

void tst_ProtocolValues::integersMustBeIntegralSigned64Bit_data()
{
    QTest::addColumn<QByteArray>("used");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<qint64>("value");
    QTest::newRow("plain") << QByteArray("1200") << true << qint64(1200);
    QTest::newRow("negative") << QByteArray("-5") << true << qint64(-5);
    QTest::newRow("minimum") << QByteArray("-9223372036854775808") << true << std::numeric_limits<qint64>::min();
    QTest::newRow("maximum") << QByteArray("9223372036854775807") << true << std::numeric_limits<qint64>::max();
    QTest::newRow("integral with fraction") << QByteArray("12.0") << true << qint64(12);
    QTest::newRow("exponent") << QByteArray("1e3") << true << qint64(1000);
    QTest::newRow("fraction") << QByteArray("1.5") << false << qint64(0);
    QTest::newRow("above range") << QByteArray("9223372036854775808") << false << qint64(0);
    QTest::newRow("far above range") << QByteArray("1e300") << false << qint64(0);
    QTest::newRow("string") << QByteArray(R"("12")") << false << qint64(0);
    QTest::newRow("bool") << QByteArray("true") << false << qint64(0);
    QTest::newRow("null") << QByteArray("null") << false << qint64(0);
}

void tst_ProtocolValues::integersMustBeIntegralSigned64Bit()
{
    QFETCH(QByteArray, used);
    QFETCH(bool, decodes);
    QFETCH(qint64, value);
    const auto usage =
        decodeJson<GatewaySessionContextUsage>(QByteArray(R"({"usedTokens":)" + used + R"(,"totalTokens":0})"));
    QCOMPARE(usage.has_value(), decodes);
    if (usage) {
        QCOMPARE(usage->usedTokens, value);
        QCOMPARE(usage->totalTokens, 0);
    }
}

void tst_ProtocolValues::transcriptItemWithoutStreamingFlagIsAbsent()
{
    const auto item = decodeJson<GatewayTranscriptItemEnvelope>(R"({"role":"tool","title":"ls","body":"a\nb"})");
    QVERIFY(item);
    QCOMPARE(item->role, GatewayTranscriptRole::tool);
    QCOMPARE(item->isStreaming, std::nullopt);
    QCOMPARE(item->itemId, std::nullopt);
    QVERIFY(!decodeJson<GatewayTranscriptItemEnvelope>(R"({"role":"narrator","title":"","body":""})"));
}

void tst_ProtocolValues::recordsRoundTripThroughJson()
{
    const BackendDescriptor descriptor{BackendKind::pi, u"Pi \"agent\""_s, false, u"not installed"_s};
    QCOMPARE(decodeJson<BackendDescriptor>(encodeJson(descriptor)), descriptor);

    GatewaySessionSummary summary;
    summary.id = u"s\u00e9"_s;
    summary.source = SessionSummarySource::saved;
    summary.backend = BackendKind::pi;
    summary.backendSessionId = u"b-1"_s;
    summary.state = SessionLifecycleState::closed;
    summary.workflowState = SessionWorkflowState::done;
    summary.title = u"tab\there\u0001"_s;
    summary.detail = u"line\nbreak \\ slash"_s;
    QCOMPARE(decodeJson<GatewaySessionSummary>(encodeJson(summary)), summary);

    const GatewayTranscriptItemEnvelope item{GatewayTranscriptRole::error, u"Error"_s, u"\U0001F600"_s, u"i1"_s, true};
    QCOMPARE(decodeJson<GatewayTranscriptItemEnvelope>(encodeJson(item)), item);

    const GatewayFeatures features{true, true, {u"eleven"_s, true, u"v1"_s}};
    QCOMPARE(decodeJson<GatewayFeatures>(encodeJson(features)), features);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProtocolValues)
#include "tst_ProtocolValues.moc"
