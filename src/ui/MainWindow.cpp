#include "ui/MainWindow.h"

#include <QTimer>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(u"Tessel Desktop POC"_s);
    setContent(new QWidget(this));
}

void MainWindow::setContent(QWidget *content)
{
    content->setMinimumSize(minimumContentWidth, minimumContentHeight);
    setCentralWidget(content);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_wasShown)
        return;
    m_wasShown = true;
    // After the show has finished, so that handlers see a visible, laid-out window.
    QTimer::singleShot(0, this, &MainWindow::firstShown);
}

} // namespace tessel
