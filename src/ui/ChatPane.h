#pragma once

#include <QWidget>

namespace tessel {

class TesselDesktopPOCModel;

// The chat workspace: the transcript, the composer and its footer with Send (Ctrl+Return).
class ChatPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int composerMinimumHeight = 96;

    explicit ChatPane(TesselDesktopPOCModel *model, QWidget *parent = nullptr);
};

} // namespace tessel
