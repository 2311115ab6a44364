#pragma once

#include <QProcessEnvironment>
#include <QStringList>

namespace tessel {

// What the model reads of its process and computer. Tests build one by hand so that nothing
// depends on the real environment, home directory or host.
struct ProcessInfo
{
    QStringList arguments;
    QProcessEnvironment environment;
    QString homeDirectory;
    // This computer's names (host name, machine host name), without duplicates.
    QStringList hostNames;

    static ProcessInfo current();

    // The value of the first occurrence of the option `name` ("--name"): the argument after
    // it, or the text after '=' when written "--name=value"; none when it ends the arguments.
    std::optional<QString> optionValue(const QString &name) const;
    // The environment variable when it is set to a non-empty value.
    std::optional<QString> nonEmptyVariable(const QString &name) const;
};

} // namespace tessel
