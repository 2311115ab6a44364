#pragma once

#include <QDateTime>

#include <compare>

namespace simdjson::dom {
class element;
}

namespace tessel {

class JsonWriter;

// A point in time as the synced document stores it: seconds, with fraction, since
// 2001-01-01 00:00:00 UTC. The double itself is kept, so a date read from another
// installation's document is written back bit for bit and compares equal.
class ReferenceDate
{
public:
    constexpr ReferenceDate() = default;
    constexpr explicit ReferenceDate(double secondsSinceReferenceDate)
        : m_seconds(secondsSinceReferenceDate)
    { }

    static ReferenceDate now();
    // Millisecond precision, as QDateTime has.
    static ReferenceDate fromDateTime(const QDateTime &dateTime);
    QDateTime toDateTime() const;

    constexpr double secondsSinceReferenceDate() const { return m_seconds; }

    static ReferenceDate decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend constexpr auto operator<=>(const ReferenceDate &, const ReferenceDate &) = default;

private:
    double m_seconds = 0;
};

} // namespace tessel
