#pragma once

#include "ui/TranscriptBubble.h"
#include "ui/TranscriptFind.h"
#include "ui/TranscriptRowLayout.h"

#include <QElapsedTimer>
#include <QListView>
#include <QTimer>

class QPainter;
class QTextEdit;

namespace tessel {

class TranscriptTextSelector;

// The chat transcript: a list view of bubbles over a TranscriptListModel, built for long
// sessions and fast streams.
//
// QListView lays every row out again on each insertion and cannot lay out one row alone, so
// this view keeps QListView's item-view behaviour (selection model, keyboard, accessibility)
// but places rows itself with a TranscriptRowLayout: rows start with estimated heights and
// are measured by the delegate when they come into sight, each height is kept until its row
// changes or the width does, and model changes are applied at most once per display frame.
//
// While it shows the bottom the view follows the stream: new rows and rows growing keep it at
// the bottom. Once the user scrolls away nothing moves it, and it counts the rows that arrive
// until it is back; a message of the user's own, a new transcript or jumpToLatest() bring it
// back. With a find open, the matches are highlighted in the bubbles. Double-clicking a bubble (or "Select Text" in its context menu)
// opens a read-only editor over its text for selecting; "Copy" copies a bubble's text.
// Links in rendered replies open in the desktop's browser when clicked; a fenced code block
// offers "Copy Code" in its context menu.
class TranscriptView : public QListView
{
    Q_OBJECT

public:
    static constexpr int margin = 20;
    static constexpr int rowSpacing = 14;
    // Turns the rendering of assistant replies as Markdown off when false (on when absent).
    static constexpr auto renderMarkdownSettingsKey = "desktop/renderMarkdown";

    explicit TranscriptView(QWidget *parent = nullptr);
    ~TranscriptView() override;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void doItemsLayout() override;

    void setModel(QAbstractItemModel *model) override;

    bool isAtBottom() const;
    // The row at the top of the viewport, or -1.
    int topRow() const;
    bool isFollowing() const { return m_following; }
    // Rows that arrived since the view stopped following.
    int unseenCount() const { return m_unseen; }
    void jumpToLatest();

    TranscriptFind &finder() { return m_find; }
    // Highlights the finder's matches, or none.
    void setShowsMatches(bool shows);
    // Scrolls the current match into view, unless it already shows.
    void revealCurrentMatch();

    // The editor opened over a bubble for selecting its text, or null.
    QTextEdit *textSelector() const;
    void openTextSelection(const QModelIndex &index);
    void closeTextSelection();
    void copyText(const QModelIndex &index) const;
    // A read-only window with the item's whole text, however long.
    void openWholeText(const QModelIndex &index);
    void setRenderMarkdown(bool on);

Q_SIGNALS:
    // isFollowing() or unseenCount() changed.
    void followingChanged();

protected Q_SLOTS:
    void reset() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // What stays put on screen while heights change: the bottom of the content, or a row
    // at a distance from the viewport's top.
    struct ScrollAnchor
    {
        bool bottom = false;
        int row = -1;
        qint64 delta = 0;
    };

    void rebuildLayout();
    std::vector<int> estimates(int first, int last) const;
    void scheduleFrame();
    void runFrame();
    ScrollAnchor currentAnchor() const;
    void settle(const ScrollAnchor &anchor);
    int frameInterval() const;
    void markDirty(int row);
    bool measureRowsBetween(qint64 top, qint64 bottom);
    void applyScrollRange(int value);
    int rowWidth() const;
    QStyleOptionViewItem rowOption(int row) const;
    qint64 contentHeight() const;
    int maximumOffset() const;
    void placeTextSelector();
    void updateMarkTimer();
    void turnStreamingMarks();
    QRect bubbleBodyRect(const QModelIndex &index) const;
    TranscriptBubble::Hit bubbleHit(QPoint point) const;
    template<typename Use>
    auto withBubble(const QModelIndex &index, Use &&use) const;
    void paintMatches(QPainter &painter, int row, const QRect &rowRect) const;
    void setFollowing(bool following);

    TranscriptRowLayout m_layout{rowSpacing};
    int m_layoutWidth = -1;
    bool m_following = true;
    int m_unseen = 0;
    TranscriptFind m_find;
    bool m_showsMatches = false;
    // The topmost row changed since the last frame, or -1.
    int m_firstDirtyRow = -1;
    bool m_settingScroll = false;
    QTimer m_frameTimer;
    QElapsedTimer m_sinceFrame;
    static constexpr int markInterval = 100;
    QTimer m_markTimer;
    qreal m_markTurn = 0;
    bool m_marksDue = false;
    // Where the marks of visible streaming rows were last painted.
    QRegion m_streamingMarks;
    TranscriptTextSelector *m_selector;
};

} // namespace tessel
