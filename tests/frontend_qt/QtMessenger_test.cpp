#include "platform/qt/QtMessenger.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "frontend/qt/QtFilePicker.h"

namespace ombrel {
namespace {

// Presses a button of the message box that opens next, once it is up.
void AnswerNextBox(QMessageBox::StandardButton button, QString* text = nullptr, QString* title = nullptr) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (text) *text = box->text();
        if (title) *title = box->windowTitle();
        box->button(button)->click();
    });
}

TEST(QtMessenger, BoxesCarryTheProductTitleAndReportTheButtonPressed) {
    QtMessenger messenger;
    QString text, title;
    AnswerNextBox(QMessageBox::No, &text, &title);
    EXPECT_EQ(messenger.Ask("Save?", ButtonSet::YesNoCancel, MessageIcon::Question), Answer::No);
    EXPECT_EQ(text, "Save?");
    EXPECT_EQ(title, "Feldrin Software Ombrel");

    AnswerNextBox(QMessageBox::Cancel);
    EXPECT_EQ(messenger.Ask("Save?", ButtonSet::YesNoCancel, MessageIcon::Question), Answer::Cancel);
    AnswerNextBox(QMessageBox::Yes);
    EXPECT_EQ(messenger.Ask("Save?", ButtonSet::YesNo, MessageIcon::Question), Answer::Yes);
    AnswerNextBox(QMessageBox::Ok, &text);
    messenger.Show("Cannot locate x.cho.", MessageIcon::Exclamation);
    EXPECT_EQ(text, "Cannot locate x.cho.");
}

TEST(QtFilePicker, FiltersTakeQtsSyntax) {
    EXPECT_EQ(QtFilterText({"Ombrel Data Files (*.cho; *.chs)", {"*.cho", "*.chs"}}),
              "Ombrel Data Files (*.cho *.chs)");
    EXPECT_EQ(QtFilterText({"All Files (*.*)", {"*.*"}}), "All Files (*.*)");
    EXPECT_EQ(QtFilterText({"Text Files", {"*.txt"}}), "Text Files (*.txt)");
}

}  // namespace
}  // namespace ombrel
