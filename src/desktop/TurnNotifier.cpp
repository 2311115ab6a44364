#include "desktop/TurnNotifier.h"

#include "app/TesselDesktopPOCModel.h"
#include "desktop/DesktopNotifications.h"

#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

// Only the start of a long reply is looked at for its first line.
constexpr qsizetype scannedPrefix = 4096;

QString bounded(const QString &text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text;
    qsizetype cut = maxLength - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut).trimmed() + u'\u2026';
}

// The first line of `text` that is not blank, trimmed; empty when there is none.
QString firstLine(const QString &text)
{
    for (const QStringView line : QStringView(text).left(scannedPrefix).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return trimmed.toString();
    }
    return {};
}

} // namespace

TurnNotifier::TurnNotifier(TesselDesktopPOCModel &model, QSettings &settings, DesktopNotifications &notifications,
                           QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_settings(settings)
    , m_notifications(notifications)
{
    connect(&model, &M::currentSessionStateChanged, this, &TurnNotifier::handleSessionState);
    connect(model.transcript(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { handleInsertedItems(first, last); });
}

void TurnNotifier::handleSessionState()
{
    const SessionLifecycleState state = m_model.currentSessionState();
    if (state == SessionLifecycleState::running) {
        m_isTurnRunning = true;
        return;
    }
    // Any other state ends the turn; only idle is its regular end.
    if (std::exchange(m_isTurnRunning, false) && state == SessionLifecycleState::idle) {
        const QString reply = replyFirstLine();
        finishTurn(reply.isEmpty() ? u"Finished without a reply."_s : reply);
    }
}

void TurnNotifier::handleInsertedItems(int first, int last)
{
    if (!m_isTurnRunning)
        return;
    const auto &items = m_model.transcript()->items();
    for (int row = first; row <= last; ++row) {
        const DesktopTranscriptItem &item = items.at(row);
        if (item.role != DesktopTranscriptRole::error)
            continue;
        m_isTurnRunning = false;
        const QString message = firstLine(item.body);
        finishTurn(message.isEmpty() ? item.title : item.title + u": "_s + message);
        return;
    }
}

void TurnNotifier::finishTurn(const QString &body)
{
    if (m_isWindowActive || !m_settings.value(QString::fromLatin1(settingsKey), true).toBool())
        return;
    const SessionPlace place{m_model.selectedMachineID(), m_model.selectedProjectID(),
                             m_model.currentSessionID().value_or(QString())};
    m_notifications.notify(bounded(sessionTitle(), maxSummaryLength), bounded(body, maxBodyLength),
                           [this, place](const QString &token) { returnTo(place, token); });
}

QString TurnNotifier::sessionTitle() const
{
    QString name = firstLine(m_model.currentSessionName().value_or(QString()));
    if (name.isEmpty()) {
        const auto &sessions = m_model.sessions();
        const auto listed = std::find_if(sessions.cbegin(), sessions.cend(), [this](const auto &session) {
            return session.id == m_model.currentSessionID();
        });
        if (listed != sessions.cend())
            name = firstLine(listed->title);
    }
    if (!name.isEmpty())
        return name;
    const auto project = m_model.selectedProject();
    return displayName(m_model.backend()) + u" session"_s + (project ? u" in "_s + project->displayName() : QString());
}

QString TurnNotifier::replyFirstLine() const
{
    // The turn's reply is its last assistant item; the turn began with the person's message.
    const auto &items = m_model.transcript()->items();
    for (auto item = items.crbegin(); item != items.crend() && item->role != DesktopTranscriptRole::user; ++item) {
        if (item->role == DesktopTranscriptRole::assistant)
            return firstLine(item->body);
    }
    return {};
}

void TurnNotifier::returnTo(const SessionPlace &place, const QString &activationToken)
{
    Q_EMIT windowRequested(activationToken);
    m_model.setWorkspaceTab(ProjectWorkspaceTab::chat);
    // Another machine or project has been chosen since: its connection is not ended for this.
    if (place.sessionID.isEmpty() || m_model.selectedMachineID() != place.machineID ||
        m_model.selectedProjectID() != place.projectID || m_model.currentSessionID() == place.sessionID)
        return;
    m_model.setSelectedSessionID(place.sessionID);
    if (m_model.canOpenSelectedSession())
        m_model.openSelectedSession();
}

} // namespace tessel
