#include "protocol/GatewayServerEnvelope.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QJsonArray>
#include <QTest>

#include <atomic>
#include <cstdlib>

namespace {
// The largest single heap request made while `recording` is set. This executable's own
// malloc() stands in front of glibc's, so every allocation, Qt's container storage
// included, passes here.
std::atomic<bool> recording{false};
std::atomic<std::size_t> largestRequest{0};
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *malloc(std::size_t size) noexcept
{
    if (recording.load(std::memory_order_relaxed) && size > largestRequest.load(std::memory_order_relaxed))
        largestRequest.store(size, std::memory_order_relaxed);
    return __libc_malloc(size);
}
#endif

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

// Expected envelopes name only the fields they have.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tessel {

namespace {

// One message that uses every field, as a gateway could send it.
const QByteArray everyField = R"({
 "type":"session_created","requestId":"R1","sessionId":"S1","backend":"pi","serverVersion":"1.2.3",
 "authRequired":true,
 "features":{"voiceInput":true,"tts":{"provider":"system","available":false}},
 "backends":[{"kind":"codex","label":"Codex","available":true},
             {"kind":"pi","label":"Pi","available":false,"unavailableReason":"missing"}],
 "cwd":"/srv/app","resumed":true,"backendSessionId":"B1","sessionName":"Refactor",
 "contextUsage":{"usedTokens":1200,"totalTokens":200000},"workflowState":"done",
 "transcript":[{"role":"user","title":"You","body":"hi"},
               {"role":"assistant","title":"Pi","body":"hello","itemId":"i1","isStreaming":false}],
 "state":"running",
 "sessions":[{"id":"S1","source":"live","backend":"pi","cwd":"/srv/app","sessionKey":"k","state":"idle",
              "title":"t","lastUpdatedAt":"2026-03-17T10:30:00Z"}],
 "path":"src","includeHidden":false,
 "entries":[{"name":"a.md","path":"src/a.md","kind":"file","size":5,"modifiedAt":"m","isHidden":false,
             "isText":true,"isMarkdown":true}],
 "content":"# A","revision":"rev","size":5,"modifiedAt":"2026-03-17T10:30:00Z","languageHint":"markdown",
 "isMarkdown":true,"delta":"d","text":"full","itemId":"i1","toolName":"shell","phase":"updated",
 "summary":"ls","code":"CONFLICT","message":"changed"
})";

// `everyField` with the value of `key` replaced by `value`.
QByteArray withValue(const QString &key, const QJsonValue &value)
{
    QJsonObject object = test::parseObject(everyField);
    object.insert(key, value);
    return QJsonDocument(object).toJson();
}

} // namespace

class tst_ServerEnvelope : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryField()
    {
        QString error;
        auto decoded = decodeServerEnvelope(everyField, &error);
        QVERIFY2(decoded, qPrintable(error));
        // Nested values decode by their own rules (tst_ProtocolValues, tst_ProjectFileTypes):
        // here only that each list and object lands in its field.
        QCOMPARE(decoded->features->tts.provider, u"system"_s);
        QCOMPARE(decoded->backends->at(1).unavailableReason, u"missing"_s);
        QCOMPARE(decoded->transcript->at(1).isStreaming, false);
        QCOMPARE(decoded->sessions->first().workflowState, SessionWorkflowState::active);
        QCOMPARE(decoded->entries->first().kind, ProjectFileKind::file);
        decoded->features = std::nullopt, decoded->backends = std::nullopt, decoded->transcript = std::nullopt;
        decoded->sessions = std::nullopt, decoded->entries = std::nullopt;
        // clang-format off
        const GatewayServerEnvelope expected{.type = u"session_created"_s, .requestId = u"R1"_s, .sessionId = u"S1"_s,
            .backend = BackendKind::pi, .serverVersion = u"1.2.3"_s, .authRequired = true, .cwd = u"/srv/app"_s,
            .resumed = true, .backendSessionId = u"B1"_s, .sessionName = u"Refactor"_s,
            .contextUsage = GatewaySessionContextUsage{1200, 200000}, .workflowState = SessionWorkflowState::done,
            .state = SessionLifecycleState::running, .path = u"src"_s, .includeHidden = false, .content = u"# A"_s,
            .revision = u"rev"_s, .size = 5, .modifiedAt = u"2026-03-17T10:30:00Z"_s, .languageHint = u"markdown"_s,
            .isMarkdown = true, .delta = u"d"_s, .text = u"full"_s, .itemId = u"i1"_s, .toolName = u"shell"_s,
            .phase = ToolEventPhase::updated, .summary = u"ls"_s, .code = u"CONFLICT"_s, .message = u"changed"_s};
        // clang-format on
        QCOMPARE(*decoded, expected);
    }

    void absentNullAndUnknownKeys()
    {
        QCOMPARE(decodeServerEnvelope(R"({"type":"project_file_read","size":null,"newerField":{"nested":[1,{}]}})"),
                 GatewayServerEnvelope{u"project_file_read"_s});
        QCOMPARE(decodeServerEnvelope(R"({"type":"session_list","sessions":[]})")->sessions,
                 QList<GatewaySessionSummary>());
        const auto delta =
            decodeServerEnvelope(R"({"itemId":"i9","delta":"\u00e9\ud83d\ude00","type":"assistant_delta"})");
        QCOMPARE(delta->delta, u"\u00e9\U0001F600"_s);
    }

    void malformedMessagesFail_data()
    {
        QTest::addColumn<QByteArray>("frame");
        row("no type", R"({"delta":"x"})"_ba);
        row("numeric type", R"({"type":3})"_ba);
        row("null type", R"({"type":null})"_ba);
        row("array root", R"([{"type":"hello_ok"}])"_ba);
        row("empty", QByteArray());
        row("invalid UTF-8", "{\"type\":\"x\",\"delta\":\"\xff\xfe\"}"_ba);
        // One bad element of a list fails the whole message.
        const QByteArray session = R"({"id":"a","source":"saved","backend":"codex","cwd":"/a","sessionKey":"k",)"
                                   R"("state":"idle","title":"t","lastUpdatedAt":"x"})";
        row("second session state",
            R"({"type":"session_list","sessions":[)" + session + "," + QByteArray(session).replace("idle", "sleeping") +
                "]}");
        // A value of the wrong type for each key.
        const QJsonObject wrong = test::parseObject(R"({
            "requestId":1, "sessionId":true, "backend":"Pi", "serverVersion":{}, "authRequired":"yes",
            "features":[], "backends":{}, "cwd":[], "resumed":1, "backendSessionId":2, "sessionName":false,
            "contextUsage":{"usedTokens":1}, "workflowState":"archived", "transcript":"none", "state":"paused",
            "sessions":[1], "path":0, "includeHidden":0, "entries":[{}], "content":[], "revision":7, "size":5.5,
            "modifiedAt":0, "languageHint":{}, "isMarkdown":"true", "delta":1, "text":[], "itemId":1,
            "toolName":{}, "phase":"finished", "summary":1, "code":404, "message":{}})");
        for (auto it = wrong.begin(); it != wrong.end(); ++it)
            row(qPrintable(u"wrong "_s + it.key()), withValue(it.key(), it.value()));
    }
    void malformedMessagesFail()
    {
        QFETCH(QByteArray, frame);
        QVERIFY(decodeServerEnvelope(withValue(u"type"_s, u"session_created"_s))); // the rows' base decodes
        QString error;
        QVERIFY(!decodeServerEnvelope(frame, &error));
        QVERIFY(!error.isEmpty());
    }

    // Every proper prefix of a message is incomplete JSON.
    void truncatedFramesFail()
    {
        for (qsizetype length = 0; length < everyField.size(); ++length)
            QVERIFY2(!decodeServerEnvelope(everyField.first(length)), qPrintable(QString::number(length)));
    }

    void hostileFramesAreRefusedQuickly()
    {
        const QByteArray deep = R"({"type":"x","extra":)" + QByteArray(200000, '[') + QByteArray(200000, ']') + "}";
        QVERIFY(!decodeServerEnvelope(deep));
        // Just past the largest accepted document: refused before it is parsed.
        QString error;
        const QByteArray huge = "{\"type\":\"x\",\"content\":\"" + QByteArray(64 * 1024 * 1024, 'a') + "\"}";
        QVERIFY(!decodeServerEnvelope(huge, &error));
        QCOMPARE(error, u"document too large"_s);
        // A large but acceptable document gets a parser of its own, and small ones keep working.
        const QByteArray large =
            "{\"type\":\"project_file_read\",\"content\":\"" + QByteArray(4 * 1024 * 1024, 'b') + "\"}";
        QCOMPARE(decodeServerEnvelope(large)->content->size(), 4 * 1024 * 1024);
        QVERIFY(decodeServerEnvelope(R"({"type":"hello_ok"})"));
    }

    // A list of four million numbers where objects belong fails at its first element. Space for
    // four million records (gigabytes) must never be asked for; the parser's own buffers for
    // the 8 MB frame stay far below that. Every list decodes through the same reader.
    void listsReserveOnlyWhatDecodes()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer owns malloc(), so allocations cannot be observed here");
#endif
        constexpr qint64 count = 4'000'000;
        constexpr std::size_t bound = 128 * 1024 * 1024;
        QVERIFY(std::size_t(count) * sizeof(GatewaySessionSummary) > 2 * bound);
        const QByteArray frame = R"({"type":"x","sessions":[)" + QByteArray("0,").repeated(count).chopped(1) + "]}";
        QString error;
        largestRequest = 0;
        recording = true;
        const bool decoded = decodeServerEnvelope(frame, &error).has_value();
        recording = false;
        QVERIFY(!decoded);
        QCOMPARE(error, u"expected an object"_s);
        QVERIFY2(largestRequest < bound, qPrintable(QString::number(largestRequest.load())));
    }
};
} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ServerEnvelope)
#include "tst_ServerEnvelope.moc"
