#include "app/DesktopTranscriptItem.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

static_assert(static_cast<int>(GatewayTranscriptRole::error) == static_cast<int>(DesktopTranscriptRole::error));

DesktopTranscriptItem DesktopTranscriptItem::system(const QString &body)
{
    DesktopTranscriptItem item;
    item.role = DesktopTranscriptRole::system;
    item.title = u"System"_s;
    item.body = body;
    return item;
}

DesktopTranscriptItem DesktopTranscriptItem::error(const QString &title, const QString &body)
{
    DesktopTranscriptItem item;
    item.role = DesktopTranscriptRole::error;
    item.title = title;
    item.body = body;
    return item;
}

DesktopTranscriptItem DesktopTranscriptItem::fromGateway(const GatewayTranscriptItemEnvelope &entry)
{
    DesktopTranscriptItem item;
    item.role = desktopRole(entry.role);
    item.title = entry.title;
    item.body = entry.body;
    item.isStreaming = entry.isStreaming.value_or(false);
    item.sourceItemID = entry.itemId;
    return item;
}

} // namespace tessel
