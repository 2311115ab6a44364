#include "files/UITestProjectFilesStore.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

QStringList describe(const QList<ProjectFileEntry> &entries)
{
    QStringList names;
    for (const ProjectFileEntry &entry : entries)
        names.append((entry.kind == ProjectFileKind::directory ? u"dir:"_s : u"file:"_s) + entry.name);
    return names;
}

QString errorCode(const auto &result)
{
    return result.hasValue() ? QString() : result.error().code();
}

} // namespace

class tst_UITestProjectFilesStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsTheProjectDirectoryInDisplayOrder()
    {
        const UITestProjectFilesStore store({});
        const auto visible = store.list({}, false);
        QCOMPARE(
            describe(visible.value().entries),
            (QStringList{u"dir:assets"_s, u"dir:docs"_s, u"dir:packages"_s, u"file:README.md"_s, u"file:theme.css"_s}));
        const auto all = store.list(u" / "_s, true);
        QCOMPARE(describe(all.value().entries),
                 (QStringList{u"dir:assets"_s, u"dir:docs"_s, u"dir:packages"_s, u"file:.env"_s, u"file:README.md"_s,
                              u"file:theme.css"_s}));
        QVERIFY(all.value().includeHidden);
        const ProjectFileEntry env = all.value().entries.at(3);
        QVERIFY(env.isHidden);
        QCOMPARE(env.size, 24);
        const ProjectFileEntry readme = all.value().entries.at(4);
        QVERIFY(readme.isMarkdown && readme.isText);
        QCOMPARE(readme.modifiedAt, u"2026-03-15T18:30:00Z"_s);
        const ProjectFileEntry assets = all.value().entries.at(0);
        QCOMPARE(assets.size, 0);
        QCOMPARE(assets.modifiedAt, u"2026-03-15T18:33:00Z"_s);
    }

    void listsSubdirectoriesByNormalisedPath()
    {
        const UITestProjectFilesStore store({});
        QCOMPARE(describe(store.list(u"docs"_s, false).value().entries), QStringList{u"dir:roadmap"_s});
        const auto roadmap = store.list(u" \\docs\\roadmap/ "_s, false);
        QCOMPARE(roadmap.value().path, u"docs/roadmap"_s);
        QCOMPARE(roadmap.value().entries.first().path, u"docs/roadmap/project-file-editor.md"_s);
        const auto assets = store.list(u"assets"_s, false).value().entries;
        QCOMPARE(assets.first().size, 32000);
        QVERIFY(!assets.first().isText);

        const auto missing = store.list(u"missing"_s, false);
        QCOMPARE(missing.error().message(), u"The requested path does not exist."_s);
        QCOMPARE(errorCode(store.list(u"READ"_s, false)), u"NOT_FOUND"_s); // a prefix of a file is no directory
    }

    void readsTextFilesWithStableRevisions()
    {
        const UITestProjectFilesStore store({});
        const auto first = store.read(u"README.md"_s);
        const auto second = store.read(u"/README.md"_s);
        QCOMPARE(first.value(), second.value());
        QCOMPARE(first.value().revision.size(), 64);
        QCOMPARE(first.value().revision, UITestProjectFilesStore::revision(first.value().content));
        QCOMPARE(first.value().languageHint, u"markdown"_s);
        QVERIFY(first.value().isMarkdown);
        QCOMPARE(store.read(u"packages/gateway/src/server.ts"_s).value().languageHint, u"typescript"_s);
        // SHA-256 of "abc", as every implementation writes it.
        QCOMPARE(UITestProjectFilesStore::revision(u"abc"_s),
                 u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    }

    void refusesBinaryAndMissingFiles()
    {
        UITestProjectFilesStore store({});
        QCOMPARE(store.read(u"assets/logo.png"_s).error().message(), u"Binary files are not editable in Tessel yet."_s);
        QCOMPARE(errorCode(store.write(u"assets/logo.png"_s, u"x"_s, {})), u"UNSUPPORTED_FILE"_s);
        QCOMPARE(errorCode(store.read(u"docs"_s)), u"NOT_FOUND"_s);
        QCOMPARE(errorCode(store.write(u"new.txt"_s, u"x"_s, {})), u"NOT_FOUND"_s);
        QCOMPARE(errorCode(store.list(u"new.txt"_s, false)), u"NOT_FOUND"_s);
    }

    void refusesStaleRevision()
    {
        UITestProjectFilesStore store({});
        const QString loaded = store.read(u"README.md"_s).value().revision;
        const auto saved = store.write(u"README.md"_s, u"# New"_s, loaded);
        QVERIFY(saved.hasValue());
        QCOMPARE(saved.value().size, 5);
        QCOMPARE(saved.value().revision, UITestProjectFilesStore::revision(u"# New"_s));
        QVERIFY(saved.value().revision != loaded);
        const auto stale = store.write(u"README.md"_s, u"# Other"_s, loaded);
        QCOMPARE(stale.error().message(),
                 u"This file changed on disk after it was loaded. Reload it before saving again."_s);
        QCOMPARE(store.read(u"README.md"_s).value().content, u"# New"_s);

        store.reset();
        QCOMPARE(store.read(u"README.md"_s).value().revision, loaded);
    }

    void writeLimitIsExact()
    {
        UITestProjectFilesStore store({});
        const QString revision = store.read(u"theme.css"_s).value().revision;
        const auto tooLarge = store.write(u"theme.css"_s, QString(1'048'577, u'a'), revision);
        QCOMPARE(tooLarge.error().message(), u"This file is too large for mobile editing."_s);
        // Counted in UTF-8 bytes: 524,289 two-byte characters are over the limit too.
        QCOMPARE(errorCode(store.write(u"theme.css"_s, QString(524'289, u'\u00e9'), revision)), u"FILE_TOO_LARGE"_s);
        QVERIFY(store.write(u"theme.css"_s, QString(1'048'576, u'a'), revision).hasValue());
    }

    void simulatesOneConflictOnTheRoadmapFile()
    {
        const QString path = u"docs/roadmap/project-file-editor.md"_s;
        UITestProjectFilesStore store({u"app"_s, u"UITestsMockFileConflict"_s});
        const auto loaded = store.read(path).value();
        QCOMPARE(errorCode(store.write(path, u"edited"_s, loaded.revision)), u"CONFLICT"_s);
        const auto reopened = store.read(path).value();
        QVERIFY(reopened.content.endsWith(u"\nremote-update"_s));
        QVERIFY(store.write(path, u"edited"_s, reopened.revision).hasValue());

        // Without the argument, or for other files, no conflict is made up.
        UITestProjectFilesStore plain({});
        QVERIFY(plain.write(path, u"edited"_s, plain.read(path).value().revision).hasValue());
        UITestProjectFilesStore other({u"UITestsMockFileConflict"_s});
        QVERIFY(other.write(u"README.md"_s, u"x"_s, other.read(u"README.md"_s).value().revision).hasValue());
    }
};

QTEST_GUILESS_MAIN(tst_UITestProjectFilesStore)
#include "tst_UITestProjectFilesStore.moc"
