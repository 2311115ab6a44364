#pragma once

#include <QMainWindow>

namespace tessel {

// The application's single window. Its content is filled in by the views of later changes.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int minimumContentWidth = 1120;
    static constexpr int minimumContentHeight = 720;
};

} // namespace tessel
