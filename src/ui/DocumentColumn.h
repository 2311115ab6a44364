#pragma once

#include <QWidget>

namespace tessel {

class TesselDesktopPOCModel;

// The files pane's right column: "Document" with Save, the status and error cards, and the
// open document (path, Saved/Unsaved, modification time, editor) or its empty states.
class DocumentColumn : public QWidget
{
    Q_OBJECT

public:
    explicit DocumentColumn(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

private:
    QWidget *buildDocumentView();
    QWidget *buildHeader();
    void bindMessageCards(QLayout *layout);

    TesselDesktopPOCModel *m_model;
};

} // namespace tessel
