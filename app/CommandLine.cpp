#include "app/CommandLine.h"

#include <QCoreApplication>

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    CommandLine line;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--new") || argument == QLatin1String("-n"))
            line.newInstance = true;
        else if (argument == QLatin1String("--help"))
            line.help = true;
        else if (argument == QLatin1String("--version"))
            line.version = true;
        else if (argument == QLatin1String("--info"))
            line.info = true;
        else
            line.paths.append(argument);
    }
    return line;
}

QString CommandLine::Usage()
{
    return QStringLiteral(
        "Usage: plovex [--new|-n] [FILE...]\n"
        "       plovex --info FILE...\n"
        "\n"
        "Plays video files, numbered image sequences and audio frame by frame.\n"
        "FILE may be a media file, one image of a numbered sequence, a project file or a\n"
        ".txt file listing one path per line. When Plovex is already running, the files\n"
        "open in the running window.\n"
        "\n"
        "  -n, --new    start an independent player even when one is running\n"
        "  --info       probe each FILE and print one JSON object per source; the exit\n"
        "               code is 1 when any of them could not be read\n"
        "  --help       print this help and exit\n"
        "  --version    print the version and exit\n");
}

QString CommandLine::VersionText()
{
    return QStringLiteral("Plovex %1\n").arg(QStringLiteral(PLOVEX_VERSION));
}
