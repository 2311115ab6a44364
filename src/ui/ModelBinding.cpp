#include "ui/ModelBinding.h"

#include "ui/UiStyle.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

void ModelBinding::styleEditorSurface(QAbstractScrollArea *editor, int cornerRadius, int padding)
{
    const QColor surface = UiStyle::withOpacity(UiStyle::surface(editor->palette()), 0.92);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setStyleSheet(u"QAbstractScrollArea { background: %1; border-radius: %2px; padding: %3px; }"_s.arg(
        surface.name(QColor::HexArgb), QString::number(cornerRadius), QString::number(padding)));
}

} // namespace tessel
