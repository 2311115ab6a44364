#include "ui/ChatPane.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/CommandAvailability.h"
#include "ui/DocumentEditor.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/TranscriptArea.h"
#include "ui/UiStyle.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

const QKeySequence sendShortcut(Qt::CTRL | Qt::Key_Return);

} // namespace

ChatPane::ChatPane(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    auto *transcript = new TranscriptArea(model->transcript(), this);
    transcript->addFindShortcuts(this);

    auto *heading = PaneParts::headline(u"Composer"_s, this);
    auto *composer = m_composer = new DocumentEditor(this);
    composer->setObjectName(u"desktop-chat-composer-editor"_s);
    composer->setAccessibleName(u"Composer"_s);
    composer->setFont(UiStyle::bodyFont(font()));
    composer->setMinimumHeight(composerMinimumHeight);
    composer->setMaximumHeight(composerMinimumHeight + 32);
    composer->setTabChangesFocus(true);

    ModelBinding::styleEditorSurface(composer, 16, 8);
    model->setComposerEditor(composer);
    connect(composer, &DocumentEditor::draftEdited, model,
            [model, composer] { model->composerEdited(composer, composer->isBlank()); });

    auto *caption =
        PaneParts::secondaryLabel(UiStyle::captionFont(font()), this,
                                  u"Transcript stays canonical. Machine and project setup sync through "
                                  "iCloud, and tokens follow through the shared keychain when available."_s);
    auto *send = new QPushButton(u"Send"_s, this);
    send->setObjectName(u"desktop-chat-send-button"_s);
    send->setShortcut(sendShortcut);
    send->setDefault(false);
    connect(send, &QPushButton::clicked, model, &M::sendComposerMessage);
    ModelBinding::observe(
        model, send, {&M::connectionStateChanged, &M::currentSessionIDChanged, &M::composerTextChanged},
        [model, send] { PaneParts::enableUnless(send, CommandAvailability::send(*model), u"Send (Ctrl+Return)"_s); });

    auto *footer = new QHBoxLayout;
    footer->setSpacing(12);
    footer->addWidget(caption, 1);
    footer->addWidget(send, 0, Qt::AlignVCenter);
    auto *composerBox = new QVBoxLayout;
    composerBox->setContentsMargins(20, 8, 20, 16);
    composerBox->setSpacing(8);
    composerBox->addWidget(heading);
    composerBox->addWidget(composer);
    composerBox->addLayout(footer);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(transcript, 1);
    layout->addWidget(PaneParts::divider(this));
    layout->addLayout(composerBox);
}

ChatPane::~ChatPane()
{
    // The composer goes with this pane; what it holds stays the model's composer text.
    if (m_model)
        m_model->releaseComposerEditor(m_composer);
}

} // namespace tessel
