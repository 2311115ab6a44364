#pragma once

#include <QSplitter>

namespace tessel {

class TesselDesktopPOCModel;

// The project-files workspace: the directory browser beside the document.
class FilesPane : public QSplitter
{
    Q_OBJECT

public:
    explicit FilesPane(TesselDesktopPOCModel *model, QWidget *parent = nullptr);
};

} // namespace tessel
