#include "support/FakeSecretService.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

bool FakeSecretService::registerOn(QDBusConnection bus)
{
    return bus.isConnected() &&
        bus.registerObject(u"/org/freedesktop/secrets"_s, this, QDBusConnection::ExportAllSlots) &&
        bus.registerService(u"org.freedesktop.secrets"_s);
}

QDBusObjectPath FakeSecretService::ReadAlias(const QString &name)
{
    if (behaviour == Behaviour::neverAnswer)
        setDelayedReply(true); // and never send it
    if (behaviour == Behaviour::answerCollection && name == u"default"_s)
        return QDBusObjectPath(u"/org/freedesktop/secrets/collection/login"_s);
    return QDBusObjectPath(u"/"_s);
}

} // namespace tessel::test
