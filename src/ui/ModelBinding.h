#pragma once

#include "app/TesselDesktopPOCModel.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QObject>

#include <functional>

namespace tessel {

// How the panes follow the model: a view part is a function of some observed fields and is
// rebuilt whenever one of them changes. Derived values have no signal of their own, so a
// part lists every field its derived values read.
class ModelBinding
{
public:
    using Signal = void (TesselDesktopPOCModel::*)();

    // Runs `update` now and after every change of one of `fields`, while `context` lives.
    static void observe(TesselDesktopPOCModel *model, QObject *context, std::initializer_list<Signal> fields,
                        const std::function<void()> &update)
    {
        for (const Signal field : fields)
            QObject::connect(model, field, context, update);
        update();
    }

    // A text field that writes every edit to the model and shows the model's value. The
    // value the model echoes back is set only when it differs, so the cursor stays put.
    static void bindText(QLineEdit *field, TesselDesktopPOCModel *model, std::initializer_list<Signal> fields,
                         const std::function<QString()> &value, const std::function<void(const QString &)> &edit)
    {
        QObject::connect(field, &QLineEdit::textEdited, model, edit);
        observe(model, field, fields, [field, value] {
            const QString text = value();
            if (field->text() != text)
                field->setText(text);
        });
    }

    // Rounded editor surface: white at 0.92 (the palette's base on dark palettes) with padding.
    static void styleEditorSurface(QAbstractScrollArea *editor, int cornerRadius, int padding);
};

} // namespace tessel
