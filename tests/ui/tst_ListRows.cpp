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

ProjectFileEntry entry(const QString &path, ProjectFileKind kind)
{
    ProjectFileEntry result;
    result.name = path.section(u'/', -1);
    result.path = path;
    result.kind = kind;
    return result;
}

class tst_ListRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A session row names its state, backend and workflow, and has a third line only for a
    // subtitle that is not empty: in the list, one row under the other at its own height.
    void sessionRowsShowTheirTextsAndSubtitleOnlyWhenNotEmpty()
    {
        SessionListModel model;
        QList<GatewaySessionSummary> summaries(3);
        for (const auto &[index, subtitle] : {std::pair{1, u""_s}, {2, u"~/src/app"_s}})
            summaries[index].subtitle = subtitle;
        for (int index = 0; index < 3; ++index)
            summaries[index].title = u"Session %1"_s.arg(index);
        summaries[0].backend = BackendKind::pi;
        summaries[0].state = SessionLifecycleState::running;
        summaries[0].workflowState = SessionWorkflowState::done;
        summaries[1].backend = BackendKind::codex;
        summaries[1].state = SessionLifecycleState::closed;
        summaries[1].workflowState = SessionWorkflowState::active;
        model.replaceAll(summaries);
        QStringList shown;
        for (const GatewaySessionSummary &summary : model.values()) {
            const auto texts = SessionRowDelegate::texts(summary);
            shown << QStringList{texts.title, texts.state, texts.backend, texts.workflow,
                                 texts.subtitle.value_or(u"-"_s)}.join(u'|');
        }
        QCOMPARE(shown.first(2), QStringList({u"Session 0|running|Pi|Done|-"_s, u"Session 1|closed|Codex|Active|-"_s}));
        QVERIFY2(shown.last().endsWith(u"|~/src/app"_s), qPrintable(shown.last()));

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
        QList<std::tuple<QString, QString, bool>> shown;
        for (const ProjectFileEntry &file :
             {entry(u"Sources/App"_s, ProjectFileKind::directory), entry(u"Sources/App/main.cpp"_s, ProjectFileKind::file)}) {
            const auto texts = FileEntryRowDelegate::texts(file);
            shown << std::tuple(texts.name, texts.detail, texts.isDirectory);
        }
        QCOMPARE(shown, (QList<std::tuple<QString, QString, bool>>{{u"App"_s, u"Directory"_s, true},
                                                                   {u"main.cpp"_s, u"Sources/App/main.cpp"_s, false}}));
    }

    void listModelsReplaceWholeListsAndKeepEqualOnes()
    {
        FileEntryListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        const QList<ProjectFileEntry> listing{entry(u"README.md"_s, ProjectFileKind::file),
                                              entry(u"src"_s, ProjectFileKind::directory)};
        model.replaceAll(listing);
        QCOMPARE(model.index(1).data().toString(), u"src"_s);
        QCOMPARE(model.index(1).data(FileEntryListModel::ValueRole).value<ProjectFileEntry>(), listing[1]);
        QVERIFY(!model.index(2).data(FileEntryListModel::ValueRole).isValid());
        model.replaceAll(listing);
        QCOMPARE(std::pair(model.rowCount(), int(resets.size())), std::pair(2, 1));
        model.replaceAll({});
        QCOMPARE(std::pair(model.rowCount(), int(resets.size())), std::pair(0, 2));
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_ListRows)
#include "tst_ListRows.moc"
