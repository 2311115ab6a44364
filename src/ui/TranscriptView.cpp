#include "ui/TranscriptView.h"

#include "app/TranscriptListModel.h"
#include "ui/DocumentEditor.h"
#include "ui/MarkdownPreview.h"
#include "ui/TranscriptBubble.h"
#include "ui/TranscriptBubbleDelegate.h"
#include "ui/TranscriptTextSelector.h"
#include "ui/UiStyle.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

TranscriptView::TranscriptView(QWidget *parent)
    : QListView(parent)
    , m_selector(new TranscriptTextSelector(viewport()))
{
    auto *delegate = new TranscriptBubbleDelegate(this);
    setItemDelegate(delegate);
    // A row laid out in part is measured again by the next frame, until it is complete.
    connect(delegate, &TranscriptBubbleDelegate::layoutPending, this, [this](const QModelIndex &index) {
        if (index.parent() == rootIndex() && index.row() < m_layout.count()) {
            m_layout.invalidate(index.row());
            markDirty(index.row());
        }
    });
    setMouseTracking(true);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(NoSelection);
    setEditTriggers(NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(24);
    setAccessibleName(u"Transcript"_s);
    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, &TranscriptView::runFrame);
    m_markTimer.setInterval(markInterval);
    connect(&m_markTimer, &QTimer::timeout, this, &TranscriptView::turnStreamingMarks);
    // Matches change with the text; their highlights are repainted with the next frame.
    connect(&m_find, &TranscriptFind::changed, this, [this] {
        if (m_showsMatches)
            markDirty(0);
    });
    m_sinceFrame.start();
}

TranscriptView::~TranscriptView() = default;

// ---- Model changes: recorded at once, applied by the next frame.

void TranscriptView::setModel(QAbstractItemModel *model)
{
    QListView::setModel(model);
    m_find.setModel(model);
}

// A new transcript (another session, a reconnect) opens at its latest item.
void TranscriptView::reset()
{
    closeTextSelection();
    QAbstractItemView::reset();
    rebuildLayout();
    setFollowing(true);
    markDirty(0);
}

void TranscriptView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    if (parent == rootIndex()) {
        m_layout.insertRows(start, estimates(start, end));
        // The user's own message brings the latest items back into view.
        bool users = false;
        for (int row = start; row <= end && !users; ++row)
            users = model()->index(row, 0, rootIndex()).data(TranscriptListModel::TranscriptRoleRole).toInt() ==
                    int(DesktopTranscriptRole::user);
        if (users) {
            setFollowing(true);
        } else if (!m_following) {
            m_unseen += end - start + 1;
            Q_EMIT followingChanged();
        }
        markDirty(start);
    }
    QAbstractItemView::rowsInserted(parent, start, end);
}

void TranscriptView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    if (parent == rootIndex()) {
        if (m_selector->isOn(start, end))
            closeTextSelection();
        m_layout.removeRows(start, end - start + 1);
        markDirty(start);
    }
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
}

// Deliberately not QAbstractItemView's: it repaints at once, for every change.
void TranscriptView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &)
{
    if (!topLeft.isValid() || topLeft.parent() != rootIndex())
        return;
    for (int row = topLeft.row(); row <= bottomRight.row() && row < m_layout.count(); ++row)
        m_layout.invalidate(row);
    if (m_selector->isOn(topLeft.row(), bottomRight.row()))
        m_selector->markChanged();
    markDirty(topLeft.row());
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(topLeft.row());
        event.setLastRow(bottomRight.row());
        QAccessible::updateAccessibility(&event);
    }
}

void TranscriptView::markDirty(int row)
{
    m_firstDirtyRow = m_firstDirtyRow < 0 ? row : std::min(m_firstDirtyRow, row);
    scheduleFrame();
}

// A burst of changes costs one frame: the first change after a quiet spell is applied on the
// next turn of the event loop, later ones wait until a display frame has passed.
void TranscriptView::scheduleFrame()
{
    if (m_frameTimer.isActive())
        return;
    m_frameTimer.start(int(std::max<qint64>(0, frameInterval() - m_sinceFrame.elapsed())));
}

int TranscriptView::frameInterval() const
{
    const qreal rate = screen() ? screen()->refreshRate() : 60;
    return std::clamp(qRound(1000 / std::max<qreal>(rate, 1)), 4, 50);
}

void TranscriptView::runFrame()
{
    m_frameTimer.stop();
    m_sinceFrame.restart();
    const int before = verticalOffset();
    const int firstDirty = std::exchange(m_firstDirtyRow, -1);
    ScrollAnchor anchor = currentAnchor();
    anchor.bottom = m_following;
    settle(anchor);
    m_selector->refresh();
    placeTextSelector();
    if (std::exchange(m_marksDue, false))
        viewport()->update(m_streamingMarks);
    if (verticalOffset() != before || firstDirty >= m_layout.count()) {
        viewport()->update();
        return;
    }
    if (firstDirty < 0)
        return;
    // Rows above the first changed one did not move.
    const int top = std::max(0, visualRect(model()->index(firstDirty, 0, rootIndex())).top());
    if (top < viewport()->height())
        viewport()->update(QRect(0, top, viewport()->width(), viewport()->height() - top));
}

// ---- Layout.

void TranscriptView::rebuildLayout()
{
    m_layoutWidth = rowWidth();
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    m_layout.reset(count > 0 ? estimates(0, count - 1) : std::vector<int>());
}

std::vector<int> TranscriptView::estimates(int first, int last) const
{
    const TranscriptBubble::HeightEstimate estimate(font(), rowWidth());
    std::vector<int> heights;
    heights.reserve(size_t(last - first + 1));
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        const auto role =
            static_cast<DesktopTranscriptRole>(index.data(TranscriptListModel::TranscriptRoleRole).toInt());
        heights.push_back(estimate.height(role, index.data(TranscriptListModel::BodyRole).toString().size()));
    }
    return heights;
}

TranscriptView::ScrollAnchor TranscriptView::currentAnchor() const
{
    ScrollAnchor anchor;
    anchor.row = topRow();
    if (anchor.row >= 0)
        anchor.delta = verticalOffset() - (margin + m_layout.top(anchor.row));
    return anchor;
}

// Measures the rows that come into sight and keeps the anchor in place, until no visible
// row is left unmeasured (a few passes: each measures at least one more row).
void TranscriptView::settle(const ScrollAnchor &anchor)
{
    qint64 offset = verticalOffset();
    for (int pass = 0; pass < 16; ++pass) {
        if (anchor.bottom)
            offset = maximumOffset();
        else if (anchor.row >= 0 && anchor.row < m_layout.count())
            offset = std::clamp<qint64>(margin + m_layout.top(anchor.row) + anchor.delta, 0, maximumOffset());
        else
            offset = std::min<qint64>(offset, maximumOffset());
        if (!measureRowsBetween(offset, offset + viewport()->height()))
            break;
    }
    applyScrollRange(int(std::min<qint64>(offset, maximumOffset())));
}

// Returns whether a height changed.
bool TranscriptView::measureRowsBetween(qint64 top, qint64 bottom)
{
    // A hidden view has no final width yet; it measures when shown.
    if (!isVisible())
        return false;
    bool changed = false;
    for (int row = m_layout.rowAt(top - margin); row >= 0 && row < m_layout.count(); ++row) {
        if (margin + m_layout.top(row) >= bottom)
            break;
        if (m_layout.isMeasured(row))
            continue;
        const QModelIndex index = model()->index(row, 0, rootIndex());
        changed |= m_layout.setMeasuredHeight(row, itemDelegate()->sizeHint(rowOption(row), index).height());
    }
    return changed;
}

void TranscriptView::applyScrollRange(int value)
{
    const QScopedValueRollback guard(m_settingScroll, true);
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(0, maximumOffset());
    verticalScrollBar()->setValue(value);
}

int TranscriptView::rowWidth() const
{
    return std::max(1, viewport()->width() - 2 * margin);
}

QStyleOptionViewItem TranscriptView::rowOption(int row) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(margin, 0, rowWidth(), m_layout.height(row));
    return option;
}

qint64 TranscriptView::contentHeight() const
{
    return m_layout.count() > 0 ? m_layout.totalHeight() + 2 * margin : 0;
}

int TranscriptView::maximumOffset() const
{
    return int(std::clamp<qint64>(contentHeight() - viewport()->height(), 0, INT_MAX));
}

int TranscriptView::topRow() const
{
    return m_layout.rowAt(verticalOffset() - margin);
}

bool TranscriptView::isAtBottom() const
{
    return verticalOffset() >= maximumOffset();
}

void TranscriptView::doItemsLayout()
{
    if (model() && m_layout.count() != model()->rowCount(rootIndex()))
        rebuildLayout();
    QAbstractItemView::doItemsLayout();
}

void TranscriptView::updateGeometries()
{
    QAbstractItemView::updateGeometries();
    ScrollAnchor anchor = currentAnchor();
    anchor.bottom = m_following;
    if (rowWidth() != m_layoutWidth) {
        // Every height depends on the width: back to estimates, then measure what shows.
        rebuildLayout();
        anchor.delta = 0;
    }
    settle(anchor);
    placeTextSelector();
}

void TranscriptView::resizeEvent(QResizeEvent *event)
{
    // Not QListView's, which schedules a relayout of every row.
    QAbstractItemView::resizeEvent(event);
}

// ---- Geometry of rows, for painting, hit tests, keyboard and accessibility.

int TranscriptView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

QRect TranscriptView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || index.row() >= m_layout.count())
        return {};
    const qint64 top = margin + m_layout.top(index.row()) - verticalOffset();
    return QRect(margin, int(std::clamp<qint64>(top, INT_MIN / 2, INT_MAX / 2)), rowWidth(),
                 m_layout.height(index.row()));
}

QModelIndex TranscriptView::indexAt(const QPoint &point) const
{
    const int row = m_layout.rowAt(point.y() + verticalOffset() - margin);
    if (row < 0 || !model())
        return {};
    const QModelIndex index = model()->index(row, 0, rootIndex());
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void TranscriptView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.row() >= m_layout.count())
        return;
    const int row = index.row();
    measureRowsBetween(margin + m_layout.top(row), margin + m_layout.top(row) + 1);
    const qint64 top = margin + m_layout.top(row);
    const qint64 bottom = top + m_layout.height(row);
    const int height = viewport()->height();
    qint64 offset = verticalOffset();
    switch (hint) {
    case PositionAtTop: offset = top - margin; break;
    case PositionAtBottom: offset = bottom + margin - height; break;
    case PositionAtCenter: offset = (top + bottom - height) / 2; break;
    case EnsureVisible:
        if (top < offset)
            offset = top - margin;
        else if (bottom > offset + height)
            offset = bottom + margin - height;
        break;
    }
    settle(ScrollAnchor{false, row, offset - top});
    setFollowing(isAtBottom());
    viewport()->update();
}

void TranscriptView::jumpToLatest()
{
    setFollowing(true);
    settle(ScrollAnchor{true});
    viewport()->update();
}

void TranscriptView::setFollowing(bool following)
{
    const int unseen = following ? 0 : m_unseen;
    if (following == m_following && unseen == m_unseen)
        return;
    m_following = following;
    m_unseen = unseen;
    Q_EMIT followingChanged();
}

QModelIndex TranscriptView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int count = m_layout.count();
    if (count == 0)
        return {};
    const int current = currentIndex().isValid() ? currentIndex().row() : m_layout.rowAt(verticalOffset());
    const int page = viewport()->height();
    int row = current;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious: row = current - 1; break;
    case MoveDown:
    case MoveNext: row = current + 1; break;
    case MoveHome: row = 0; break;
    case MoveEnd: row = count - 1; break;
    case MovePageUp: row = m_layout.rowAt(m_layout.top(current) - page); break;
    case MovePageDown: row = m_layout.rowAt(m_layout.top(current) + page); break;
    case MoveLeft:
    case MoveRight: break;
    }
    return model()->index(std::clamp(row, 0, count - 1), 0, rootIndex());
}

void TranscriptView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const int first = m_layout.rowAt(rect.top() + verticalOffset() - margin);
    const int last = m_layout.rowAt(rect.bottom() + verticalOffset() - margin);
    if (first < 0 || !selectionModel())
        return;
    selectionModel()->select(
        QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex())), command);
}

QRegion TranscriptView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int firstVisible = m_layout.rowAt(verticalOffset() - margin);
    const int lastVisible = m_layout.rowAt(verticalOffset() + viewport()->height());
    for (const QItemSelectionRange &range : selection) {
        for (int row = std::max(range.top(), firstVisible); row <= std::min(range.bottom(), lastVisible); ++row)
            region += visualRect(model()->index(row, 0, rootIndex()));
    }
    return region;
}

// ---- Painting and scrolling.

void TranscriptView::paintEvent(QPaintEvent *event)
{
    const QRect area = event->rect();
    // Marks outside the repainted area stay where they were.
    m_streamingMarks -= area;
    if (!model() || m_layout.count() == 0) {
        updateMarkTimer();
        return;
    }
    QPainter painter(viewport());
    // Bubbles draw only the lines inside the clip.
    painter.setClipRect(area);
    bool measured = false;
    for (int row = m_layout.rowAt(verticalOffset() + area.top() - margin); row >= 0 && row < m_layout.count(); ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        if (!m_layout.isMeasured(row)) {
            // Only before the first frame settles; that frame fixes the scroll range.
            m_layout.setMeasuredHeight(row, itemDelegate()->sizeHint(rowOption(row), index).height());
            measured = true;
        }
        QStyleOptionViewItem option = rowOption(row);
        option.rect = visualRect(index);
        if (option.rect.top() > area.bottom())
            break;
        itemDelegate()->paint(&painter, option, index);
        paintMatches(painter, row, option.rect);
        if (index.data(TranscriptListModel::IsStreamingRole).toBool())
            m_streamingMarks += TranscriptBubble::indicatorRect(option.rect);
    }
    if (measured)
        scheduleFrame();
    updateMarkTimer();
}

// While a visible row streams its mark turns. The turn is painted by the next frame, so the
// marks never add repaints beyond one per display frame.
void TranscriptView::updateMarkTimer()
{
    if (m_streamingMarks.isEmpty())
        m_markTimer.stop();
    else if (!m_markTimer.isActive())
        m_markTimer.start();
}

void TranscriptView::turnStreamingMarks()
{
    m_markTurn = std::fmod(m_markTurn + 0.125, 1.0);
    if (auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(itemDelegate()))
        delegate->setIndicatorTurn(m_markTurn);
    m_marksDue = true;
    scheduleFrame();
}

void TranscriptView::scrollContentsBy(int, int)
{
    // Rows scrolled into sight may still carry estimates: measure them, keeping the row at
    // the top of the viewport where the user put it.
    if (!m_settingScroll) {
        settle(currentAnchor());
        setFollowing(isAtBottom());
    }
    placeTextSelector();
    viewport()->update();
}

// ---- Text selection and copying.

void TranscriptView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        QListView::mouseDoubleClickEvent(event);
        return;
    }
    openTextSelection(index);
}

void TranscriptView::mouseMoveEvent(QMouseEvent *event)
{
    QListView::mouseMoveEvent(event);
    const auto kind = bubbleHit(event->position().toPoint()).kind;
    const bool clickable = kind == TranscriptBubble::Hit::Kind::link || kind == TranscriptBubble::Hit::Kind::wholeText;
    viewport()->setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TranscriptView::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const TranscriptBubble::Hit hit = bubbleHit(point);
    if (hit.kind == TranscriptBubble::Hit::Kind::link)
        MarkdownPreview::openLink(QUrl(hit.text));
    else if (hit.kind == TranscriptBubble::Hit::Kind::wholeText)
        openWholeText(indexAt(point));
}

void TranscriptView::contextMenuEvent(QContextMenuEvent *event)
{
    const QPersistentModelIndex index(indexAt(event->pos()));
    if (!index.isValid())
        return;
    // popup(), not exec(): no nested event loop.
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const TranscriptBubble::Hit hit = bubbleHit(event->pos());
    if (hit.kind == TranscriptBubble::Hit::Kind::code)
        menu->addAction(u"Copy Code"_s, this, [code = hit.text] { QGuiApplication::clipboard()->setText(code); });
    menu->addAction(u"Copy"_s, this, [this, index] { copyText(index); });
    menu->addAction(u"Select Text"_s, this, [this, index] { openTextSelection(index); });
    if (hit.kind == TranscriptBubble::Hit::Kind::link)
        menu->addAction(u"Copy Link"_s, this, [link = hit.text] { QGuiApplication::clipboard()->setText(link); });
    menu->addAction(u"Open Whole Text"_s, this, [this, index] { openWholeText(index); });
    menu->popup(event->globalPos());
}

TranscriptBubble::Hit TranscriptView::bubbleHit(QPoint point) const
{
    const QModelIndex index = indexAt(point);
    const auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(itemDelegate());
    if (!index.isValid() || !delegate)
        return {};
    return delegate->bubble(rowOption(index.row()), index).hitAt(point - visualRect(index).topLeft());
}

void TranscriptView::openWholeText(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QString body = index.data(TranscriptListModel::BodyRole).toString();
    // Its own window, owned by the view; the files editor stays quick with any text.
    auto *viewer = new DocumentEditor(this);
    viewer->setWindowFlag(Qt::Window);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(TranscriptBubble::shownTitle(TranscriptBubbleDelegate::contentAt(index).role,
                                                        index.data(TranscriptListModel::TitleRole).toString()));
    viewer->setReadOnly(true);
    viewer->showDraft(body, body);
    viewer->resize(size().expandedTo(QSize(640, 480)));
    viewer->show();
}

void TranscriptView::setRenderMarkdown(bool on)
{
    auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(itemDelegate());
    if (!delegate || delegate->rendersMarkdown() == on)
        return;
    delegate->setRenderMarkdown(on);
    rebuildLayout();
    markDirty(0);
}

void TranscriptView::copyText(const QModelIndex &index) const
{
    if (index.isValid())
        QGuiApplication::clipboard()->setText(index.data(TranscriptListModel::BodyRole).toString());
}

QTextEdit *TranscriptView::textSelector() const
{
    return m_selector->editor();
}

void TranscriptView::openTextSelection(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    // An editor lays out all of its text at once: long texts go to the viewer instead.
    if (index.data(TranscriptListModel::BodyRole).toString().size() > TranscriptTextSelector::maximumLength) {
        openWholeText(index);
        return;
    }
    const auto role = TranscriptBubbleDelegate::contentAt(index).role;
    m_selector->open(index, TranscriptBubble::bodyFont(role, font()), TranscriptBubble::alignment(role));
    placeTextSelector();
}

void TranscriptView::closeTextSelection()
{
    m_selector->close();
}

void TranscriptView::placeTextSelector()
{
    const QPersistentModelIndex &index = m_selector->index();
    if (!m_selector->editor() || !index.isValid())
        return;
    m_selector->place(bubbleBodyRect(index).translated(visualRect(index).topLeft()));
}

// Runs `use` on the row's bubble as the delegate lays it out.
template<typename Use>
auto TranscriptView::withBubble(const QModelIndex &index, Use &&use) const
{
    if (const auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(itemDelegate()))
        return use(delegate->bubble(rowOption(index.row()), index));
    return use(TranscriptBubble(TranscriptBubbleDelegate::contentAt(index), font(), rowWidth()));
}

QRect TranscriptView::bubbleBodyRect(const QModelIndex &index) const
{
    return withBubble(index, [](const TranscriptBubble &bubble) { return bubble.bodyRect(); });
}

// ---- Find.

void TranscriptView::setShowsMatches(bool shows)
{
    m_showsMatches = shows;
    viewport()->update();
}

void TranscriptView::paintMatches(QPainter &painter, int row, const QRect &rowRect) const
{
    const auto matches = m_find.matchesIn(row);
    if (!m_showsMatches || matches.empty())
        return;
    const QModelIndex index = model()->index(row, 0, rootIndex());
    const QColor match(255, 204, 0, 100);
    const QColor current = UiStyle::withOpacity(UiStyle::orange(), 0.6);
    withBubble(index, [&](const TranscriptBubble &bubble) {
        for (const TranscriptFind::Match &each : matches) {
            const QColor &colour = each == m_find.current() ? current : match;
            for (const QRectF &rect : bubble.textRangeRects(each.start, m_find.query().size()))
                painter.fillRect(rect.translated(rowRect.topLeft()), colour);
        }
        return 0;
    });
}

void TranscriptView::revealCurrentMatch()
{
    const auto match = m_find.current();
    if (!match || match->row >= m_layout.count())
        return;
    const QModelIndex index = model()->index(match->row, 0, rootIndex());
    // Measuring the row lays its bubble out, so that the match has a place to show.
    measureRowsBetween(margin + m_layout.top(match->row), margin + m_layout.top(match->row) + 1);
    const QList<QRectF> rects = withBubble(index, [&](const TranscriptBubble &bubble) {
        return bubble.textRangeRects(match->start, m_find.query().size());
    });
    if (rects.isEmpty()) {
        scrollTo(index, PositionAtCenter);
        return;
    }
    const qint64 rowTop = margin + m_layout.top(match->row);
    const int height = viewport()->height();
    qint64 offset = verticalOffset();
    if (rowTop + rects.first().top() < offset || rowTop + rects.last().bottom() > offset + height)
        offset = rowTop + qint64(rects.first().top()) - height / 3;
    settle(ScrollAnchor{false, match->row, offset - rowTop});
    setFollowing(isAtBottom());
    viewport()->update();
}

} // namespace tessel
