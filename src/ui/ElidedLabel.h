#pragma once

#include <QLabel>

namespace tessel {

// One line of plain text that loses its middle, not its end, when the room is too narrow
// (a long project directory keeps its last folder). The whole text is the tooltip and the
// accessible description.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    const QString &fullText() const { return m_fullText; }
    void setFullText(const QString &text);

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace tessel
