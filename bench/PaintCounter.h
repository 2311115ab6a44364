#pragma once

#include <QPaintEvent>

namespace tessel::bench {

// Counts a widget's paints, leaving out those no larger than `ignoreUpTo` pixels each way
// (a blinking mark), so that waiting for a change's repaint is not satisfied by one of them.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    int ignoreUpTo = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const QRect rect = static_cast<QPaintEvent *>(event)->rect();
            paints += rect.width() > ignoreUpTo || rect.height() > ignoreUpTo;
        }
        return false;
    }
};

} // namespace tessel::bench
