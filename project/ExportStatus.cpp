#include "project/ExportStatus.h"

namespace {
bool g_running = false;
QString g_generalLog;
} // namespace

bool ExportStatus::Running()
{
    return g_running;
}

void ExportStatus::SetRunning(bool running)
{
    g_running = running;
}

QString ExportStatus::GeneralLog()
{
    return g_generalLog;
}

void ExportStatus::ClearGeneralLog()
{
    g_generalLog.clear();
}

void ExportStatus::AppendGeneralLog(const QString& text)
{
    g_generalLog += text;
}
