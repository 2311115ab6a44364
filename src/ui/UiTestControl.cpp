#include "ui/UiTestControl.h"

#include "ui/DocumentEditor.h"
#include "ui/MessageCard.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTabBar>

#include <cstdio>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QJsonObject failure(const QString &error)
{
    return {{u"ok"_s, false}, {u"error"_s, error}};
}

void pressAt(QWidget *widget, QPoint point)
{
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, point, widget->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

QString textOf(QWidget *widget)
{
    if (auto *field = qobject_cast<QLineEdit *>(widget))
        return field->text();
    // The editor's own text: its soft breaks are not in it.
    if (auto *editor = qobject_cast<DocumentEditor *>(widget))
        return editor->draftText();
    if (auto *editor = qobject_cast<QPlainTextEdit *>(widget))
        return editor->toPlainText();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    return {};
}

} // namespace

UiTestControl::UiTestControl(QWidget &window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_input(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(m_input, &QSocketNotifier::activated, this, &UiTestControl::readInput);
}

void UiTestControl::readInput()
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count <= 0) {
        m_input->setEnabled(false);
        return;
    }
    m_pending.append(buffer, count);
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QJsonObject command = QJsonDocument::fromJson(m_pending.left(end)).object();
        m_pending.remove(0, end + 1);
        const QByteArray answer = QJsonDocument(run(command)).toJson(QJsonDocument::Compact);
        std::fprintf(stdout, "[UiTestControl] %s\n", answer.constData());
        std::fflush(stdout);
    }
}

QJsonObject UiTestControl::run(const QJsonObject &command)
{
    const QString name = command.value(u"command"_s).toString();
    if (name == "cards"_L1) {
        QJsonArray texts;
        for (MessageCard *card : m_window.findChildren<MessageCard *>()) {
            if (card->isVisibleTo(&m_window))
                texts.append(card->text());
        }
        return {{u"ok"_s, true}, {u"texts"_s, texts}};
    }
    if (name == "quit"_L1) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return {{u"ok"_s, true}};
    }
    QWidget *target = m_window.findChild<QWidget *>(command.value(u"target"_s).toString());
    if (!target)
        return failure(u"no control named "_s + command.value(u"target"_s).toString());
    if (name == "read"_L1)
        return {{u"ok"_s, true}, {u"text"_s, textOf(target)}, {u"enabled"_s, target->isEnabled()}};
    if (name == "type"_L1)
        return type(target, command);
    if (name == "click"_L1)
        return click(target, command.value(u"item"_s).toString());
    return failure(u"unknown command "_s + name);
}

QJsonObject UiTestControl::type(QWidget *target, const QJsonObject &command)
{
    target->setFocus(Qt::OtherFocusReason);
    if (command.value(u"replace"_s).toBool()) {
        if (auto *field = qobject_cast<QLineEdit *>(target))
            field->selectAll();
        else if (auto *editor = qobject_cast<QPlainTextEdit *>(target))
            editor->selectAll();
    } else if (auto *editor = qobject_cast<QPlainTextEdit *>(target)) {
        editor->moveCursor(QTextCursor::End);
    }
    const QString text = command.value(u"text"_s).toString();
    for (const QChar character : text) {
        for (const auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, QString(character));
            QApplication::sendEvent(target, &event);
        }
    }
    return {{u"ok"_s, true}, {u"text"_s, textOf(target)}};
}

QJsonObject UiTestControl::click(QWidget *target, const QString &item)
{
    if (auto *button = qobject_cast<QAbstractButton *>(target)) {
        button->click();
    } else if (auto *tabs = qobject_cast<QTabBar *>(target)) {
        int index = 0;
        while (index < tabs->count() && tabs->tabText(index) != item)
            ++index;
        if (index == tabs->count())
            return failure(u"no tab "_s + item);
        pressAt(tabs, tabs->tabRect(index).center());
    } else if (auto *view = qobject_cast<QAbstractItemView *>(target)) {
        const QModelIndex row = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, item).value(0);
        if (!row.isValid())
            return failure(u"no row "_s + item);
        view->scrollTo(row);
        pressAt(view->viewport(), view->visualRect(row).center());
    } else {
        return failure(u"cannot click "_s + target->objectName());
    }
    return {{u"ok"_s, true}};
}

} // namespace tessel
