// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the program's icon at the sizes a desktop's icon theme looks for:
//   ondrel_scale_icon SOURCE.png OUTPUT-FOLDER SIZE...
// makes OUTPUT-FOLDER/SIZExSIZE/apps/ondrel.png for each SIZE, scaled smoothly
// from the largest drawing of the icon.
#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fputs("usage: ondrel_scale_icon SOURCE.png OUTPUT-FOLDER SIZE...\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "ondrel_scale_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString output = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || size < 8 || size > 1024) {
            std::fprintf(stderr, "ondrel_scale_icon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(output).arg(size);
        const QImage scaled = size == source.width()
                                  ? source
                                  : source.scaled(static_cast<int>(size), static_cast<int>(size),
                                                  Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/ondrel.png"), "PNG")) {
            std::fprintf(stderr, "ondrel_scale_icon: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
