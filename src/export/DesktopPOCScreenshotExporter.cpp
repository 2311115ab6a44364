#include "export/DesktopPOCScreenshotExporter.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLayout>
#include <QMainWindow>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

DesktopPOCScreenshotExporter::DesktopPOCScreenshotExporter(TesselDesktopPOCModel &model, QSettings &defaults,
                                                           ProcessInfo processInfo, DesktopPOCScreenshotTiming timing,
                                                           QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_defaults(defaults)
    , m_processInfo(std::move(processInfo))
    , m_timing(timing)
{ }

std::optional<QString> DesktopPOCScreenshotExporter::requestedOutputDirectory(const ProcessInfo &processInfo)
{
    const auto argument = processInfo.optionValue(u"--export-screenshots-dir"_s);
    if (argument && !argument->isEmpty())
        return argument;
    return processInfo.nonEmptyVariable(u"TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR"_s);
}

void DesktopPOCScreenshotExporter::log(const QString &message)
{
    const QByteArray line = ("[DesktopPOCScreenshotExporter] "_L1 + message + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

bool DesktopPOCScreenshotExporter::runIfNeeded()
{
    const auto directory = requestedOutputDirectory(m_processInfo);
    if (!directory)
        return false;
    m_directory = *directory;
    log(u"starting export to "_s + m_directory);
    m_snapshot = DesktopPOCDefaultsSnapshot::capture(m_defaults);
    if (!QDir().mkpath(m_directory))
        log(u"failed to create output directory: could not create "_s + QDir::toNativeSeparators(m_directory));

    const Shot chat{chatFileName, "chat", &configureChatScreenshotState};
    const Shot files{filesFileName, "files", &configureFilesScreenshotState};
    takeShot(chat, [this, files] {
        takeShot(files,
                 [this] { QTimer::singleShot(m_timing.beforeRestore, this, &DesktopPOCScreenshotExporter::finish); });
    });
    return true;
}

void DesktopPOCScreenshotExporter::takeShot(const Shot &shot, const std::function<void()> &next)
{
    shot.configure(m_model);
    QTimer::singleShot(m_timing.settle, this, [this, shot, next] {
        waitForWindow(m_timing.windowAttempts, [this, shot, next](QWidget *window) {
            const QString name = QString::fromLatin1(shot.name);
            QString error;
            if (!window)
                log(name + u" screenshot window not found"_s);
            else if (exportWindow(window, QDir(m_directory).filePath(QString::fromLatin1(shot.fileName)), &error))
                log(u"wrote "_s + name + u" screenshot"_s);
            else
                log(u"failed to write "_s + name + u" screenshot: "_s + error);
            next();
        });
    });
}

void DesktopPOCScreenshotExporter::waitForWindow(int attemptsLeft, const std::function<void(QWidget *)> &found)
{
    if (QWidget *window = visibleWindow()) {
        // The offscreen platform has no stacking order and warns on raise().
        if (QGuiApplication::platformName() != "offscreen"_L1)
            window->raise();
        window->activateWindow();
        return found(window);
    }
    if (attemptsLeft <= 1)
        return found(nullptr);
    QTimer::singleShot(m_timing.windowPoll, this,
                       [this, attemptsLeft, found] { waitForWindow(attemptsLeft - 1, found); });
}

QWidget *DesktopPOCScreenshotExporter::visibleWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<QMainWindow *>(widget);
        if (window && window->isVisible() && window->centralWidget())
            return window;
    }
    return nullptr;
}

bool DesktopPOCScreenshotExporter::exportWindow(QWidget *window, const QString &path, QString *error)
{
    // Lay out whatever is still pending, then render the whole window as it is now.
    if (window->layout())
        window->layout()->activate();
    const QImage image = window->grab().toImage();
    if (image.isNull()) {
        *error = u"the window could not be captured"_s;
        return false;
    }
    if (!image.save(path, "PNG")) {
        *error = u"could not write "_s + QDir::toNativeSeparators(path);
        return false;
    }
    return true;
}

void DesktopPOCScreenshotExporter::finish()
{
    m_snapshot.restore(m_defaults);
    log(u"restored defaults"_s);
    log(u"terminating app"_s);
    Q_EMIT terminationRequested();
}

} // namespace tessel
