#include "frontend/qt/FieldWidgets.h"

#include <QRegularExpressionValidator>

namespace ombrel {

QLineEdit* DigitsField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAlignment(Qt::AlignRight);
    field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    return field;
}

void ShowText(QLineEdit* field, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (field->text() != shown) field->setText(shown);
}

}  // namespace ombrel
