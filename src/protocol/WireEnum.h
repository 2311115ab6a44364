#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tessel {

// Wire strings of a string-valued enumeration, indexed by the enumerator's value.
// Specialise with `static constexpr std::array<std::string_view, N> names` listing every case
// in declaration order; the enumerators must be 0..N-1 in that order.
template<typename E>
struct WireNames;

template<typename E>
constexpr std::string_view enumWireName(E value)
{
    return WireNames<E>::names[static_cast<std::size_t>(value)];
}

template<typename E>
QLatin1StringView enumToWire(E value)
{
    const std::string_view name = enumWireName(value);
    return QLatin1StringView(name.data(), qsizetype(name.size()));
}

// Exact, case-sensitive match; an unknown string gives no value.
template<typename E>
constexpr std::optional<E> enumFromWire(std::string_view text)
{
    const auto &names = WireNames<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text)
            return static_cast<E>(i);
    }
    return std::nullopt;
}

template<typename E>
std::optional<E> enumFromWire(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return enumFromWire<E>(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

template<typename E>
constexpr auto allEnumCases()
{
    std::array<E, WireNames<E>::names.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = static_cast<E>(i);
    return cases;
}

} // namespace tessel
