#pragma once

#include <QObject>

#include <memory>

class QSettings;

namespace tessel {

class DesktopNotifications;
class DraftKeeper;
class MainWindow;
class TesselDesktopPOCModel;
class TurnNotifier;
struct ProcessInfo;

// What the desktop adds around the model and its window: unsaved drafts kept across
// crashes and restarts, and a notification when a turn ends while the window is not
// active, whose click brings the window back; and replies rendered as Markdown. Each is on
// unless its setting turns it off (DraftKeeper::settingsKey, TurnNotifier::settingsKey,
// TranscriptView::renderMarkdownSettingsKey).
class DesktopServices : public QObject
{
    Q_OBJECT

public:
    // Brings the drafts back at once; `window` must outlive this object.
    DesktopServices(TesselDesktopPOCModel &model, QSettings &settings, const ProcessInfo &processInfo,
                    MainWindow &window, QObject *parent = nullptr);
    ~DesktopServices() override;

private:
    void raiseWindow(const QString &activationToken);

    MainWindow &m_window;
    std::unique_ptr<DraftKeeper> m_draftKeeper;
    DesktopNotifications *m_notifications = nullptr;
    TurnNotifier *m_turnNotifier = nullptr;
};

} // namespace tessel
