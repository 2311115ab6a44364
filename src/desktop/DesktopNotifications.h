#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class QDBusPendingCallWatcher;

namespace tessel {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications) on a D-Bus session bus. Every call is asynchronous; a bus
// or service that is missing, or answers with an error, is ignored without a word.
//
// Bodies are plain text: when the service renders markup in bodies, the text is escaped so
// that it shows as written. Whether it does is asked once (GetCapabilities); notifications
// wait for that answer, and an unanswered question is asked again with the next one.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    // `applicationName` is shown as the sender; `desktopEntry` names the .desktop file (and
    // icon) so that the service can group and decorate the notifications.
    DesktopNotifications(QDBusConnection bus, QString applicationName, QString desktopEntry, QObject *parent = nullptr);

    // Runs when a notification is clicked, with the token that lets the window take the
    // focus on desktops that hand one out (empty otherwise).
    using Activation = std::function<void(const QString &activationToken)>;

    // Shows one notification. `onActivated` runs (at most once) when the person clicks it,
    // for as long as this object lives and the notification is among the last few shown.
    void notify(const QString &summary, const QString &body, Activation onActivated);

private Q_SLOTS:
    // Bus signals of the service; they are broadcast, so ids of others are ignored.
    void handleActionInvoked(uint id, const QString &actionKey);
    void handleActivationToken(uint id, const QString &token);
    void handleNotificationClosed(uint id, uint reason);

private:
    struct Notification
    {
        QString summary;
        QString body;
        Activation onActivated;
    };
    struct Shown
    {
        Activation onActivated;
        QString activationToken;
    };

    void askCapabilities();
    void handleCapabilities(QDBusPendingCallWatcher *watcher);
    void send(const Notification &notification);
    void remember(uint id, Activation onActivated);
    void forget(uint id);

    QDBusConnection m_bus;
    QString m_applicationName;
    QString m_desktopEntry;
    // Unknown until the service has answered GetCapabilities.
    std::optional<bool> m_rendersBodyMarkup;
    bool m_isAskingCapabilities = false;
    QList<Notification> m_waiting;
    // Notifications that can still be clicked, by id; the oldest are forgotten first.
    QHash<uint, Shown> m_shown;
    QList<uint> m_shownOrder;
};

} // namespace tessel
