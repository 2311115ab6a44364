#pragma once

#include <QMainWindow>

namespace tessel {

// The application's single window, titled "Tessel Desktop POC"; its content never gets
// smaller than 1120 by 720.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int minimumContentWidth = 1120;
    static constexpr int minimumContentHeight = 720;

    // Takes ownership of the window's content.
    void setContent(QWidget *content);

Q_SIGNALS:
    // The window was shown for the first time.
    void firstShown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_wasShown = false;
};

} // namespace tessel
