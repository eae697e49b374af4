#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>

namespace ombrel {

// The program's pictures, drawn in code so that no image file has to travel with the program.

// The program icon at one size: an umbrella over a rounded square, no text, so that it can be
// drawn without a running application (data/lumaro.png is this image at 256).
QImage ProgramIconImage(int size);
// The icon at the usual sizes, for windows and the About box.
QIcon ProgramIcon();

// Size of the splash picture, and where the splash window writes the version into it.
inline constexpr int kSplashWidth = 400;
inline constexpr int kSplashHeight = 250;
inline const QRect kSplashVersionRect(360, 109, 30, 20);  // (360,109)-(390,129), right and bottom excluded

// The splash picture, without the version (the splash window adds it after a moment).
QPixmap SplashPicture();

}  // namespace ombrel
