#pragma once

#include "ui/Icons.h"

#include <QWidget>

class QLabel;

namespace tessel {

// What a list or document area shows instead of content: a large grey symbol, a title and
// an optional description, centred. Where the height is short, the symbol and then the
// description are left out (the description stays the tooltip), never cut.
class EmptyStateView : public QWidget
{
    Q_OBJECT

public:
    EmptyStateView(SfSymbol symbol, const QString &title, const QString &description = {}, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    QSize minimumSizeHint() const override;
    // Fits whatever height it gets (above), so it asks for none by its width.
    bool hasHeightForWidth() const override { return false; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_title;
    QLabel *m_description = nullptr;
};

} // namespace tessel
