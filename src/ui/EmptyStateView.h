#pragma once

#include "ui/Icons.h"

#include <QWidget>

class QLabel;

namespace tessel {

// What a list or document area shows instead of content: a large grey symbol, a title and
// an optional description, centred.
class EmptyStateView : public QWidget
{
    Q_OBJECT

public:
    EmptyStateView(SfSymbol symbol, const QString &title, const QString &description = {}, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);

private:
    QLabel *m_title;
};

} // namespace tessel
