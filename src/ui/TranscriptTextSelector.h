#pragma once

#include <QObject>
#include <QPersistentModelIndex>

class QTextEdit;
class QWidget;

namespace tessel {

// The read-only editor a transcript view opens over one bubble's text, so that part of it
// can be selected and copied; the view paints every other bubble itself. Escape or moving
// the focus elsewhere closes it; so does the row going away.
class TranscriptTextSelector : public QObject
{
    Q_OBJECT

public:
    // Longest text it takes: the editor lays out all of its text at once.
    static constexpr qsizetype maximumLength = 32'768;

    explicit TranscriptTextSelector(QWidget *viewport);
    ~TranscriptTextSelector() override;

    // Null while closed.
    QTextEdit *editor() const { return m_editor; }
    const QPersistentModelIndex &index() const { return m_index; }
    bool isOn(int firstRow, int lastRow) const;

    void open(const QModelIndex &index, const QFont &bodyFont, Qt::Alignment alignment);
    void close();
    // The row changed; refresh() takes the new text.
    void markChanged() { m_stale = m_editor != nullptr; }
    void refresh();
    // Over the bubble's body, taller when the editor's own wrapping needs more room.
    void place(const QRect &body);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_viewport;
    QTextEdit *m_editor = nullptr;
    QPersistentModelIndex m_index;
    QString m_text;
    bool m_stale = false;
};

} // namespace tessel
