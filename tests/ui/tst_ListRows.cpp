#include "app/ValueListModel.h"
#include "protocol/JsonCodec.h"
#include "ui/FileEntryRowDelegate.h"
#include "ui/SessionRowDelegate.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ListRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessionRowShowsSubtitleOnlyWhenNotEmpty();
    void sessionRowNamesStateBackendAndWorkflow();
    void fileRowShowsDirectoryOrPath();
    void listModelsReplaceWholeListsAndKeepEqualOnes();
    void rendersBothLists();
};

namespace {

GatewaySessionSummary summary(const QString &id, std::optional<QString> subtitle)
{
    GatewaySessionSummary result;
    result.id = id;
    result.title = u"Session "_s + id;
    result.subtitle = subtitle;
    result.state = SessionLifecycleState::running;
    result.backend = BackendKind::pi;
    result.workflowState = SessionWorkflowState::done;
    return result;
}

ProjectFileEntry entry(const QString &path, ProjectFileKind kind)
{
    ProjectFileEntry result;
    result.path = path;
    result.name = path.section(u'/', -1);
    result.kind = kind;
    return result;
}

} // namespace

void tst_ListRows::sessionRowShowsSubtitleOnlyWhenNotEmpty()
{
    SessionListModel model;
    model.replaceAll({summary(u"a"_s, std::nullopt), summary(u"b"_s, u""_s), summary(u"c"_s, u"~/src/app"_s)});
    SessionRowDelegate delegate;
    QStyleOptionViewItem option;
    option.font = QApplication::font();
    option.rect = QRect(0, 0, 300, 0);
    const auto height = [&](int row) { return delegate.sizeHint(option, model.index(row)).height(); };
    QCOMPARE(SessionRowDelegate::texts(model.values()[0]).subtitle, std::nullopt);
    QCOMPARE(SessionRowDelegate::texts(model.values()[1]).subtitle, std::nullopt);
    QCOMPARE(SessionRowDelegate::texts(model.values()[2]).subtitle, u"~/src/app"_s);
    // Two lines without a subtitle, empty or absent; three with one.
    QCOMPARE(height(0), height(1));
    QVERIFY(height(2) > height(1) + QFontMetrics(option.font).height() / 2);
}

void tst_ListRows::sessionRowNamesStateBackendAndWorkflow()
{
    auto texts = SessionRowDelegate::texts(summary(u"a"_s, std::nullopt));
    QCOMPARE(texts.title, u"Session a"_s);
    QCOMPARE(texts.state, u"running"_s);
    QCOMPARE(texts.backend, u"Pi"_s);
    QCOMPARE(texts.workflow, u"Done"_s);
    auto other = summary(u"b"_s, std::nullopt);
    other.backend = BackendKind::codex;
    other.workflowState = SessionWorkflowState::active;
    other.state = SessionLifecycleState::closed;
    texts = SessionRowDelegate::texts(other);
    QCOMPARE(texts.backend, u"Codex"_s);
    QCOMPARE(texts.workflow, u"Active"_s);
    QCOMPARE(texts.state, u"closed"_s);
}

void tst_ListRows::fileRowShowsDirectoryOrPath()
{
    const auto directory = FileEntryRowDelegate::texts(entry(u"Sources/App"_s, ProjectFileKind::directory));
    QCOMPARE(directory.name, u"App"_s);
    QCOMPARE(directory.detail, u"Directory"_s);
    QVERIFY(directory.isDirectory);
    const auto file = FileEntryRowDelegate::texts(entry(u"Sources/App/main.cpp"_s, ProjectFileKind::file));
    QCOMPARE(file.name, u"main.cpp"_s);
    QCOMPARE(file.detail, u"Sources/App/main.cpp"_s);
    QVERIFY(!file.isDirectory);
}

void tst_ListRows::listModelsReplaceWholeListsAndKeepEqualOnes()
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

void tst_ListRows::rendersBothLists()
{
    SessionListModel sessions;
    sessions.replaceAll({summary(u"live"_s, u"Native desktop exploration"_s), summary(u"saved"_s, std::nullopt)});
    FileEntryListModel files;
    files.replaceAll({entry(u"Sources"_s, ProjectFileKind::directory),
                      entry(u"Sources/TesselDesktopPOCApp.swift"_s, ProjectFileKind::file)});
    QWidget window;
    window.resize(700, 260);
    QListView sessionList(&window);
    sessionList.setGeometry(0, 0, 340, 260);
    sessionList.setModel(&sessions);
    sessionList.setItemDelegate(new SessionRowDelegate(&sessionList));
    sessionList.setCurrentIndex(sessions.index(0));
    QListView fileList(&window);
    fileList.setGeometry(350, 0, 340, 260);
    fileList.setModel(&files);
    fileList.setItemDelegate(new FileEntryRowDelegate(&fileList));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Rows are laid out one under the other at their own heights.
    const QRect first = sessionList.visualRect(sessions.index(0));
    const QRect second = sessionList.visualRect(sessions.index(1));
    QCOMPARE(second.top(), first.bottom() + 1);
    QVERIFY(first.height() > second.height());
    const QImage image = window.grab().toImage();
    const QString dir = qEnvironmentVariable("TESSEL_UI_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(image.save(QDir(dir).filePath(u"rows.png"_s)));
}

} // namespace tessel

QTEST_MAIN(tessel::tst_ListRows)
#include "tst_ListRows.moc"
