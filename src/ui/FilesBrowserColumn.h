#pragma once

#include "app/ValueListModel.h"

#include <QUuid>

#include <optional>

#include <QWidget>

class QListView;

namespace tessel {

class TesselDesktopPOCModel;

// The files pane's left column: parent, reload and "Hidden", the current path, and the
// listing (or "Loading Files" / "No Files"). Clicking an entry enters a directory or opens
// a file. It also runs the loading task: whenever the files tab is shown for a machine and
// project (the files task key changes) and there is no listing yet, it lists the project
// directory.
class FilesBrowserColumn : public QWidget
{
    Q_OBJECT

public:
    static constexpr int minimumWidth = 300;
    static constexpr int idealWidth = 340;
    static constexpr int maximumWidth = 420;

    explicit FilesBrowserColumn(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

    // tab "::" machine id (or "no-machine") "::" project id (or "no-project").
    static QString filesTaskKey(const TesselDesktopPOCModel &model);
    static QString filesTaskKey(ProjectWorkspaceTab tab, const std::optional<QUuid> &machine,
                                const std::optional<QUuid> &project);

private:
    void runFilesTaskIfKeyChanged();
    void replaceEntriesKeepingSelection(QListView *list);

    TesselDesktopPOCModel *m_model;
    FileEntryListModel m_entries;
    QString m_lastTaskKey;
};

} // namespace tessel
