#pragma once

#include <QWidget>

class QAbstractItemModel;
class QPushButton;

namespace tessel {

class TranscriptFindBar;
class TranscriptView;

// The transcript with the controls that float over it: the find bar at its top edge and, while
// the view does not follow the stream, "Jump to latest" at its bottom edge, with the number of
// items that arrived since.
class TranscriptArea : public QWidget
{
    Q_OBJECT

public:
    explicit TranscriptArea(QAbstractItemModel *model, QWidget *parent = nullptr);

    TranscriptView *view() const { return m_view; }
    // Ctrl+F opens the find bar, F3 and Shift+F3 go to the next and previous match, while the
    // focus is anywhere in `scope`.
    void addFindShortcuts(QWidget *scope);
    void openFind();
    void closeFind();
    void findNext();
    void findPrevious();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void find(const QString &query);
    void step(bool forward);
    void updateJumpButton();
    void placeOverlays();

    TranscriptView *m_view;
    TranscriptFindBar *m_findBar;
    QPushButton *m_jump;
};

} // namespace tessel
