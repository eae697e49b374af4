#pragma once

#include <QLineEdit>
#include <QWidget>
#include <string>

namespace ombrel {

// A right-aligned field that takes digits only and may still be emptied (an empty field reads as 0).
QLineEdit* DigitsField(QWidget* parent);

// Sets a field's text only when it differs, so the cursor of a field being typed in stays put.
void ShowText(QLineEdit* field, const std::string& text);

}  // namespace ombrel
