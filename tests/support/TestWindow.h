#pragma once

#include "app/TesselDesktopPOCModel.h"
#include "support/ListClicks.h"
#include "ui/StatusBadge.h"
#include "ui/MainWindow.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QAbstractButton>
#include <QTabBar>
#include <QTest>

namespace tessel::test {

// The application's window over a model, shown, with its controls found as an automation
// tool finds them: by their "desktop-..." names, or by the type and text a user sees.
class TestWindow : public MainWindow
{
public:
    explicit TestWindow(TesselDesktopPOCModel &model, QSize size = {1120, 720})
        : m_model(model)
    {
        setContent(new TesselDesktopPOCContentView(&model));
        resize(size);
        show();
    }

    // The one control with the automation name "desktop-" + `name`; null, with a warning,
    // when there is none or several.
    template<typename T = QWidget>
    T *control(QAnyStringView name) const
    {
        const QList<QWidget *> found = findChildren<QWidget *>(QStringLiteral("desktop-") + name.toString());
        if (found.size() != 1)
            qWarning("%d controls named %s", int(found.size()), qPrintable(name.toString()));
        return found.size() == 1 ? qobject_cast<T *>(found.first()) : nullptr;
    }

    // Of the controls named in `spacedNames`, those in the state (isEnabled, isVisible), spaced.
    QString which(bool (QWidget::*state)() const, const char *spacedNames) const
    {
        QStringList result;
        for (const QString &name : QString::fromLatin1(spacedNames).split(u' ', Qt::SkipEmptyParts)) {
            if ((control(name)->*state)())
                result << name;
        }
        return result.join(u' ');
    }

    // What the visible widgets of type T say, sorted: badges and cards their text, empty states
    // their title.
    template<typename T>
    QStringList texts() const
    {
        QStringList result;
        for (T *widget : findChildren<T *>()) {
            if (!widget->isVisible())
                continue;
            if constexpr (requires { widget->title(); })
                result << widget->title();
            else
                result << widget->text();
        }
        result.sort();
        return result;
    }

    // The open document's badge: "Saved" or "Unsaved", whichever shows.
    QString documentBadge() const
    {
        const QStringList shown = texts<StatusBadge>();
        for (const QString &badge : {QStringLiteral("Unsaved"), QStringLiteral("Saved")}) {
            if (shown.contains(badge))
                return badge;
        }
        return {};
    }

    void click(QAnyStringView name) { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    void pickTab(QAnyStringView name, int index)
    {
        auto *tabs = control<QTabBar>(name);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    // Clicks the listed file `path` and waits for the model to open it.
    bool openListedFile(const QString &path, int timeoutMs)
    {
        return clickRow(control<QListView>("files-list"), path, timeoutMs) &&
            QTest::qWaitFor([&] { return m_model.currentDocument() && m_model.currentDocument()->path == path; },
                            timeoutMs);
    }

private:
    TesselDesktopPOCModel &m_model;
};

} // namespace tessel::test
