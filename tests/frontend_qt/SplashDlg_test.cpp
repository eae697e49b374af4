#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "frontend/qt/CSplashDlg.h"
#include "frontend/qt/ProgramIcon.h"

namespace ombrel {
namespace {

// Pixels of the version rectangle that are (nearly) white: the picture has none there.
int WhitePixelsInVersionRect(QWidget& splash) {
    const QImage image = splash.grab().toImage();
    int count = 0;
    for (int y = kSplashVersionRect.top(); y <= kSplashVersionRect.bottom(); ++y) {
        for (int x = kSplashVersionRect.left(); x <= kSplashVersionRect.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.red() > 230 && colour.green() > 230 && colour.blue() > 230) ++count;
        }
    }
    return count;
}

QTimer* NamedTimer(CSplashDlg& splash, const char* name) { return splash.findChild<QTimer*>(name); }

TEST(SplashDlg, ShowsAtOnceFramelessAndCentredOverTheMainWindow) {
    QWidget mainWindow;
    CSplashDlg splash("3.2.1", &mainWindow);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.isWindow());
    EXPECT_EQ(splash.parentWidget(), &mainWindow);
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.windowType(), Qt::SplashScreen);
    EXPECT_EQ(splash.size(), QSize(kSplashWidth, kSplashHeight));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((splash.frameGeometry().center() - area.center()).manhattanLength(), 2);
    EXPECT_EQ(splash.SplashVersionText(), "3.2");
}

TEST(SplashDlg, TimersAreOneShotAtOneHundredAndFiveThousandMilliseconds) {
    QWidget mainWindow;
    CSplashDlg splash("3.2.1", &mainWindow);
    QTimer* version = NamedTimer(splash, "versionTimer");
    QTimer* lifetime = NamedTimer(splash, "lifetimeTimer");
    ASSERT_NE(version, nullptr);
    ASSERT_NE(lifetime, nullptr);
    EXPECT_TRUE(version->isActive());
    EXPECT_TRUE(version->isSingleShot());
    EXPECT_EQ(version->interval(), 100);
    EXPECT_TRUE(lifetime->isActive());
    EXPECT_TRUE(lifetime->isSingleShot());
    EXPECT_EQ(lifetime->interval(), 5000);

    // The version timer fires on its own, long before the lifetime's end.
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.VersionShown(); }, 4000));
    EXPECT_FALSE(version->isActive());
    EXPECT_TRUE(splash.isVisible());

    mainWindow.setEnabled(false);
    splash.Finish();
    EXPECT_TRUE(splash.Finished());
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(lifetime->isActive());
    // The splash leaves the main window's enabled state to its owner.
    EXPECT_FALSE(mainWindow.isEnabled());
    splash.Finish();
    EXPECT_FALSE(splash.isVisible());
}

TEST(SplashDlg, DrawsTheVersionInWhiteOnlyAfterTheVersionTimer) {
    QWidget mainWindow;
    CSplashDlg splash("3.2.1", &mainWindow);
    EXPECT_FALSE(splash.VersionShown());
    EXPECT_EQ(WhitePixelsInVersionRect(splash), 0);
    splash.ShowVersion();
    EXPECT_TRUE(splash.VersionShown());
    EXPECT_FALSE(NamedTimer(splash, "versionTimer")->isActive());
    const int white = WhitePixelsInVersionRect(splash);
    EXPECT_GT(white, 5);
    // The text stays on later repaints.
    splash.repaint();
    EXPECT_EQ(WhitePixelsInVersionRect(splash), white);
}

TEST(SplashDlg, GoesWithItsMainWindowOrEarlierWhenDestroyed) {
    auto* mainWindow = new QWidget;
    auto* early = new CSplashDlg("1.0.0", mainWindow);
    EXPECT_TRUE(early->isVisible());
    delete early;
    auto* late = new CSplashDlg("1.0.0", mainWindow);
    QPointer<CSplashDlg> watch(late);
    delete mainWindow;
    EXPECT_TRUE(watch.isNull());
    // Nothing fires after it is gone.
    QTest::qWait(150);
}

}  // namespace
}  // namespace ombrel
