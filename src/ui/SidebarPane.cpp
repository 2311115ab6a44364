#include "ui/SidebarPane.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/CommandAvailability.h"
#include "ui/ConnectionStatus.h"
#include "ui/EmptyStateView.h"
#include "ui/Icons.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/SessionRowDelegate.h"
#include "ui/StatusRow.h"
#include "ui/UiStyle.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

using M = TesselDesktopPOCModel;

struct PickerItem
{
    QString title;
    QUuid id;
};

// Refills a picker without reporting it as the user's choice.
void fillPicker(QComboBox *picker, const QList<PickerItem> &items, const std::optional<QUuid> &selected)
{
    const QSignalBlocker blocker(picker);
    picker->clear();
    for (const PickerItem &item : items)
        picker->addItem(item.title, item.id);
    picker->setCurrentIndex(selected ? picker->findData(*selected) : -1);
}

// A picker whose current item, when too long for it, ends in "…" (a plain one cuts it off
// mid-letter); the whole name is its tooltip.
class ElidingComboBox : public QComboBox
{
public:
    explicit ElidingComboBox(QWidget *parent)
        : QComboBox(parent)
    {
        connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width() - 2);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

QComboBox *picker(const QString &identifier, const QString &title, QWidget *parent)
{
    auto *box = new ElidingComboBox(parent);
    box->setObjectName(identifier);
    box->setAccessibleName(title);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    return box;
}

// A picker's title, also its label for assistive tools (on Linux a combo box's accessible
// name is its current item; the title reaches them as the "labelled by" relation).
QLabel *pickerTitle(const QString &title, QComboBox *picker)
{
    auto *label = new QLabel(title, picker->parentWidget());
    label->setBuddy(picker);
    return label;
}

// The title, the picker filling the row, then its buttons.
QHBoxLayout *pickerRow(const QString &title, QComboBox *picker, std::initializer_list<QToolButton *> buttons)
{
    auto *row = new QHBoxLayout;
    row->addWidget(pickerTitle(title, picker));
    row->addWidget(picker, 1);
    for (QToolButton *button : buttons)
        row->addWidget(button);
    return row;
}

// A scroll area as tall as its content at its width (a plain one caps its wish at 24 lines),
// which scrolls only when the window leaves it less.
class FittingScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        const int width = viewport()->width();
        const int height =
            widget()->hasHeightForWidth() ? widget()->heightForWidth(width) : widget()->sizeHint().height();
        return {widget()->sizeHint().width() + frame, height + frame};
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Rows that appear or wrap change the content's height.
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QScrollArea::resizeEvent(event);
        if (event->size().width() != event->oldSize().width())
            updateGeometry();
    }
};

// A titled section of the form: a flat group, so that its frame costs no height.
QGroupBox *section(const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    box->setFlat(true);
    return box;
}

QVBoxLayout *sectionLayout(QGroupBox *section)
{
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(6);
    return layout;
}

QLineEdit *field(const QString &identifier, const QString &placeholder, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(identifier);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    edit->setClearButtonEnabled(false);
    return edit;
}

} // namespace

SidebarPane::SidebarPane(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setMinimumWidth(minimumWidth);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto *form = new QWidget;
    auto *formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(12, 8, 12, 6);
    formLayout->setSpacing(8);
    formLayout->addWidget(buildMachineSection());
    formLayout->addWidget(buildProjectSection());
    formLayout->addWidget(buildStatusSection());

    auto *scroll = new FittingScrollArea(this);
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The setup and status take the height they need; the sessions take what is left.
    scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    QWidget *sessions = buildSessionSection();
    sessions->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    sessions->setMinimumHeight(sessionsMinimumHeight);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll);
    layout->addWidget(PaneParts::divider(this));
    layout->addWidget(sessions, 1);
}

QToolButton *SidebarPane::symbolButton(SfSymbol symbol, const QString &identifier, const QString &accessibleName,
                                       void (TesselDesktopPOCModel::*action)())
{
    auto *button = PaneParts::symbolButton(symbol, identifier, accessibleName, this);
    connect(button, &QToolButton::clicked, m_model, action);
    return button;
}

QWidget *SidebarPane::buildMachineSection()
{
    auto *section = tessel::section(u"Machine"_s, this);
    auto *machines = picker(u"desktop-machine-picker"_s, u"Machine"_s, section);
    auto *add = symbolButton(SfSymbol::plus, u"desktop-machine-add-button"_s, u"Add machine"_s, &M::addMachine);
    auto *remove = symbolButton(SfSymbol::minus, u"desktop-machine-delete-button"_s, u"Delete machine"_s,
                                &M::deleteSelectedMachine);
    auto *name = field(u"desktop-machine-name-field"_s, u"Machine name"_s, section);
    auto *url = field(u"desktop-machine-gateway-url-field"_s, u"ws://host:4821"_s, section);
    auto *token = field(u"desktop-machine-token-field"_s, u"Auth token"_s, section);
    token->setEchoMode(QLineEdit::Password);

    auto *layout = sectionLayout(section);
    layout->addLayout(pickerRow(u"Machine"_s, machines, {add, remove}));
    layout->addWidget(name);
    layout->addWidget(url);
    layout->addWidget(token);

    ModelBinding::observe(
        m_model, section, {&M::machinesChanged, &M::selectedMachineIDChanged}, [this, machines, remove] {
            QList<PickerItem> items;
            for (const MachineProfile &machine : m_model->machines())
                items.append({machine.displayName(), machine.id});
            fillPicker(machines, items, m_model->selectedMachineID());
            PaneParts::enableUnless(remove, CommandAvailability::deleteMachine(*m_model), remove->accessibleName());
        });
    connect(machines, &QComboBox::activated, m_model,
            [this, machines](int index) { m_model->setSelectedMachineID(machines->itemData(index).toUuid()); });
    const auto machineField = [this](QString MachineProfile::*member) {
        return [this, member] {
            const auto machine = m_model->selectedMachine();
            return machine ? (*machine).*member : QString();
        };
    };
    const std::initializer_list<ModelBinding::Signal> machineFields{&M::machinesChanged, &M::selectedMachineIDChanged};
    ModelBinding::bindText(name, m_model, machineFields, machineField(&MachineProfile::name),
                           [this](const QString &text) { m_model->updateSelectedMachineName(text); });
    ModelBinding::bindText(
        url, m_model, {&M::gatewayURLChanged}, [this] { return m_model->gatewayURL(); },
        [this](const QString &text) { m_model->updateSelectedGatewayURL(text); });
    ModelBinding::bindText(
        token, m_model, {&M::gatewayTokenChanged}, [this] { return m_model->gatewayToken(); },
        [this](const QString &text) { m_model->updateSelectedGatewayToken(text); });
    return section;
}

QWidget *SidebarPane::buildProjectSection()
{
    auto *section = tessel::section(u"Project"_s, this);
    auto *projects = picker(u"desktop-project-picker"_s, u"Project"_s, section);
    auto *add = symbolButton(SfSymbol::plus, u"desktop-project-add-button"_s, u"Add project"_s, &M::addProject);
    auto *remove = symbolButton(SfSymbol::minus, u"desktop-project-delete-button"_s, u"Delete project"_s,
                                &M::deleteSelectedProject);
    auto *name = field(u"desktop-project-name-field"_s, u"Project name"_s, section);
    auto *directory = field(u"desktop-project-directory-field"_s, u"Project directory"_s, section);
    auto *backends = picker(u"desktop-backend-picker"_s, u"Backend"_s, section);
    for (const BackendKind kind : allEnumCases<BackendKind>())
        backends->addItem(displayName(kind), QString(enumToWire(kind)));
    auto *availability = PaneParts::secondaryLabel(UiStyle::captionFont(font()), section);

    auto *layout = sectionLayout(section);
    layout->addLayout(pickerRow(u"Project"_s, projects, {add, remove}));
    layout->addWidget(name);
    layout->addWidget(directory);
    layout->addLayout(pickerRow(u"Backend"_s, backends, {}));
    layout->addWidget(availability);

    const std::initializer_list<ModelBinding::Signal> projectFields{&M::machinesChanged, &M::selectedMachineIDChanged,
                                                                    &M::selectedProjectIDChanged};
    ModelBinding::observe(m_model, section, projectFields, [this, projects, remove] {
        const auto machine = m_model->selectedMachine();
        QList<PickerItem> items;
        for (const ProjectProfile &project : machine ? machine->projects : QList<ProjectProfile>())
            items.append({project.displayName(), project.id});
        fillPicker(projects, items, m_model->selectedProjectID());
        PaneParts::enableUnless(remove, CommandAvailability::deleteProject(*m_model), remove->accessibleName());
    });
    connect(projects, &QComboBox::activated, m_model,
            [this, projects](int index) { m_model->setSelectedProjectID(projects->itemData(index).toUuid()); });
    ModelBinding::bindText(
        name, m_model, projectFields,
        [this] {
            const auto project = m_model->selectedProject();
            return project ? project->name : QString();
        },
        [this](const QString &text) { m_model->updateSelectedProjectName(text); });
    ModelBinding::bindText(
        directory, m_model, {&M::projectDirectoryChanged}, [this] { return m_model->projectDirectory(); },
        [this](const QString &text) { m_model->updateSelectedProjectDirectory(text); });

    ModelBinding::observe(m_model, section, {&M::backendChanged, &M::availableBackendsChanged},
                          [this, backends, availability] {
                              const QSignalBlocker blocker(backends);
                              backends->setCurrentIndex(backends->findData(QString(enumToWire(m_model->backend()))));
                              const auto text = m_model->selectedBackendAvailabilityText();
                              availability->setText(text.value_or(QString()));
                              availability->setVisible(text.has_value());
                          });
    connect(backends, &QComboBox::activated, m_model, [this, backends](int index) {
        if (const auto kind = enumFromWire<BackendKind>(backends->itemData(index).toString()))
            m_model->setBackend(*kind);
    });
    return section;
}

StatusRow *SidebarPane::addStatusRow(QVBoxLayout *layout, const QString &title)
{
    auto *row = new StatusRow(title, layout->parentWidget());
    layout->addWidget(row);
    return row;
}

QWidget *SidebarPane::buildStatusSection()
{
    auto *section = tessel::section(u"Status"_s, this);
    auto *layout = sectionLayout(section);
    layout->setSpacing(4);
    auto *connection = addStatusRow(layout, u"Connection"_s);
    auto *summary = addStatusRow(layout, u"Summary"_s);
    auto *sync = addStatusRow(layout, u"Sync"_s);
    auto *gateway = addStatusRow(layout, u"Gateway"_s);
    auto *sessionState = addStatusRow(layout, u"Session State"_s);
    auto *sessionID = addStatusRow(layout, u"Session ID"_s);
    auto *sessionName = addStatusRow(layout, u"Session Name"_s);
    auto *context = addStatusRow(layout, u"Context"_s);
    int titleWidth = 0;
    for (StatusRow *row : section->findChildren<StatusRow *>())
        titleWidth = std::max(titleWidth, row->titleWidth());
    for (StatusRow *row : section->findChildren<StatusRow *>())
        row->setTitleWidth(titleWidth);
    auto *syncDetail = PaneParts::secondaryLabel(UiStyle::captionFont(font()), section);
    syncDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(syncDetail);

    const auto showOptional = [](StatusRow *row, const std::optional<QString> &value) {
        row->setValue(value.value_or(QString()));
        row->setVisible(value.has_value());
    };
    ModelBinding::observe(m_model, section, {&M::connectionStateChanged}, [this, connection] {
        connection->setValue(ConnectionStatus::of(m_model->connectionState(), palette()).text);
    });
    ModelBinding::observe(m_model, section, {&M::connectionSummaryChanged},
                          [this, summary] { summary->setValue(m_model->connectionSummary()); });
    ModelBinding::observe(m_model, section, {&M::syncDiagnosticsChanged}, [this, sync, syncDetail] {
        sync->setValue(m_model->syncStatusTitle());
        syncDetail->setText(m_model->syncStatusDetail());
    });
    ModelBinding::observe(m_model, section, {&M::serverVersionChanged},
                          [this, gateway, showOptional] { showOptional(gateway, m_model->serverVersion()); });
    ModelBinding::observe(m_model, section, {&M::currentSessionStateChanged}, [this, sessionState] {
        sessionState->setValue(QString(enumToWire(m_model->currentSessionState())));
    });
    ModelBinding::observe(m_model, section, {&M::currentSessionIDChanged},
                          [this, sessionID, showOptional] { showOptional(sessionID, m_model->currentSessionID()); });
    ModelBinding::observe(m_model, section, {&M::currentSessionNameChanged}, [this, sessionName, showOptional] {
        const auto name = m_model->currentSessionName();
        showOptional(sessionName, name && !name->isEmpty() ? name : std::nullopt);
    });
    ModelBinding::observe(m_model, section, {&M::contextUsageChanged},
                          [this, context, showOptional] { showOptional(context, m_model->contextUsageText()); });
    return section;
}

QWidget *SidebarPane::buildSessionSection()
{
    auto *section = new QWidget(this);
    auto *heading = PaneParts::headline(u"Live Sessions"_s, section);
    auto *filter = field(u"desktop-session-filter-field"_s, u"Filter sessions"_s, section);
    filter->setClearButtonEnabled(true);
    filter->setToolTip(u"Show the sessions whose name, directory or backend contains these words"_s);
    auto *open = new QPushButton(u"Open Selected"_s, section);
    open->setObjectName(u"desktop-session-open-selected-button"_s);
    connect(open, &QPushButton::clicked, m_model, &M::openSelectedSession);

    m_filter.setSourceModel(&m_sessions);
    m_sessionList =
        PaneParts::rowList(u"desktop-session-list"_s, u"Sessions"_s, &m_filter, new SessionRowDelegate, section);
    m_sessionList->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *empty = new EmptyStateView(SfSymbol::rectangleStack, u"No Sessions Yet"_s,
                                     u"Connect to the selected machine/project and Tessel will create or reattach to "
                                     "the active session for this backend."_s,
                                     section);
    auto *stack = new QStackedWidget(section);
    stack->addWidget(m_sessionList);
    stack->addWidget(empty);

    // One row for the heading, the filter and the button: the list keeps the height.
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(heading);
    header->addWidget(filter, 1);
    header->addWidget(open);
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(12, 6, 12, 8);
    layout->setSpacing(6);
    layout->addLayout(header);
    layout->addWidget(stack, 1);

    connect(m_sessionList->selectionModel(), &QItemSelectionModel::currentChanged, m_model,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_model->setSelectedSessionID(
                        current.data(SessionListModel::ValueRole).value<GatewaySessionSummary>().id);
            });
    connect(filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        // Rows the filter hides must not move the selection to a neighbour: the selected
        // session stays selected, shown again when the filter lets it through.
        const QSignalBlocker blocker(m_sessionList->selectionModel());
        m_filter.setFilterText(text);
        showSelectedSession();
    });
    ModelBinding::observe(m_model, section, {&M::sessionsChanged}, [this, stack, filter, empty] {
        m_sessions.replaceAll(m_model->sessions());
        filter->setVisible(m_sessions.rowCount() > 0);
        stack->setCurrentWidget(m_sessions.rowCount() == 0 ? static_cast<QWidget *>(empty) : m_sessionList);
        showSelectedSession();
    });
    connect(m_model, &M::selectedSessionIDChanged, this, &SidebarPane::showSelectedSession);
    PaneParts::activateRowsWithKeys(m_sessionList, [this](const QModelIndex &) { m_model->openSelectedSession(); });
    ModelBinding::observe(
        m_model, open, {&M::selectedSessionIDChanged, &M::sessionsChanged, &M::connectionStateChanged},
        [this, open] { PaneParts::enableUnless(open, CommandAvailability::openSelectedSession(*m_model)); });
    return section;
}

void SidebarPane::showSelectedSession()
{
    const auto &selected = m_model->selectedSessionID();
    const auto &values = m_sessions.values();
    const auto found = std::find_if(values.cbegin(), values.cend(), [&selected](const GatewaySessionSummary &item) {
        return selected && item.id == *selected;
    });
    const QModelIndex index =
        found == values.cend() ? QModelIndex() : m_filter.mapFromSource(m_sessions.index(int(found - values.cbegin())));
    QItemSelectionModel *selection = m_sessionList->selectionModel();
    const QSignalBlocker blocker(selection);
    if (index.isValid())
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        selection->clear();
    m_sessionList->viewport()->update();
}

} // namespace tessel
