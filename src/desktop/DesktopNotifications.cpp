#include "desktop/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

const QString service = u"org.freedesktop.Notifications"_s;
const QString path = u"/org/freedesktop/Notifications"_s;
const QString interface = u"org.freedesktop.Notifications"_s;
// A service that takes longer is as good as absent; nothing waits for it meanwhile.
constexpr int callTimeoutMs = 5000;
// Notifications that wait for the capabilities, and clicks that are still honoured.
constexpr qsizetype maxWaiting = 16;
constexpr qsizetype maxRemembered = 32;

QDBusMessage methodCall(const QString &method)
{
    return QDBusMessage::createMethodCall(service, path, interface, method);
}

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QString applicationName, QString desktopEntry,
                                           QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_applicationName(std::move(applicationName))
    , m_desktopEntry(std::move(desktopEntry))
{
    if (!m_bus.isConnected())
        return;
    // QtDBus connects bus signals by slot signature only.
    m_bus.connect(service, path, interface, u"ActionInvoked"_s, this, SLOT(handleActionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, u"ActivationToken"_s, this, SLOT(handleActivationToken(uint, QString)));
    m_bus.connect(service, path, interface, u"NotificationClosed"_s, this, SLOT(handleNotificationClosed(uint, uint)));
}

void DesktopNotifications::notify(const QString &summary, const QString &body, Activation onActivated)
{
    if (!m_bus.isConnected())
        return;
    Notification notification{summary, body, std::move(onActivated)};
    if (m_rendersBodyMarkup) {
        send(notification);
        return;
    }
    if (m_waiting.size() == maxWaiting)
        m_waiting.removeFirst();
    m_waiting.append(std::move(notification));
    askCapabilities();
}

void DesktopNotifications::askCapabilities()
{
    if (m_isAskingCapabilities)
        return;
    m_isAskingCapabilities = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(methodCall(u"GetCapabilities"_s), callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifications::handleCapabilities);
}

void DesktopNotifications::handleCapabilities(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    m_isAskingCapabilities = false;
    const QDBusPendingReply<QStringList> reply = *watcher;
    if (reply.isValid())
        m_rendersBodyMarkup = reply.value().contains(u"body-markup"_s);
    // Without an answer the notifications still go out, escaped as most services need.
    const QList<Notification> waiting = std::exchange(m_waiting, {});
    for (const Notification &notification : waiting)
        send(notification);
}

void DesktopNotifications::send(const Notification &notification)
{
    QDBusMessage call = methodCall(u"Notify"_s);
    const QString body = m_rendersBodyMarkup.value_or(true) ? notification.body.toHtmlEscaped() : notification.body;
    call << m_applicationName << uint(0) << m_desktopEntry << notification.summary << body
         << QStringList{u"default"_s, u"Show"_s} << QVariantMap{{u"desktop-entry"_s, m_desktopEntry}} << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onActivated = notification.onActivated](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isValid())
                    remember(reply.value(), onActivated);
            });
}

void DesktopNotifications::remember(uint id, Activation onActivated)
{
    if (!onActivated)
        return;
    forget(id);
    m_shown.insert(id, {std::move(onActivated), {}});
    m_shownOrder.append(id);
    if (m_shownOrder.size() > maxRemembered)
        forget(m_shownOrder.first());
}

void DesktopNotifications::forget(uint id)
{
    m_shown.remove(id);
    m_shownOrder.removeOne(id);
}

void DesktopNotifications::handleActivationToken(uint id, const QString &token)
{
    // Sent just before the click itself.
    if (const auto shown = m_shown.find(id); shown != m_shown.end())
        shown->activationToken = token;
}

void DesktopNotifications::handleActionInvoked(uint id, const QString &actionKey)
{
    Q_UNUSED(actionKey) // "default", the only action offered: the notification was clicked
    const Shown shown = m_shown.value(id);
    forget(id);
    if (shown.onActivated)
        shown.onActivated(shown.activationToken);
}

void DesktopNotifications::handleNotificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason)
    forget(id);
}

} // namespace tessel
