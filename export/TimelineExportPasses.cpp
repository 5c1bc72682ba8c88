#include "export/TimelineExportPasses.h"

#include "export/ExportManager.h"

void TimelineExportPasses::RunPass(int mode, Timeline* timeline, const std::shared_ptr<ExportProperties>& request,
                                   const LogFunction& log)
{
    if (!request)
        return;
    // The audio pass comes first when there is one; a video pass is first when there is not.
    const bool firstPass = mode == ExportManager::AudioMode || request->noAudio || request->finalAudioPath.isEmpty();
    if (firstPass && log) {
        const QString version = ExportManager::VersionLine(request->ffmpegExePath);
        log(version.isEmpty() ? QStringLiteral("ffmpeg did not run: %1").arg(request->ffmpegExePath) : version,
            ExportLogGeneral, version.isEmpty());
    }
    ExportManager manager(mode, request);
    if (log)
        QObject::connect(&manager, &ExportManager::ExportLogMsgReceived, &manager,
                         [&log](const QString& text, int msgType, bool isErrorMsg) { log(text, msgType, isErrorMsg); });
    manager.Run(timeline);
}
