#pragma once

#include <QString>

// The process-wide state of exporting: whether an export runs, and the general log of the
// current or last export. The player panel writes it; the client API reads it (a request
// arriving while an export runs is dropped, and "query_export" answers with the log).
// Main thread only.
class ExportStatus
{
public:
    static bool Running();
    static void SetRunning(bool running);
    static QString GeneralLog();
    static void ClearGeneralLog();
    static void AppendGeneralLog(const QString& text);
};
