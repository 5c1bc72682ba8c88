#pragma once

#include <QStringList>

// `plovex --info FILE...`: probes every source named by the paths (numbered images grouped
// into sequences) without opening a window, prints one JSON object per source on a line of
// standard output, and returns 1 when any source could not be read, else 0.
int RunInfoCommand(const QStringList& paths);

// The sources that `paths` name: existing numbered images become one sequence path per
// pattern; every other path, missing ones included, stands for itself.
QStringList InfoSourcePaths(const QStringList& paths);
