// quarrow-icon-render FOLDER SIZE...: writes the program icon as FOLDER/SIZExSIZE.png for
// each size, drawn by the program's own painter so the menu shows what the window shows.

#include "findwnd/ProgramIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: quarrow-icon-render FOLDER SIZE...\n");
        return 2;
    }
    // Runs at build time, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString strFolder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(strFolder)) {
        std::fprintf(stderr, "quarrow-icon-render: cannot make %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        char* pszEnd = nullptr;
        const long nSize = std::strtol(argv[i], &pszEnd, 10);
        if (*pszEnd != '\0' || nSize < 8 || nSize > 1024) {
            std::fprintf(stderr, "quarrow-icon-render: '%s' is not a size from 8 to 1024\n",
                         argv[i]);
            return 2;
        }
        const QString strFile =
            QStringLiteral("%1/%2x%2.png").arg(strFolder).arg(static_cast<int>(nSize));
        if (!ProgramIcon::Draw(static_cast<int>(nSize)).save(strFile, "PNG")) {
            std::fprintf(stderr, "quarrow-icon-render: cannot write %s\n",
                         strFile.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
