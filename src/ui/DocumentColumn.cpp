#include "ui/DocumentColumn.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/CommandAvailability.h"
#include "ui/ElidedLabel.h"
#include "ui/DocumentEditor.h"
#include "ui/EmptyStateView.h"
#include "ui/MarkdownPreview.h"
#include "ui/MessageCard.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/StatusBadge.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

} // namespace

DocumentColumn::DocumentColumn(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    auto *loading = new EmptyStateView(SfSymbol::docText, u"Loading Document"_s, {}, this);
    auto *pick = new EmptyStateView(
        SfSymbol::docText, u"Pick a File"_s,
        u"Browse the selected project through the gateway and open a text file to edit it here."_s, this);
    auto *document = buildDocumentView();
    auto *stack = new QStackedWidget(this);
    stack->addWidget(document);
    stack->addWidget(loading);
    stack->addWidget(pick);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(buildHeader());
    layout->addWidget(PaneParts::divider(this));
    bindMessageCards(layout);
    layout->addWidget(stack, 1);

    ModelBinding::observe(model, stack, {&M::currentDocumentChanged, &M::isLoadingDocumentChanged},
                          [model, stack, document, loading, pick] {
                              if (model->isLoadingDocument())
                                  stack->setCurrentWidget(loading);
                              else if (!model->currentDocument())
                                  stack->setCurrentWidget(pick);
                              else
                                  stack->setCurrentWidget(document);
                          });
}

DocumentColumn::~DocumentColumn()
{
    // The editor goes with this column; what it holds stays the model's draft.
    if (m_model)
        m_model->releaseDocumentDraftEditor(m_editor);
}

QWidget *DocumentColumn::buildHeader()
{
    auto *header = new QWidget(this);
    auto *progress = new QProgressBar(header);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedSize(60, 8);
    progress->setAccessibleName(u"Saving"_s);
    auto *save = new QPushButton(u"Save"_s, header);
    save->setObjectName(u"desktop-files-save-button"_s);
    connect(save, &QPushButton::clicked, m_model.get(), &M::saveCurrentDocument);

    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PaneParts::headline(u"Document"_s, header));
    layout->addStretch(1);
    layout->addWidget(progress);
    layout->addWidget(save);

    ModelBinding::observe(m_model, header,
                          {&M::currentDocumentChanged, &M::currentDocumentDraftChanged, &M::isSavingDocumentChanged},
                          [this, progress, save] {
                              progress->setVisible(m_model->isSavingDocument());
                              PaneParts::enableUnless(save, CommandAvailability::saveDocument(*m_model));
                          });
    return header;
}

void DocumentColumn::bindMessageCards(QLayout *layout)
{
    auto *status = new MessageCard(this);
    status->setTint(UiStyle::green());
    auto *error = new MessageCard(this);
    error->setTint(UiStyle::red());
    layout->addWidget(status);
    layout->addWidget(error);
    const auto show = [](MessageCard *card, const std::optional<QString> &message) {
        card->setText(message.value_or(QString()));
        card->setVisible(message.has_value());
    };
    ModelBinding::observe(m_model, status, {&M::fileStatusMessageChanged},
                          [this, status, show] { show(status, m_model->fileStatusMessage()); });
    ModelBinding::observe(m_model, error, {&M::fileErrorMessageChanged},
                          [this, error, show] { show(error, m_model->fileErrorMessage()); });
}

QWidget *DocumentColumn::buildDocumentView()
{
    auto *view = new QWidget(this);
    auto *path = new ElidedLabel(view);
    path->setObjectName(u"desktop-files-document-path"_s);
    path->setAccessibleName(u"Document path"_s);
    path->setFont(UiStyle::monospacedFont(font()));
    path->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto *badge = new StatusBadge(view);
    auto *modified = PaneParts::secondaryLabel(UiStyle::captionFont(font()), view);

    auto *state = new QHBoxLayout;
    state->setSpacing(8);
    state->addWidget(badge);
    state->addWidget(modified, 1);
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(path);
    layout->addLayout(state);
    layout->addWidget(buildPages(view), 1);

    ModelBinding::observe(
        m_model, view, {&M::currentDocumentChanged, &M::currentDocumentDraftChanged}, [this, path, badge, modified] {
            const auto &document = m_model->currentDocument();
            if (!document)
                return;
            path->setFullText(document->path);
            const bool saved = !m_model->hasUnsavedDocumentChanges();
            badge->setText(saved ? u"Saved"_s : u"Unsaved"_s, saved ? UiStyle::green() : UiStyle::orange());
            modified->setText(document->modifiedAt);
        });
    return view;
}

// The editor, and for Markdown documents a choice of it and the rendered draft.
QWidget *DocumentColumn::buildPages(QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *mode = PaneParts::segmentedPicker(u"desktop-files-markdown-mode-picker"_s, u"Markdown view"_s,
                                            {u"Edit"_s, u"Preview"_s}, box);
    m_editor = new DocumentEditor(box);
    m_editor->setObjectName(u"desktop-files-editor"_s);
    m_editor->setAccessibleName(u"Document editor"_s);
    m_editor->setFont(UiStyle::monospacedFont(font()));
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    ModelBinding::styleEditorSurface(m_editor, 18, 10);
    auto *preview = new MarkdownPreview(box);
    preview->setObjectName(u"desktop-files-markdown-preview"_s);
    preview->setAccessibleName(u"Markdown preview"_s);
    ModelBinding::styleEditorSurface(preview, 18, 10);
    auto *pages = new QStackedWidget(box);
    pages->addWidget(m_editor);
    pages->addWidget(preview);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(mode, 0, Qt::AlignLeft);
    layout->addWidget(pages, 1);

    m_model->setDocumentDraftEditor(m_editor);
    connect(m_editor, &DocumentEditor::draftEdited, m_model.get(),
            [this](bool differs) { m_model->documentDraftEdited(m_editor, differs); });
    // The preview renders the draft when it is shown and again only after the draft changed.
    auto stale = std::make_shared<bool>(true);
    const auto showPage = [this, mode, pages, preview, stale] {
        const auto &document = m_model->currentDocument();
        const bool markdown = document && document->isMarkdown;
        mode->setVisible(markdown);
        const bool previewing = markdown && mode->currentIndex() == 1;
        if (previewing && std::exchange(*stale, false))
            preview->showMarkdown(m_model->currentDocumentDraft());
        pages->setCurrentWidget(previewing ? static_cast<QWidget *>(preview) : m_editor);
    };
    connect(mode, &QTabBar::currentChanged, box, showPage);
    connect(m_model, &M::currentDocumentDraftChanged, box, [stale] { *stale = true; });
    ModelBinding::observe(m_model, box, {&M::currentDocumentChanged, &M::currentDocumentDraftChanged}, showPage);
    return box;
}

} // namespace tessel
