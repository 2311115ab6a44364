#include "ui/DesktopServices.h"

#include "app/TesselDesktopPOCModel.h"
#include "desktop/DesktopNotifications.h"
#include "desktop/DraftKeeper.h"
#include "desktop/TurnNotifier.h"
#include "ui/DesktopApplication.h"
#include "ui/MainWindow.h"
#include "ui/TranscriptView.h"
#include "ui/UiTestControl.h"

#include <QApplication>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

DesktopServices::DesktopServices(TesselDesktopPOCModel &model, QSettings &settings, const ProcessInfo &processInfo,
                                 MainWindow &window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    const DraftStateFile draftFile(DraftStateFile::defaultPath(processInfo));
    if (settings.value(QString::fromLatin1(DraftKeeper::settingsKey), true).toBool()) {
        m_draftKeeper = std::make_unique<DraftKeeper>(model, draftFile);
        m_draftKeeper->start();
        // Before the window and the model go, while the draft can still be read.
        connect(qApp, &QCoreApplication::aboutToQuit, m_draftKeeper.get(), &DraftKeeper::flush);
        connect(qApp, &QGuiApplication::commitDataRequest, m_draftKeeper.get(), &DraftKeeper::flush);
    } else {
        // Turned off: nothing typed stays on disk.
        draftFile.remove();
    }

    m_notifications = new DesktopNotifications(QDBusConnection::sessionBus(), QApplication::applicationDisplayName(),
                                               QString::fromLatin1(DesktopApplication::desktopFileName), this);
    m_turnNotifier = new TurnNotifier(model, settings, *m_notifications, this);
    m_turnNotifier->setWindowActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, m_turnNotifier,
            [this](Qt::ApplicationState state) { m_turnNotifier->setWindowActive(state == Qt::ApplicationActive); });
    connect(m_turnNotifier, &TurnNotifier::windowRequested, this, &DesktopServices::raiseWindow);

    const bool renderMarkdown = settings.value(QString::fromLatin1(TranscriptView::renderMarkdownSettingsKey), true).toBool();
    for (auto *transcript : window.findChildren<TranscriptView *>())
        transcript->setRenderMarkdown(renderMarkdown);

    if (processInfo.nonEmptyVariable(QString::fromLatin1(UiTestControl::environmentVariable)) == u"1"_s)
        new UiTestControl(window, this);
}

DesktopServices::~DesktopServices() = default;

void DesktopServices::raiseWindow(const QString &activationToken)
{
    // Wayland compositors let a window take the focus only with the token of the click.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    m_window.setWindowState((m_window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

} // namespace tessel
