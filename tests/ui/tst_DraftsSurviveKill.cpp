#include "support/DemoGatewayProcess.h"
#include "support/TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 15000;
const QString gatewayToken = u"drafts-e2e-token"_s;

// The real tessel-desktop binary (path in $TESSEL_DESKTOP), offscreen with private folders,
// against the real tessel-demo-gateway, driven through its test control on standard input:
// a composer text and an unsaved file survive `kill -9`. (What a restored draft meets when
// saved is the draft keeper's test.)
class tst_DraftsSurviveKill : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;
    test::DemoGatewayProcess m_gateway;
    QProcess m_app;
    QByteArray m_output;

    QString path(const QString &relative) const { return m_scratch.filePath(relative); }
    QByteArray stateFile() const { return test::readFile(path(u"home/.local/state/tessel-desktop/drafts.json"_s)); }
    void startApplication()
    {
        m_output.clear();
        m_app.start(qEnvironmentVariable("TESSEL_DESKTOP"), {});
        QVERIFY2(m_app.waitForStarted(timeoutMs), qPrintable(m_app.errorString()));
    }
    // Sends one command and returns its answer (an empty object when none came in time).
    QJsonObject command(const QString &name, const QString &target = {}, const QJsonObject &more = {})
    {
        QJsonObject command = more;
        command.insert(u"command"_s, name);
        if (!target.isEmpty())
            command.insert(u"target"_s, target);
        m_app.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        const QByteArray prefix = "[UiTestControl] ";
        for (const QDeadlineTimer deadline(timeoutMs);;) {
            const qsizetype start = m_output.indexOf(prefix);
            const qsizetype end = start < 0 ? -1 : m_output.indexOf('\n', start);
            if (end >= 0) {
                const QByteArray answer = m_output.mid(start + prefix.size(), end - start - prefix.size());
                m_output.remove(0, end + 1);
                return QJsonDocument::fromJson(answer).object();
            }
            if (deadline.hasExpired() || !m_app.waitForReadyRead(int(deadline.remainingTime())))
                return {};
            m_output += m_app.readAllStandardOutput();
        }
    }
    bool ok(const QJsonObject &answer) const { return answer.value(u"ok"_s).toBool(); }
    bool click(const QString &target, const QString &item = {})
    {
        return ok(command(u"click"_s, target, {{u"item"_s, item}}));
    }
    // Types `text` into `target`, over its text when `replace`; answers the target's text.
    QJsonObject type(const QString &target, const QString &text, bool replace)
    {
        return command(u"type"_s, target, {{u"text"_s, text}, {u"replace"_s, replace}});
    }
    QString readText(const QString &target) { return command(u"read"_s, target).value(u"text"_s).toString(); }
    QStringList cards() { return command(u"cards"_s).value(u"texts"_s).toVariant().toStringList(); }
    void quit()
    {
        QVERIFY(ok(command(u"quit"_s)));
        QVERIFY(m_app.waitForFinished(timeoutMs));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariable("TESSEL_DESKTOP").isEmpty());
        QVERIFY(QDir(m_scratch.path()).mkpath(u"runtime"_s) && test::writeFile(path(u"project/docs/notes.md"_s), "first line\n"));
        QVERIFY(QFile::setPermissions(path(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString home = path(u"home"_s);
        for (const auto &[name, value] : {std::pair{"HOME", home},
                                          {"XDG_CONFIG_HOME", home + u"/.config"_s},
                                          {"XDG_DATA_HOME", home + u"/.local/share"_s},
                                          {"XDG_CACHE_HOME", home + u"/.cache"_s},
                                          {"XDG_STATE_HOME", home + u"/.local/state"_s},
                                          {"XDG_RUNTIME_DIR", path(u"runtime"_s)},
                                          {"TESSEL_SYNC_DIR", path(u"sync"_s)},
                                          {"QT_QPA_PLATFORM", u"offscreen"_s},
                                          {"TESSEL_DESKTOP_TEST_CONTROL", u"1"_s}})
            environment.insert(QString::fromLatin1(name), value);
        m_app.setProcessEnvironment(environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QVERIFY2(m_gateway.start({u"--root"_s, path(u"project"_s), u"--token"_s, gatewayToken, u"--no-env-file"_s}),
                 qPrintable(m_gateway.errorText()));
    }

    void draftsSurviveAKilledProcess()
    {
        // First run: set up the machine, open a file, edit it, type a message; then kill -9.
        startApplication();
        QVERIFY(ok(type(u"desktop-machine-gateway-url-field"_s, m_gateway.url().toString(), true)));
        QVERIFY(ok(type(u"desktop-machine-token-field"_s, gatewayToken, true)));
        QVERIFY(ok(type(u"desktop-project-directory-field"_s, path(u"project"_s), true)));
        QVERIFY(click(u"desktop-workspace-picker"_s, u"Files"_s));
        // Rows can be clicked once the listing has arrived.
        QTRY_VERIFY_WITH_TIMEOUT(click(u"desktop-files-list"_s, u"docs"_s), timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(click(u"desktop-files-list"_s, u"notes.md"_s), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(readText(u"desktop-files-editor"_s), u"first line\n"_s, timeoutMs);
        QCOMPARE(type(u"desktop-files-editor"_s, u"my edit"_s, false).value(u"text"_s).toString(),
                 u"first line\nmy edit"_s);
        QVERIFY(click(u"desktop-workspace-picker"_s, u"Chat"_s));
        QVERIFY(ok(type(u"desktop-chat-composer-editor"_s, u"Half a thought"_s, false)));
        QTRY_VERIFY_WITH_TIMEOUT(stateFile().contains("my edit") && stateFile().contains("Half a thought"), 3000);
        m_app.kill();
        QVERIFY(m_app.waitForFinished(timeoutMs));

        // Second run: both drafts are back, and the notice says so.
        startApplication();
        QTRY_COMPARE_WITH_TIMEOUT(readText(u"desktop-chat-composer-editor"_s), u"Half a thought"_s, timeoutMs);
        QCOMPARE(readText(u"desktop-files-editor"_s), u"first line\nmy edit"_s);
        QCOMPARE(readText(u"desktop-files-document-path"_s), u"docs/notes.md"_s);
        QVERIFY(click(u"desktop-workspace-picker"_s, u"Files"_s));
        QCOMPARE(cards(), QStringList{u"Restored unsaved changes to docs/notes.md"_s});

        // A regular quit keeps the unsaved draft for the next run.
        quit();
        QVERIFY(stateFile().contains("my edit"));

        // Turned off in the settings: nothing comes back, and the file goes.
        QSettings(path(u"home/.config/Tessel/TesselDesktopPOC.conf"_s), QSettings::IniFormat)
            .setValue(u"desktop/keepUnsavedDrafts"_s, false);
        startApplication();
        QCOMPARE(readText(u"desktop-chat-composer-editor"_s), QString());
        QVERIFY(!QFile::exists(path(u"home/.local/state/tessel-desktop/drafts.json"_s)));
        quit();
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_DraftsSurviveKill)
#include "tst_DraftsSurviveKill.moc"
