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

class tst_ProjectFileTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entryDecodingIsStrict()
    {
        const QByteArray json = R"({"name":"a.md","path":"docs/a.md","kind":"file","size":12,"modifiedAt":"m",)"
                                R"("isHidden":false,"isText":true,"isMarkdown":true})";
        const auto decoded = decodeJson<ProjectFileEntry>(json);
        QVERIFY(decoded);
        QCOMPARE(decoded->id(), u"docs/a.md"_s);
        QCOMPARE(test::parseObject(encodeJson(*decoded)), test::parseObject(json));
        for (const QString &key : test::sortedKeys(json)) { // all eight are required
            QJsonObject object = test::parseObject(json);
            object.remove(key);
            QVERIFY2(!decodeJson<ProjectFileEntry>(QJsonDocument(object).toJson()), qPrintable(key));
        }
        QVERIFY(!decodeJson<ProjectFileEntry>(QByteArray(json).replace(R"("file")", R"("symlink")")));
    }

    // A gateway "error" frame (when given) maps onto `error`, which the user sees as `message`.
    void errorsAndTheirMessages_data()
    {
        using E = ProjectFileServiceError;
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<ProjectFileServiceError>("error");
        QTest::addColumn<QString>("message");
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
        row("bad URL", QByteArray(), E::invalidGatewayURL(u"ws://a b"_s), "The gateway URL is invalid: ws://a b");
        row("malformed", QByteArray(), E::malformedResponse(), "The gateway returned an incomplete file response.");
    }
    void errorsAndTheirMessages()
    {
        QFETCH(QByteArray, frame);
        QFETCH(ProjectFileServiceError, error);
        QFETCH(QString, message);
        if (!frame.isEmpty())
            QCOMPARE(projectFileServiceError(decodeServerEnvelope(frame).value()), error);
        QCOMPARE(error.message(), message);
    }

    // Lower-cased, after the last dot of the last path component; a leading dot is no
    // extension.
    void languageHintsFollowTheExtension()
    {
        QStringList hints;
        for (const QString &path : {u"src/MAIN.PY"_s, u"archive.tar.sh"_s, u"v1.2/Makefile"_s, u".gitignore"_s,
                                    u"logo.png"_s, u"web/app.mts"_s})
            hints << ProjectFileLanguage::hint(path).value_or(u"-"_s);
        QCOMPARE(hints.join(u' '), u"python bash - - - typescript"_s);
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
        QCOMPARE(enumFromWire<ProjectWorkspaceTab>(u"files"_s), ProjectWorkspaceTab::files); // stored per project
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ProjectFileTypes)
#include "tst_ProjectFileTypes.moc"
