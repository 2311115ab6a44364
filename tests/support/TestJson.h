#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

namespace tessel::test {

// The object encoded in `json`; fails the calling test (empty object) when it is not one.
QJsonObject parseObject(const QByteArray &json);

// The keys of an encoded object, sorted, for exact key-set comparisons.
QStringList sortedKeys(const QByteArray &json);

} // namespace tessel::test
