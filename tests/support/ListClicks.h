#pragma once

#include <QListView>
#include <QTest>

namespace tessel::test {

// Clicks the row of `list` whose text is `text` once the list shows it; false when it does
// not within `timeoutMs`.
inline bool clickRow(QListView *list, const QString &text, int timeoutMs)
{
    QModelIndex row;
    const bool shown = QTest::qWaitFor(
        [&] {
            return list->isVisible() &&
                (row = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, text).value(0)).isValid();
        },
        timeoutMs);
    if (shown)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
    return shown;
}

} // namespace tessel::test
