#include "files/ProjectFileLanguage.h"
#include "protocol/GatewayServerEnvelope.h"
#include "protocol/JsonCodec.h"
#include "protocol/ProjectFileServiceError.h"
#include "support/TestJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ProjectFileTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entryRequiresAllEightKeys_data();
    void entryRequiresAllEightKeys();
    void entryRoundTripsAndRejectsUnknownKinds();
    void gatewayErrorsMapOntoServiceErrors_data();
    void gatewayErrorsMapOntoServiceErrors();
    void everyErrorCaseHasItsMessage();
    void languageHintsFollowTheLowerCasedExtension_data();
    void languageHintsFollowTheLowerCasedExtension();
    void directoriesComeFirstThenNamesIgnoringCase();
    void workspaceTabsHaveTitlesAndWireStrings();
};

namespace {

const QByteArray entryJson = R"({"name":"a.md","path":"docs/a.md","kind":"file","size":12,)"
                             R"("modifiedAt":"2026-03-17T10:30:00Z","isHidden":false,"isText":true,"isMarkdown":true})";

ProjectFileEntry entry(const QString &name, ProjectFileKind kind, const QString &path = {})
{
    return {name, path.isEmpty() ? name : path, kind, 0, {}, false, true, false};
}

QStringList names(const QList<ProjectFileEntry> &entries)
{
    QStringList result;
    for (const auto &item : entries)
        result << item.path;
    return result;
}

} // namespace

void tst_ProjectFileTypes::entryRequiresAllEightKeys_data()
{
    QTest::addColumn<QString>("key");
    for (const char *key : {"name", "path", "kind", "size", "modifiedAt", "isHidden", "isText", "isMarkdown"})
        QTest::newRow(key) << QString::fromLatin1(key);
}

void tst_ProjectFileTypes::entryRequiresAllEightKeys()
{
    QFETCH(QString, key);
    QJsonObject object = test::parseObject(entryJson);
    QVERIFY(decodeJson<ProjectFileEntry>(entryJson));
    object.remove(key);
    QVERIFY(!decodeJson<ProjectFileEntry>(QJsonDocument(object).toJson()));
    object.insert(key, QJsonValue::Null);
    QVERIFY(!decodeJson<ProjectFileEntry>(QJsonDocument(object).toJson()));
}

void tst_ProjectFileTypes::entryRoundTripsAndRejectsUnknownKinds()
{
    const auto decoded = decodeJson<ProjectFileEntry>(entryJson);
    QVERIFY(decoded);
    QCOMPARE(decoded->id(), u"docs/a.md"_s);
    QCOMPARE(decodeJson<ProjectFileEntry>(encodeJson(*decoded)), decoded);
    QCOMPARE(test::sortedKeys(encodeJson(*decoded)).size(), 8);
    QVERIFY(!decodeJson<ProjectFileEntry>(QByteArray(entryJson).replace(R"("file")", R"("symlink")")));
    QVERIFY(!decodeJson<ProjectFileEntry>(QByteArray(entryJson).replace(R"("file")", R"("File")")));
}

void tst_ProjectFileTypes::gatewayErrorsMapOntoServiceErrors_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<ProjectFileServiceError>("expected");
    QTest::newRow("bare error") << QByteArray(R"({"type":"error"})")
                                << ProjectFileServiceError::gateway(u"INTERNAL_ERROR"_s, u"Unknown gateway error"_s);
    QTest::newRow("old gateway")
        << QByteArray(R"({"type":"error","code":"BAD_REQUEST","message":"Request validation failed"})")
        << ProjectFileServiceError::unsupportedGateway();
    QTest::newRow("other bad request") << QByteArray(
                                              R"({"type":"error","code":"BAD_REQUEST","message":"path missing"})")
                                       << ProjectFileServiceError::gateway(u"BAD_REQUEST"_s, u"path missing"_s);
    QTest::newRow("validation message with other code")
        << QByteArray(R"({"type":"error","code":"INVALID","message":"Request validation failed"})")
        << ProjectFileServiceError::gateway(u"INVALID"_s, u"Request validation failed"_s);
    QTest::newRow("conflict") << QByteArray(R"({"type":"error","code":"CONFLICT","message":"File changed"})")
                              << ProjectFileServiceError::gateway(u"CONFLICT"_s, u"File changed"_s);
}

void tst_ProjectFileTypes::gatewayErrorsMapOntoServiceErrors()
{
    QFETCH(QByteArray, frame);
    QFETCH(ProjectFileServiceError, expected);
    const auto envelope = decodeServerEnvelope(frame);
    QVERIFY(envelope);
    QCOMPARE(projectFileServiceError(*envelope), expected);
}

void tst_ProjectFileTypes::everyErrorCaseHasItsMessage()
{
    QCOMPARE(ProjectFileServiceError::invalidGatewayURL({}).message(), u"The gateway URL is invalid: "_s);
    QCOMPARE(ProjectFileServiceError::invalidGatewayURL(u"ws://a b"_s).message(),
             u"The gateway URL is invalid: ws://a b"_s);
    QCOMPARE(ProjectFileServiceError::gateway(u"X"_s, u"Unknown gateway error"_s).message(),
             u"Unknown gateway error"_s);
    QCOMPARE(ProjectFileServiceError::transport(u"Connection refused"_s).message(), u"Connection refused"_s);
    QCOMPARE(ProjectFileServiceError::timeout().message(), u"The gateway did not respond in time."_s);
    QCOMPARE(ProjectFileServiceError::unsupportedGateway().message(),
             u"This gateway does not support project files yet. Update tessel-gateway on the Mac and try again."_s);
    QCOMPARE(ProjectFileServiceError::malformedResponse().message(),
             u"The gateway returned an incomplete file response."_s);
    QVERIFY(ProjectFileServiceError::gateway(u"A"_s, u"m"_s) != ProjectFileServiceError::gateway(u"B"_s, u"m"_s));
    QVERIFY(ProjectFileServiceError::transport(u"m"_s) != ProjectFileServiceError::gateway({}, u"m"_s));
}

void tst_ProjectFileTypes::languageHintsFollowTheLowerCasedExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("hint");
    QTest::newRow("capitals") << u"src/MAIN.PY"_s << u"python"_s;
    QTest::newRow("mixed-case markdown") << u"README.MarkDown"_s << u"markdown"_s;
    QTest::newRow("hpp") << u"include/x.hpp"_s << u"cpp"_s;
    QTest::newRow("typescript") << u"web/app.mts"_s << u"typescript"_s;
    QTest::newRow("last dot wins") << u"archive.tar.sh"_s << u"bash"_s;
    QTest::newRow("dot in directory only") << u"v1.2/Makefile"_s << QString();
    QTest::newRow("no dot") << u"Makefile"_s << QString();
    QTest::newRow("image") << u"logo.png"_s << QString();
    QTest::newRow("trailing dot") << u"notes."_s << QString();
    QTest::newRow("dot file") << u".gitignore"_s << QString();
}

void tst_ProjectFileTypes::languageHintsFollowTheLowerCasedExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, hint);
    QCOMPARE(ProjectFileLanguage::hint(path).value_or(QString()), hint);
}

void tst_ProjectFileTypes::directoriesComeFirstThenNamesIgnoringCase()
{
    const QList<ProjectFileEntry> listed = {
        entry(u"zeta.txt"_s, ProjectFileKind::file),
        entry(u"Docs"_s, ProjectFileKind::directory),
        entry(u"Alpha.txt"_s, ProjectFileKind::file),
        entry(u"assets"_s, ProjectFileKind::directory),
        entry(u"same"_s, ProjectFileKind::file, u"first/same"_s),
        entry(u"same"_s, ProjectFileKind::file, u"second/same"_s),
    };
    QCOMPARE(names(sortedForDisplay(listed)),
             (QStringList{u"assets"_s, u"Docs"_s, u"Alpha.txt"_s, u"first/same"_s, u"second/same"_s, u"zeta.txt"_s}));
}

void tst_ProjectFileTypes::workspaceTabsHaveTitlesAndWireStrings()
{
    QCOMPARE(title(ProjectWorkspaceTab::chat), u"Chat"_s);
    QCOMPARE(title(ProjectWorkspaceTab::files), u"Files"_s);
    QCOMPARE(enumToWire(ProjectWorkspaceTab::files), "files"_L1);
    QCOMPARE(enumFromWire<ProjectWorkspaceTab>(u"chat"_s), ProjectWorkspaceTab::chat);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProjectFileTypes)
#include "tst_ProjectFileTypes.moc"
