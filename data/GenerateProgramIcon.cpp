// Writes the program icon as the desktop's PNG: generate_program_icon <file.png> [size]. The committed
// data/lumaro.png is this program's output at 256 pixels; run it again whenever the icon's drawing
// changes.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "frontend/qt/ProgramIcon.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: generate_program_icon <file.png> [size]\n");
        return 1;
    }
    const int size = argc == 3 ? std::atoi(argv[2]) : 256;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "generate_program_icon: the size must be between 16 and 1024\n");
        return 1;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (!ombrel::ProgramIconImage(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "generate_program_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
