#include "app/ValueListModel.h"
#include "protocol/JsonCodec.h"
#include "ui/FileEntryRowDelegate.h"
#include "ui/SessionRowDelegate.h"

#include <QAbstractItemModelTester>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ListRows : public QObject
{
    Q_OBJECT

    static GatewaySessionSummary summary(const QString &id, std::optional<QString> subtitle = std::nullopt,
                                         BackendKind backend = BackendKind::pi,
                                         SessionLifecycleState state = SessionLifecycleState::running,
                                         SessionWorkflowState workflow = SessionWorkflowState::done)
    {
        GatewaySessionSummary result;
        result.id = id;
        result.title = u"Session "_s + id;
        result.subtitle = subtitle;
        result.backend = backend;
        result.state = state;
        result.workflowState = workflow;
        return result;
    }
    static ProjectFileEntry entry(const QString &path, ProjectFileKind kind)
    {
        ProjectFileEntry result;
        result.name = path.section(u'/', -1);
        result.path = path;
        result.kind = kind;
        return result;
    }

private Q_SLOTS:
    void sessionRowNamesStateBackendAndWorkflow()
    {
        const auto texts = [](const GatewaySessionSummary &summary) {
            const auto shown = SessionRowDelegate::texts(summary);
            return QStringList{shown.title, shown.state, shown.backend, shown.workflow};
        };
        QCOMPARE(texts(summary(u"a"_s)), QStringList({u"Session a"_s, u"running"_s, u"Pi"_s, u"Done"_s}));
        QCOMPARE(
            texts(summary(u"b"_s, {}, BackendKind::codex, SessionLifecycleState::closed, SessionWorkflowState::active)),
            QStringList({u"Session b"_s, u"closed"_s, u"Codex"_s, u"Active"_s}));
    }

    void sessionRowShowsSubtitleOnlyWhenNotEmpty()
    {
        SessionListModel model;
        model.replaceAll({summary(u"a"_s), summary(u"b"_s, u""_s), summary(u"c"_s, u"~/src/app"_s)});
        QCOMPARE(SessionRowDelegate::texts(model.values()[0]).subtitle, std::nullopt);
        QCOMPARE(SessionRowDelegate::texts(model.values()[1]).subtitle, std::nullopt);
        QCOMPARE(SessionRowDelegate::texts(model.values()[2]).subtitle, u"~/src/app"_s);
        // Two lines without a subtitle, empty or absent; three with one: in the list, one
        // row under the other at its own height.
        QListView list;
        list.setModel(&model);
        list.setItemDelegate(new SessionRowDelegate(&list));
        list.resize(300, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const auto rect = [&](int row) { return list.visualRect(model.index(row)); };
        QCOMPARE(rect(0).height(), rect(1).height());
        QVERIFY(rect(2).height() > rect(1).height() + list.fontMetrics().height() / 2);
        QCOMPARE(rect(2).top(), rect(1).bottom() + 1);
    }

    void fileRowShowsDirectoryOrPath()
    {
        const auto texts = [](const QString &path, ProjectFileKind kind) {
            const auto shown = FileEntryRowDelegate::texts(entry(path, kind));
            return std::tuple(shown.name, shown.detail, shown.isDirectory);
        };
        QCOMPARE(texts(u"Sources/App"_s, ProjectFileKind::directory), std::tuple(u"App"_s, u"Directory"_s, true));
        QCOMPARE(texts(u"Sources/App/main.cpp"_s, ProjectFileKind::file),
                 std::tuple(u"main.cpp"_s, u"Sources/App/main.cpp"_s, false));
    }

    void listModelsReplaceWholeListsAndKeepEqualOnes()
    {
        FileEntryListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        const QList<ProjectFileEntry> listing{entry(u"README.md"_s, ProjectFileKind::file),
                                              entry(u"src"_s, ProjectFileKind::directory)};
        model.replaceAll(listing);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(1).data().toString(), u"src"_s);
        QCOMPARE(model.index(1).data(FileEntryListModel::ValueRole).value<ProjectFileEntry>(), listing[1]);
        QVERIFY(!model.index(2).data(FileEntryListModel::ValueRole).isValid());
        model.replaceAll(listing);
        QCOMPARE(resets.size(), 1);
        model.replaceAll({});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(resets.size(), 2);
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_ListRows)
#include "tst_ListRows.moc"
