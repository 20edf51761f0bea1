// Build tool: converts the ICQ flower of the plug-in's pictures into the desktop icon.
#include <cstdio>

#include <QImage>
#include <QString>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tolvane-xpm2png IN.xpm OUT.png\n", stderr);
        return 2;
    }
    QImage image;
    if (!image.load(QString::fromLocal8Bit(argv[1]), "XPM")) {
        std::fprintf(stderr, "%s: cannot read the XPM picture\n", argv[1]);
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write the PNG picture\n", argv[2]);
        return 1;
    }
    return 0;
}
