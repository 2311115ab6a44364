#pragma once

#include <QPointer>
#include <QWidget>

namespace tessel {

class DocumentEditor;
class TesselDesktopPOCModel;

// The chat workspace: the transcript, the composer and its footer with Send (Ctrl+Return).
class ChatPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int composerMinimumHeight = 96;

    explicit ChatPane(TesselDesktopPOCModel *model, QWidget *parent = nullptr);
    ~ChatPane() override;

private:
    QPointer<TesselDesktopPOCModel> m_model;
    // Holds the composer text; the model reads it out when it sends or keeps a draft.
    DocumentEditor *m_composer = nullptr;
};

} // namespace tessel
