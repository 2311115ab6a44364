#include "sync/ReferenceDate.h"

#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <cmath>

namespace tessel {

namespace {

// 2001-01-01T00:00:00Z in milliseconds since the Unix epoch.
constexpr qint64 referenceDateMSecsSinceEpoch = 978307200000;

} // namespace

ReferenceDate ReferenceDate::now()
{
    return fromDateTime(QDateTime::currentDateTimeUtc());
}

ReferenceDate ReferenceDate::fromDateTime(const QDateTime &dateTime)
{
    return ReferenceDate(double(dateTime.toMSecsSinceEpoch() - referenceDateMSecsSinceEpoch) / 1000.0);
}

QDateTime ReferenceDate::toDateTime() const
{
    const auto msecs = qint64(std::llround(m_seconds * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs + referenceDateMSecsSinceEpoch, Qt::UTC);
}

ReferenceDate ReferenceDate::decode(const simdjson::dom::element &value)
{
    const double seconds = json::asDouble(value);
    if (!std::isfinite(seconds))
        throw json::JsonDecodeError("expected a finite date");
    return ReferenceDate(seconds);
}

void ReferenceDate::encode(JsonWriter &writer) const
{
    writer.value(m_seconds);
}

} // namespace tessel
