#pragma once

#include "app/ProcessInfo.h"
#include "export/DesktopPOCDefaultsSnapshot.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <optional>

class QSettings;
class QWidget;

namespace tessel {

class TesselDesktopPOCModel;

// The export's pauses; tests shorten them.
struct DesktopPOCScreenshotTiming
{
    // Time for the window to lay out and render each state before it is captured.
    std::chrono::milliseconds settle{400};
    std::chrono::milliseconds beforeRestore{150};
    std::chrono::milliseconds windowPoll{100};
    int windowAttempts = 20;
};

// The documentation launch mode: fills the model with demonstration content, captures the
// window on the chat tab and on the files tab into two PNGs, puts the preferences back and
// asks the application to quit. Every failure is logged and the run goes on; once an output
// directory was requested, terminationRequested() is emitted in every case.
//
// The demonstration registry is shown without being saved: the user's registry, tokens and
// sync folder are never written, only the view preferences change, and the snapshot
// restores those.
class DesktopPOCScreenshotExporter : public QObject
{
    Q_OBJECT

public:
    static constexpr auto chatFileName = "tessel-desktop-poc-chat.png";
    static constexpr auto filesFileName = "tessel-desktop-poc-files.png";

    DesktopPOCScreenshotExporter(TesselDesktopPOCModel &model, QSettings &defaults, ProcessInfo processInfo,
                                 DesktopPOCScreenshotTiming timing = {}, QObject *parent = nullptr);

    // The directory of the first "--export-screenshots-dir" (the next argument, or the text
    // after "=") when not empty, else the non-empty TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR,
    // else none.
    static std::optional<QString> requestedOutputDirectory(const ProcessInfo &processInfo);
    // One "[DesktopPOCScreenshotExporter] " line on standard output, flushed.
    static void log(const QString &message);

    static void configureChatScreenshotState(TesselDesktopPOCModel &model);
    static void configureFilesScreenshotState(TesselDesktopPOCModel &model);
    // Writes the whole window as a PNG; false with the reason in `error` on failure.
    static bool exportWindow(QWidget *window, const QString &path, QString *error);

    // Starts the export when one is requested (true), returns at once either way.
    bool runIfNeeded();

Q_SIGNALS:
    // The export is over; the application should quit.
    void terminationRequested();

private:
    struct Shot
    {
        const char *fileName;
        const char *name;
        void (*configure)(TesselDesktopPOCModel &);
    };

    void takeShot(const Shot &shot, const std::function<void()> &next);
    void waitForWindow(int attemptsLeft, const std::function<void(QWidget *)> &found);
    void finish();
    static QWidget *visibleWindow();

    TesselDesktopPOCModel &m_model;
    QSettings &m_defaults;
    ProcessInfo m_processInfo;
    DesktopPOCScreenshotTiming m_timing;
    QString m_directory;
    DesktopPOCDefaultsSnapshot m_snapshot;
};

} // namespace tessel
