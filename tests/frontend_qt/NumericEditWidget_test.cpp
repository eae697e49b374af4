#include "frontend/qt/NumericEditWidget.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace ombrel {
namespace {

// Real key presses through the widget, as the user types them.
class NumericEditWidget : public ::testing::Test {
protected:
    void Type(const char* keys) { QTest::keyClicks(&field, QString::fromUtf8(keys)); }
    void SetAndSelectAll(const char* text) {
        field.setText(QString::fromUtf8(text));
        field.selectAll();
    }

    NumericEdit field;
};

TEST_F(NumericEditWidget, DigitsAndOneSeparatorPassOthersAreRefused) {
    Type("1.5.2");
    EXPECT_EQ(field.text(), "1.52");
    Type("aZ,e+ *");
    EXPECT_EQ(field.text(), "1.52");
    // Nothing beyond ASCII is a digit here.
    QTest::sendKeyEvent(QTest::Click, &field, Qt::Key_twosuperior, QString::fromUtf8("\xC2\xB2"),
                        Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, &field, Qt::Key_Eacute, QString::fromUtf8("\xC3\xA9"), Qt::NoModifier);
    EXPECT_EQ(field.text(), "1.52");
}

TEST_F(NumericEditWidget, MinusOnlyIntoAnEmptyOrWhollySelectedField) {
    Type("-");
    EXPECT_EQ(field.text(), "-");
    Type("-3");
    EXPECT_EQ(field.text(), "-3");
    QTest::keyClick(&field, Qt::Key_Home);
    Type("-");
    EXPECT_EQ(field.text(), "-3");

    SetAndSelectAll("7.25");
    Type("-1");
    EXPECT_EQ(field.text(), "-1");

    // A part of the text selected is not the whole text.
    field.setText("7.25");
    field.setSelection(0, 2);
    Type("-");
    EXPECT_EQ(field.text(), "7.25");
}

TEST_F(NumericEditWidget, SecondSeparatorRefusedEvenOverASelectionThatHoldsTheFirst) {
    field.setText(" 2.00");
    Type(".");
    EXPECT_EQ(field.text(), " 2.00");
    field.setSelection(1, 2);  // "2."
    Type(".");
    EXPECT_EQ(field.text(), " 2.00");
    // Over a whole selection the old text counts still: the rule looks at the text as it is.
    field.selectAll();
    Type(".");
    EXPECT_EQ(field.text(), " 2.00");
}

TEST_F(NumericEditWidget, EditingKeysPass) {
    field.setText("12.5");
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), "12.");
    QTest::keyClick(&field, Qt::Key_Home);
    QTest::keyClick(&field, Qt::Key_Delete);
    EXPECT_EQ(field.text(), "2.");
    QTest::keyClick(&field, Qt::Key_End);
    QTest::keyClick(&field, Qt::Key_Left);
    Type("4");
    EXPECT_EQ(field.text(), "24.");
    // Ctrl+A is a shortcut, not a typed character; after it "-" replaces the whole text.
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field.selectedText(), "24.");
    Type("-");
    EXPECT_EQ(field.text(), "-");
}

TEST_F(NumericEditWidget, TextSetByTheProgramIsNotFiltered) {
    field.setText("-1.2.3abc");
    EXPECT_EQ(field.text(), "-1.2.3abc");
    field.insert("x-");
    EXPECT_EQ(field.text(), "-1.2.3abcx-");
}

TEST(NumericEditWidgetInDialog, EnterStillReachesTheDefaultButton) {
    QDialog dialog;
    auto* field = new NumericEdit(&dialog);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(field);
    layout->addWidget(ok);
    dialog.show();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace ombrel
