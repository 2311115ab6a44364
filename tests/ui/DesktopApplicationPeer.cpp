// The real application entry, driven as a user would: once the window shows, replaces the
// machine name by typing, prints "typed" and keeps running until something ends it.
#include "ui/DesktopApplication.h"
#include "ui/MainWindow.h"

#include <QLineEdit>
#include <QTest>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    return tessel::DesktopApplication::run(argc, argv, [](tessel::DesktopApplication &application) {
        QObject::connect(&application, &tessel::DesktopApplication::windowShown, &application, [&application] {
            auto *name = application.window()->findChild<QLineEdit *>(u"desktop-machine-name-field"_s);
            if (!name)
                return QCoreApplication::exit(3);
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, u"Typed before the end"_s);
            std::puts("typed");
            std::fflush(stdout);
        });
    });
}
