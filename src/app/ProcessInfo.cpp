#include "app/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostInfo>
#include <QSysInfo>

namespace tessel {

ProcessInfo ProcessInfo::current()
{
    ProcessInfo info;
    info.arguments = QCoreApplication::arguments();
    info.environment = QProcessEnvironment::systemEnvironment();
    info.homeDirectory = QDir::homePath();
    for (const QString &name : {QHostInfo::localHostName(), QSysInfo::machineHostName()}) {
        if (!name.isEmpty() && !info.hostNames.contains(name))
            info.hostNames.append(name);
    }
    return info;
}

std::optional<QString> ProcessInfo::argumentAfter(const QString &name) const
{
    const qsizetype position = arguments.indexOf(name);
    if (position < 0 || position + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(position + 1);
}

std::optional<QString> ProcessInfo::nonEmptyVariable(const QString &name) const
{
    const QString value = environment.value(name);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

} // namespace tessel
