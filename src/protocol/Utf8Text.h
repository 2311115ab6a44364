#pragma once

#include <QByteArrayView>
#include <QString>

namespace tessel {

// UTF-8 bytes as text, every character kept: a leading byte-order mark stays U+FEFF, where
// QString::fromUtf8 would drop it and a file saved back would lose it.
QString utf8Text(QByteArrayView bytes);

} // namespace tessel
