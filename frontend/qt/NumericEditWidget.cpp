#include "frontend/qt/NumericEditWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <string>

#include "frontend/NumericEdit.h"

namespace ombrel {

namespace {

// The program runs with LC_NUMERIC "C", and the settings are read that way.
constexpr char kDecimalSeparator = '.';

// Whether the key types the given text into the field and must be filtered: printable text, or the
// backspace key (which always passes). Control characters (Enter, Esc, Tab) and Ctrl shortcuts are
// keys, not typed characters; the line edit never inserts them.
bool TypesText(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString text = event.text();
    if (text.isEmpty()) return false;
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    }
    return true;
}

}  // namespace

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {
    // An input method would insert its composed text without passing the filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void NumericEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace || !TypesText(*event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Each typed character is judged against the text it would go into; anything beyond ASCII is
    // outside the allowed set.
    std::string current = text().toStdString();
    bool whole = hasSelectedText() && selectedText().size() == text().size();
    for (QChar c : event->text()) {
        const char typed = c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f';
        if (!NumericEditAccepts(current, whole, typed, kDecimalSeparator)) {
            QApplication::beep();
            event->accept();
            return;
        }
        if (whole) current.clear();
        whole = false;
        current.push_back(typed);
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace ombrel
