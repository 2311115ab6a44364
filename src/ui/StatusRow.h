#pragma once

#include <QWidget>

class QLabel;

namespace tessel {

// A title over a value, for the sidebar's status section: the title small and grey, the
// value in the body font and selectable, so that ids and messages can be copied.
class StatusRow : public QWidget
{
    Q_OBJECT

public:
    explicit StatusRow(const QString &title, QWidget *parent = nullptr);

    QString title() const;
    QString value() const;
    void setValue(const QString &value);
    QLabel *valueLabel() const { return m_value; }

private:
    QLabel *m_title;
    QLabel *m_value;
};

} // namespace tessel
