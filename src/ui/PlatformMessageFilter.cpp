#include "ui/PlatformMessageFilter.h"

#include <QString>
#include <QtGlobal>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QtMessageHandler g_previousHandler = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message == "This plugin does not support propagateSizeHints()"_L1)
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

void installPlatformMessageFilter()
{
    if (g_previousHandler)
        return;
    g_previousHandler = qInstallMessageHandler(filterMessage);
}

} // namespace tessel
