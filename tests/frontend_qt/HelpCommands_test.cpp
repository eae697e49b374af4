#include "frontend/qt/HelpCommands.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <vector>

#include "frontend/ProductInfo.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

// Records every address the help commands hand to the desktop, and holds the keyboard's modifiers
// where the test puts them; the desktop's own come back at the end.
class DesktopSeams {
public:
    DesktopSeams() {
        SetUrlOpener([this](const QUrl& url) {
            urls.push_back(url.toString(QUrl::FullyEncoded).toStdString());
            return opens;
        });
        SetModifierReader([this] { return modifiers; });
    }
    ~DesktopSeams() {
        SetUrlOpener(nullptr);
        SetModifierReader(nullptr);
    }

    std::vector<std::string> urls;
    bool opens = true;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

bool InstalledManualExists() { return FindProductManual("", InstalledDocFolder()).has_value(); }

TEST(HelpCommands, WebMailAndVersionCheckAskForTheirAddresses) {
    DesktopSeams desktop;
    OpenWebSite();
    desktop.modifiers = Qt::ShiftModifier;
    OpenWebSite();
    desktop.modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    OpenWebSite();
    desktop.modifiers = Qt::ControlModifier;
    OpenWebSite();
    OpenSupportMail();
    CheckForNewerVersion();
    // The desktop's failure to open them is not reported.
    desktop.opens = false;
    OpenSupportMail();
    EXPECT_EQ(desktop.urls, (std::vector<std::string>{
                                "https://www.feldrin.example/",
                                "https://www.feldrin.example/programmers/",
                                "https://www.feldrin.example/programmers/",
                                "https://www.feldrin.example/",
                                "mailto:support@feldrin.example?subject=Ombrel%20Support",
                                VersionCheckUrl(ShortVersion()),
                                "mailto:support@feldrin.example?subject=Ombrel%20Support",
                            }));
}

TEST(HelpCommands, ManualOpensFromTheProgramFolderOrShowsTheMessage) {
    if (InstalledManualExists()) GTEST_SKIP() << "an installed manual would be found";
    TempDir dir;
    DesktopSeams desktop;
    ScriptedMessenger messenger;

    OpenProductManual(nullptr, messenger, dir.Folder());
    EXPECT_TRUE(desktop.urls.empty());
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kManualFailureMessage);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(messenger.Entries()[0].question);

    WriteFileText(dir.File("ombrel.pdf"), "%PDF-1.4\n");
    messenger.Clear();
    OpenProductManual(nullptr, messenger, dir.Folder());
    EXPECT_TRUE(messenger.Entries().empty());
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0], QUrl::fromLocalFile(QString::fromStdString(dir.File("ombrel.pdf")))
                                   .toString(QUrl::FullyEncoded)
                                   .toStdString());

    // No program for PDF documents: the desktop says it could not open it.
    desktop.opens = false;
    OpenProductManual(nullptr, messenger, dir.Folder());
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kManualFailureMessage);
}

TEST(HelpCommands, AboutBoxIsModalWithTitleIconTextAndOk) {
    QWidget owner;
    QString title, text;
    bool modal = false, hasIcon = false, hasOk = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        modal = box->isModal();
        title = box->windowTitle();
        hasIcon = !box->windowIcon().isNull();
        if (auto* label = box->findChild<QLabel*>("aboutText")) text = label->text();
        auto* buttons = box->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        hasOk = ok != nullptr;
        if (ok) ok->click();
    });
    ShowAboutBox(&owner);
    EXPECT_TRUE(modal);
    EXPECT_EQ(title.toStdString(), "About Feldrin Software Ombrel Version " + ShortVersion());
    EXPECT_EQ(text.toStdString(), "Feldrin Software Ombrel Version " + ShortVersion());
    EXPECT_TRUE(hasIcon);
    EXPECT_TRUE(hasOk);
}

TEST(HelpCommands, F1WithoutModifiersOpensTheManualAnywhere) {
    if (InstalledManualExists()) GTEST_SKIP() << "an installed manual would be found";
    // The filter keeps a reference to its messenger for the rest of the run.
    static ScriptedMessenger messenger;
    TempDir dir;
    DesktopSeams desktop;
    InstallF1Help(*qApp, messenger, dir.Folder());

    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(field);
    dialog.show();
    field->setFocus();

    QTest::keyClick(field, Qt::Key_F1);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kManualFailureMessage);
    // The key went to the manual, not into the field.
    EXPECT_TRUE(field->text().isEmpty());

    for (const Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::ShiftModifier, Qt::AltModifier}) {
        QTest::keyClick(field, Qt::Key_F1, modifier);
    }
    QTest::keyClick(field, Qt::Key_F2);
    QTest::keyClick(field, Qt::Key_A);
    EXPECT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(field->text(), "a");

    // With the manual in the program folder, F1 hands it to the desktop.
    WriteFileText(dir.File("ombrel.pdf"), "%PDF-1.4\n");
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(desktop.urls.size(), 1u);

    // Remove the filter again so that no other test meets it.
    const QObjectList children = qApp->children();
    for (QObject* child : children) {
        if (child->objectName() == "f1Help") delete child;
    }
    QTest::keyClick(field, Qt::Key_F1);
    EXPECT_EQ(desktop.urls.size(), 1u);
}

}  // namespace
}  // namespace ombrel
