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

std::optional<QString> ProcessInfo::optionValue(const QString &name) const
{
    const QString joined = name + u'=';
    for (qsizetype position = 1; position < arguments.size(); ++position) {
        const QString &argument = arguments.at(position);
        if (argument.startsWith(joined))
            return argument.mid(joined.size());
        if (argument == name)
            return position + 1 < arguments.size() ? std::optional(arguments.at(position + 1)) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> ProcessInfo::nonEmptyVariable(const QString &name) const
{
    const QString value = environment.value(name);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

} // namespace tessel
