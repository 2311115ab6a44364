#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    tessel::installPlatformMessageFilter();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessel Desktop POC"));
    tessel::MainWindow window;
    window.show();
    return QApplication::exec();
}
