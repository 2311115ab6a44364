#pragma once

#include <QObject>
#include <QUuid>

#include <optional>

class QSettings;

namespace tessel {

class DesktopNotifications;
class TesselDesktopPOCModel;

// Tells the person, while the window is not active, that the agent has finished: one
// desktop notification per turn, when the open session goes from running to idle or an
// error item arrives while it runs. The notification carries the session's name and the
// first line of the reply; clicking it asks for the window and returns to that session.
class TurnNotifier : public QObject
{
    Q_OBJECT

public:
    // Turns the notifications off when false (on when absent), read at each turn's end.
    static constexpr auto settingsKey = "desktop/notifyWhenTurnEnds";
    // Longest summary and body, in characters; longer text ends with an ellipsis.
    static constexpr qsizetype maxSummaryLength = 80;
    static constexpr qsizetype maxBodyLength = 200;

    TurnNotifier(TesselDesktopPOCModel &model, QSettings &settings, DesktopNotifications &notifications,
                 QObject *parent = nullptr);

    // Whether the window is active; nothing is shown while it is.
    void setWindowActive(bool active) { m_isWindowActive = active; }

Q_SIGNALS:
    // A notification was clicked: the window should be raised and activated, with
    // `activationToken` when the desktop gave one.
    void windowRequested(const QString &activationToken);

private:
    // Where a notification leads back to.
    struct SessionPlace
    {
        std::optional<QUuid> machineID;
        std::optional<QUuid> projectID;
        QString sessionID;
    };

    void handleSessionState();
    void handleInsertedItems(int first, int last);
    void finishTurn(const QString &body);
    QString sessionTitle() const;
    QString replyFirstLine() const;
    void returnTo(const SessionPlace &place, const QString &activationToken);

    TesselDesktopPOCModel &m_model;
    QSettings &m_settings;
    DesktopNotifications &m_notifications;
    bool m_isWindowActive = false;
    bool m_isTurnRunning = false;
};

} // namespace tessel
