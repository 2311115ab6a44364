#include "ui/ContentToolbar.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/CommandAvailability.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"

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
    const QString saveHint = u"Save (%1)"_s.arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText));
    auto *connectButton = qobject_cast<QToolButton *>(widgetForAction(connectAction));
    // The button that shows the commands a narrow toolbar has no room for has no text.
    for (QToolButton *button : findChildren<QToolButton *>(u"qt_toolbar_ext_button"_s))
        button->setAccessibleName(u"More commands"_s);
    // The action carries the state the toolbar copies; the button says why it is disabled.
    const auto offer = [this](QAction *action, const QString &reason, const QString &hint = {}) {
        action->setEnabled(reason.isEmpty());
        PaneParts::enableUnless(widgetForAction(action), reason, hint);
    };

    ModelBinding::observe(model, this,
                          {&M::machinesChanged, &M::selectedMachineIDChanged, &M::selectedProjectIDChanged,
                           &M::gatewayURLChanged, &M::projectDirectoryChanged, &M::connectionStateChanged},
                          [=] {
                              connectButton->setText(isConnected(model) ? u"Reconnect"_s : u"Connect"_s);
                              offer(connectAction, CommandAvailability::connect(*model));
                              offer(disconnect, CommandAvailability::disconnect(*model));
                              offer(reload, CommandAvailability::reloadFiles(*model));
                              offer(newSession, CommandAvailability::newSession(*model));
                              offer(refresh, CommandAvailability::refreshSessions(*model));
                          });
    ModelBinding::observe(model, this, {&M::workspaceTabChanged}, [=] {
        const bool files = model->workspaceTab() == ProjectWorkspaceTab::files;
        for (QAction *action : {reload, save})
            action->setVisible(files);
        for (QAction *action : {newSession, refresh, abort})
            action->setVisible(!files);
    });
    ModelBinding::observe(model, this,
                          {&M::currentDocumentChanged, &M::currentDocumentDraftChanged, &M::isSavingDocumentChanged},
                          [=] { offer(save, CommandAvailability::saveDocument(*model), saveHint); });
    ModelBinding::observe(model, this,
                          {&M::connectionStateChanged, &M::currentSessionIDChanged, &M::currentSessionStateChanged},
                          [=] { offer(abort, CommandAvailability::abortTurn(*model)); });
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
