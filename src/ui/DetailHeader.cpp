#include "ui/DetailHeader.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/ConnectionStatus.h"
#include "ui/ElidedLabel.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/StatusBadge.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

const QString separator = u" \u2022 "_s;

QLabel *titleLabel(QWidget *parent)
{
    auto *title = new QLabel(u"Tessel Desktop POC"_s, parent);
    QFont font = UiStyle::headlineFont(parent->font());
    font.setWeight(QFont::Bold);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.6);
    title->setFont(font);
    return title;
}

} // namespace

DetailHeader::DetailHeader(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
{
    auto *project = new ElidedLabel(this);
    project->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    project->setAccessibleName(u"Selected project"_s);
    PaneParts::makeSecondary(project);
    project->setMinimumWidth(120);

    auto *connection = new StatusBadge(this);
    auto *backend = new StatusBadge(this);
    auto *workspace =
        PaneParts::segmentedPicker(u"desktop-workspace-picker"_s, u"Workspace"_s, {u"Chat"_s, u"Files"_s}, this);
    workspace->setExpanding(true);
    workspace->setMaximumWidth(pickerMaximumWidth);
    // Long texts beside it give way (elided), the picker does not.
    workspace->setMinimumWidth(workspace->sizeHint().width());

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(titleLabel(this));
    titles->addWidget(project);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addLayout(titles, 1);
    layout->addWidget(connection, 0, Qt::AlignVCenter);
    layout->addWidget(backend, 0, Qt::AlignVCenter);
    layout->addWidget(workspace, 0, Qt::AlignVCenter);

    ModelBinding::observe(
        model, project, {&M::machinesChanged, &M::selectedMachineIDChanged, &M::selectedProjectIDChanged},
        [model, project] { project->setFullText(projectLabel(model->selectedMachine(), model->selectedProject())); });
    ModelBinding::observe(model, connection, {&M::connectionStateChanged}, [model, connection] {
        const ConnectionStatus status = ConnectionStatus::of(model->connectionState(), connection->palette());
        connection->setText(status.text, status.tint);
        connection->setToolTip(status.text);
    });
    ModelBinding::observe(model, backend, {&M::backendChanged}, [model, backend] {
        backend->setText(displayName(model->backend()), UiStyle::accent(backend->palette()));
    });
    ModelBinding::observe(model, workspace, {&M::workspaceTabChanged}, [model, workspace] {
        const QSignalBlocker blocker(workspace);
        workspace->setCurrentIndex(model->workspaceTab() == ProjectWorkspaceTab::files ? 1 : 0);
    });
    connect(workspace, &QTabBar::currentChanged, model, [model](int index) {
        model->setWorkspaceTab(index == 1 ? ProjectWorkspaceTab::files : ProjectWorkspaceTab::chat);
    });
}

QString DetailHeader::projectLabel(const std::optional<MachineProfile> &machine,
                                   const std::optional<ProjectProfile> &project)
{
    QString label = (machine ? machine->displayName() : u"No Machine"_s) + separator +
        (project ? project->displayName() : u"No Project"_s);
    if (project && !project->directory.isEmpty())
        label += separator + project->directory;
    return label;
}

} // namespace tessel
