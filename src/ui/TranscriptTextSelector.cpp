#include "ui/TranscriptTextSelector.h"

#include "app/TranscriptListModel.h"

#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

TranscriptTextSelector::TranscriptTextSelector(QWidget *viewport)
    : QObject(viewport)
    , m_viewport(viewport)
{ }

TranscriptTextSelector::~TranscriptTextSelector() = default;

bool TranscriptTextSelector::isOn(int firstRow, int lastRow) const
{
    return m_editor && m_index.isValid() && m_index.row() >= firstRow && m_index.row() <= lastRow;
}

void TranscriptTextSelector::open(const QModelIndex &index, const QFont &bodyFont, Qt::Alignment alignment)
{
    close();
    if (!index.isValid())
        return;
    m_index = index;
    m_text = index.data(TranscriptListModel::BodyRole).toString();
    m_editor = new QTextEdit(m_viewport);
    m_editor->setAccessibleName(u"Transcript text"_s);
    m_editor->setReadOnly(true);
    m_editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_editor->setPalette(palette);
    m_editor->setFont(bodyFont);
    m_editor->document()->setDocumentMargin(0);
    QTextOption option = m_editor->document()->defaultTextOption();
    option.setAlignment(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_editor->document()->setDefaultTextOption(option);
    m_editor->setPlainText(m_text);
    m_editor->installEventFilter(this);
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void TranscriptTextSelector::close()
{
    if (!m_editor)
        return;
    m_editor->removeEventFilter(this);
    m_editor->hide();
    m_editor->deleteLater();
    m_editor = nullptr;
    m_index = QPersistentModelIndex();
    m_text.clear();
    m_stale = false;
}

// A streaming reply keeps growing under the editor: the new text is appended so that the
// user's selection survives; any other change replaces the text.
void TranscriptTextSelector::refresh()
{
    if (!m_editor || !std::exchange(m_stale, false))
        return;
    if (!m_index.isValid()) {
        close();
        return;
    }
    const QString body = m_index.data(TranscriptListModel::BodyRole).toString();
    if (body.startsWith(m_text)) {
        QTextCursor end(m_editor->document());
        end.movePosition(QTextCursor::End);
        end.insertText(body.mid(m_text.size()));
    } else {
        m_editor->setPlainText(body);
    }
    m_text = body;
}

void TranscriptTextSelector::place(const QRect &body)
{
    if (!m_editor)
        return;
    const int height = std::max(body.height(), int(m_editor->document()->size().height()) + 1);
    m_editor->setGeometry(QRect(body.topLeft(), QSize(body.width(), height)));
}

bool TranscriptTextSelector::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_editor)
        return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (event->type() == QEvent::FocusOut) {
        // The editor's own context menu takes the focus for a moment; keep the selection.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            close();
    }
    return false;
}

} // namespace tessel
