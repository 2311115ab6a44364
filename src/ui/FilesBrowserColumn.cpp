#include "ui/FilesBrowserColumn.h"

#include "app/TesselDesktopPOCModel.h"
#include "protocol/UuidText.h"
#include "ui/CommandAvailability.h"
#include "ui/ElidedLabel.h"
#include "ui/EmptyStateView.h"
#include "ui/FileEntryRowDelegate.h"
#include "ui/Icons.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/UiStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

} // namespace

FilesBrowserColumn::FilesBrowserColumn(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setMinimumWidth(minimumWidth);
    setMaximumWidth(maximumWidth);

    auto *parentButton = PaneParts::symbolButton(SfSymbol::arrowUpBackward, u"desktop-files-parent-button"_s,
                                                 u"Parent directory"_s, this);
    auto *reload =
        PaneParts::symbolButton(SfSymbol::arrowClockwise, u"desktop-files-reload-button"_s, u"Reload files"_s, this);
    auto *hidden = new QCheckBox(u"Hidden"_s, this);
    hidden->setObjectName(u"desktop-files-hidden-toggle"_s);
    auto *path = new ElidedLabel(this);
    path->setFont(UiStyle::monospacedFont(font()));
    PaneParts::makeSecondary(path);
    path->setObjectName(u"desktop-files-directory-path"_s);
    path->setAccessibleName(u"Directory path"_s);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *list = PaneParts::rowList(u"desktop-files-list"_s, u"Files"_s, &m_entries, new FileEntryRowDelegate, this);
    auto *loading = new EmptyStateView(SfSymbol::folder, u"Loading Files"_s, {}, this);
    auto *empty = new EmptyStateView(SfSymbol::folder, u"No Files"_s, {}, this);
    auto *stack = new QStackedWidget(this);
    stack->addWidget(list);
    stack->addWidget(loading);
    stack->addWidget(empty);

    auto *tools = new QHBoxLayout;
    tools->addWidget(parentButton);
    tools->addWidget(reload);
    tools->addStretch(1);
    tools->addWidget(hidden);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 8, 12);
    layout->setSpacing(8);
    layout->addLayout(tools);
    layout->addWidget(path);
    layout->addWidget(stack, 1);

    connect(parentButton, &QToolButton::clicked, model, &M::openParentDirectory);
    connect(reload, &QToolButton::clicked, model, [model] { model->loadCurrentDirectory(false); });
    connect(hidden, &QCheckBox::toggled, model, &M::setIncludeHiddenFiles);
    const auto activate = [model](const QModelIndex &index) {
        model->activateEntry(index.data(FileEntryListModel::ValueRole).value<ProjectFileEntry>());
    };
    connect(list, &QListView::clicked, model, activate);
    PaneParts::activateRowsWithKeys(list, activate);

    ModelBinding::observe(model, this, {&M::currentDirectoryPathChanged}, [model, parentButton, path] {
        PaneParts::enableUnless(parentButton, CommandAvailability::openParentDirectory(*model),
                                parentButton->accessibleName());
        path->setFullText(model->currentDirectoryPath().isEmpty() ? u"/"_s : model->currentDirectoryPath());
    });
    ModelBinding::observe(
        model, reload, {&M::machinesChanged, &M::selectedMachineIDChanged, &M::selectedProjectIDChanged},
        [model, reload] {
            PaneParts::enableUnless(reload, CommandAvailability::reloadFiles(*model), reload->accessibleName());
        });
    ModelBinding::observe(model, hidden, {&M::includeHiddenFilesChanged}, [model, hidden] {
        const QSignalBlocker blocker(hidden);
        hidden->setChecked(model->includeHiddenFiles());
    });
    ModelBinding::observe(model, stack, {&M::currentDirectoryChanged, &M::isLoadingDirectoryChanged},
                          [this, stack, list, loading, empty] {
                              replaceEntriesKeepingSelection(list);
                              if (m_model->isLoadingDirectory() && !m_model->currentDirectory())
                                  stack->setCurrentWidget(loading);
                              else if (m_entries.rowCount() == 0)
                                  stack->setCurrentWidget(empty);
                              else
                                  stack->setCurrentWidget(list);
                          });
    ModelBinding::observe(model, this,
                          {&M::workspaceTabChanged, &M::selectedMachineIDChanged, &M::selectedProjectIDChanged},
                          [this] { runFilesTaskIfKeyChanged(); });
}

QString FilesBrowserColumn::filesTaskKey(const TesselDesktopPOCModel &model)
{
    return filesTaskKey(model.workspaceTab(), model.selectedMachineID(), model.selectedProjectID());
}

QString FilesBrowserColumn::filesTaskKey(ProjectWorkspaceTab tab, const std::optional<QUuid> &machine,
                                         const std::optional<QUuid> &project)
{
    return QString(enumToWire(tab)) + u"::"_s + (machine ? uuidText(*machine) : u"no-machine"_s) + u"::"_s +
        (project ? uuidText(*project) : u"no-project"_s);
}

// A refreshed listing (after a save, say) keeps the row that was selected, found by path.
void FilesBrowserColumn::replaceEntriesKeepingSelection(QListView *list)
{
    const QString selected = list->currentIndex().data(FileEntryListModel::ValueRole).value<ProjectFileEntry>().path;
    m_entries.replaceAll(m_model->currentDirectoryEntries());
    const QList<ProjectFileEntry> &entries = m_entries.values();
    const auto row = std::find_if(entries.cbegin(), entries.cend(),
                                  [&selected](const ProjectFileEntry &entry) { return entry.path == selected; });
    if (!selected.isEmpty() && row != entries.cend())
        list->setCurrentIndex(m_entries.index(int(row - entries.cbegin())));
}

void FilesBrowserColumn::runFilesTaskIfKeyChanged()
{
    const QString key = filesTaskKey(*m_model);
    if (key == m_lastTaskKey)
        return;
    m_lastTaskKey = key;
    if (m_model->workspaceTab() != ProjectWorkspaceTab::files)
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_model->currentDirectory())
            m_model->loadCurrentDirectory(true);
    });
}

} // namespace tessel
