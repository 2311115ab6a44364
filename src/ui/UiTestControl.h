#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

class QSocketNotifier;
class QWidget;

namespace tessel {

// Lets an automated test drive the real application binary, which is otherwise reachable
// only through its window. Never active for users: it exists only while the environment
// variable TESSEL_DESKTOP_TEST_CONTROL is "1".
//
// Reads one JSON command a line from standard input and answers each with one line on
// standard output, "[UiTestControl] " and a JSON object with "ok" (and "error" or results).
// Controls are named by their identifiers (object names):
//   {"command": "type", "target": NAME, "text": TEXT, "replace": BOOL}  key presses, one a character
//   {"command": "click", "target": NAME, "item": TEXT}  a button, or the tab or list row titled TEXT
//   {"command": "read", "target": NAME}  answers "text" and "enabled"
//   {"command": "cards"}  answers "texts", those of the message cards shown
//   {"command": "quit"}  quits as closing the window would
class UiTestControl : public QObject
{
    Q_OBJECT

public:
    static constexpr auto environmentVariable = "TESSEL_DESKTOP_TEST_CONTROL";

    explicit UiTestControl(QWidget &window, QObject *parent = nullptr);

private:
    void readInput();
    QJsonObject run(const QJsonObject &command);
    QJsonObject type(QWidget *target, const QJsonObject &command);
    QJsonObject click(QWidget *target, const QString &item);

    QWidget &m_window;
    QSocketNotifier *m_input;
    QByteArray m_pending;
};

} // namespace tessel
