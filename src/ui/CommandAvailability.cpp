#include "ui/CommandAvailability.h"

#include "app/TesselDesktopPOCModel.h"
#include "connection/GatewayURL.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

bool isConnected(const M &model)
{
    return model.connectionState().is(ConnectionState::Kind::connected);
}

QString selectionReason(const M &model)
{
    return model.selectedMachine() && model.selectedProject() ? QString() : u"Select a machine and a project"_s;
}

QString directoryReason(const M &model)
{
    return model.projectDirectory().trimmed().isEmpty() ? u"Enter a project directory"_s : QString();
}

// The first reason that applies, or none.
QString firstOf(std::initializer_list<QString> reasons)
{
    for (const QString &reason : reasons) {
        if (!reason.isEmpty())
            return reason;
    }
    return {};
}

QString unless(bool condition, const QString &reason)
{
    return condition ? QString() : reason;
}

} // namespace

QString CommandAvailability::connect(const M &model)
{
    return firstOf({unless(parseGatewayURL(model.gatewayURL()).has_value(), u"Enter a valid websocket URL"_s),
                    directoryReason(model)});
}

QString CommandAvailability::disconnect(const M &model)
{
    return unless(!model.connectionState().is(ConnectionState::Kind::disconnected), u"Not connected"_s);
}

QString CommandAvailability::newSession(const M &model)
{
    // Without a live connection there is nobody to ask for the session.
    return firstOf({selectionReason(model), directoryReason(model),
                    unless(isConnected(model), u"Connect to start a new session"_s)});
}

QString CommandAvailability::refreshSessions(const M &model)
{
    return unless(isConnected(model), u"Connect to list the gateway's sessions"_s);
}

QString CommandAvailability::abortTurn(const M &model)
{
    return firstOf({unless(isConnected(model) && model.currentSessionID(), u"Connect to a session first"_s),
                    unless(model.canAbort(), u"No turn is running"_s)});
}

QString CommandAvailability::openSelectedSession(const M &model)
{
    return firstOf({unless(isConnected(model), u"Connect to open a session"_s),
                    unless(model.canOpenSelectedSession(), u"Select a session in the list"_s)});
}

QString CommandAvailability::send(const M &model)
{
    return firstOf({unless(isConnected(model) && model.currentSessionID(), u"Connect to a session first"_s),
                    unless(model.canSendMessage(), u"Type a message to send"_s)});
}

QString CommandAvailability::reloadFiles(const M &model)
{
    return selectionReason(model);
}

QString CommandAvailability::saveDocument(const M &model)
{
    const auto &document = model.currentDocument();
    return firstOf({unless(document.has_value(), u"Open a file first"_s),
                    unless(!model.isSavingDocument(), u"Saving…"_s),
                    unless(model.canSaveCurrentDocument(), u"No unsaved changes"_s)});
}

QString CommandAvailability::openParentDirectory(const M &model)
{
    return unless(!model.currentDirectoryPath().isEmpty(), u"Already at the project directory"_s);
}

QString CommandAvailability::deleteMachine(const M &model)
{
    return unless(model.machines().size() >= 2, u"The only machine cannot be deleted"_s);
}

QString CommandAvailability::deleteProject(const M &model)
{
    const auto machine = model.selectedMachine();
    return unless(machine && machine->projects.size() >= 2, u"The only project cannot be deleted"_s);
}

} // namespace tessel
