#pragma once

#include <QApplication>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <string>

#include "common/Messenger.h"

namespace ombrel {

// Help > "&Product Manual (PDF)" and F1: opens "ombrel.pdf" from the program folder, or else from
// the installed documentation folder; shows the manual message (exclamation icon) when neither
// holds it or the desktop cannot open it. owner may be null (F1).
void OpenProductManual(QWidget* owner, Messenger& messenger, const std::string& programFolder);
// Help > "&Feldrin Software on the Web...": the home page, or its "programmers/" page while Shift is
// held down.
void OpenWebSite();
// Help > "&Request Support via E-Mail...".
void OpenSupportMail();
// Help > "&Check for Newer Version...".
void CheckForNewerVersion();
// Help > "&About Ombrel...": the modal About box.
void ShowAboutBox(QWidget* owner);
// F1 without Shift, Ctrl or Alt, in the main window or any of its dialogs, opens the manual without
// an owner window. The filter belongs to the application; messenger must outlive it.
void InstallF1Help(QApplication& application, Messenger& messenger, const std::string& programFolder);

// Seams for tests. The desktop's "open this address" (QDesktopServices::openUrl, true when it
// could) and the keyboard's modifiers at the moment of asking
// (QGuiApplication::queryKeyboardModifiers). An empty function restores the desktop's own.
using UrlOpener = std::function<bool(const QUrl&)>;
using ModifierReader = std::function<Qt::KeyboardModifiers()>;
void SetUrlOpener(UrlOpener opener);
void SetModifierReader(ModifierReader reader);

}  // namespace ombrel
