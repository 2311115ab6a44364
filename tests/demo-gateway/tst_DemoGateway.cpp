#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/DataRow.h"
#include "support/DemoGatewayProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::DemoGatewayProcess;
using tessel::test::row;
using E = GatewayClientEnvelope;

namespace {

constexpr int waitMs = 10000;
const QString token = u"demo-token"_s;

// A gateway connection that keeps every envelope it receives, in order.
class ChatSocket
{
public:
    explicit ChatSocket(const QUrl &url)
    {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [this](const GatewayServerEnvelope &envelope) { received.append(envelope); });
        client.connectTo(url);
    }
    void send(const GatewayClientEnvelope &envelope) { QVERIFY(!client.send(envelope)); }
    // The first envelope at or after `from` that `matches`; fails the test when none comes.
    template<typename Match>
    GatewayServerEnvelope waitFor(Match matches, qsizetype from)
    {
        const auto found = [&] { return std::find_if(received.cbegin() + from, received.cend(), matches); };
        [&] { QTRY_VERIFY_WITH_TIMEOUT(found() != received.cend(), waitMs); }();
        return found() != received.cend() ? *found() : GatewayServerEnvelope{};
    }
    GatewayServerEnvelope waitFor(const QString &type, qsizetype from)
    {
        return waitFor([&](const GatewayServerEnvelope &envelope) { return envelope.type == type; }, from);
    }
    // Sends `envelope` and waits for the reply that carries its request id.
    GatewayServerEnvelope request(const GatewayClientEnvelope &envelope)
    {
        const qsizetype from = received.size();
        send(envelope);
        return waitFor([&](const GatewayServerEnvelope &reply) { return reply.requestId == envelope.requestId; }, from);
    }
    // Says hello and creates (or reattaches to) the codex session of `cwd`.
    GatewayServerEnvelope startSession(const QString &cwd)
    {
        request(E::hello(token));
        return request(E::createSession(BackendKind::codex, cwd, false));
    }
    QStringList typesFrom(qsizetype from) const
    {
        QStringList types;
        for (const GatewayServerEnvelope &envelope : received.mid(from))
            types.append(envelope.type);
        return types;
    }

    GatewayWebSocketClient client;
    QList<GatewayServerEnvelope> received;
};

} // namespace

class tst_DemoGateway : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QTemporaryDir m_outside;
    DemoGatewayProcess m_gateway;
    std::unique_ptr<ChatSocket> m_files; // said hello, for the project file requests

    void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QList<ProjectFileEntry> list(const std::optional<QString> &path, bool hidden)
    {
        return m_files->request(E::listProjectFiles(u"/demo"_s, path, hidden))
            .entries.value_or(QList<ProjectFileEntry>());
    }
    GatewayServerEnvelope read(const QString &path) { return m_files->request(E::readProjectFile(u"/demo"_s, path)); }
    GatewayServerEnvelope write(const QString &path, const QString &content, const std::optional<QString> &revision)
    {
        return m_files->request(E::writeProjectFile(u"/demo"_s, path, content, revision));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid() && m_outside.isValid());
        writeFile(m_root.filePath(u"README.md"_s), "# Demo\n");
        writeFile(m_root.filePath(u"docs/guide.txt"_s), "guide\n");
        writeFile(m_root.filePath(u".hidden"_s), "x\n");
        writeFile(m_root.filePath(u"logo.png"_s), QByteArray("\x89PNG\0\0", 6));
        writeFile(m_root.filePath(u"big.txt"_s), QByteArray(1'048'577, 'a'));
        writeFile(m_outside.filePath(u"secret.txt"_s), "outside\n");
        QVERIFY(QFile::link(m_outside.path(), m_root.filePath(u"escape"_s)));
        QVERIFY2(m_gateway.start({u"--root"_s, m_root.path(), u"--token"_s, token, u"--no-env-file"_s,
                                  u"--delta-interval-ms"_s, u"5"_s, u"--pi-unavailable"_s, u"pi is not installed"_s}),
                 qPrintable(m_gateway.errorText()));
        m_files = std::make_unique<ChatSocket>(m_gateway.url());
        QCOMPARE(m_files->request(E::hello(token)).type, u"hello_ok"_s);
    }

    void servesNothingBeforeASuccessfulHello()
    {
        ChatSocket chat(m_gateway.url());
        QCOMPARE(chat.request(E::listBackends()).code, u"UNAUTHORIZED"_s);
        QCOMPARE(chat.request(E::hello(u"wrong"_s)).message, u"The gateway token is missing or wrong."_s);
        QCOMPARE(chat.request(E::listProjectFiles(u"/demo"_s, std::nullopt, false)).code, u"UNAUTHORIZED"_s);
        QCOMPARE(chat.request(E::hello(QString())).code, u"UNAUTHORIZED"_s);
        QCOMPARE(chat.typesFrom(0), QStringList(4, u"error"_s));
        QCOMPARE(chat.request(E::hello(token)).serverVersion, u"tessel-demo-gateway 0.1.0"_s);
    }

    // What the reply says and how the model shows it: tst_ModelEndToEnd. Here: its order of
    // events, and that the deltas make up the completed text.
    void wholeChatExchange()
    {
        ChatSocket chat(m_gateway.url());
        chat.request(E::hello(token));
        const auto catalog = chat.request(E::listBackends()).backends.value_or(QList<BackendDescriptor>());
        QCOMPARE(catalog.size(), 2);
        QVERIFY(catalog.at(0).available);
        QCOMPARE(catalog.at(1).unavailableReason, u"pi is not installed"_s);
        QCOMPARE(chat.request(E::createSession(BackendKind::pi, u"/chat"_s, false)).code, u"BACKEND_UNAVAILABLE"_s);
        const auto created = chat.request(E::createSession(BackendKind::codex, u"/chat"_s, false));
        QCOMPARE(created.resumed, false);
        const QString sessionId = created.sessionId.value_or(QString());

        const qsizetype from = chat.received.size();
        chat.send(E::sendMessage(sessionId, u"hello agent"_s));
        const auto complete = chat.waitFor(u"assistant_complete"_s, from);
        QCOMPARE(chat.waitFor(u"session_status"_s, chat.received.size() - 2).state, SessionLifecycleState::idle);
        QStringList types = chat.typesFrom(from);
        types.removeAll(u"assistant_delta"_s);
        QCOMPARE(types,
                 (QStringList{u"session_status"_s, u"tool_event"_s, u"tool_event"_s, u"assistant_complete"_s,
                              u"session_metadata"_s, u"session_status"_s}));
        QCOMPARE(chat.received.at(from).state, SessionLifecycleState::running);
        QCOMPARE(chat.received.at(from + 2).phase, ToolEventPhase::completed);
        QString streamed;
        for (const GatewayServerEnvelope &event : chat.received.mid(from)) {
            QCOMPARE(event.sessionId, sessionId);
            if (event.type == "assistant_delta"_L1) {
                streamed += *event.delta;
                QCOMPARE(event.itemId, complete.itemId);
            }
        }
        QCOMPARE(streamed, *complete.text);
        const auto metadata = chat.waitFor(u"session_metadata"_s, from);
        QVERIFY(metadata.contextUsage->usedTokens > 0);

        // A second socket reattaches to the live session and gets its transcript.
        ChatSocket second(m_gateway.url());
        const auto reattached = second.startSession(u" /chat\n"_s);
        QCOMPARE(std::tuple(reattached.sessionId, reattached.resumed, reattached.contextUsage),
                 std::tuple(sessionId, true, metadata.contextUsage));
        QCOMPARE(reattached.transcript->size(), 3);
        QCOMPARE(reattached.transcript->at(2).body, *complete.text);

        // A forced new session saves the old one (reopening it is in tst_ModelEndToEnd).
        QVERIFY(second.request(E::createSession(BackendKind::codex, u"/chat"_s, true)).sessionId != sessionId);
        const auto sessions = second.request(E::listSessions(BackendKind::codex, u"/chat"_s)).sessions.value();
        QCOMPARE(sessions.size(), 2);
        QCOMPARE(sessions.at(sessions.at(0).id == sessionId ? 0 : 1).source, SessionSummarySource::saved);
    }

    void abortStopsARunningReply()
    {
        ChatSocket chat(m_gateway.url());
        const QString sessionId = chat.startSession(u"/abort"_s).sessionId.value_or(QString());
        const qsizetype from = chat.received.size();
        chat.send(E::sendMessage(sessionId, u"please stop me"_s));
        chat.waitFor(u"assistant_delta"_s, from);
        QCOMPARE(chat.request(E::sendMessage(sessionId, u"again"_s)).code, u"SESSION_BUSY"_s);
        chat.send(E::abortSession(sessionId));
        QVERIFY(!chat.waitFor(u"assistant_complete"_s, from)
                     .text.value_or(u"piece by piece"_s)
                     .contains(u"piece by piece"_s));
        QCOMPARE(chat.waitFor(u"session_status"_s, chat.received.size() - 1).state, SessionLifecycleState::idle);
    }

    void floodStreamsTheRequestedNumberOfDeltas()
    {
        ChatSocket chat(m_gateway.url());
        const QString sessionId = chat.startSession(u"/flood"_s).sessionId.value_or(QString());
        const qsizetype from = chat.received.size();
        chat.send(E::sendMessage(sessionId, u"flood 5000"_s));
        chat.waitFor(u"assistant_complete"_s, from);
        QCOMPARE(chat.typesFrom(from).count(u"assistant_delta"_s), 5000);
    }

    void filesAreListedReadAndWrittenWithRevisions()
    {
        // The link that leads outside is not listed; hidden files only when asked for.
        const auto root = list(std::nullopt, false);
        QStringList names;
        for (const ProjectFileEntry &entry : root)
            names.append(entry.name);
        QCOMPARE(names, (QStringList{u"docs"_s, u"big.txt"_s, u"logo.png"_s, u"README.md"_s}));
        QVERIFY(!root.at(2).isText);
        QVERIFY(list(std::nullopt, true).value(1).isHidden);
        QCOMPARE(list(u"docs/"_s, false).value(0).path, u"docs/guide.txt"_s);

        // Saving and conflicts through the client are in tst_ModelEndToEnd.
        const auto readme = read(u"README.md"_s);
        QCOMPARE(std::tuple(readme.content, readme.languageHint, readme.isMarkdown),
                 std::tuple(u"# Demo\n"_s, u"markdown"_s, true));
        const auto saved = write(u"README.md"_s, u"# Edited\n"_s, readme.revision);
        QCOMPARE(saved.size, 9);
        QCOMPARE(read(u"README.md"_s).revision, saved.revision);
        QCOMPARE(write(u"README.md"_s, u"# Lost\n"_s, readme.revision).code, u"CONFLICT"_s);
    }

    void fileErrors_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("code");
        row("binary", "logo.png", "UNSUPPORTED_FILE");
        row("too large", "big.txt", "FILE_TOO_LARGE");
        row("missing", "missing.txt", "NOT_FOUND");
        row("parent", "../secret.txt", "INVALID_PATH");
        row("inner parent", "docs/../../secret.txt", "INVALID_PATH");
        row("absolute", "/etc/passwd", "INVALID_PATH");
        row("symlink out", "escape/secret.txt", "INVALID_PATH");
    }
    void fileErrors()
    {
        QFETCH(QString, path);
        QFETCH(QString, code);
        QCOMPARE(read(path).code, code);
        QCOMPARE(write(path, u"x"_s, std::nullopt).code, code);
        QCOMPARE(readFile(m_outside.filePath(u"secret.txt"_s)), "outside\n");
    }

    void writesTheEnvironmentFileForItsOwnerOnly()
    {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home.path());
        DemoGatewayProcess gateway;
        QVERIFY2(gateway.start({u"--root"_s, m_root.path()}, environment), qPrintable(gateway.errorText()));
        const QString path = home.filePath(u".config/tessel-gateway/gateway.env"_s);
        const auto userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser; // the same bits as owner here
        QCOMPARE(QFile::permissions(path) & ~userBits, QFile::ReadOwner | QFile::WriteOwner);
        const QStringList lines = QString::fromUtf8(readFile(path)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        // scripts/run.sh tells its own file from a real gateway's by this line.
        QCOMPARE(lines.at(0), u"# Written by tessel-demo-gateway"_s);
        QCOMPARE(lines.at(2), u"TESSEL_PORT="_s + QString::number(gateway.port()));
        const QString generated = lines.at(1).section(u'=', 1);
        QVERIFY(generated.size() >= 16);
        QVERIFY(!gateway.output().contains(generated));
        QCOMPARE(ChatSocket(gateway.url()).request(E::hello(generated)).type, u"hello_ok"_s);
    }

    void refusesUnusableOptions()
    {
        QString error;
        QCOMPARE(DemoGatewayProcess::run({u"--no-env-file"_s}, &error), 2);
        QVERIFY2(error.contains(u"--token"_s), qPrintable(error));
        QCOMPARE(DemoGatewayProcess::run({u"--token"_s, u"a b"_s, u"--no-env-file"_s}, &error), 2);
        QCOMPARE(DemoGatewayProcess::run(u"--root /nonexistent/dir --no-env-file --token t"_s.split(u' '), &error), 2);
        QVERIFY2(error.contains(u"--root"_s), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_DemoGateway)
#include "tst_DemoGateway.moc"
