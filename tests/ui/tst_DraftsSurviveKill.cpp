#include "support/DemoGatewayProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 15000;
const QString gatewayToken = u"drafts-e2e-token"_s;
const QString conflictText = u"This file changed on disk after it was loaded. Reload it before saving again."_s;

// The real tessel-desktop binary (path in $TESSEL_DESKTOP), offscreen with private folders,
// against the real tessel-demo-gateway, driven through its test control on standard input:
// a composer text and an unsaved file survive `kill -9`, and the restored file draft, saved
// after the file changed on disk, meets the conflict instead of overwriting the file.
class tst_DraftsSurviveKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void draftsSurviveAKilledProcess();

private:
    void startApplication();
    // Sends one command and returns its answer (an empty object when none came in time).
    QJsonObject command(const QJsonObject &command);
    QString readText(const QString &target)
    {
        return command({{u"command"_s, u"read"_s}, {u"target"_s, target}}).value(u"text"_s).toString();
    }
    QStringList cards();
    QByteArray stateFile() const;
    void writeProjectFile(const QByteArray &content);

    QTemporaryDir m_scratch;
    QProcessEnvironment m_environment;
    std::unique_ptr<test::DemoGatewayProcess> m_gateway;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_output;
};

void tst_DraftsSurviveKill::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY(!qEnvironmentVariable("TESSEL_DESKTOP").isEmpty());
    QDir scratch(m_scratch.path());
    QVERIFY(scratch.mkpath(u"project/docs"_s) && scratch.mkpath(u"home"_s) && scratch.mkpath(u"runtime"_s));
    QVERIFY(
        QFile::setPermissions(scratch.filePath(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    writeProjectFile("first line\n");
    m_environment = QProcessEnvironment::systemEnvironment();
    const QString home = scratch.filePath(u"home"_s);
    for (const auto &[name, value] : {std::pair{"HOME", home},
                                      {"XDG_CONFIG_HOME", home + u"/.config"_s},
                                      {"XDG_DATA_HOME", home + u"/.local/share"_s},
                                      {"XDG_CACHE_HOME", home + u"/.cache"_s},
                                      {"XDG_STATE_HOME", home + u"/.local/state"_s},
                                      {"XDG_RUNTIME_DIR", scratch.filePath(u"runtime"_s)},
                                      {"TESSEL_SYNC_DIR", scratch.filePath(u"sync"_s)},
                                      {"QT_QPA_PLATFORM", u"offscreen"_s},
                                      {"TESSEL_DESKTOP_TEST_CONTROL", u"1"_s}})
        m_environment.insert(QString::fromLatin1(name), value);
    m_gateway = std::make_unique<test::DemoGatewayProcess>();
    QVERIFY2(
        m_gateway->start({u"--root"_s, scratch.filePath(u"project"_s), u"--token"_s, gatewayToken, u"--no-env-file"_s}),
        qPrintable(m_gateway->errorText()));
}

void tst_DraftsSurviveKill::writeProjectFile(const QByteArray &content)
{
    QFile file(m_scratch.filePath(u"project/docs/notes.md"_s));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

QByteArray tst_DraftsSurviveKill::stateFile() const
{
    QFile file(m_scratch.filePath(u"home/.local/state/tessel-desktop/drafts.json"_s));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_DraftsSurviveKill::startApplication()
{
    m_app = std::make_unique<QProcess>();
    m_app->setProcessEnvironment(m_environment);
    m_app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_output.clear();
    m_app->start(qEnvironmentVariable("TESSEL_DESKTOP"), {});
    QVERIFY2(m_app->waitForStarted(timeoutMs), qPrintable(m_app->errorString()));
}

QJsonObject tst_DraftsSurviveKill::command(const QJsonObject &command)
{
    m_app->write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    const QByteArray prefix = "[UiTestControl] ";
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype start = m_output.indexOf(prefix);
        const qsizetype end = start < 0 ? -1 : m_output.indexOf('\n', start);
        if (end >= 0) {
            const QByteArray answer = m_output.mid(start + prefix.size(), end - start - prefix.size());
            m_output.remove(0, end + 1);
            return QJsonDocument::fromJson(answer).object();
        }
        if (deadline.hasExpired() || !m_app->waitForReadyRead(int(deadline.remainingTime())))
            return {};
        m_output += m_app->readAllStandardOutput();
    }
}

QStringList tst_DraftsSurviveKill::cards()
{
    QStringList texts;
    for (const QJsonValue &text : command(QJsonObject{{u"command"_s, u"cards"_s}}).value(u"texts"_s).toArray())
        texts << text.toString();
    return texts;
}

void tst_DraftsSurviveKill::draftsSurviveAKilledProcess()
{
    const auto ok = [](const QJsonObject &answer) { return answer.value(u"ok"_s).toBool(); };
    const auto type = [this](const QString &target, const QString &text, bool replace) {
        return command({{u"command"_s, u"type"_s}, {u"target"_s, target}, {u"text"_s, text}, {u"replace"_s, replace}});
    };
    const auto click = [](const QString &target, const QString &item = {}) {
        return QJsonObject{{u"command"_s, u"click"_s}, {u"target"_s, target}, {u"item"_s, item}};
    };

    // First run: set up the machine, open a file, edit it, type a message; then kill -9.
    startApplication();
    QVERIFY(ok(type(u"desktop-machine-gateway-url-field"_s, m_gateway->url().toString(), true)));
    QVERIFY(ok(type(u"desktop-machine-token-field"_s, gatewayToken, true)));
    QVERIFY(ok(type(u"desktop-project-directory-field"_s, m_scratch.filePath(u"project"_s), true)));
    QVERIFY(ok(command(click(u"desktop-workspace-picker"_s, u"Files"_s))));
    // Rows can be clicked once the listing has arrived.
    QTRY_VERIFY_WITH_TIMEOUT(ok(command(click(u"desktop-files-list"_s, u"docs"_s))), timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(ok(command(click(u"desktop-files-list"_s, u"notes.md"_s))), timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(readText(u"desktop-files-editor"_s), u"first line\n"_s, timeoutMs);
    QCOMPARE(type(u"desktop-files-editor"_s, u"my edit"_s, false).value(u"text"_s).toString(),
             u"first line\nmy edit"_s);
    QVERIFY(ok(command(click(u"desktop-workspace-picker"_s, u"Chat"_s))));
    QVERIFY(ok(type(u"desktop-chat-composer-editor"_s, u"Half a thought"_s, false)));
    QTRY_VERIFY_WITH_TIMEOUT(stateFile().contains("my edit") && stateFile().contains("Half a thought"), 3000);
    m_app->kill();
    QVERIFY(m_app->waitForFinished(timeoutMs));

    // The file changes on disk meanwhile.
    writeProjectFile("changed elsewhere\n");

    // Second run: both drafts are back; saving the file meets the conflict.
    startApplication();
    QTRY_COMPARE_WITH_TIMEOUT(readText(u"desktop-chat-composer-editor"_s), u"Half a thought"_s, timeoutMs);
    QCOMPARE(readText(u"desktop-files-editor"_s), u"first line\nmy edit"_s);
    QCOMPARE(readText(u"desktop-files-document-path"_s), u"docs/notes.md"_s);
    QVERIFY(ok(command(click(u"desktop-workspace-picker"_s, u"Files"_s))));
    QCOMPARE(cards(), QStringList{u"Restored unsaved changes to docs/notes.md"_s});
    QVERIFY(ok(command(click(u"desktop-files-save-button"_s))));
    QTRY_VERIFY_WITH_TIMEOUT(cards().contains(conflictText), timeoutMs);
    QCOMPARE(readText(u"desktop-files-editor"_s), u"first line\nmy edit"_s);
    QFile notes(m_scratch.filePath(u"project/docs/notes.md"_s));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("changed elsewhere\n"));

    // A regular quit keeps the refused draft for the next run.
    QVERIFY(ok(command(QJsonObject{{u"command"_s, u"quit"_s}})));
    QVERIFY(m_app->waitForFinished(timeoutMs));
    QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
    QVERIFY(stateFile().contains("my edit"));

    // Turned off in the settings: nothing comes back, and the file goes.
    QSettings(m_scratch.filePath(u"home/.config/Tessel/TesselDesktopPOC.conf"_s), QSettings::IniFormat)
        .setValue(u"desktop/keepUnsavedDrafts"_s, false);
    startApplication();
    QCOMPARE(readText(u"desktop-chat-composer-editor"_s), QString());
    QVERIFY(!QFile::exists(m_scratch.filePath(u"home/.local/state/tessel-desktop/drafts.json"_s)));
    QVERIFY(ok(command(QJsonObject{{u"command"_s, u"quit"_s}})));
    QVERIFY(m_app->waitForFinished(timeoutMs));
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_DraftsSurviveKill)
#include "tst_DraftsSurviveKill.moc"
