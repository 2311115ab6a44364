#include "ui/ContentToolbar.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/ModelBinding.h"

#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

bool isConnected(const TesselDesktopPOCModel *model)
{
    return model->connectionState().is(ConnectionState::Kind::connected);
}

} // namespace

ContentToolbar::ContentToolbar(TesselDesktopPOCModel *model, QWidget *parent)
    : QToolBar(u"Toolbar"_s, parent)
    , m_model(model)
{
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextOnly);

    // Enabled states are set on the actions holding the buttons: a toolbar copies an
    // action's state onto its button whenever the action changes, visibility included.
    QAction *connectAction =
        addButton(u"Connect"_s, u"desktop-toolbar-connect-button"_s, [model] { model->connect(); });
    QAction *disconnect = addButton(u"Disconnect"_s, u"desktop-toolbar-disconnect-button"_s, [model] {
        model->resetLiveSessionState(true, u"Disconnected."_s, true, u"Disconnected."_s);
    });
    addSeparator();
    QAction *reload = addButton(u"Reload Files"_s, u"desktop-toolbar-reload-files-button"_s,
                                [model] { model->loadCurrentDirectory(false); });
    QAction *save =
        addButton(u"Save"_s, u"desktop-toolbar-save-file-button"_s, [model] { model->saveCurrentDocument(); });
    QAction *newSession =
        addButton(u"New Session"_s, u"desktop-toolbar-new-session-button"_s, [model] { model->createNewSession(); });
    QAction *refresh = addButton(u"Refresh Sessions"_s, u"desktop-toolbar-refresh-sessions-button"_s,
                                 [model] { model->refreshSessions(); });
    QAction *abort =
        addButton(u"Abort Turn"_s, u"desktop-toolbar-abort-turn-button"_s, [model] { model->abortCurrentTurn(); });
    auto *saveButton = qobject_cast<QToolButton *>(widgetForAction(save));
    saveButton->setShortcut(QKeySequence::Save);
    saveButton->setToolTip(u"Save (%1)"_s.arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    auto *connectButton = qobject_cast<QToolButton *>(widgetForAction(connectAction));

    ModelBinding::observe(model, this, {&M::gatewayURLChanged, &M::projectDirectoryChanged, &M::connectionStateChanged},
                          [model, connectAction, connectButton, disconnect] {
                              connectButton->setText(isConnected(model) ? u"Reconnect"_s : u"Connect"_s);
                              connectAction->setEnabled(model->canConnect());
                              disconnect->setEnabled(!model->connectionState().is(ConnectionState::Kind::disconnected));
                          });
    ModelBinding::observe(model, this, {&M::workspaceTabChanged}, [=] {
        const bool files = model->workspaceTab() == ProjectWorkspaceTab::files;
        for (QAction *action : {reload, save})
            action->setVisible(files);
        for (QAction *action : {newSession, refresh, abort})
            action->setVisible(!files);
    });
    ModelBinding::observe(model, this,
                          {&M::machinesChanged, &M::selectedMachineIDChanged, &M::selectedProjectIDChanged},
                          [model, reload, newSession] {
                              const bool selected = model->selectedMachine() && model->selectedProject();
                              reload->setEnabled(selected);
                              newSession->setEnabled(selected);
                          });
    ModelBinding::observe(model, this,
                          {&M::currentDocumentChanged, &M::currentDocumentDraftChanged, &M::isSavingDocumentChanged},
                          [model, save] { save->setEnabled(model->canSaveCurrentDocument()); });
    ModelBinding::observe(model, this,
                          {&M::connectionStateChanged, &M::currentSessionIDChanged, &M::currentSessionStateChanged},
                          [model, refresh, abort] {
                              refresh->setEnabled(isConnected(model));
                              abort->setEnabled(model->canAbort());
                          });
}

QAction *ContentToolbar::addButton(const QString &label, const QString &identifier, const std::function<void()> &action)
{
    auto *button = new QToolButton(this);
    button->setText(label);
    button->setObjectName(identifier);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(button, &QToolButton::clicked, m_model, action);
    return addWidget(button);
}

} // namespace tessel
