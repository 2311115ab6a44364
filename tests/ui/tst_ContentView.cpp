#include "export/DesktopPOCScreenshotExporter.h"
#include "protocol/UuidText.h"
#include "support/ListClicks.h"
#include "support/ModelHarness.h"
#include "ui/DetailHeader.h"
#include "ui/EmptyStateView.h"
#include "ui/FilesBrowserColumn.h"
#include "ui/MessageCard.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/SidebarPane.h"
#include "ui/StatusBadge.h"
#include "ui/StatusRow.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

constexpr int timeoutMs = 10000;

// The window content over a real model (temporary settings, in-memory credential store),
// driven through its controls as a user or an automation tool finds them.
class tst_ContentView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init();
    void cleanup();
    void everyIdentifierNamesOneAccessibleControl();
    void deleteButtonsNeedTwoMachinesOrProjects();
    void textFieldsWriteEveryEditAndKeepTheCursor();
    void connectingAndFailureShowInLabelsBadgeAndStatus();
    void emptyStatesOfSessionsAndFiles();
    void toolbarSwapsItsGroupWithTheWorkspace();
    void filesLoadOnceAndOpenAndSaveThroughThePane();
    void markdownPreviewShowsTheDraftAndSaves();
    void projectLabelForms();
    void filesTaskKeyNamesMissingSelection_data();
    void filesTaskKeyNamesMissingSelection();
    void fileRowsOpenWithKeys_data();
    void fileRowsOpenWithKeys();
    void tabReachesEveryCommandInReadingOrder();
    void disabledCommandsSayWhy_data();
    void disabledCommandsSayWhy();
    void sessionFilterNarrowsTheListButKeepsTheSelection();
    void statusShowsInFullAtTheSmallestWindow();

private:
    template<typename T>
    T *control(const QString &identifier);
    QString badgeText() const;
    // Opens `name` from the mock store's listing by clicking its row.
    void openFromList(const QString &name);
    QString accessibleName(QWidget *widget) const;
    void start(const QStringList &arguments = {});

    std::unique_ptr<ModelHarness> m_harness;
    std::unique_ptr<TesselDesktopPOCContentView> m_view;
    TesselDesktopPOCModel *m_model = nullptr;
};

const QStringList allIdentifiers{
    u"desktop-machine-picker"_s,
    u"desktop-machine-add-button"_s,
    u"desktop-machine-delete-button"_s,
    u"desktop-machine-name-field"_s,
    u"desktop-machine-gateway-url-field"_s,
    u"desktop-machine-token-field"_s,
    u"desktop-project-picker"_s,
    u"desktop-project-add-button"_s,
    u"desktop-project-delete-button"_s,
    u"desktop-project-name-field"_s,
    u"desktop-project-directory-field"_s,
    u"desktop-backend-picker"_s,
    u"desktop-session-list"_s,
    u"desktop-session-filter-field"_s,
    u"desktop-session-open-selected-button"_s,
    u"desktop-workspace-picker"_s,
    u"desktop-chat-composer-editor"_s,
    u"desktop-chat-send-button"_s,
    u"desktop-files-parent-button"_s,
    u"desktop-files-reload-button"_s,
    u"desktop-files-hidden-toggle"_s,
    u"desktop-files-directory-path"_s,
    u"desktop-files-list"_s,
    u"desktop-files-document-path"_s,
    u"desktop-files-editor"_s,
    u"desktop-files-save-button"_s,
    u"desktop-toolbar-connect-button"_s,
    u"desktop-toolbar-disconnect-button"_s,
    u"desktop-toolbar-reload-files-button"_s,
    u"desktop-toolbar-save-file-button"_s,
    u"desktop-toolbar-new-session-button"_s,
    u"desktop-toolbar-refresh-sessions-button"_s,
    u"desktop-toolbar-abort-turn-button"_s,
};

void tst_ContentView::init()
{
    start();
}

void tst_ContentView::start(const QStringList &arguments)
{
    m_view.reset();
    m_harness = std::make_unique<ModelHarness>(QString(), arguments);
    m_model = &m_harness->start();
    m_view = std::make_unique<TesselDesktopPOCContentView>(m_model);
    m_view->resize(1120, 720);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void tst_ContentView::cleanup()
{
    m_view.reset();
    m_model = nullptr;
    m_harness.reset();
}

template<typename T>
T *tst_ContentView::control(const QString &identifier)
{
    const QList<QWidget *> found = m_view->findChildren<QWidget *>(identifier);
    if (found.size() != 1) {
        qWarning("%d controls named %s", int(found.size()), qPrintable(identifier));
        return nullptr;
    }
    return qobject_cast<T *>(found.first());
}

QString tst_ContentView::badgeText() const
{
    for (StatusBadge *badge : m_view->findChildren<StatusBadge *>()) {
        if (badge->isVisible() && (badge->text() == "Saved"_L1 || badge->text() == "Unsaved"_L1))
            return badge->text();
    }
    return QString();
}

void tst_ContentView::openFromList(const QString &name)
{
    QVERIFY(test::clickRow(control<QListView>(u"desktop-files-list"_s), name, timeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDocument() && m_model->currentDocument()->path == name, timeoutMs);
}

QString tst_ContentView::accessibleName(QWidget *widget) const
{
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(widget);
    return interface ? interface->text(QAccessible::Name) : QString();
}

void tst_ContentView::everyIdentifierNamesOneAccessibleControl()
{
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    for (const QString &identifier : allIdentifiers) {
        QWidget *widget = control<QWidget>(identifier);
        QVERIFY2(widget, qPrintable(identifier));
        QVERIFY2(!accessibleName(widget).isEmpty(), qPrintable(identifier));
    }
    QCOMPARE(accessibleName(control<QWidget>(u"desktop-machine-gateway-url-field"_s)), u"ws://host:4821"_s);
    QCOMPARE(accessibleName(control<QWidget>(u"desktop-machine-token-field"_s)), u"Auth token"_s);
    // A picker is labelled by its title.
    for (const auto &[identifier, title] :
         {std::pair{u"desktop-machine-picker"_s, u"Machine"_s}, std::pair{u"desktop-project-picker"_s, u"Project"_s},
          std::pair{u"desktop-backend-picker"_s, u"Backend"_s}}) {
        QWidget *picker = control<QWidget>(identifier);
        QCOMPARE(picker->accessibleName(), title);
        const auto labels = QAccessible::queryAccessibleInterface(picker)->relations(QAccessible::Label);
        QVERIFY2(
            std::any_of(labels.cbegin(), labels.cend(),
                        [&title](const auto &relation) { return relation.first->text(QAccessible::Name) == title; }),
            qPrintable(identifier));
    }
    QCOMPARE(accessibleName(control<QWidget>(u"desktop-machine-delete-button"_s)), u"Delete machine"_s);
    QCOMPARE(accessibleName(control<QWidget>(u"desktop-files-editor"_s)), u"Document editor"_s);
    // A button is named by its label, which changes with the state: never frozen.
    for (QAbstractButton *button : m_view->findChildren<QAbstractButton *>()) {
        if (!button->text().isEmpty() && button->objectName().startsWith("desktop-"_L1))
            QVERIFY2(button->accessibleName().isEmpty(), qPrintable(button->objectName()));
    }
    QCOMPARE(accessibleName(control<QWidget>(u"desktop-toolbar-connect-button"_s)), u"Connect"_s);
}

void tst_ContentView::deleteButtonsNeedTwoMachinesOrProjects()
{
    auto *deleteMachine = control<QAbstractButton>(u"desktop-machine-delete-button"_s);
    auto *deleteProject = control<QAbstractButton>(u"desktop-project-delete-button"_s);
    QCOMPARE(m_model->machines().size(), 1);
    QVERIFY(!deleteMachine->isEnabled());
    QVERIFY(!deleteProject->isEnabled());

    QTest::mouseClick(control<QAbstractButton>(u"desktop-machine-add-button"_s), Qt::LeftButton);
    QCOMPARE(m_model->machines().size(), 2);
    QVERIFY(deleteMachine->isEnabled());
    // The new machine is selected and has one project.
    QVERIFY(!deleteProject->isEnabled());
    QCOMPARE(control<QComboBox>(u"desktop-machine-picker"_s)->count(), 2);
    QCOMPARE(control<QComboBox>(u"desktop-machine-picker"_s)->currentData().toUuid(), *m_model->selectedMachineID());

    QTest::mouseClick(control<QAbstractButton>(u"desktop-project-add-button"_s), Qt::LeftButton);
    QVERIFY(deleteProject->isEnabled());
    QCOMPARE(control<QComboBox>(u"desktop-project-picker"_s)->count(), 2);

    QTest::mouseClick(deleteMachine, Qt::LeftButton);
    QCOMPARE(m_model->machines().size(), 1);
    QVERIFY(!deleteMachine->isEnabled());
    QVERIFY(!deleteProject->isEnabled());
}

void tst_ContentView::textFieldsWriteEveryEditAndKeepTheCursor()
{
    auto *url = control<QLineEdit>(u"desktop-machine-gateway-url-field"_s);
    url->setFocus();
    QTest::keyClicks(url, u"ws://127.0.0.1:4821"_s);
    QCOMPARE(m_model->gatewayURL(), u"ws://127.0.0.1:4821"_s);
    QCOMPARE(m_model->selectedMachine()->gatewayURL, u"ws://127.0.0.1:4821"_s);
    // Typing in the middle: the echo of the model must not move the cursor to the end.
    url->setCursorPosition(5);
    QTest::keyClicks(url, u"x"_s);
    QCOMPARE(m_model->gatewayURL(), u"ws://x127.0.0.1:4821"_s);
    QCOMPARE(url->cursorPosition(), 6);

    auto *token = control<QLineEdit>(u"desktop-machine-token-field"_s);
    QCOMPARE(token->echoMode(), QLineEdit::Password);
    QTest::keyClicks(token, u"secret-1"_s);
    QCOMPARE(m_model->gatewayToken(), u"secret-1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_harness->storedToken(*m_model->selectedMachineID()), u"secret-1"_s, 5000);

    auto *name = control<QLineEdit>(u"desktop-machine-name-field"_s);
    name->selectAll();
    QTest::keyClicks(name, u"Studio"_s);
    QCOMPARE(control<QComboBox>(u"desktop-machine-picker"_s)->currentText(), u"Studio"_s);

    QTest::keyClicks(control<QLineEdit>(u"desktop-project-name-field"_s), u"Web"_s);
    QCOMPARE(control<QComboBox>(u"desktop-project-picker"_s)->currentText(), u"Web"_s);

    // The model's value replaces the text when the selection moves to another machine.
    m_model->addMachine();
    QCOMPARE(url->text(), QString());
    QCOMPARE(name->text(), QString());
    auto *composer = control<QPlainTextEdit>(u"desktop-chat-composer-editor"_s);
    QTest::keyClicks(composer, u"hello"_s);
    QCOMPARE(m_model->composerText(), u"hello"_s);
}

void tst_ContentView::connectingAndFailureShowInLabelsBadgeAndStatus()
{
    auto *connectButton = control<QAbstractButton>(u"desktop-toolbar-connect-button"_s);
    auto *refresh = control<QAbstractButton>(u"desktop-toolbar-refresh-sessions-button"_s);
    auto *disconnect = control<QAbstractButton>(u"desktop-toolbar-disconnect-button"_s);
    // Without a URL there is nothing to connect to.
    QVERIFY(!connectButton->isEnabled());
    QVERIFY(!disconnect->isEnabled());

    // A port that refuses connections: held, then closed, so nothing else takes it.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString url = u"ws://127.0.0.1:%1"_s.arg(closed.serverPort());
    closed.close();
    QTest::keyClicks(control<QLineEdit>(u"desktop-machine-gateway-url-field"_s), url);
    QVERIFY(connectButton->isEnabled());

    QTest::mouseClick(connectButton, Qt::LeftButton);
    QVERIFY(m_model->connectionState().is(ConnectionState::Kind::connecting));
    QCOMPARE(connectButton->text(), u"Connect"_s);
    QVERIFY(!refresh->isEnabled());
    QVERIFY(disconnect->isEnabled());
    QVERIFY(!control<QAbstractButton>(u"desktop-toolbar-abort-turn-button"_s)->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(m_model->connectionState().is(ConnectionState::Kind::failed), timeoutMs);
    const QString expected = u"Failed: Could not connect to "_s;
    const auto badges = m_view->findChildren<StatusBadge *>();
    QVERIFY(std::any_of(badges.cbegin(), badges.cend(),
                        [&expected](StatusBadge *badge) { return badge->text().startsWith(expected); }));
    const auto rows = m_view->findChildren<StatusRow *>();
    const auto connection =
        std::find_if(rows.cbegin(), rows.cend(), [](StatusRow *row) { return row->title() == "Connection"_L1; });
    QVERIFY(connection != rows.cend());
    QVERIFY((*connection)->value().startsWith(expected));
    QCOMPARE((*connection)->value(), u"Failed: "_s + m_model->connectionState().failureMessage());
    QVERIFY(!refresh->isEnabled());
    QCOMPARE(connectButton->text(), u"Connect"_s);

    QTest::mouseClick(disconnect, Qt::LeftButton);
    QVERIFY(m_model->connectionState().is(ConnectionState::Kind::disconnected));
    QCOMPARE(m_model->connectionSummary(), u"Disconnected."_s);
    QVERIFY(!disconnect->isEnabled());
}

void tst_ContentView::emptyStatesOfSessionsAndFiles()
{
    const auto shownEmptyState = [this](const QString &title) {
        const auto views = m_view->findChildren<EmptyStateView *>();
        return std::any_of(views.cbegin(), views.cend(),
                           [&title](EmptyStateView *view) { return view->title() == title && view->isVisible(); });
    };
    QVERIFY(shownEmptyState(u"No Sessions Yet"_s));
    QVERIFY(!control<QWidget>(u"desktop-session-list"_s)->isVisible());
    QVERIFY(!control<QAbstractButton>(u"desktop-session-open-selected-button"_s)->isEnabled());

    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    QVERIFY(shownEmptyState(u"Pick a File"_s));
    QCOMPARE(control<QLabel>(u"desktop-files-directory-path"_s)->text(), u"/"_s);
    QVERIFY(!control<QAbstractButton>(u"desktop-files-parent-button"_s)->isEnabled());
    QVERIFY(!control<QAbstractButton>(u"desktop-toolbar-save-file-button"_s)->isEnabled());
    // The project is the home directory of a fresh install: empty, and no gateway answers.
    QVERIFY(shownEmptyState(u"No Files"_s));
}

void tst_ContentView::toolbarSwapsItsGroupWithTheWorkspace()
{
    const QStringList chatItems{u"desktop-toolbar-new-session-button"_s, u"desktop-toolbar-refresh-sessions-button"_s,
                                u"desktop-toolbar-abort-turn-button"_s};
    const QStringList filesItems{u"desktop-toolbar-reload-files-button"_s, u"desktop-toolbar-save-file-button"_s};
    const auto visible = [this](const QStringList &identifiers) {
        return std::all_of(identifiers.cbegin(), identifiers.cend(),
                           [this](const QString &id) { return control<QWidget>(id)->isVisible(); });
    };
    const auto hidden = [this](const QStringList &identifiers) {
        return std::none_of(identifiers.cbegin(), identifiers.cend(),
                            [this](const QString &id) { return control<QWidget>(id)->isVisible(); });
    };
    // The toolbar places its buttons when it lays out, after the event loop turns.
    QTRY_VERIFY_WITH_TIMEOUT(visible(chatItems), timeoutMs);
    QVERIFY(hidden(filesItems));
    QVERIFY(control<QWidget>(u"desktop-chat-composer-editor"_s)->isVisible());
    // Nothing to ask for a session until connected.
    QVERIFY(!control<QAbstractButton>(u"desktop-toolbar-new-session-button"_s)->isEnabled());

    QTest::mouseClick(control<QTabBar>(u"desktop-workspace-picker"_s), Qt::LeftButton, {},
                      control<QTabBar>(u"desktop-workspace-picker"_s)->tabRect(1).center());
    QCOMPARE(m_model->workspaceTab(), ProjectWorkspaceTab::files);
    QTRY_VERIFY_WITH_TIMEOUT(visible(filesItems), timeoutMs);
    QVERIFY(hidden(chatItems));
    QVERIFY(!control<QWidget>(u"desktop-chat-composer-editor"_s)->isVisible());
    QVERIFY(control<QAbstractButton>(u"desktop-toolbar-reload-files-button"_s)->isEnabled());
    QVERIFY(control<QAbstractButton>(u"desktop-files-reload-button"_s)->isEnabled());
}

void tst_ContentView::filesLoadOnceAndOpenAndSaveThroughThePane()
{
    start({u"UITestsMockFiles"_s});
    // What the listing area shows at the moment a load starts.
    QStringList shownWhenLoading;
    connect(m_model, &TesselDesktopPOCModel::isLoadingDirectoryChanged, this, [&] {
        if (!m_model->isLoadingDirectory())
            return;
        const auto views = m_view->findChildren<EmptyStateView *>();
        for (EmptyStateView *view : views) {
            if (view->isVisible())
                shownWhenLoading << view->title();
        }
    });
    QSignalSpy listed(m_model, &TesselDesktopPOCModel::currentDirectoryChanged);
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    auto *list = control<QListView>(u"desktop-files-list"_s);
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible() && list->model()->rowCount() > 0, timeoutMs);
    QVERIFY(shownWhenLoading.contains(u"Loading Files"_s));
    // The pane's task and the tab change both ask; the listing is loaded once.
    QTest::qWait(50);
    QCOMPARE(listed.count(), 1);

    openFromList(u"README.md"_s);
    auto *editor = control<QPlainTextEdit>(u"desktop-files-editor"_s);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->toPlainText(), m_model->currentDocument()->content);
    QCOMPARE(control<QLabel>(u"desktop-files-document-path"_s)->text(), u"README.md"_s);
    auto *save = control<QAbstractButton>(u"desktop-files-save-button"_s);
    auto *toolbarSave = control<QAbstractButton>(u"desktop-toolbar-save-file-button"_s);
    QCOMPARE(badgeText(), u"Saved"_s);
    QVERIFY(!save->isEnabled());

    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, u"More."_s);
    QVERIFY(m_model->currentDocumentDraft().endsWith("More."_L1));
    QCOMPARE(badgeText(), u"Unsaved"_s);
    QVERIFY(save->isEnabled());
    QVERIFY(toolbarSave->isEnabled());

    QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
    QTest::keySequence(m_view->window(), QKeySequence::Save);
    QVERIFY(saved.wait(timeoutMs));
    QCOMPARE(badgeText(), u"Saved"_s);
    QVERIFY(!save->isEnabled());
    QVERIFY(!toolbarSave->isEnabled());
    const auto cards = m_view->findChildren<MessageCard *>();
    QVERIFY(std::any_of(cards.cbegin(), cards.cend(),
                        [](MessageCard *card) { return card->isVisible() && card->text() == "Saved README.md"_L1; }));
    // The editor kept the user's text and its cursor at the end; the listing, refreshed
    // with the new size, kept the open file's row selected.
    QVERIFY(editor->toPlainText().endsWith("More."_L1));
    QCOMPARE(editor->textCursor().position(), editor->toPlainText().size());
    QCOMPARE(list->currentIndex().data().toString(), u"README.md"_s);
    QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));

    // Typing on while a save is in flight: what was saved is the text at the click.
    QTest::keyClicks(editor, u"!"_s);
    QTest::mouseClick(save, Qt::LeftButton);
    QTest::keyClicks(editor, u"?"_s);
    QVERIFY(saved.wait(timeoutMs));
    QVERIFY(m_model->currentDocument()->content.endsWith("More.!"_L1));
    QVERIFY(m_model->currentDocumentDraft().endsWith("More.!?"_L1));
    QCOMPARE(badgeText(), u"Unsaved"_s);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QCOMPARE(badgeText(), u"Saved"_s);
}

void tst_ContentView::markdownPreviewShowsTheDraftAndSaves()
{
    start({u"UITestsMockFiles"_s});
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    openFromList(u"README.md"_s);
    auto *mode = control<QTabBar>(u"desktop-files-markdown-mode-picker"_s);
    auto *editor = control<QPlainTextEdit>(u"desktop-files-editor"_s);
    auto *preview = control<QTextBrowser>(u"desktop-files-markdown-preview"_s);
    QVERIFY(mode->isVisible());
    QTemporaryDir directory;
    const QString image = directory.filePath(u"local.png"_s);
    QImage(4, 4, QImage::Format_RGB32).save(image);
    editor->moveCursor(QTextCursor::End);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, u"## Added heading"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, u"![local](file://"_s + image + u")"_s);

    QTest::mouseClick(mode, Qt::LeftButton, {}, mode->tabRect(1).center());
    QVERIFY(preview->isVisible());
    QVERIFY(!editor->isVisible());
    QVERIFY(preview->isReadOnly());
    QVERIFY(preview->toPlainText().contains("Added heading"_L1));
    QVERIFY(!preview->toPlainText().contains("## "_L1));
    // Nothing the file names is read: not a local image.
    QVERIFY(preview->document()
                ->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(image))
                .toByteArray()
                .isEmpty());
    QCOMPARE(badgeText(), u"Unsaved"_s);

    QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
    QTest::mouseClick(control<QAbstractButton>(u"desktop-files-save-button"_s), Qt::LeftButton);
    QVERIFY(saved.wait(timeoutMs));
    QVERIFY(m_model->currentDocument()->content.contains("\n## Added heading\n"_L1));
    QCOMPARE(badgeText(), u"Saved"_s);
    QVERIFY(preview->isVisible());

    // A file that is not Markdown is edited only.
    openFromList(u"theme.css"_s);
    QVERIFY(!mode->isVisible());
    QVERIFY(editor->isVisible());
}

void tst_ContentView::projectLabelForms()
{
    MachineProfile machine;
    machine.name = u"Studio"_s;
    ProjectProfile project;
    project.name = u"Web"_s;
    project.directory = u"/srv/web"_s;
    QCOMPARE(DetailHeader::projectLabel(machine, project), u"Studio \u2022 Web \u2022 /srv/web"_s);
    QCOMPARE(DetailHeader::projectLabel(machine, std::nullopt), u"Studio \u2022 No Project"_s);
    project.directory.clear();
    QCOMPARE(DetailHeader::projectLabel(machine, project), u"Studio \u2022 Web"_s);
    QCOMPARE(DetailHeader::projectLabel(std::nullopt, std::nullopt), u"No Machine \u2022 No Project"_s);

    // The header follows the selection, with the display-name fallbacks for empty names.
    const auto labels = m_view->findChildren<QLabel *>();
    const auto header = std::find_if(labels.cbegin(), labels.cend(),
                                     [](QLabel *label) { return label->accessibleName() == "Selected project"_L1; });
    QVERIFY(header != labels.cend());
    QCOMPARE((*header)->toolTip(), DetailHeader::projectLabel(m_model->selectedMachine(), m_model->selectedProject()));
    QTest::keyClicks(control<QLineEdit>(u"desktop-project-name-field"_s), u"Docs"_s);
    QVERIFY((*header)->toolTip().contains(u" \u2022 Docs \u2022 "_s));
}

void tst_ContentView::filesTaskKeyNamesMissingSelection_data()
{
    QTest::addColumn<bool>("files");
    QTest::addColumn<bool>("machine");
    QTest::addColumn<bool>("project");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("both") << false << true << true << u"chat::M::P"_s;
    QTest::newRow("files tab") << true << true << true << u"files::M::P"_s;
    QTest::newRow("no project") << true << true << false << u"files::M::no-project"_s;
    QTest::newRow("no machine") << false << false << true << u"chat::no-machine::P"_s;
    QTest::newRow("neither") << true << false << false << u"files::no-machine::no-project"_s;
}

void tst_ContentView::filesTaskKeyNamesMissingSelection()
{
    QFETCH(bool, files);
    QFETCH(bool, machine);
    QFETCH(bool, project);
    QFETCH(QString, pattern);
    const QUuid machineID = QUuid::createUuid();
    const QUuid projectID = QUuid::createUuid();
    const QString key = FilesBrowserColumn::filesTaskKey(files ? ProjectWorkspaceTab::files : ProjectWorkspaceTab::chat,
                                                         machine ? std::optional(machineID) : std::nullopt,
                                                         project ? std::optional(projectID) : std::nullopt);
    QCOMPARE(key,
             QString(pattern).replace(u"M"_s, uuidText(machineID)).replace(u"::P"_s, u"::"_s + uuidText(projectID)));
    // The window's own key follows the model's selection.
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    QCOMPARE(FilesBrowserColumn::filesTaskKey(*m_model),
             FilesBrowserColumn::filesTaskKey(ProjectWorkspaceTab::files, m_model->selectedMachineID(),
                                              m_model->selectedProjectID()));
}

void tst_ContentView::fileRowsOpenWithKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Space") << int(Qt::Key_Space) << Qt::KeyboardModifiers();
}

void tst_ContentView::fileRowsOpenWithKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    start({u"UITestsMockFiles"_s});
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    auto *list = control<QListView>(u"desktop-files-list"_s);
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible() && list->model()->rowCount() > 0, timeoutMs);
    const auto rows = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, u"README.md"_s);
    QCOMPARE(rows.size(), 1);
    list->setFocus();
    list->setCurrentIndex(rows.first());
    QTest::keyClick(list, Qt::Key(key), modifiers);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDocument().value_or(ProjectFileDocumentSnapshot()).path, u"README.md"_s,
                              timeoutMs);
}

void tst_ContentView::tabReachesEveryCommandInReadingOrder()
{
    // Toolbar, then the sidebar from the top, then the detail column.
    const QStringList chat{
        u"desktop-toolbar-connect-button"_s,
        u"desktop-toolbar-disconnect-button"_s,
        u"desktop-toolbar-new-session-button"_s,
        u"desktop-toolbar-refresh-sessions-button"_s,
        u"desktop-toolbar-abort-turn-button"_s,
        u"desktop-machine-picker"_s,
        u"desktop-machine-add-button"_s,
        u"desktop-machine-delete-button"_s,
        u"desktop-machine-name-field"_s,
        u"desktop-machine-gateway-url-field"_s,
        u"desktop-machine-token-field"_s,
        u"desktop-project-picker"_s,
        u"desktop-project-add-button"_s,
        u"desktop-project-delete-button"_s,
        u"desktop-project-name-field"_s,
        u"desktop-project-directory-field"_s,
        u"desktop-backend-picker"_s,
        u"desktop-session-filter-field"_s,
        u"desktop-session-open-selected-button"_s,
        u"desktop-session-list"_s,
        u"desktop-workspace-picker"_s,
        u"desktop-chat-composer-editor"_s,
        u"desktop-chat-send-button"_s,
    };
    DesktopPOCScreenshotExporter::configureChatScreenshotState(*m_model);
    QStringList reached;
    QWidget *widget = m_view.get();
    do {
        widget = widget->nextInFocusChain();
        if (widget->objectName().startsWith("desktop-"_L1) && widget->isVisible() &&
            (widget->focusPolicy() & Qt::TabFocus))
            reached << widget->objectName();
    } while (widget != m_view.get());
    QCOMPARE(reached, chat);
}

void tst_ContentView::disabledCommandsSayWhy_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char *identifier, const QString &reason) {
        QTest::newRow(identifier) << QString::fromLatin1(identifier) << reason;
    };
    row("desktop-toolbar-connect-button", u"Enter a valid websocket URL"_s);
    row("desktop-toolbar-disconnect-button", u"Not connected"_s);
    row("desktop-toolbar-new-session-button", u"Connect to start a new session"_s);
    row("desktop-toolbar-refresh-sessions-button", u"Connect to list the gateway's sessions"_s);
    row("desktop-toolbar-abort-turn-button", u"Connect to a session first"_s);
    row("desktop-toolbar-save-file-button", u"Open a file first"_s);
    row("desktop-session-open-selected-button", u"Connect to open a session"_s);
    row("desktop-chat-send-button", u"Connect to a session first"_s);
    row("desktop-machine-delete-button", u"The only machine cannot be deleted"_s);
    row("desktop-project-delete-button", u"The only project cannot be deleted"_s);
    row("desktop-files-parent-button", u"Already at the project directory"_s);
    row("desktop-files-save-button", u"Open a file first"_s);
}

void tst_ContentView::disabledCommandsSayWhy()
{
    QFETCH(QString, identifier);
    QFETCH(QString, reason);
    QWidget *widget = control<QWidget>(identifier);
    QVERIFY(widget);
    QVERIFY(!widget->isEnabled());
    QCOMPARE(widget->toolTip(), reason);
    QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description), reason);
    // Once possible, the reason goes: a typed URL enables Connect, a second machine Delete.
    m_model->updateSelectedGatewayURL(u"ws://127.0.0.1:4821"_s);
    m_model->addMachine();
    m_model->setSelectedMachineID(m_model->machines().first().id);
    const auto connect = control<QWidget>(u"desktop-toolbar-connect-button"_s);
    const auto deleteMachine = control<QWidget>(u"desktop-machine-delete-button"_s);
    for (QWidget *enabled : {connect, deleteMachine}) {
        QVERIFY(enabled->isEnabled());
        QCOMPARE(QAccessible::queryAccessibleInterface(enabled)->text(QAccessible::Description), enabled->toolTip());
        QVERIFY(!enabled->toolTip().startsWith("Enter"_L1) && !enabled->toolTip().startsWith("The only"_L1));
    }
}

void tst_ContentView::sessionFilterNarrowsTheListButKeepsTheSelection()
{
    DesktopPOCScreenshotExporter::configureChatScreenshotState(*m_model);
    auto *list = control<QListView>(u"desktop-session-list"_s);
    auto *filter = control<QLineEdit>(u"desktop-session-filter-field"_s);
    QCOMPARE(list->model()->rowCount(), 2);
    QCOMPARE(m_model->selectedSessionID(), u"live-macos-poc"_s);
    const auto shownRows = [list] {
        QStringList titles;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            titles << list->model()->index(row, 0).data().toString();
        return titles;
    };
    // The saved session's title, the live one's directory words, then nothing.
    for (const auto &[text, rows] : {std::pair{u"protocol"_s, 1}, std::pair{u"home TESSEL"_s, 2},
                                     std::pair{u"codex review"_s, 1}, std::pair{u"pi"_s, 0}}) {
        QTest::keyClicks(filter, text);
        QCOMPARE(list->model()->rowCount(), rows);
        QCOMPARE(m_model->selectedSessionID(), u"live-macos-poc"_s);
        filter->clear();
    }
    QCOMPARE(shownRows().size(), 2);
    QCOMPARE(list->currentIndex().data(SessionListModel::ValueRole).value<GatewaySessionSummary>().id,
             u"live-macos-poc"_s);
    QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));
}

void tst_ContentView::statusShowsInFullAtTheSmallestWindow()
{
    DesktopPOCScreenshotExporter::configureChatScreenshotState(*m_model);
    QCoreApplication::sendPostedEvents();
    QList<StatusRow *> rows = m_view->findChildren<StatusRow *>();
    rows.removeIf([](StatusRow *row) { return !row->isVisible(); });
    QCOMPARE(rows.size(), 8);
    auto *sessions = control<QWidget>(u"desktop-session-list"_s);
    for (StatusRow *row : rows) {
        // Inside the sidebar's visible part, above the session list: nothing scrolled away.
        QVERIFY2(row->visibleRegion().boundingRect() == row->rect(), qPrintable(row->title()));
        QVERIFY(row->mapTo(m_view.get(), QPoint(0, row->height())).y() < sessions->mapTo(m_view.get(), QPoint()).y());
    }
    // The session list runs to the bottom of the sidebar: it takes what is left.
    auto *sidebar = m_view->findChild<SidebarPane *>();
    QVERIFY(sessions->height() >= 40);
    QVERIFY(sidebar->height() - sessions->mapTo(sidebar, QPoint(0, sessions->height())).y() <= 16);
}

} // namespace tessel

QTEST_MAIN(tessel::tst_ContentView)
#include "tst_ContentView.moc"
