#include "frontend/qt/ProgramIcon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace ombrel {

namespace {

const QColor kDeepTeal(0x0f, 0x4c, 0x5c);
const QColor kTeal(0x1d, 0x78, 0x74);
const QColor kGold(0xf4, 0xa2, 0x59);
const QColor kAmber(0xe0, 0x7a, 0x2f);
const QColor kCream(0xfb, 0xf5, 0xe6);

// The umbrella inside a square of side s at the painter's origin: a canopy of half a circle whose
// lower edge is three scallops, a shaft and a hooked handle.
void DrawUmbrella(QPainter& painter, qreal s) {
    const qreal centreX = s * 0.5;
    const qreal rimY = s * 0.52;
    const qreal radius = s * 0.36;

    QPainterPath canopy;
    canopy.moveTo(centreX - radius, rimY);
    canopy.arcTo(QRectF(centreX - radius, rimY - radius, 2 * radius, 2 * radius), 180.0, -180.0);
    const qreal scallop = 2 * radius / 3;
    for (int i = 0; i < 3; ++i) {
        const qreal right = centreX + radius - i * scallop;
        canopy.arcTo(QRectF(right - scallop, rimY - scallop * 0.35, scallop, scallop * 0.7), 0.0, 180.0);
    }
    canopy.closeSubpath();

    QLinearGradient canopyFill(0, rimY - radius, 0, rimY);
    canopyFill.setColorAt(0.0, kGold);
    canopyFill.setColorAt(1.0, kAmber);
    painter.setPen(Qt::NoPen);
    painter.setBrush(canopyFill);
    painter.drawPath(canopy);

    // Ribs: the canopy's folds, as thin lighter lines from the tip to the scallops' joints.
    QPen rib(kCream, s * 0.012, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(rib);
    const QPointF tip(centreX, rimY - radius);
    painter.drawLine(tip, QPointF(centreX - radius + scallop, rimY));
    painter.drawLine(tip, QPointF(centreX + radius - scallop, rimY));

    QPen shaft(kCream, s * 0.045, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(shaft);
    painter.setBrush(Qt::NoBrush);
    const qreal shaftBottom = s * 0.78;
    painter.drawLine(QPointF(centreX, rimY - radius - s * 0.04), QPointF(centreX, shaftBottom));
    const qreal hook = s * 0.07;
    painter.drawArc(QRectF(centreX - 2 * hook, shaftBottom - hook, 2 * hook, 2 * hook), 0 * 16, -180 * 16);
}

}  // namespace

QImage ProgramIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    QLinearGradient background(0, 0, 0, s);
    background.setColorAt(0.0, kTeal);
    background.setColorAt(1.0, kDeepTeal);
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    const qreal margin = s * 0.04;
    painter.drawRoundedRect(QRectF(margin, margin, s - 2 * margin, s - 2 * margin), s * 0.18, s * 0.18);

    // The shadow the umbrella casts: the product's name means shade.
    QRadialGradient shade(QPointF(s * 0.5, s * 0.86), s * 0.3);
    shade.setColorAt(0.0, QColor(0, 0, 0, 110));
    shade.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setBrush(shade);
    painter.drawEllipse(QRectF(s * 0.2, s * 0.8, s * 0.6, s * 0.12));

    DrawUmbrella(painter, s);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    return icon;
}

QPixmap SplashPicture() {
    QPixmap picture(kSplashWidth, kSplashHeight);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient background(0, 0, kSplashWidth, kSplashHeight);
    background.setColorAt(0.0, kTeal);
    background.setColorAt(1.0, kDeepTeal);
    painter.fillRect(picture.rect(), background);
    painter.fillRect(QRect(0, kSplashHeight - 6, kSplashWidth, 6), kGold);

    painter.drawImage(QPoint(24, 60), ProgramIconImage(128));

    painter.setPen(Qt::white);
    QFont title("Arial", 30, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRect(170, 52, 220, 50), Qt::AlignLeft | Qt::AlignVCenter, "Ombrel");

    QFont small("Arial", 9);
    painter.setFont(small);
    // "Version" sits just left of the rectangle the splash window writes the number into.
    painter.drawText(QRect(290, kSplashVersionRect.top(), 66, kSplashVersionRect.height()),
                     Qt::AlignRight | Qt::AlignTop, "Version");
    painter.drawText(QRect(170, 140, 220, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     "Hierarchical Bayes estimation for choice-based conjoint");
    painter.setPen(kCream);
    painter.drawText(QRect(170, 200, 220, 20), Qt::AlignLeft | Qt::AlignTop, "Feldrin Software");
    return picture;
}

}  // namespace ombrel
