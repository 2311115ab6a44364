#pragma once

#include <QWidget>

class QLabel;

namespace tessel {

// A title beside a value, for the sidebar's status section: the title small and grey, the
// value in the body font and selectable, so that ids and messages can be copied. A value
// takes at most two lines, wrapped at spaces or, in a long id or URL, anywhere; a longer one
// ends in "…" and shows whole in the tooltip.
class StatusRow : public QWidget
{
    Q_OBJECT

public:
    explicit StatusRow(const QString &title, QWidget *parent = nullptr);

    QString title() const;
    QString value() const;
    void setValue(const QString &value);
    // The width the title needs; rows of one section share the widest, so values line up.
    int titleWidth() const;
    void setTitleWidth(int width);
    QLabel *valueLabel() const { return m_value; }

    static constexpr int maximumLines = 2;
    struct FittedText
    {
        QString text;
        bool elided = false;
    };
    // `text` in at most `lines` lines of `width` pixels, the last ending in "…" if cut.
    static FittedText fitLines(const QString &text, const QFont &font, int width, int lines);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showValue();

    QLabel *m_title;
    QLabel *m_value;
    QString m_fullValue;
};

} // namespace tessel
