#include "files/ProjectFileLanguage.h"
#include "protocol/GatewayServerEnvelope.h"
#include "protocol/JsonCodec.h"
#include "protocol/ProjectFileServiceError.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

namespace {

const QByteArray entryJson = R"({"name":"a.md","path":"docs/a.md","kind":"file","size":12,)"
                             R"("modifiedAt":"2026-03-17T10:30:00Z","isHidden":false,"isText":true,"isMarkdown":true})";

} // namespace

class tst_ProjectFileTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entryDecodingIsStrict()
    {
        const auto decoded = decodeJson<ProjectFileEntry>(entryJson);
        QVERIFY(decoded);
        QCOMPARE(decoded->id(), u"docs/a.md"_s);
        QCOMPARE(test::parseObject(encodeJson(*decoded)), test::parseObject(entryJson));
        for (const QString &key : test::sortedKeys(entryJson)) { // all eight are required, none nullable
            QJsonObject object = test::parseObject(entryJson);
            object.remove(key);
            QVERIFY2(!decodeJson<ProjectFileEntry>(QJsonDocument(object).toJson()), qPrintable(key));
            object.insert(key, QJsonValue::Null);
            QVERIFY2(!decodeJson<ProjectFileEntry>(QJsonDocument(object).toJson()), qPrintable(key));
        }
        for (const char *kind : {R"("symlink")", R"("File")"})
            QVERIFY(!decodeJson<ProjectFileEntry>(QByteArray(entryJson).replace(R"("file")", kind)));
    }

    // A gateway "error" frame (when given) maps onto `error`, which the user sees as `message`.
    void errorsAndTheirMessages_data()
    {
        using E = ProjectFileServiceError;
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<ProjectFileServiceError>("error");
        QTest::addColumn<QString>("message");
        const QByteArray none;
        row("bare error", R"({"type":"error"})"_ba, E::gateway(u"INTERNAL_ERROR"_s, u"Unknown gateway error"_s),
            "Unknown gateway error");
        row("old gateway", R"({"type":"error","code":"BAD_REQUEST","message":"Request validation failed"})"_ba,
            E::unsupportedGateway(),
            "This gateway does not support project files yet. Update tessel-gateway on the Mac and try again.");
        row("other bad request", R"({"type":"error","code":"BAD_REQUEST","message":"path missing"})"_ba,
            E::gateway(u"BAD_REQUEST"_s, u"path missing"_s), "path missing");
        row("validation message, other code",
            R"({"type":"error","code":"INVALID","message":"Request validation failed"})"_ba,
            E::gateway(u"INVALID"_s, u"Request validation failed"_s), "Request validation failed");
        row("empty URL", none, E::invalidGatewayURL({}), "The gateway URL is invalid: ");
        row("bad URL", none, E::invalidGatewayURL(u"ws://a b"_s), "The gateway URL is invalid: ws://a b");
        row("transport", none, E::transport(u"Connection refused"_s), "Connection refused");
        row("timeout", none, E::timeout(), "The gateway did not respond in time.");
        row("malformed", none, E::malformedResponse(), "The gateway returned an incomplete file response.");
    }
    void errorsAndTheirMessages()
    {
        QFETCH(QByteArray, frame);
        QFETCH(ProjectFileServiceError, error);
        QFETCH(QString, message);
        if (!frame.isEmpty()) {
            const auto envelope = decodeServerEnvelope(frame);
            QVERIFY(envelope);
            QCOMPARE(projectFileServiceError(*envelope), error);
        }
        QCOMPARE(error.message(), message);
    }

    void languageHintsFollowTheLowerCasedExtension_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("hint");
        row("capitals", "src/MAIN.PY", "python");
        row("mixed-case markdown", "README.MarkDown", "markdown");
        row("hpp", "include/x.hpp", "cpp");
        row("typescript", "web/app.mts", "typescript");
        row("last dot wins", "archive.tar.sh", "bash");
        row("dot in directory only", "v1.2/Makefile", "");
        row("no dot", "Makefile", "");
        row("image", "logo.png", "");
        row("trailing dot", "notes.", "");
        row("dot file", ".gitignore", "");
    }
    void languageHintsFollowTheLowerCasedExtension()
    {
        QFETCH(QString, path);
        QFETCH(QString, hint);
        QCOMPARE(ProjectFileLanguage::hint(path).value_or(QString()), hint);
    }

    void directoriesComeFirstThenNamesIgnoringCase()
    {
        using enum ProjectFileKind;
        const auto entry = [](const QString &name, ProjectFileKind kind, const QString &path = {}) {
            return ProjectFileEntry{name, path.isEmpty() ? name : path, kind, 0, {}, false, true, false};
        };
        QStringList shown;
        for (const auto &item :
             sortedForDisplay({entry(u"zeta.txt"_s, file), entry(u"Docs"_s, directory), entry(u"Alpha.txt"_s, file),
                               entry(u"assets"_s, directory), entry(u"same"_s, file, u"a/same"_s),
                               entry(u"same"_s, file, u"b/same"_s)}))
            shown << item.path;
        QCOMPARE(shown, (QStringList{u"assets"_s, u"Docs"_s, u"Alpha.txt"_s, u"a/same"_s, u"b/same"_s, u"zeta.txt"_s}));
        QCOMPARE(title(ProjectWorkspaceTab::chat) + title(ProjectWorkspaceTab::files), u"ChatFiles"_s);
        QCOMPARE(enumToWire(ProjectWorkspaceTab::files), "files"_L1); // stored per project
        QCOMPARE(enumFromWire<ProjectWorkspaceTab>(u"chat"_s), ProjectWorkspaceTab::chat);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProjectFileTypes)
#include "tst_ProjectFileTypes.moc"
