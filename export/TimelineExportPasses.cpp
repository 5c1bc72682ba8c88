#include "export/TimelineExportPasses.h"

#include "export/ExportManager.h"

void TimelineExportPasses::RunPass(int mode, Timeline* timeline, const std::shared_ptr<ExportProperties>& request,
                                   const LogFunction& log)
{
    if (!request)
        return;
    ExportManager manager(mode, request);
    if (log)
        QObject::connect(&manager, &ExportManager::ExportLogMsgReceived, &manager,
                         [&log](const QString& text, int msgType, bool isErrorMsg) { log(text, msgType, isErrorMsg); });
    manager.Run(timeline);
}
