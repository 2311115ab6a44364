#include "ui/TranscriptFindBar.h"

#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

// An icon-only button, named for assistive tools and in its tooltip by what it does.
QToolButton *barButton(QStyle::StandardPixmap icon, const QString &identifier, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setObjectName(identifier);
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setAutoRaise(true);
    return button;
}

} // namespace

TranscriptFindBar::TranscriptFindBar(QWidget *parent)
    : QFrame(parent)
    , m_field(new QLineEdit(this))
    , m_count(new QLabel(this))
{
    setObjectName(u"desktop-transcript-find-bar"_s);
    setAccessibleName(u"Find"_s);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_field->setObjectName(u"desktop-transcript-find-field"_s);
    m_field->setAccessibleName(u"Find in transcript"_s);
    m_field->setPlaceholderText(u"Find in transcript"_s);
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_count->setObjectName(u"desktop-transcript-find-count"_s);
    m_count->setFont(UiStyle::captionFont(font()));
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(u"No matches"_s));
    auto *previous = barButton(QStyle::SP_ArrowUp, u"desktop-transcript-find-previous-button"_s,
                               u"Previous match (Shift+Enter)"_s, this);
    auto *next =
        barButton(QStyle::SP_ArrowDown, u"desktop-transcript-find-next-button"_s, u"Next match (Enter)"_s, this);
    auto *close = barButton(QStyle::SP_TitleBarCloseButton, u"desktop-transcript-find-close-button"_s,
                            u"Close find (Escape)"_s, this);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_count);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(close);

    connect(m_field, &QLineEdit::textChanged, this, &TranscriptFindBar::queryChanged);
    connect(previous, &QToolButton::clicked, this, &TranscriptFindBar::previousRequested);
    connect(next, &QToolButton::clicked, this, &TranscriptFindBar::nextRequested);
    connect(close, &QToolButton::clicked, this, &TranscriptFindBar::closeRequested);
    showCount(-1, 0);
}

void TranscriptFindBar::showCount(qsizetype current, qsizetype count)
{
    if (m_field->text().isEmpty())
        m_count->clear();
    else if (count == 0)
        m_count->setText(u"No matches"_s);
    else
        m_count->setText(u"%1 of %2"_s.arg(current + 1).arg(count));
}

bool TranscriptFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool back = key->modifiers() & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: Q_EMIT(back ? previousRequested() : nextRequested()); return true;
    case Qt::Key_Escape: Q_EMIT closeRequested(); return true;
    default: return false;
    }
}

} // namespace tessel
