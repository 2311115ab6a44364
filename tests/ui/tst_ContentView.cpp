#include "export/DesktopPOCScreenshotExporter.h"
#include "protocol/UuidText.h"
#include "support/ModelHarness.h"
#include "support/TestWindow.h"
#include "ui/DetailHeader.h"
#include "ui/EmptyStateView.h"
#include "ui/FilesBrowserColumn.h"
#include "ui/MessageCard.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/SidebarPane.h"
#include "ui/StatusBadge.h"
#include "ui/StatusRow.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBrowser>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 10000;

// The chat tab's commands in reading order: toolbar, the sidebar from the top, the detail column.
const QStringList chatCommands =
    u"toolbar-connect-button toolbar-disconnect-button toolbar-new-session-button toolbar-refresh-sessions-button "
    "toolbar-abort-turn-button machine-picker machine-add-button machine-delete-button machine-name-field "
    "machine-gateway-url-field machine-token-field project-picker project-add-button project-delete-button "
    "project-name-field project-directory-field backend-picker session-filter-field session-open-selected-button "
    "session-list workspace-picker chat-composer-editor chat-send-button"_s.split(u' ');
const QStringList filesControls =
    u"toolbar-reload-files-button toolbar-save-file-button files-parent-button files-reload-button "
    "files-hidden-toggle files-directory-path files-list files-document-path files-editor files-save-button"_s.split(
        u' ');

QString accessibleText(QWidget *widget, QAccessible::Text text = QAccessible::Name)
{
    return QAccessible::queryAccessibleInterface(widget)->text(text);
}

// The window content over a real model (temporary settings, in-memory credential store),
// driven through its controls as a user or an automation tool finds them.
class tst_ContentView : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<test::TestWindow> m_window;
    TesselDesktopPOCModel *m_model = nullptr;

    void start(const QStringList &arguments = {})
    {
        cleanup();
        m_harness = std::make_unique<test::ModelHarness>(QString(), arguments);
        m_model = &m_harness->start();
        m_window = std::make_unique<test::TestWindow>(*m_model);
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    template<typename T = QWidget>
    T *control(QAnyStringView name) const
    {
        return m_window->control<T>(name);
    }
    QString enabled(const char *names) const { return m_window->which(&QWidget::isEnabled, names); }
    // The files tab, with `path` opened from its listing.
    void openListed(const QString &path)
    {
        m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
        QVERIFY(m_window->openListedFile(path, timeoutMs));
    }
    QString documentBadge() const { return m_window->documentBadge(); }

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void init() { start(); }
    void cleanup()
    {
        m_window.reset();
        m_model = nullptr;
        m_harness.reset();
    }

    // The workspace tab swaps the toolbar group and the empty states; on either tab every
    // identifier names one accessible control.
    void workspaceTabSwapsToolbarGroupAndEveryIdentifierNamesAControl()
    {
        const char *group = "toolbar-new-session-button toolbar-refresh-sessions-button toolbar-abort-turn-button "
                            "toolbar-reload-files-button toolbar-save-file-button chat-composer-editor";
        // The toolbar places its buttons when it lays out, after the event loop turns.
        QTRY_COMPARE_WITH_TIMEOUT(m_window->which(&QWidget::isVisible, group),
                                  u"toolbar-new-session-button toolbar-refresh-sessions-button "
                                  "toolbar-abort-turn-button chat-composer-editor"_s,
                                  timeoutMs);
        // No list to open a session from until connected.
        QVERIFY(!control("session-list")->isVisible());
        QVERIFY(m_window->texts<EmptyStateView>().contains(u"No Sessions Yet"_s));

        m_window->pickTab("workspace-picker", 1);
        QCOMPARE(m_model->workspaceTab(), ProjectWorkspaceTab::files);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->which(&QWidget::isVisible, group),
                                  u"toolbar-reload-files-button toolbar-save-file-button"_s, timeoutMs);
        QCOMPARE(
            enabled("toolbar-reload-files-button files-reload-button files-parent-button toolbar-save-file-button"),
            u"toolbar-reload-files-button files-reload-button"_s);
        QCOMPARE(control<QLabel>("files-directory-path")->text(), u"/"_s);
        // The project is the home directory of a fresh install: empty, and no gateway answers.
        QTRY_COMPARE_WITH_TIMEOUT(m_window->texts<EmptyStateView>(),
                                  QStringList({u"No Files"_s, u"No Sessions Yet"_s, u"Pick a File"_s}), timeoutMs);

        for (const QString &name : chatCommands + filesControls)
            QVERIFY2(control(name) && !accessibleText(control(name)).isEmpty(), qPrintable(name));
        for (const auto &[name, text] : {std::pair{"machine-gateway-url-field", "ws://host:4821"},
                                         {"machine-token-field", "Auth token"},
                                         {"machine-delete-button", "Delete machine"},
                                         {"files-editor", "Document editor"},
                                         {"toolbar-connect-button", "Connect"}})
            QCOMPARE(accessibleText(control(name)), QLatin1StringView(text));
        // A picker is named and labelled by its title.
        for (const auto &[name, title] :
             {std::pair{"machine-picker", "Machine"}, {"project-picker", "Project"}, {"backend-picker", "Backend"}}) {
            QCOMPARE(control(name)->accessibleName(), QLatin1StringView(title));
            const auto labels = QAccessible::queryAccessibleInterface(control(name))->relations(QAccessible::Label);
            const auto titled = [&](auto &label) {
                return label.first->text(QAccessible::Name) == QLatin1StringView(title);
            };
            QVERIFY2(std::ranges::any_of(labels, titled), name);
        }
        // A button is named by its label, which changes with the state: never frozen.
        for (QAbstractButton *button : m_window->findChildren<QAbstractButton *>())
            if (!button->text().isEmpty() && button->objectName().startsWith("desktop-"_L1))
                QVERIFY2(button->accessibleName().isEmpty(), qPrintable(button->objectName()));
    }

    void connectingAndFailureShowInLabelsBadgeAndStatus()
    {
        const char *commands = "toolbar-connect-button toolbar-disconnect-button toolbar-refresh-sessions-button "
                               "toolbar-abort-turn-button";
        // A port that refuses connections: held, then closed, so nothing else takes it.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        QTest::keyClicks(control("machine-gateway-url-field"), u"ws://127.0.0.1:%1"_s.arg(closed.serverPort()));
        closed.close();
        QCOMPARE(enabled(commands), u"toolbar-connect-button"_s);
        m_window->click("toolbar-connect-button");
        QVERIFY(m_model->connectionState().is(ConnectionState::Kind::connecting));
        QCOMPARE(enabled(commands), u"toolbar-connect-button toolbar-disconnect-button"_s);

        QTRY_VERIFY_WITH_TIMEOUT(m_model->connectionState().is(ConnectionState::Kind::failed), timeoutMs);
        const QString failure = u"Failed: "_s + m_model->connectionState().failureMessage();
        QVERIFY(failure.startsWith("Failed: Could not connect to "_L1));
        QVERIFY(m_window->texts<StatusBadge>().contains(failure));
        const auto isFailure = [&](StatusRow *row) {
            return row->title() == "Connection"_L1 && row->value() == failure;
        };
        QVERIFY(std::ranges::any_of(m_window->findChildren<StatusRow *>(), isFailure));
        QCOMPARE(enabled(commands), u"toolbar-connect-button toolbar-disconnect-button"_s);
        QCOMPARE(control<QAbstractButton>("toolbar-connect-button")->text(), u"Connect"_s);

        m_window->click("toolbar-disconnect-button");
        QCOMPARE(m_model->connectionSummary(), u"Disconnected."_s);
        QCOMPARE(enabled(commands), u"toolbar-connect-button"_s);
    }

    void filesLoadOnceOpenSaveAndPreviewThroughThePane()
    {
        start({u"UITestsMockFiles"_s});
        // What the listing area shows at the moment a load starts.
        QStringList shownWhenLoading;
        connect(m_model, &TesselDesktopPOCModel::isLoadingDirectoryChanged, this, [&] {
            if (m_model->isLoadingDirectory())
                shownWhenLoading << m_window->texts<EmptyStateView>();
        });
        QSignalSpy listed(m_model, &TesselDesktopPOCModel::currentDirectoryChanged);
        openListed(u"README.md"_s);
        QVERIFY(shownWhenLoading.contains(u"Loading Files"_s));
        // The pane's task and the tab change both ask; the listing is loaded once.
        QTest::qWait(50);
        QCOMPARE(listed.count(), 1);

        auto *editor = control<QPlainTextEdit>("files-editor");
        auto *list = control<QListView>("files-list");
        QCOMPARE(editor->toPlainText(), m_model->currentDocument()->content);
        QCOMPARE(control<QLabel>("files-document-path")->text(), u"README.md"_s);
        const char *saves = "files-save-button toolbar-save-file-button";
        QCOMPARE(std::pair(documentBadge(), enabled(saves)), std::pair(u"Saved"_s, QString()));
        editor->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor, u"More."_s);
        QVERIFY(m_model->currentDocumentDraft().endsWith("More."_L1));
        QCOMPARE(std::pair(documentBadge(), enabled(saves)), std::pair(u"Unsaved"_s, QString::fromLatin1(saves)));

        QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
        QTest::keySequence(m_window.get(), QKeySequence::Save);
        QVERIFY(saved.wait(timeoutMs));
        QCOMPARE(std::pair(documentBadge(), enabled(saves)), std::pair(u"Saved"_s, QString()));
        QVERIFY(m_window->texts<MessageCard>().contains(u"Saved README.md"_s));
        // The editor kept the user's text and its cursor at the end; the listing, refreshed
        // with the new size, kept the open file's row selected.
        QVERIFY(editor->toPlainText().endsWith("More."_L1));
        QCOMPARE(editor->textCursor().position(), editor->toPlainText().size());
        QCOMPARE(list->currentIndex().data().toString(), u"README.md"_s);
        QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));

        // Typing on while a save is in flight: what was saved is the text at the click.
        QTest::keyClicks(editor, u"!"_s);
        m_window->click("files-save-button");
        QTest::keyClicks(editor, u"?"_s);
        QVERIFY(saved.wait(timeoutMs));
        QVERIFY(m_model->currentDocument()->content.endsWith("More.!"_L1));
        QVERIFY(m_model->currentDocumentDraft().endsWith("More.!?"_L1));
        QCOMPARE(documentBadge(), u"Unsaved"_s);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(documentBadge(), u"Saved"_s);

        // The Markdown preview shows the draft, reads nothing the file names, and saves.
        auto *preview = control<QTextBrowser>("files-markdown-preview");
        QVERIFY(control("files-markdown-mode-picker")->isVisible());
        QTemporaryDir directory;
        const QString image = directory.filePath(u"local.png"_s);
        QImage(4, 4, QImage::Format_RGB32).save(image);
        editor->moveCursor(QTextCursor::End);
        for (const QString &line : QStringList{u"## Added heading"_s, u"![local](file://"_s + image + u")"_s}) {
            QTest::keyClick(editor, Qt::Key_Return);
            QTest::keyClicks(editor, line);
        }

        m_window->pickTab("files-markdown-mode-picker", 1);
        QVERIFY(preview->isVisible() && preview->isReadOnly() && !editor->isVisible());
        QVERIFY(preview->toPlainText().contains("Added heading"_L1));
        QVERIFY(!preview->toPlainText().contains("## "_L1));
        // Nothing the file names is read: not a local image.
        const QVariant read = preview->document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(image));
        QVERIFY(read.toByteArray().isEmpty());
        QCOMPARE(documentBadge(), u"Unsaved"_s);

        m_window->click("files-save-button");
        QVERIFY(saved.wait(timeoutMs));
        QVERIFY(m_model->currentDocument()->content.contains("\n## Added heading\n"_L1));
        QCOMPARE(documentBadge(), u"Saved"_s);
        QVERIFY(preview->isVisible());

        // Rows open with each of the keys; a file that is not Markdown is edited only.
        list->setFocus();
        for (const auto &[key, modifiers, name] : {std::tuple{Qt::Key_Return, Qt::NoModifier, u"theme.css"_s},
                                                   {Qt::Key_Enter, Qt::KeypadModifier, u"README.md"_s},
                                                   {Qt::Key_Space, Qt::NoModifier, u"theme.css"_s}}) {
            list->setCurrentIndex(list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name).value(0));
            QTest::keyClick(list, key, modifiers);
            QTRY_COMPARE_WITH_TIMEOUT(m_model->currentDocument()->path, name, timeoutMs);
        }
        QCOMPARE(m_window->which(&QWidget::isVisible, "files-markdown-mode-picker files-editor"), u"files-editor"_s);

        // Another project is listed as soon as it is selected.
        m_model->addProject();
        QVERIFY(!m_model->currentDirectory());
        QTRY_VERIFY_WITH_TIMEOUT(m_model->currentDirectory().has_value(), timeoutMs);
    }

    void projectLabelForms()
    {
        MachineProfile machine;
        machine.name = u"Studio"_s;
        ProjectProfile project;
        project.name = u"Web"_s;
        const QStringList forms{DetailHeader::projectLabel(machine, project),
                                DetailHeader::projectLabel(machine, std::nullopt),
                                DetailHeader::projectLabel(std::nullopt, std::nullopt)};
        project.directory = u"/srv/web"_s;
        QCOMPARE(forms + QStringList{DetailHeader::projectLabel(machine, project)},
                 QStringList({u"Studio \u2022 Web"_s, u"Studio \u2022 No Project"_s, u"No Machine \u2022 No Project"_s,
                              u"Studio \u2022 Web \u2022 /srv/web"_s}));

        // The header follows the selection, with the display-name fallbacks for empty names.
        const auto labels = m_window->findChildren<QLabel *>();
        const auto header = std::ranges::find(labels, u"Selected project"_s, &QLabel::accessibleName);
        QVERIFY(header != labels.cend());
        QCOMPARE((*header)->toolTip(), u"Local Machine \u2022 home \u2022 "_s + m_harness->processInfo.homeDirectory);
        QTest::keyClicks(control("project-name-field"), u"Docs"_s);
        QVERIFY((*header)->toolTip().contains(u" \u2022 Docs \u2022 "_s));
    }

    // A missing machine or project has a name of its own in the key, never an empty part.
    void filesTaskKeyNamesMissingSelection()
    {
        const QUuid machine = QUuid::createUuid(), project = QUuid::createUuid();
        QCOMPARE(FilesBrowserColumn::filesTaskKey(ProjectWorkspaceTab::chat, machine, project),
                 u"chat::%1::%2"_s.arg(uuidText(machine), uuidText(project)));
        QCOMPARE(FilesBrowserColumn::filesTaskKey(ProjectWorkspaceTab::files, std::nullopt, std::nullopt),
                 u"files::no-machine::no-project"_s);
    }

    // Each disabled command's tooltip and accessible description say why; once possible,
    // the reason goes (a typed URL enables Connect, a second machine Delete).
    void fieldsEditTheModelAndCommandsSayWhyTheyAreDisabled()
    {
        const QStringList names = u"toolbar-connect-button toolbar-disconnect-button toolbar-new-session-button "
                                  "toolbar-refresh-sessions-button toolbar-abort-turn-button toolbar-save-file-button "
                                  "session-open-selected-button chat-send-button machine-delete-button "
                                  "project-delete-button files-parent-button files-save-button"_s.split(u' ');
        const auto reasons = [&] {
            QStringList result;
            for (const QString &name : names) {
                QWidget *command = control(name);
                if (!command->isEnabled() && accessibleText(command, QAccessible::Description) == command->toolTip())
                    result << command->toolTip();
            }
            return result;
        };
        QCOMPARE(reasons(),
                 QStringList({u"Enter a valid websocket URL"_s, u"Not connected"_s, u"Connect to start a new session"_s,
                              u"Connect to list the gateway's sessions"_s, u"Connect to a session first"_s,
                              u"Open a file first"_s, u"Connect to open a session"_s, u"Connect to a session first"_s,
                              u"The only machine cannot be deleted"_s, u"The only project cannot be deleted"_s,
                              u"Already at the project directory"_s, u"Open a file first"_s}));
        // Text fields write every edit to the model and keep the cursor.
        auto *url = control<QLineEdit>("machine-gateway-url-field");
        QTest::keyClicks(url, u"ws://127.0.0.1:4821"_s);
        QCOMPARE(m_model->selectedMachine()->gatewayURL, u"ws://127.0.0.1:4821"_s);
        // Typing in the middle: the echo of the model must not move the cursor to the end.
        url->setCursorPosition(5);
        QTest::keyClicks(url, u"x"_s);
        QCOMPARE(m_model->gatewayURL(), u"ws://x127.0.0.1:4821"_s);
        QCOMPARE(url->cursorPosition(), 6);

        QCOMPARE(control<QLineEdit>("machine-token-field")->echoMode(), QLineEdit::Password);
        QTest::keyClicks(control("machine-token-field"), u"secret-1"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_harness->storedToken(*m_model->selectedMachineID()), u"secret-1"_s, 5000);
        control<QLineEdit>("machine-name-field")->selectAll();
        QTest::keyClicks(control("machine-name-field"), u"Studio"_s);
        QCOMPARE(control<QComboBox>("machine-picker")->currentText(), u"Studio"_s);
        QTest::keyClicks(control("project-name-field"), u"Web"_s);
        QCOMPARE(control<QComboBox>("project-picker")->currentText(), u"Web"_s);
        QTest::keyClicks(control("chat-composer-editor"), u"hello"_s);
        QCOMPARE(m_model->composerText(), u"hello"_s);

        // The model's value replaces the text when the selection moves to another machine,
        // which can be deleted; added, it is selected in the picker with one project.
        const char *deletes = "machine-delete-button project-delete-button";
        m_window->click("machine-add-button");
        QVERIFY(url->text().isEmpty() && control<QLineEdit>("machine-name-field")->text().isEmpty());
        QCOMPARE(enabled(deletes), u"machine-delete-button"_s);
        QCOMPARE(control<QComboBox>("machine-picker")->count(), 2);
        QCOMPARE(control<QComboBox>("machine-picker")->currentData().toUuid(), *m_model->selectedMachineID());
        m_model->updateSelectedGatewayURL(u"ws://127.0.0.1:4821"_s);
        for (QWidget *enabled : {control("toolbar-connect-button"), control("machine-delete-button")}) {
            QVERIFY(enabled->isEnabled());
            QCOMPARE(accessibleText(enabled, QAccessible::Description), enabled->toolTip());
            QVERIFY(!enabled->toolTip().startsWith("Enter"_L1) && !enabled->toolTip().startsWith("The only"_L1));
        }
        m_window->click("project-add-button");
        QCOMPARE(enabled(deletes), QLatin1StringView(deletes));
        QCOMPARE(control<QComboBox>("project-picker")->count(), 2);
        m_window->click("machine-delete-button");
        QCOMPARE(m_model->machines().size(), 1);
        QCOMPARE(enabled(deletes), QString());
    }

    // The window in the state of the screenshots: a live session, a saved one and a file.
    void chatStateReadsInOrderFiltersAndShowsTheStatus()
    {
        DesktopPOCScreenshotExporter::configureChatScreenshotState(*m_model);
        QCoreApplication::sendPostedEvents();
        // Tab reaches every command in reading order.
        QStringList reached;
        for (QWidget *widget = m_window->nextInFocusChain(); widget != m_window.get();
             widget = widget->nextInFocusChain()) {
            if (widget->objectName().startsWith("desktop-"_L1) && widget->isVisible() &&
                (widget->focusPolicy() & Qt::TabFocus))
                reached << widget->objectName().sliced(8);
        }
        QCOMPARE(reached, chatCommands);

        // At the smallest window every status row shows in full, inside the sidebar's visible
        // part above the session list, and the list takes what is left down to the bottom.
        QList<StatusRow *> rows = m_window->findChildren<StatusRow *>();
        rows.removeIf([](StatusRow *row) { return !row->isVisible(); });
        QCOMPARE(rows.size(), 8);
        auto *list = control<QListView>("session-list");
        const int sessionsTop = list->mapTo(m_window.get(), QPoint()).y();
        for (StatusRow *row : rows) {
            QVERIFY2(row->visibleRegion().boundingRect() == row->rect(), qPrintable(row->title()));
            QVERIFY(row->mapTo(m_window.get(), QPoint(0, row->height())).y() < sessionsTop);
        }
        auto *sidebar = m_window->findChild<SidebarPane *>();
        QVERIFY(list->height() >= 40);
        QVERIFY(sidebar->height() - list->mapTo(sidebar, QPoint(0, list->height())).y() <= 16);

        // The filter narrows the list by the saved session's title, the live one's directory
        // words, then to nothing, and keeps the selection throughout.
        auto *filter = control<QLineEdit>("session-filter-field");
        QStringList counts;
        for (const QString &text : {u"protocol"_s, u"home TESSEL"_s, u"codex review"_s, u"pi"_s, QString()}) {
            filter->clear();
            QTest::keyClicks(filter, text);
            counts << u"%1 %2"_s.arg(list->model()->rowCount()).arg(m_model->selectedSessionID().value_or(QString()));
        }
        QCOMPARE(counts,
                 QStringList({u"1 live-macos-poc"_s, u"2 live-macos-poc"_s, u"1 live-macos-poc"_s,
                              u"0 live-macos-poc"_s, u"2 live-macos-poc"_s}));
        QCOMPARE(list->currentIndex().data(SessionListModel::ValueRole).value<GatewaySessionSummary>().id,
                 u"live-macos-poc"_s);
        QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_ContentView)
#include "tst_ContentView.moc"
