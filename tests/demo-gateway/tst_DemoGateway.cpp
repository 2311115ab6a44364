#include "connection/GatewayWebSocketClient.h"
#include "files/ProjectFileService.h"
#include "protocol/GatewayClientEnvelope.h"
#include "storage/MachineProfile.h"
#include "support/DemoGatewayProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::DemoGatewayProcess;

namespace {

constexpr int waitMs = 10000;
const QString token = u"demo-token"_s;

// A chat socket that keeps every envelope it receives, in order.
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
    // The first envelope of `type` at or after `from`; fails the test when none comes.
    GatewayServerEnvelope waitFor(const QString &type, qsizetype from = 0)
    {
        qsizetype index = -1;
        const auto find = [&] {
            for (qsizetype i = from; i < received.size(); ++i) {
                if (received.at(i).type == type)
                    return index = i;
            }
            return index = -1;
        };
        [&] { QTRY_VERIFY_WITH_TIMEOUT(find() >= 0, waitMs); }();
        return index >= 0 ? received.at(index) : GatewayServerEnvelope{};
    }
    GatewayServerEnvelope request(const GatewayClientEnvelope &envelope, const QString &replyType)
    {
        const qsizetype from = received.size();
        send(envelope);
        return waitFor(replyType, from);
    }
    // Says hello and creates (or reattaches to) the codex session of `cwd`.
    GatewayServerEnvelope startSession(const QString &cwd)
    {
        request(GatewayClientEnvelope::hello(token), u"hello_ok"_s);
        return request(GatewayClientEnvelope::createSession(BackendKind::codex, cwd, false), u"session_created"_s);
    }
    QStringList typesFrom(qsizetype from) const
    {
        QStringList types;
        for (qsizetype i = from; i < received.size(); ++i)
            types.append(received.at(i).type);
        return types;
    }

    GatewayWebSocketClient client;
    QList<GatewayServerEnvelope> received;
};

template<typename T>
struct Outcome
{
    ProjectFileCallback<T> callback()
    {
        return [this](const ProjectFileResult<T> &result) { last.emplace(result); };
    }
    std::optional<ProjectFileResult<T>> last;
};

} // namespace

class tst_DemoGateway : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QTemporaryDir m_outside;
    DemoGatewayProcess m_gateway;
    MachineProfile m_machine;
    ProjectProfile m_project{QUuid::createUuid(), u"Demo"_s, u"/demo"_s};

    template<typename T, typename Call>
    ProjectFileResult<T> fileCall(Call call)
    {
        Outcome<T> outcome;
        call(outcome.callback());
        [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.last.has_value(), waitMs); }();
        return outcome.last.value_or(ProjectFileServiceError::timeout());
    }
    ProjectFileResult<ProjectFileDocumentSnapshot> read(const QString &path)
    {
        return fileCall<ProjectFileDocumentSnapshot>(
            [&](auto callback) { ProjectFileService::readDocument(m_machine, m_project, path, this, callback); });
    }
    ProjectFileResult<ProjectFileSaveResult> write(const QString &path, const QString &content,
                                                   const std::optional<QString> &revision)
    {
        return fileCall<ProjectFileSaveResult>([&](auto callback) {
            ProjectFileService::writeDocument(m_machine, m_project, path, content, revision, this, callback);
        });
    }
    ProjectFileResult<ProjectDirectoryResult> list(const QString &path, bool includeHidden)
    {
        return fileCall<ProjectDirectoryResult>([&](auto callback) {
            ProjectFileService::listDirectory(m_machine, m_project, path, includeHidden, this, callback);
        });
    }
    void writeFile(const QString &relative, const QByteArray &bytes)
    {
        QDir(m_root.path()).mkpath(QFileInfo(relative).path());
        QFile file(m_root.filePath(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid() && m_outside.isValid());
        writeFile(u"README.md"_s, "# Demo\n");
        writeFile(u"docs/guide.txt"_s, "guide\n");
        writeFile(u".hidden"_s, "x\n");
        writeFile(u"logo.png"_s, QByteArray("\x89PNG\0\0", 6));
        writeFile(u"big.txt"_s, QByteArray(1'048'577, 'a'));
        QFile secret(m_outside.filePath(u"secret.txt"_s));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("outside\n");
        secret.close();
        QVERIFY(QFile::link(m_outside.path(), m_root.filePath(u"escape"_s)));
        QVERIFY2(m_gateway.start({u"--root"_s, m_root.path(), u"--token"_s, token, u"--no-env-file"_s,
                                  u"--delta-interval-ms"_s, u"5"_s, u"--pi-unavailable"_s, u"pi is not installed"_s}),
                 qPrintable(m_gateway.errorText()));
        m_machine.gatewayURL = m_gateway.url().toString();
        m_machine.gatewayToken = token;
    }

    void servesNothingBeforeASuccessfulHello()
    {
        ChatSocket chat(m_gateway.url());
        GatewayServerEnvelope refused = chat.request(GatewayClientEnvelope::listBackends(), u"error"_s);
        QCOMPARE(refused.code, u"UNAUTHORIZED"_s);
        refused = chat.request(GatewayClientEnvelope::hello(u"wrong"_s), u"error"_s);
        QCOMPARE(refused.message, u"The gateway token is missing or wrong."_s);
        refused = chat.request(GatewayClientEnvelope::hello(QString()), u"error"_s);
        QCOMPARE(refused.code, u"UNAUTHORIZED"_s);
        QCOMPARE(chat.typesFrom(0), QStringList(3, u"error"_s));
        QCOMPARE(chat.request(GatewayClientEnvelope::hello(token), u"hello_ok"_s).serverVersion,
                 u"tessel-demo-gateway 0.1.0"_s);

        m_machine.gatewayToken = u"wrong"_s;
        const auto listing = list({}, false);
        m_machine.gatewayToken = token;
        QCOMPARE(listing.error().message(), u"The gateway token is missing or wrong."_s);
    }

    void wholeChatExchange()
    {
        ChatSocket chat(m_gateway.url());
        chat.request(GatewayClientEnvelope::hello(token), u"hello_ok"_s);
        const auto catalog = chat.request(GatewayClientEnvelope::listBackends(), u"backend_catalog"_s);
        QCOMPARE(catalog.backends->size(), 2);
        QVERIFY(catalog.backends->at(0).available);
        QCOMPARE(catalog.backends->at(1).unavailableReason, u"pi is not installed"_s);
        QCOMPARE(
            chat.request(GatewayClientEnvelope::createSession(BackendKind::pi, u"/chat"_s, false), u"error"_s).code,
            u"BACKEND_UNAVAILABLE"_s);

        const auto created = chat.request(GatewayClientEnvelope::createSession(BackendKind::codex, u"/chat"_s, false),
                                          u"session_created"_s);
        QCOMPARE(created.resumed, false);
        const QString sessionId = *created.sessionId;

        const qsizetype from = chat.received.size();
        chat.send(GatewayClientEnvelope::sendMessage(sessionId, u"hello agent"_s));
        const auto complete = chat.waitFor(u"assistant_complete"_s, from);
        const auto idle = chat.waitFor(u"session_status"_s, chat.received.size() - 2);
        QCOMPARE(idle.state, SessionLifecycleState::idle);
        QStringList types = chat.typesFrom(from);
        types.removeAll(u"assistant_delta"_s);
        QCOMPARE(types,
                 (QStringList{u"session_status"_s, u"tool_event"_s, u"tool_event"_s, u"assistant_complete"_s,
                              u"session_metadata"_s, u"session_status"_s}));
        QCOMPARE(chat.received.at(from).state, SessionLifecycleState::running);
        QString streamed;
        for (qsizetype i = from; i < chat.received.size(); ++i) {
            const GatewayServerEnvelope &event = chat.received.at(i);
            QCOMPARE(event.sessionId, sessionId);
            if (event.type == "assistant_delta"_L1) {
                streamed += *event.delta;
                QCOMPARE(event.itemId, complete.itemId);
            }
        }
        QCOMPARE(streamed, *complete.text);
        QVERIFY(complete.text->contains(u"hello agent"_s));
        const auto toolDone = chat.received.at(from + 2);
        QCOMPARE(toolDone.phase, ToolEventPhase::completed);
        QVERIFY2(toolDone.summary->contains(u"README.md"_s), qPrintable(*toolDone.summary));
        const auto metadata = chat.waitFor(u"session_metadata"_s, from);
        QVERIFY(metadata.contextUsage->usedTokens > 0);
        QCOMPARE(metadata.sessionName, u"hello agent"_s);

        // A second socket reattaches to the live session and gets its transcript.
        ChatSocket second(m_gateway.url());
        const auto reattached = second.startSession(u" /chat\n"_s);
        QCOMPARE(reattached.sessionId, sessionId);
        QCOMPARE(reattached.resumed, true);
        QCOMPARE(reattached.transcript->size(), 3);
        QCOMPARE(reattached.transcript->at(2).body, *complete.text);
        QCOMPARE(reattached.contextUsage, metadata.contextUsage);

        // A forced new session saves the old one, which can be opened again by id.
        const auto fresh = second.request(GatewayClientEnvelope::createSession(BackendKind::codex, u"/chat"_s, true),
                                          u"session_created"_s);
        QVERIFY(fresh.sessionId != sessionId);
        const auto sessions =
            second.request(GatewayClientEnvelope::listSessions(BackendKind::codex, u"/chat"_s), u"session_list"_s);
        QCOMPARE(sessions.sessions->size(), 2);
        const auto saved = std::find_if(sessions.sessions->begin(), sessions.sessions->end(),
                                        [&](const auto &summary) { return summary.id == sessionId; });
        QVERIFY(saved != sessions.sessions->end());
        QCOMPARE(saved->source, SessionSummarySource::saved);
        const auto reopened = second.request(GatewayClientEnvelope::openSession(*saved), u"session_created"_s);
        QCOMPARE(reopened.sessionId, sessionId);
        QCOMPARE(reopened.resumed, true);
    }

    void abortStopsARunningReply()
    {
        ChatSocket chat(m_gateway.url());
        const auto created = chat.startSession(u"/abort"_s);
        const qsizetype from = chat.received.size();
        chat.send(GatewayClientEnvelope::sendMessage(*created.sessionId, u"please stop me"_s));
        chat.waitFor(u"assistant_delta"_s, from);
        QCOMPARE(chat.request(GatewayClientEnvelope::sendMessage(*created.sessionId, u"again"_s), u"error"_s).code,
                 u"SESSION_BUSY"_s);
        chat.send(GatewayClientEnvelope::abortSession(*created.sessionId));
        const auto complete = chat.waitFor(u"assistant_complete"_s, from);
        QVERIFY(!complete.text->contains(u"piece by piece"_s));
        QCOMPARE(chat.waitFor(u"session_status"_s, chat.received.size() - 1).state, SessionLifecycleState::idle);
    }

    void floodStreamsTheRequestedNumberOfDeltas()
    {
        ChatSocket chat(m_gateway.url());
        const auto created = chat.startSession(u"/flood"_s);
        const qsizetype from = chat.received.size();
        chat.send(GatewayClientEnvelope::sendMessage(*created.sessionId, u"flood 5000"_s));
        chat.waitFor(u"assistant_complete"_s, from);
        QCOMPARE(chat.typesFrom(from).count(u"assistant_delta"_s), 5000);
    }

    void fileServiceReadsAndWritesWithRevisions()
    {
        const auto root = list({}, false);
        QVERIFY(root.hasValue());
        QStringList names;
        for (const auto &entry : root.value().entries)
            names.append(entry.name);
        // The link that leads outside is not listed; hidden files only when asked for.
        QCOMPARE(names, (QStringList{u"docs"_s, u"big.txt"_s, u"logo.png"_s, u"README.md"_s}));
        QVERIFY(!root.value().entries.at(2).isText);
        QVERIFY(list({}, true).value().entries.at(1).isHidden);
        QCOMPARE(list(u"docs/"_s, false).value().entries.first().path, u"docs/guide.txt"_s);

        const auto readme = read(u"README.md"_s);
        QCOMPARE(readme.value().content, u"# Demo\n"_s);
        QCOMPARE(readme.value().languageHint, u"markdown"_s);
        QVERIFY(readme.value().isMarkdown);
        const auto saved = write(u"README.md"_s, u"# Edited\n"_s, readme.value().revision);
        QVERIFY(saved.hasValue());
        QCOMPARE(saved.value().size, 9);
        QCOMPARE(read(u"README.md"_s).value().revision, saved.value().revision);
        QFile file(m_root.filePath(u"README.md"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("# Edited\n"));

        const auto stale = write(u"README.md"_s, u"# Lost\n"_s, readme.value().revision);
        QCOMPARE(stale.error().code(), u"CONFLICT"_s);
        QCOMPARE(read(u"README.md"_s).value().content, u"# Edited\n"_s);
    }

    void fileServiceErrors_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("code");
        QTest::newRow("binary") << u"logo.png"_s << u"UNSUPPORTED_FILE"_s;
        QTest::newRow("too large") << u"big.txt"_s << u"FILE_TOO_LARGE"_s;
        QTest::newRow("missing") << u"missing.txt"_s << u"NOT_FOUND"_s;
        QTest::newRow("parent") << u"../secret.txt"_s << u"INVALID_PATH"_s;
        QTest::newRow("inner parent") << u"docs/../../secret.txt"_s << u"INVALID_PATH"_s;
        QTest::newRow("absolute") << u"/etc/passwd"_s << u"INVALID_PATH"_s;
        QTest::newRow("symlink out") << u"escape/secret.txt"_s << u"INVALID_PATH"_s;
    }
    void fileServiceErrors()
    {
        QFETCH(QString, path);
        QFETCH(QString, code);
        QCOMPARE(read(path).error().code(), code);
        QCOMPARE(write(path, u"x"_s, std::nullopt).error().code(), code);
        QFile outside(m_outside.filePath(u"secret.txt"_s));
        QVERIFY(outside.open(QIODevice::ReadOnly));
        QCOMPARE(outside.readAll(), QByteArray("outside\n"));
    }

    void writesTheEnvironmentFileForItsOwnerOnly()
    {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home.path());
        DemoGatewayProcess gateway;
        QVERIFY2(gateway.start({u"--root"_s, m_root.path()}, environment), qPrintable(gateway.errorText()));
        QFile file(home.filePath(u".config/tessel-gateway/gateway.env"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
            QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(file.permissions() & (others | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
                 QFile::ReadOwner | QFile::WriteOwner);
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        // scripts/run.sh tells its own file from a real gateway's by this line.
        QCOMPARE(lines.at(0), u"# Written by tessel-demo-gateway"_s);
        QCOMPARE(lines.at(2), u"TESSEL_PORT="_s + QString::number(gateway.port()));
        const QString generated = lines.at(1).section(u'=', 1);
        QVERIFY(generated.size() >= 16);
        QVERIFY(!gateway.output().contains(generated));

        ChatSocket chat(gateway.url());
        chat.request(GatewayClientEnvelope::hello(generated), u"hello_ok"_s);
    }

    void refusesUnusableOptions()
    {
        QString error;
        QCOMPARE(DemoGatewayProcess::run({u"--no-env-file"_s}, &error), 2);
        QVERIFY2(error.contains(u"--token"_s), qPrintable(error));
        QCOMPARE(DemoGatewayProcess::run({u"--token"_s, u"a b"_s, u"--no-env-file"_s}, &error), 2);
        QCOMPARE(DemoGatewayProcess::run({u"--root"_s, u"/nonexistent/dir"_s, u"--no-env-file"_s, u"--token"_s, u"t"_s},
                                         &error),
                 2);
        QVERIFY2(error.contains(u"--root"_s), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_DemoGateway)
#include "tst_DemoGateway.moc"
