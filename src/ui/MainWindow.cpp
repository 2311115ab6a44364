#include "ui/MainWindow.h"

#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(u"Tessel Desktop POC"_s);
    auto *content = new QWidget(this);
    content->setMinimumSize(minimumContentWidth, minimumContentHeight);
    setCentralWidget(content);
}

} // namespace tessel
