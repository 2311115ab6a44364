#include "support/TestJson.h"

#include <QJsonDocument>
#include <QTest>

namespace tessel::test {

QJsonObject parseObject(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        QTest::qFail(qPrintable(QStringLiteral("not a JSON object: ") + QString::fromUtf8(json)), __FILE__, __LINE__);
    return document.object();
}

QStringList sortedKeys(const QByteArray &json)
{
    QStringList keys = parseObject(json).keys();
    keys.sort();
    return keys;
}

} // namespace tessel::test
