#include "platform/qt/QtMessenger.h"

#include <QMessageBox>

namespace ombrel {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Exclamation:
            break;
    }
    return QMessageBox::Warning;
}

}  // namespace

void QtMessenger::Show(const std::string& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), QString::fromUtf8(kMessageTitle), QString::fromStdString(text),
                    QMessageBox::Ok, owner_.data());
    box.exec();
}

Answer QtMessenger::Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) {
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == ButtonSet::YesNo) {
        standard = QMessageBox::Yes | QMessageBox::No;
    } else if (buttons == ButtonSet::YesNoCancel) {
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    QMessageBox box(BoxIcon(icon), QString::fromUtf8(kMessageTitle), QString::fromStdString(text), standard,
                    owner_.data());
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Ok:
            return Answer::Ok;
        default:
            // Esc or the close box: Cancel where there is one, otherwise the safe "No".
            return buttons == ButtonSet::YesNo ? Answer::No : Answer::Cancel;
    }
}

}  // namespace ombrel
