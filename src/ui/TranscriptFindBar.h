#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;

namespace tessel {

// The find bar floating over the transcript: the text to find, "N of M" or "No matches",
// and buttons for the previous and next match. Enter goes to the next match, Shift+Enter to
// the previous one, Escape closes the bar.
class TranscriptFindBar : public QFrame
{
    Q_OBJECT

public:
    explicit TranscriptFindBar(QWidget *parent = nullptr);

    QLineEdit *field() const { return m_field; }
    // Shows the place of the current match among `count`; `current` is -1 for none.
    void showCount(qsizetype current, qsizetype count);

Q_SIGNALS:
    void queryChanged(const QString &query);
    void nextRequested();
    void previousRequested();
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_field;
    QLabel *m_count;
};

} // namespace tessel
