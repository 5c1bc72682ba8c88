#pragma once

#include <QString>
#include <QStringList>

// The program's command line: "--new"/"-n" anywhere, the informational options, and paths
// (media files, image-sequence members, project files and ".txt" path lists).
struct CommandLine
{
    bool newInstance = false;
    bool help = false;
    bool version = false;
    bool info = false; // probe the paths, print JSON, open no window
    QStringList paths;

    // `arguments` starts with the program path, as QCoreApplication::arguments() does.
    // Options are compared exactly; everything else is a path, in command-line order.
    static CommandLine Parse(const QStringList& arguments);
    static QString Usage();
    static QString VersionText();
};
