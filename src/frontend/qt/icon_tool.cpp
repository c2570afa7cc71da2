// Writes the program's picture as PNG files for the desktop entry:
//   koru-icon SIZE FILE [SIZE FILE ...]
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "frontend/qt/logo.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: koru-icon SIZE FILE [SIZE FILE ...]\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024 || !koru::LogoImage(size).save(argv[i + 1], "PNG")) {
            std::fprintf(stderr, "koru-icon: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
