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

    auto *connectButton = addButton(u"Connect"_s, u"desktop-toolbar-connect-button"_s, [model] { model->connect(); });
    auto *disconnect = addButton(u"Disconnect"_s, u"desktop-toolbar-disconnect-button"_s, [model] {
        model->resetLiveSessionState(true, u"Disconnected."_s, true, u"Disconnected."_s);
    });
    addSeparator();
    QAction *reloadPlace = nullptr;
    QAction *savePlace = nullptr;
    QAction *newSessionPlace = nullptr;
    QAction *refreshPlace = nullptr;
    QAction *abortPlace = nullptr;
    auto *reload = addButton(
        u"Reload Files"_s, u"desktop-toolbar-reload-files-button"_s, [model] { model->loadCurrentDirectory(false); },
        &reloadPlace);
    auto *save = addButton(
        u"Save"_s, u"desktop-toolbar-save-file-button"_s, [model] { model->saveCurrentDocument(); }, &savePlace);
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(u"Save (%1)"_s.arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    auto *newSession = addButton(
        u"New Session"_s, u"desktop-toolbar-new-session-button"_s, [model] { model->createNewSession(); },
        &newSessionPlace);
    auto *refresh = addButton(
        u"Refresh Sessions"_s, u"desktop-toolbar-refresh-sessions-button"_s, [model] { model->refreshSessions(); },
        &refreshPlace);
    auto *abort = addButton(
        u"Abort Turn"_s, u"desktop-toolbar-abort-turn-button"_s, [model] { model->abortCurrentTurn(); }, &abortPlace);

    ModelBinding::observe(model, this, {&M::gatewayURLChanged, &M::projectDirectoryChanged, &M::connectionStateChanged},
                          [model, connectButton, disconnect] {
                              connectButton->setText(isConnected(model) ? u"Reconnect"_s : u"Connect"_s);
                              connectButton->setEnabled(model->canConnect());
                              disconnect->setEnabled(!model->connectionState().is(ConnectionState::Kind::disconnected));
                          });
    ModelBinding::observe(model, this, {&M::workspaceTabChanged}, [=] {
        const bool files = model->workspaceTab() == ProjectWorkspaceTab::files;
        for (QAction *place : {reloadPlace, savePlace})
            place->setVisible(files);
        for (QAction *place : {newSessionPlace, refreshPlace, abortPlace})
            place->setVisible(!files);
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

QToolButton *ContentToolbar::addButton(const QString &label, const QString &identifier,
                                       const std::function<void()> &action, QAction **placement)
{
    auto *button = new QToolButton(this);
    button->setText(label);
    button->setObjectName(identifier);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(button, &QToolButton::clicked, m_model, action);
    QAction *place = addWidget(button);
    if (placement)
        *placement = place;
    return button;
}

} // namespace tessel
