#pragma once

#include <QLineEdit>

namespace ombrel {

// A single-line field for a real number (total task weight, prior variance): typed characters pass
// NumericEditAccepts or are refused with a beep. Text the program sets is not filtered, and neither
// are keys that type nothing (arrows, Delete, Enter, Esc, Tab, shortcuts).
class NumericEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit NumericEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ombrel
