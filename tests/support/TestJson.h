#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTest>

namespace tessel::test {

// The object encoded in `json`; fails the calling test (empty object) when it is not one.
inline QJsonObject parseObject(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        QTest::qFail(qPrintable(QStringLiteral("not a JSON object: ") + QString::fromUtf8(json)), __FILE__, __LINE__);
    return document.object();
}

// The keys of an encoded object, sorted, for exact key-set comparisons.
inline QStringList sortedKeys(const QByteArray &json)
{
    return parseObject(json).keys(); // QJsonObject keeps its keys sorted
}

} // namespace tessel::test
