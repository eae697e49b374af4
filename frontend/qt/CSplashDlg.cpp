#include "frontend/qt/CSplashDlg.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "frontend/ProductInfo.h"
#include "frontend/qt/ProgramIcon.h"

namespace ombrel {

CSplashDlg::CSplashDlg(const std::string& shortVersion, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      splashVersion_(SplashVersion(shortVersion)),
      picture_(SplashPicture()),
      lifetimeTimer_(this),
      versionTimer_(this) {
    setObjectName("splash");
    lifetimeTimer_.setObjectName("lifetimeTimer");
    versionTimer_.setObjectName("versionTimer");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(picture_.size());

    QScreen* screen = mainWindow != nullptr ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect area(QPoint(0, 0), picture_.size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }

    versionTimer_.setSingleShot(true);
    lifetimeTimer_.setSingleShot(true);
    connect(&versionTimer_, &QTimer::timeout, this, &CSplashDlg::ShowVersion);
    connect(&lifetimeTimer_, &QTimer::timeout, this, &CSplashDlg::Finish);

    show();
    lifetimeTimer_.start(kLifetimeMs);
    versionTimer_.start(kVersionDelayMs);
}

// QWidget's own destructor takes the window down; the timers die with their members.
CSplashDlg::~CSplashDlg() = default;

void CSplashDlg::ShowVersion() {
    versionTimer_.stop();
    versionShown_ = true;
    update(kSplashVersionRect);
}

void CSplashDlg::Finish() {
    lifetimeTimer_.stop();
    versionTimer_.stop();
    if (finished_) return;
    finished_ = true;
    close();
}

void CSplashDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
    if (!versionShown_) return;
    // White on the picture, nothing behind the glyphs.
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(QFont("Arial", 9));
    painter.drawText(kSplashVersionRect, Qt::AlignLeft | Qt::AlignTop,
                     QString::fromStdString(splashVersion_));
}

}  // namespace ombrel
