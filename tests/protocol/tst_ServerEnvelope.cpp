#include "protocol/GatewayServerEnvelope.h"

#include <QRandomGenerator>
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

namespace tessel {

class tst_ServerEnvelope : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryField();
    void absentAndNullKeysGiveAbsentFields();
    void unknownTypeAndExtraKeysStillDecode();
    void requiresStringType_data();
    void requiresStringType();
    void wrongTypeOfAnyFieldFailsTheMessage_data();
    void wrongTypeOfAnyFieldFailsTheMessage();
    void oneBadNestedElementFailsTheMessage_data();
    void oneBadNestedElementFailsTheMessage();
    void malformedFramesFailWithoutCrashing();
    void hostileFramesAreRefusedQuickly();
    void listsReserveOnlyWhatDecodes_data();
    void listsReserveOnlyWhatDecodes();
};

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

// Replaces the value of `key` in `everyField` with `value`.
QByteArray withValue(const char *key, const QByteArray &value)
{
    QByteArray json = everyField;
    const QByteArray quotedKey = '"' + QByteArray(key) + "\":";
    qsizetype start = json.indexOf(quotedKey);
    Q_ASSERT(start >= 0);
    start += quotedKey.size();
    // Values in `everyField` end at the comma or closing brace at nesting depth zero.
    int depth = 0;
    bool inString = false;
    qsizetype end = start;
    for (; end < json.size(); ++end) {
        const char c = json[end];
        if (inString) {
            inString = c != '"';
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[')
            ++depth;
        else if (c == '}' || c == ']') {
            if (depth-- == 0)
                break;
        } else if (c == ',' && depth == 0)
            break;
    }
    return json.replace(start, end - start, value);
}

} // namespace

void tst_ServerEnvelope::decodesEveryField()
{
    QString error;
    const auto envelope = decodeServerEnvelope(everyField, &error);
    QVERIFY2(envelope, qPrintable(error));
    QCOMPARE(envelope->type, u"session_created"_s);
    QCOMPARE(envelope->requestId, u"R1"_s);
    QCOMPARE(envelope->sessionId, u"S1"_s);
    QCOMPARE(envelope->backend, BackendKind::pi);
    QCOMPARE(envelope->serverVersion, u"1.2.3"_s);
    QCOMPARE(envelope->authRequired, true);
    QCOMPARE(envelope->features->tts.provider, u"system"_s);
    QCOMPARE(envelope->backends->size(), 2);
    QCOMPARE(envelope->backends->at(1).unavailableReason, u"missing"_s);
    QCOMPARE(envelope->cwd, u"/srv/app"_s);
    QCOMPARE(envelope->resumed, true);
    QCOMPARE(envelope->backendSessionId, u"B1"_s);
    QCOMPARE(envelope->sessionName, u"Refactor"_s);
    QCOMPARE(envelope->contextUsage, (GatewaySessionContextUsage{1200, 200000}));
    QCOMPARE(envelope->workflowState, SessionWorkflowState::done);
    QCOMPARE(envelope->transcript->size(), 2);
    QCOMPARE(envelope->transcript->at(1).isStreaming, false);
    QCOMPARE(envelope->state, SessionLifecycleState::running);
    QCOMPARE(envelope->sessions->first().workflowState, SessionWorkflowState::active);
    QCOMPARE(envelope->path, u"src"_s);
    QCOMPARE(envelope->includeHidden, false);
    QCOMPARE(envelope->entries->first().kind, ProjectFileKind::file);
    QCOMPARE(envelope->content, u"# A"_s);
    QCOMPARE(envelope->revision, u"rev"_s);
    QCOMPARE(envelope->size, 5);
    QCOMPARE(envelope->modifiedAt, u"2026-03-17T10:30:00Z"_s);
    QCOMPARE(envelope->languageHint, u"markdown"_s);
    QCOMPARE(envelope->isMarkdown, true);
    QCOMPARE(envelope->delta, u"d"_s);
    QCOMPARE(envelope->text, u"full"_s);
    QCOMPARE(envelope->itemId, u"i1"_s);
    QCOMPARE(envelope->toolName, u"shell"_s);
    QCOMPARE(envelope->phase, ToolEventPhase::updated);
    QCOMPARE(envelope->summary, u"ls"_s);
    QCOMPARE(envelope->code, u"CONFLICT"_s);
    QCOMPARE(envelope->message, u"changed"_s);
}

void tst_ServerEnvelope::absentAndNullKeysGiveAbsentFields()
{
    const auto status = decodeServerEnvelope(R"({"type":"session_status"})");
    QVERIFY(status);
    QCOMPARE(status->state, std::nullopt);
    GatewayServerEnvelope bare;
    bare.type = u"session_status"_s;
    QCOMPARE(*status, bare);

    const auto read = decodeServerEnvelope(R"({"type":"project_file_read","size":null,"sessions":null})");
    QVERIFY(read);
    QCOMPARE(read->size, std::nullopt);
    QCOMPARE(read->sessions, std::nullopt);

    const auto empty = decodeServerEnvelope(R"({"type":"session_list","sessions":[]})");
    QVERIFY(empty);
    QCOMPARE(empty->sessions, QList<GatewaySessionSummary>());
}

void tst_ServerEnvelope::unknownTypeAndExtraKeysStillDecode()
{
    const auto unknown = decodeServerEnvelope(R"({"type":"voice_ready","newerField":{"nested":[1,2,{}]},"x":null})");
    QVERIFY(unknown);
    QCOMPARE(unknown->type, u"voice_ready"_s);
    const auto delta = decodeServerEnvelope(R"({"itemId":"i9","delta":"\u00e9\ud83d\ude00","type":"assistant_delta"})");
    QVERIFY(delta);
    QCOMPARE(delta->delta, u"\u00e9\U0001F600"_s);
}

void tst_ServerEnvelope::requiresStringType_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("no type") << QByteArray(R"({"delta":"x"})");
    QTest::newRow("numeric type") << QByteArray(R"({"type":3})");
    QTest::newRow("null type") << QByteArray(R"({"type":null})");
    QTest::newRow("array root") << QByteArray(R"([{"type":"hello_ok"}])");
    QTest::newRow("string root") << QByteArray(R"("hello_ok")");
    QTest::newRow("empty") << QByteArray();
}

void tst_ServerEnvelope::requiresStringType()
{
    QFETCH(QByteArray, frame);
    QString error;
    QVERIFY(!decodeServerEnvelope(frame, &error));
    QVERIFY(!error.isEmpty());
}

void tst_ServerEnvelope::wrongTypeOfAnyFieldFailsTheMessage_data()
{
    QTest::addColumn<QByteArray>("frame");
    const std::initializer_list<std::pair<const char *, const char *>> cases = {
        {"requestId", "1"},
        {"sessionId", "true"},
        {"backend", R"("Pi")"},
        {"serverVersion", "{}"},
        {"authRequired", R"("yes")"},
        {"features", "[]"},
        {"backends", "{}"},
        {"cwd", "[]"},
        {"resumed", "1"},
        {"backendSessionId", "2"},
        {"sessionName", "false"},
        {"contextUsage", R"({"usedTokens":1})"},
        {"workflowState", R"("archived")"},
        {"transcript", R"("none")"},
        {"state", R"("paused")"},
        {"sessions", "[1]"},
        {"path", "0"},
        {"includeHidden", "0"},
        {"entries", "[{}]"},
        {"content", "[]"},
        {"revision", "7"},
        {"size", "5.5"},
        {"modifiedAt", "0"},
        {"languageHint", "{}"},
        {"isMarkdown", R"("true")"},
        {"delta", "1"},
        {"text", "[]"},
        {"itemId", "1"},
        {"toolName", "{}"},
        {"phase", R"("finished")"},
        {"summary", "1"},
        {"code", "404"},
        {"message", "{}"},
    };
    for (const auto &[key, value] : cases)
        QTest::newRow(key) << withValue(key, value);
}

void tst_ServerEnvelope::wrongTypeOfAnyFieldFailsTheMessage()
{
    QFETCH(QByteArray, frame);
    QVERIFY(!decodeServerEnvelope(frame));
}

void tst_ServerEnvelope::oneBadNestedElementFailsTheMessage_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QByteArray session =
        R"({"id":"%1","source":"saved","backend":"codex","cwd":"/a","sessionKey":"k","state":"%2","title":"t","lastUpdatedAt":"x"})";
    QTest::newRow("second session state") << R"({"type":"session_list","sessions":[)" +
            QByteArray(session).replace("%1", "a").replace("%2", "idle") + "," +
            QByteArray(session).replace("%1", "b").replace("%2", "sleeping") + "]}";
    QTest::newRow("catalog kind") << QByteArray(
        R"({"type":"backend_catalog","backends":[{"kind":"claude","label":"C","available":true}]})");
    QTest::newRow("transcript role") << QByteArray(
        R"({"type":"session_created","transcript":[{"role":"bot","title":"","body":""}]})");
    QTest::newRow("entry without isMarkdown") << QByteArray(
        R"({"type":"project_files_list","entries":[{"name":"a","path":"a","kind":"file","size":1,"modifiedAt":"m","isHidden":false,"isText":true}]})");
    QTest::newRow("entry kind") << QByteArray(
        R"({"type":"project_files_list","entries":[{"name":"a","path":"a","kind":"symlink","size":1,"modifiedAt":"m","isHidden":false,"isText":true,"isMarkdown":false}]})");
    QTest::newRow("null inside catalog entry")
        << QByteArray(R"({"type":"backend_catalog","backends":[{"kind":"pi","label":null,"available":true}]})");
}

void tst_ServerEnvelope::oneBadNestedElementFailsTheMessage()
{
    QFETCH(QByteArray, frame);
    QVERIFY(!decodeServerEnvelope(frame));
}

void tst_ServerEnvelope::malformedFramesFailWithoutCrashing()
{
    // Every proper prefix of a message is incomplete JSON.
    for (qsizetype length = 0; length < everyField.size(); ++length)
        QVERIFY2(!decodeServerEnvelope(everyField.first(length)), qPrintable(QString::number(length)));

    // Random edits of a valid message and random bytes: any outcome but a crash is fine,
    // and whatever decodes must still have a type.
    QRandomGenerator random(20261206);
    for (int round = 0; round < 20000; ++round) {
        QByteArray frame = everyField;
        const int edits = 1 + random.bounded(4);
        for (int i = 0; i < edits; ++i)
            frame[random.bounded(frame.size())] = char(random.bounded(256));
        if (const auto envelope = decodeServerEnvelope(frame))
            QVERIFY(!envelope->type.isNull());
    }
    for (int round = 0; round < 2000; ++round) {
        QByteArray noise(random.bounded(512), Qt::Uninitialized);
        for (char &byte : noise)
            byte = char(random.bounded(256));
        QVERIFY(!decodeServerEnvelope(noise));
    }
    QVERIFY(!decodeServerEnvelope("{\"type\":\"x\",\"delta\":\"\xff\xfe\"}"));
}

void tst_ServerEnvelope::hostileFramesAreRefusedQuickly()
{
    const QByteArray deepArrays = R"({"type":"x","extra":)" + QByteArray(200000, '[') + QByteArray(200000, ']') + "}";
    QVERIFY(!decodeServerEnvelope(deepArrays));
    const QByteArray deepObjects =
        R"({"type":"x","features":)" + QByteArray("{\"a\":").repeated(100000) + "1" + QByteArray(100000, '}') + "}";
    QVERIFY(!decodeServerEnvelope(deepObjects));

    // Just past the largest accepted document: refused before it is parsed.
    QByteArray oversized = R"({"type":"x","content":")";
    oversized += QByteArray(64 * 1024 * 1024, 'a');
    oversized += "\"}";
    QString error;
    QVERIFY(!decodeServerEnvelope(oversized, &error));
    QVERIFY(error.contains(u"too large"_s));
    // A large but acceptable document still decodes, and small ones keep working after it.
    QByteArray large = R"({"type":"project_file_read","content":")" + QByteArray(4 * 1024 * 1024, 'b') + "\"}";
    QCOMPARE(decodeServerEnvelope(large)->content->size(), 4 * 1024 * 1024);
    QVERIFY(decodeServerEnvelope(R"({"type":"hello_ok"})"));
}

void tst_ServerEnvelope::listsReserveOnlyWhatDecodes_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<qint64>("elementBytes");
    QTest::newRow("sessions") << QByteArray("sessions") << qint64(sizeof(GatewaySessionSummary));
    QTest::newRow("backends") << QByteArray("backends") << qint64(sizeof(BackendDescriptor));
    QTest::newRow("transcript") << QByteArray("transcript") << qint64(sizeof(GatewayTranscriptItemEnvelope));
    QTest::newRow("entries") << QByteArray("entries") << qint64(sizeof(ProjectFileEntry));
}

// A list of four million numbers where objects belong fails at its first element. Space for
// four million records (hundreds of megabytes to gigabytes) must never be asked for; the
// parser's own buffers for the 8 MB frame stay far below that.
void tst_ServerEnvelope::listsReserveOnlyWhatDecodes()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer owns malloc(), so allocations cannot be observed here");
#endif
    QFETCH(QByteArray, key);
    QFETCH(qint64, elementBytes);
    constexpr qint64 count = 4'000'000;
    constexpr std::size_t bound = 128 * 1024 * 1024;
    QVERIFY(std::size_t(count * elementBytes) > 2 * bound);
    QByteArray numbers = QByteArray("0,").repeated(count);
    numbers.chop(1);
    const QByteArray frame = R"({"type":"x",")" + key + R"(":[)" + numbers + "]}";
    QString error;
    largestRequest = 0;
    recording = true;
    const bool decoded = decodeServerEnvelope(frame, &error).has_value();
    recording = false;
    QVERIFY(!decoded);
    QCOMPARE(error, u"expected an object"_s);
    QVERIFY2(largestRequest < bound, qPrintable(QString::number(largestRequest.load())));
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ServerEnvelope)
#include "tst_ServerEnvelope.moc"
