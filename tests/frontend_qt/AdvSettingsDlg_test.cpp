#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "frontend/qt/CAdvSettingsDlg.h"
#include "frontend/qt/NumericEditWidget.h"
#include "platform/ScriptedMessenger.h"

namespace ombrel {
namespace {

const std::string kSmartWithDummy = "'Use smart starting betas' cannot be used with 'Use dummy coding'.";
const std::string kVarianceRange = "'Prior variance' must be a number between 0.1 and 100.0.";

// The dialog shown over a logic on its own copy of the settings, as the main window runs it.
class AdvSettingsDlg : public ::testing::Test {
protected:
    AdvSettingsDlg() : logic(copy, messenger) {}

    void Open() {
        logic.Initialize();
        dialog = std::make_unique<CAdvSettingsDlg>(logic);
        dialog->show();
    }
    static void Retype(QLineEdit* field, const char* text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, QString::fromUtf8(text));
    }

    ScriptedMessenger messenger;
    StudySettings copy;
    AdvancedSettingsLogic logic;
    std::unique_ptr<CAdvSettingsDlg> dialog;
};

TEST_F(AdvSettingsDlg, ShowsTheSettingsInTheirFormatsUnderExactLabels) {
    copy.smartStart = false;
    copy.priorDegreesOfFreedom = 12;
    copy.priorVariance = 10.0;
    copy.effectsCoding = false;
    copy.randomSeed = 31999;
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Advanced Settings");
    EXPECT_EQ(dialog->SmartStartBox()->text(), "Use 'smart' starting betas");
    EXPECT_FALSE(dialog->SmartStartBox()->isChecked());
    EXPECT_EQ(dialog->PriorDegreesOfFreedomField()->text(), "12");
    EXPECT_EQ(dialog->PriorVarianceField()->text(), "10.00");
    EXPECT_EQ(dialog->EffectsCodingButton()->text(), "Use effects coding");
    EXPECT_EQ(dialog->DummyCodingButton()->text(), "Use dummy coding");
    EXPECT_FALSE(dialog->EffectsCodingButton()->isChecked());
    EXPECT_TRUE(dialog->DummyCodingButton()->isChecked());
    EXPECT_EQ(dialog->RandomSeedField()->text(), "31999");
    EXPECT_EQ(dialog->RestoreDefaultsButton()->text(), "Restore defaults");
    EXPECT_EQ(dialog->OkButton()->text(), "OK");
    EXPECT_EQ(dialog->CancelButton()->text(), "Cancel");
    EXPECT_EQ(dialog->PriorVarianceField()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(dialog->RandomSeedField()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(dialog->SmartStartBox()->layoutDirection(), Qt::RightToLeft);
    EXPECT_TRUE(dialog->HelpArea()->isReadOnly());
}

TEST_F(AdvSettingsDlg, OkUntouchedAcceptsWithoutAChange) {
    Open();
    EXPECT_EQ(dialog->PriorVarianceField()->text(), " 2.00");
    dialog->OkButton()->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(logic.SettingsChanged());
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(AdvSettingsDlg, DummyCodingClearsSmartStartAndEffectsCodingDoesNotRestoreIt) {
    Open();
    QTest::mouseClick(dialog->DummyCodingButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog->DummyCodingButton()->isChecked());
    EXPECT_FALSE(dialog->EffectsCodingButton()->isChecked());
    EXPECT_FALSE(dialog->SmartStartBox()->isChecked());
    EXPECT_TRUE(logic.SettingsChanged());
    QTest::mouseClick(dialog->EffectsCodingButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog->EffectsCodingButton()->isChecked());
    EXPECT_FALSE(dialog->SmartStartBox()->isChecked());
    dialog->OkButton()->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(copy.smartStart);
    EXPECT_TRUE(copy.effectsCoding);
}

TEST_F(AdvSettingsDlg, SmartStartWithDummyCodingIsRefusedAndTheDialogStaysOpen) {
    Open();
    QTest::mouseClick(dialog->DummyCodingButton(), Qt::LeftButton);
    QTest::mouseClick(dialog->SmartStartBox(), Qt::LeftButton);
    ASSERT_TRUE(dialog->SmartStartBox()->isChecked());
    dialog->OkButton()->click();
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kSmartWithDummy});
    EXPECT_EQ(messenger.Entries().at(0).icon, MessageIcon::Information);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    // The values read stay in the copy, as the caller discards it on Cancel.
    EXPECT_TRUE(copy.smartStart);
    EXPECT_FALSE(copy.effectsCoding);
}

TEST_F(AdvSettingsDlg, PriorVarianceBoundIsExactlyOneTenth) {
    Open();
    Retype(dialog->PriorVarianceField(), "0.09");
    QTest::keyClick(dialog->PriorVarianceField(), Qt::Key_Return);  // the default button, OK
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kVarianceRange});
    EXPECT_TRUE(dialog->isVisible());
    Retype(dialog->PriorVarianceField(), "0.1");
    dialog->OkButton()->click();
    EXPECT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(copy.priorVariance, 0.1);
    EXPECT_TRUE(logic.SettingsChanged());
}

TEST_F(AdvSettingsDlg, IntegerFieldsTakeDigitsOnlyAndAnEmptySeedPasses) {
    Open();
    Retype(dialog->PriorDegreesOfFreedomField(), "1a-2.5");
    EXPECT_EQ(dialog->PriorDegreesOfFreedomField()->text(), "125");
    Retype(dialog->RandomSeedField(), "");
    EXPECT_EQ(dialog->RandomSeedField()->text(), "");
    dialog->OkButton()->click();
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(copy.priorDegreesOfFreedom, 125);
    EXPECT_EQ(copy.randomSeed, 0);
}

TEST_F(AdvSettingsDlg, SecondSeparatorCannotBeTypedIntoThePriorVariance) {
    Open();
    QTest::keyClick(dialog->PriorVarianceField(), Qt::Key_End);
    QTest::keyClicks(dialog->PriorVarianceField(), ".5");
    EXPECT_EQ(dialog->PriorVarianceField()->text(), " 2.005");
}

TEST_F(AdvSettingsDlg, RestoreDefaultsShowsTheDefaultsAndCancelLeavesTheCallersCopyAlone) {
    copy.smartStart = false;
    copy.priorDegreesOfFreedom = 40;
    copy.priorVariance = 7.5;
    copy.effectsCoding = false;
    copy.randomSeed = 17;
    const StudySettings before(copy);
    Open();
    dialog->RestoreDefaultsButton()->click();
    EXPECT_TRUE(dialog->SmartStartBox()->isChecked());
    EXPECT_EQ(dialog->PriorDegreesOfFreedomField()->text(), "5");
    EXPECT_EQ(dialog->PriorVarianceField()->text(), " 2.00");
    EXPECT_TRUE(dialog->EffectsCodingButton()->isChecked());
    EXPECT_FALSE(dialog->DummyCodingButton()->isChecked());
    EXPECT_EQ(dialog->RandomSeedField()->text(), "0");
    dialog->CancelButton()->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(copy.smartStart);
    EXPECT_EQ(copy.priorDegreesOfFreedom, before.priorDegreesOfFreedom);
    EXPECT_EQ(copy.priorVariance, before.priorVariance);
    EXPECT_FALSE(copy.effectsCoding);
    EXPECT_EQ(copy.randomSeed, before.randomSeed);
}

TEST_F(AdvSettingsDlg, FocusShowsEachControlsHelpAndRestoreDefaultsKeepsTheLast) {
    Open();
    QApplication::setActiveWindow(dialog.get());
    dialog->PriorVarianceField()->setFocus();
    const QString variance = dialog->HelpArea()->toPlainText();
    EXPECT_TRUE(variance.startsWith("Select a prior variance for the prior covariance matrix."));
    // The typographic apostrophe survives as one character.
    EXPECT_TRUE(variance.contains(QString::fromUtf8("individual\xE2\x80\x99s data")));
    dialog->RandomSeedField()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().endsWith("use an integer between 1-32000."));
    dialog->RestoreDefaultsButton()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().endsWith("use an integer between 1-32000."));
    dialog->CancelButton()->setFocus();
    EXPECT_EQ(dialog->HelpArea()->toPlainText(), "Ignore any changes made and return to the main window.");
    dialog->OkButton()->setFocus();
    EXPECT_EQ(dialog->HelpArea()->toPlainText(), "Save these options and return to the main window.");
    dialog->SmartStartBox()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().contains("\n\nWhen there are very few choice tasks"));
}

TEST(QtAdvancedSettingsDialog, RunsModallyAndReportsOkOrCancel) {
    ScriptedMessenger messenger;
    StudySettings copy;
    AdvancedSettingsLogic logic(copy, messenger);
    logic.Initialize();
    QtAdvancedSettingsDialog runner;

    QTimer::singleShot(0, [] {
        auto* shown = qobject_cast<CAdvSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        QTest::keyClick(shown->RandomSeedField(), Qt::Key_Escape);
    });
    EXPECT_FALSE(runner.Run(logic));

    QTimer::singleShot(0, [] {
        auto* shown = qobject_cast<CAdvSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        shown->close();
    });
    EXPECT_FALSE(runner.Run(logic));

    QTimer::singleShot(0, [] {
        auto* shown = qobject_cast<CAdvSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        QTest::keyClicks(shown->RandomSeedField(), "9");
        shown->OkButton()->click();
    });
    EXPECT_TRUE(runner.Run(logic));
    EXPECT_EQ(copy.randomSeed, 9);
    EXPECT_TRUE(logic.SettingsChanged());
}

}  // namespace
}  // namespace ombrel
