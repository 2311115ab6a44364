#include "ui/TranscriptArea.h"

#include "ui/TranscriptFindBar.h"
#include "ui/TranscriptView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

constexpr int overlayInset = 12;
constexpr int findBarWidth = 420;

} // namespace

TranscriptArea::TranscriptArea(QAbstractItemModel *model, QWidget *parent)
    : QWidget(parent)
    , m_view(new TranscriptView(this))
    , m_findBar(new TranscriptFindBar(this))
    , m_jump(new QPushButton(this))
{
    m_view->setModel(model);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    m_findBar->hide();
    connect(m_findBar, &TranscriptFindBar::queryChanged, this, &TranscriptArea::find);
    connect(m_findBar, &TranscriptFindBar::nextRequested, this, &TranscriptArea::findNext);
    connect(m_findBar, &TranscriptFindBar::previousRequested, this, &TranscriptArea::findPrevious);
    connect(m_findBar, &TranscriptFindBar::closeRequested, this, &TranscriptArea::closeFind);
    TranscriptFind &finder = m_view->finder();
    connect(&finder, &TranscriptFind::changed, m_findBar,
            [this, &finder] { m_findBar->showCount(finder.currentIndex(), finder.count()); });

    m_jump->setObjectName(u"desktop-transcript-jump-button"_s);
    m_jump->setCursor(Qt::PointingHandCursor);
    updateJumpButton();
    connect(m_jump, &QPushButton::clicked, m_view, &TranscriptView::jumpToLatest);
    connect(m_view, &TranscriptView::followingChanged, this, &TranscriptArea::updateJumpButton);
}

void TranscriptArea::addFindShortcuts(QWidget *scope)
{
    const auto add = [this, scope](const QKeySequence &keys, void (TranscriptArea::*action)()) {
        auto *shortcut = new QShortcut(keys, scope);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence::Find, &TranscriptArea::openFind);
    add(QKeySequence(Qt::Key_F3), &TranscriptArea::findNext);
    add(QKeySequence(Qt::SHIFT | Qt::Key_F3), &TranscriptArea::findPrevious);
}

void TranscriptArea::openFind()
{
    const bool wasOpen = m_findBar->isVisible();
    m_findBar->show();
    m_findBar->raise();
    placeOverlays();
    m_findBar->field()->setFocus(Qt::ShortcutFocusReason);
    m_findBar->field()->selectAll();
    m_view->setShowsMatches(true);
    if (!wasOpen)
        find(m_findBar->field()->text());
}

void TranscriptArea::closeFind()
{
    if (!m_findBar->isVisible())
        return;
    m_findBar->hide();
    m_view->setShowsMatches(false);
    // Nothing is kept up to date while the bar is closed.
    m_view->finder().setQuery({});
    m_view->setFocus(Qt::OtherFocusReason);
}

void TranscriptArea::find(const QString &query)
{
    m_view->finder().setQuery(query, std::max(0, m_view->topRow()));
    m_view->revealCurrentMatch();
}

void TranscriptArea::findNext()
{
    step(true);
}

void TranscriptArea::findPrevious()
{
    step(false);
}

void TranscriptArea::step(bool forward)
{
    if (!m_findBar->isVisible()) {
        openFind();
        return;
    }
    TranscriptFind &finder = m_view->finder();
    if (forward)
        finder.next();
    else
        finder.previous();
    m_view->revealCurrentMatch();
}

void TranscriptArea::updateJumpButton()
{
    const int unseen = m_view->unseenCount();
    m_jump->setText(unseen > 0 ? u"Jump to latest \u00b7 %1 new"_s.arg(unseen) : u"Jump to latest"_s);
    m_jump->setVisible(!m_view->isFollowing());
    m_jump->raise();
    placeOverlays();
}

void TranscriptArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeOverlays();
}

void TranscriptArea::placeOverlays()
{
    const QRect area(m_view->viewport()->mapTo(this, QPoint()), m_view->viewport()->size());
    m_jump->adjustSize();
    m_jump->move(area.center().x() - m_jump->width() / 2, area.bottom() + 1 - overlayInset - m_jump->height());
    const int width = std::min(findBarWidth, area.width() - 2 * overlayInset);
    m_findBar->setGeometry(area.right() + 1 - overlayInset - width, area.top() + overlayInset, width,
                           m_findBar->sizeHint().height());
}

} // namespace tessel
