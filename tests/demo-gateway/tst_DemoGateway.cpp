#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/DemoGatewayProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::DemoGatewayProcess;
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
        QVERIFY(std::all_of(chat.received.cbegin(), chat.received.cend(),
                            [](const auto &event) { return event.type == "error"_L1; }));
        QCOMPARE(chat.request(E::hello(token)).serverVersion, u"tessel-demo-gateway 0.1.0"_s);
    }

    // The chat itself, reattaching, new sessions and aborting through the model are in
    // tst_ModelEndToEnd; here what only the wire shows.
    void chatRules()
    {
        ChatSocket chat(m_gateway.url());
        chat.request(E::hello(token));
        const auto catalog = chat.request(E::listBackends()).backends.value_or(QList<BackendDescriptor>());
        QCOMPARE(catalog,
                 (QList<BackendDescriptor>{{BackendKind::codex, u"Codex"_s, true, std::nullopt},
                                           {BackendKind::pi, u"Pi"_s, false, u"pi is not installed"_s}}));
        QCOMPARE(chat.request(E::createSession(BackendKind::pi, u"/chat"_s, false)).code, u"BACKEND_UNAVAILABLE"_s);
        const QString sessionId =
            chat.request(E::createSession(BackendKind::codex, u"/chat"_s, false)).sessionId.value_or(QString());
        // A flood streams exactly the deltas asked for (the benchmarks count on it), each
        // event carrying its session.
        qsizetype from = chat.received.size();
        chat.send(E::sendMessage(sessionId, u"flood 5000"_s));
        chat.waitFor(u"assistant_complete"_s, from);
        QCOMPARE(int(std::count_if(chat.received.cbegin() + from, chat.received.cend(),
                                   [](const auto &event) { return event.type == "assistant_delta"_L1; })),
                 5000);
        QVERIFY(std::all_of(chat.received.cbegin() + from, chat.received.cend(),
                            [&](const auto &event) { return event.sessionId == sessionId; }));
        // A running reply refuses another message and stops when aborted.
        from = chat.received.size();
        chat.send(E::sendMessage(sessionId, u"please stop me"_s));
        chat.waitFor(u"assistant_delta"_s, from);
        QCOMPARE(chat.request(E::sendMessage(sessionId, u"again"_s)).code, u"SESSION_BUSY"_s);
        chat.send(E::abortSession(sessionId));
        QVERIFY(!chat.waitFor(u"assistant_complete"_s, from)
                     .text.value_or(u"piece by piece"_s)
                     .contains(u"piece by piece"_s));
        QCOMPARE(chat.waitFor(u"session_status"_s, chat.received.size() - 1).state, SessionLifecycleState::idle);
    }

    // The link that leads outside is not listed; hidden files only when asked for. Saving and
    // conflicts through the client are in tst_ModelEndToEnd.
    void filesAreListedReadAndWrittenWithRevisions()
    {
        const auto root = list(std::nullopt, false);
        QStringList names;
        for (const ProjectFileEntry &entry : root)
            names.append(entry.name);
        QCOMPARE(names, (QStringList{u"docs"_s, u"big.txt"_s, u"logo.png"_s, u"README.md"_s}));
        QVERIFY(!root.at(2).isText);
        QVERIFY(list(std::nullopt, true).value(1).isHidden);
        QCOMPARE(list(u"docs/"_s, false).value(0).path, u"docs/guide.txt"_s);

        const auto readme = read(u"README.md"_s);
        QCOMPARE(std::tuple(readme.content, readme.languageHint, readme.isMarkdown),
                 std::tuple(u"# Demo\n"_s, u"markdown"_s, true));
        const auto saved = write(u"README.md"_s, u"# Edited\n"_s, readme.revision);
        QCOMPARE(saved.size, 9);
        QCOMPARE(read(u"README.md"_s).revision, saved.revision);
        QCOMPARE(write(u"README.md"_s, u"# Lost\n"_s, readme.revision).code, u"CONFLICT"_s);

        // Reading and writing refuse the same paths, and nothing outside the root is touched.
        const QStringList refused{u"logo.png"_s,    u"big.txt"_s,          u"missing.txt"_s, u"docs/../../secret.txt"_s,
                                  u"/etc/passwd"_s, u"escape/secret.txt"_s};
        QStringList readCodes, writeCodes;
        for (const QString &path : refused) {
            readCodes << read(path).code.value_or(QString());
            writeCodes << write(path, u"x"_s, std::nullopt).code.value_or(QString());
        }
        const QStringList codes{u"UNSUPPORTED_FILE"_s, u"FILE_TOO_LARGE"_s, u"NOT_FOUND"_s,
                                u"INVALID_PATH"_s,     u"INVALID_PATH"_s,   u"INVALID_PATH"_s};
        QCOMPARE(readCodes, codes);
        QCOMPARE(writeCodes, codes);
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
        // scripts/run.sh tells its own file from a real gateway's by the first line.
        const QStringList lines = QString::fromUtf8(readFile(path)).split(u'\n', Qt::SkipEmptyParts);
        const QString generated = lines.value(1).section(u'=', 1);
        QCOMPARE(lines,
                 (QStringList{u"# Written by tessel-demo-gateway"_s, u"TESSEL_AUTH_TOKEN="_s + generated,
                              u"TESSEL_PORT="_s + QString::number(gateway.port())}));
        QVERIFY(generated.size() >= 16);
        QVERIFY(!gateway.output().contains(generated));
        QCOMPARE(ChatSocket(gateway.url()).request(E::hello(generated)).type, u"hello_ok"_s);
    }

    // A random token would be known to no client, and one with a space would break the
    // environment file.
    void refusesUnusableOptions()
    {
        for (const QStringList &arguments : {QStringList{u"--no-env-file"_s}, {u"--token=a b"_s, u"--no-env-file"_s}}) {
            DemoGatewayProcess gateway;
            QVERIFY(!gateway.start(arguments));
            QVERIFY2(gateway.errorText().contains(u"--token"_s), qPrintable(gateway.errorText()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_DemoGateway)
#include "tst_DemoGateway.moc"
