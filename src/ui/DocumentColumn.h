#pragma once

#include <QPointer>
#include <QWidget>

namespace tessel {

class TesselDesktopPOCModel;

class DocumentEditor;

// The files pane's right column: "Document" with Save, the status and error cards, and the
// open document (path, Saved/Unsaved, modification time, editor) or its empty states. A
// Markdown document can also be shown rendered ("Preview"), draft and unsaved edits
// included; Save works the same in both.
class DocumentColumn : public QWidget
{
    Q_OBJECT

public:
    explicit DocumentColumn(TesselDesktopPOCModel *model, QWidget *parent = nullptr);
    ~DocumentColumn() override;

private:
    QWidget *buildDocumentView();
    QWidget *buildHeader();
    QWidget *buildPages(QWidget *parent);
    void bindMessageCards(QLayout *layout);

    QPointer<TesselDesktopPOCModel> m_model;
    DocumentEditor *m_editor = nullptr;
};

} // namespace tessel
