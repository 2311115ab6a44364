#include "DemoEnvironmentFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

QString writeEnvironmentFile(const QString &home, const QString &token, quint16 port, QString *error)
{
    const QString directory = home + u"/.config/tessel-gateway"_s;
    if (!QDir().mkpath(directory)) {
        *error = u"cannot create "_s + directory;
        return {};
    }
    QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile file(directory + u"/gateway.env"_s);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return {};
    }
    // Owner-only before the token is in it.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(QByteArray(environmentFileMarker) + "\nTESSEL_AUTH_TOKEN=" + token.toUtf8() +
               "\nTESSEL_PORT=" + QByteArray::number(port) + '\n');
    if (!file.commit()) {
        *error = file.errorString();
        return {};
    }
    return file.fileName();
}

} // namespace tessel::demo
