#include "app/ModelText.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

QString formatTokenCount(qint64 count)
{
    QString text;
    if (count >= 1'000'000)
        text = QString::asprintf("%.1fm", double(count) / 1'000'000.0);
    else if (count >= 1'000)
        text = QString::asprintf("%.1fk", double(count) / 1'000.0);
    else
        return QString::number(count);
    return text.remove(u".0"_s);
}

std::optional<QString> contextUsageText(const std::optional<GatewaySessionContextUsage> &usage)
{
    if (!usage || usage->totalTokens <= 0)
        return std::nullopt;
    return formatTokenCount(usage->usedTokens) + u" / "_s + formatTokenCount(usage->totalTokens);
}

std::optional<QString> backendAvailabilityText(const QList<BackendDescriptor> &catalog, BackendKind backend)
{
    const auto entry = std::find_if(catalog.cbegin(), catalog.cend(),
                                    [backend](const BackendDescriptor &item) { return item.kind == backend; });
    if (entry == catalog.cend())
        return std::nullopt;
    if (entry->available)
        return entry->label + u" is available on this gateway."_s;
    if (entry->unavailableReason && !entry->unavailableReason->isEmpty())
        return entry->label + u" unavailable: "_s + *entry->unavailableReason;
    return entry->label + u" is unavailable on this gateway."_s;
}

} // namespace tessel
