#include "files/UITestProjectFilesStore.h"
#include "support/DataRow.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;

namespace {

const QString notFound = u"NOT_FOUND: The requested path does not exist."_s;
const QString binary = u"UNSUPPORTED_FILE: Binary files are not editable in Tessel yet."_s;

// "ok", or the error as "CODE: message".
QString outcome(const auto &result)
{
    return result.hasValue() ? u"ok"_s : result.error().code() + u": "_s + result.error().message();
}

} // namespace

class tst_UITestProjectFilesStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A listing reads as its entries' names, directories marked "dir:".
    void operations_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        row("root", "list", "", "dir:assets dir:docs dir:packages README.md theme.css");
        row("root with hidden", "list hidden", " / ", "dir:assets dir:docs dir:packages .env README.md theme.css");
        row("subdirectory", "list", "docs", "dir:roadmap");
        row("normalised path", "list", " \\docs\\roadmap/ ", "project-file-editor.md");
        row("file as directory", "list", "README.md", notFound);
        row("read binary", "read", "assets/logo.png", binary);
        row("write binary", "write", "assets/logo.png", binary);
        row("read directory", "read", "docs", notFound);
        row("write creates nothing", "write", "new.txt", notFound);
    }
    void operations()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        UITestProjectFilesStore store({});
        if (operation == "read"_L1)
            QCOMPARE(outcome(store.read(path)), expected);
        if (operation == "write"_L1)
            QCOMPARE(outcome(store.write(path, u"x"_s, {})), expected);
        if (!operation.startsWith("list"_L1))
            return;
        const auto listing = store.list(path, operation.endsWith("hidden"_L1));
        QStringList names;
        for (const ProjectFileEntry &entry : listing.hasValue() ? listing.value().entries : QList<ProjectFileEntry>())
            names << (entry.kind == ProjectFileKind::directory ? u"dir:"_s : QString()) + entry.name;
        QCOMPARE(listing.hasValue() ? names.join(u' ') : outcome(listing), expected);
    }

    void entriesAndFilesCarryTheirDetails()
    {
        const UITestProjectFilesStore store({});
        const auto root = store.list({}, true).value();
        const ProjectFileEntry &assets = root.entries.at(0), &env = root.entries.at(3), &readme = root.entries.at(4);
        QVERIFY(root.includeHidden && env.isHidden && !readme.isHidden && readme.isMarkdown && readme.isText);
        // A directory shows the latest change below it.
        QCOMPARE(std::pair(assets.size, assets.modifiedAt), std::pair(qint64(0), u"2026-03-15T18:33:00Z"_s));
        QVERIFY(!store.list(u"assets"_s, false).value().entries.first().isText);
        QCOMPARE(store.list(u"docs/roadmap/"_s, false).value().entries.first().path,
                 u"docs/roadmap/project-file-editor.md"_s);
        const auto first = store.read(u"README.md"_s).value();
        QCOMPARE(store.read(u"/README.md"_s).value(), first);
        QCOMPARE(std::pair(first.languageHint, first.isMarkdown), std::pair(std::optional(u"markdown"_s), true));
        // SHA-256 of the content, as every implementation writes it.
        QCOMPARE(UITestProjectFilesStore::revision(u"abc"_s),
                 u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    }

    void writes()
    {
        UITestProjectFilesStore store({u"UITestsMockFileConflict"_s});
        const QString loaded = store.read(u"README.md"_s).value().revision;
        const auto saved = store.write(u"README.md"_s, u"# New"_s, loaded).value();
        QCOMPARE(std::pair(saved.size, saved.revision),
                 std::pair(qint64(5), UITestProjectFilesStore::revision(u"# New"_s)));
        // A stale revision is refused and changes nothing; reset() brings the seed back.
        QCOMPARE(outcome(store.write(u"README.md"_s, u"# Other"_s, loaded)),
                 u"CONFLICT: This file changed on disk after it was loaded. Reload it before saving again."_s);
        QCOMPARE(store.read(u"README.md"_s).value().content, u"# New"_s);
        store.reset();
        QCOMPARE(store.read(u"README.md"_s).value().revision, loaded);
        // The limit counts UTF-8 bytes.
        const QString css = store.read(u"theme.css"_s).value().revision;
        const QString tooLarge = u"FILE_TOO_LARGE: This file is too large for mobile editing."_s;
        QCOMPARE(outcome(store.write(u"theme.css"_s, QString(524'289, u'\u00e9'), css)), tooLarge);
        QCOMPARE(outcome(store.write(u"theme.css"_s, QString(1'048'576, u'a'), css)), u"ok"_s);
        // With the launch argument, the first save of the roadmap file meets a remote change
        // (saving again: tst_ModelEndToEnd); without it, no conflict is made up.
        const QString path = u"docs/roadmap/project-file-editor.md"_s;
        QCOMPARE(outcome(store.write(path, u"edited"_s, store.read(path).value().revision)).left(8), u"CONFLICT"_s);
        QVERIFY(store.read(path).value().content.endsWith(u"\nremote-update"_s));
        UITestProjectFilesStore plain({});
        QCOMPARE(outcome(plain.write(path, u"edited"_s, plain.read(path).value().revision)), u"ok"_s);
    }
};

QTEST_GUILESS_MAIN(tst_UITestProjectFilesStore)
#include "tst_UITestProjectFilesStore.moc"
