#include "engine/AvWorker.h"

#include "core/Logger.h"
#include "engine/DecodeManager.h"
#include "engine/ExportPassRunner.h"
#include "media/AvParser.h"
#include "playback/AudioOutputManager.h"
#include "project/ExportProperties.h"
#include "project/Source.h"
#include "project/Timeline.h"

AvWorker::AvWorker(int id, QObject* parent)
    : QObject(parent)
    , m_id(id)
{
    ++s_live;
}

AvWorker::~AvWorker()
{
    --s_live;
}

void AvWorker::DoTask(int workerId, AvWorkerTask* task)
{
    if (workerId != m_id || m_busy || !task)
        return;
    m_task = task;
    if (m_completed || m_endRequested) {
        // Ended before it began (EndTask may have completed it already): a queued export
        // pass that never runs is not pending any more either.
        ClearExportPending(task);
        Complete();
        return;
    }
    m_busy = true;
    switch (task->type) {
    case AvWorkerTask::ParseSource: {
        Source* source = task->source;
        if (!source) {
            Logger::error(QStringLiteral("Parse source failed. Source timeline is invalid."));
            break;
        }
        AvParser parser;
        source->ApplyParseResult(parser.Parse(source->ParserFileEntry(source->ProbeFileIndex())));
        break;
    }
    case AvWorkerTask::DecodeAudio:
    case AvWorkerTask::DecodeVideo: {
        m_decodeManager = std::make_unique<DecodeManager>(task->imageSequenceThreadCount);
        connect(m_decodeManager.get(), &DecodeManager::VideoFrameChanged, this,
                [this](std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame> previous, std::shared_ptr<VideoFrame> next) {
                    emit VideoFrameChanged(m_id, std::move(frame), std::move(previous), std::move(next));
                });
        const DecodeType type = task->type == AvWorkerTask::DecodeAudio ? DecodeType::Audio : DecodeType::Video;
        m_decodeManager->StartDecoding(task->timeline, type, false);
        m_decodeManager.reset();
        if (task->timeline)
            task->timeline->SetDecoding(type, false);
        break;
    }
    case AvWorkerTask::ExportAudio:
    case AvWorkerTask::ExportVideo: {
        const std::shared_ptr<ExportProperties> request = task->exportRequest;
        if (request && task->exportRunner && task->timeline && request->Proceeding()) {
            const int mode = task->type == AvWorkerTask::ExportAudio ? 1 : 2;
            task->exportRunner->RunPass(mode, task->timeline, request,
                                        [this](const QString& text, int msgType, bool isErrorMsg) {
                                            emit ExportLogMsgReceived(text, msgType, isErrorMsg);
                                        });
        }
        ClearExportPending(task);
        break;
    }
    case AvWorkerTask::AudioOutput:
        // Stays until the task is ended; its timer runs on this thread's event loop.
        m_audioOutput = std::make_unique<AudioOutputManager>(task->audioOutput);
        return;
    default:
        break;
    }
    Complete();
}

void AvWorker::ClearExportPending(AvWorkerTask* task)
{
    if (!task->IsExport() || !task->exportRequest)
        return;
    if (task->type == AvWorkerTask::ExportAudio)
        task->exportRequest->audioPending = false;
    else
        task->exportRequest->videoPending = false;
}

void AvWorker::Complete()
{
    m_busy = false;
    if (m_completed)
        return;
    m_completed = true;
    emit TaskCompleted(m_id);
}

void AvWorker::EndTask(int workerId)
{
    if (workerId != m_id && workerId != -1)
        return;
    m_endRequested = true;
    if (m_task && m_task->IsExport() && m_task->exportRequest)
        m_task->exportRequest->cancelled = true; // the pass stops at its next check
    if (m_audioOutput) {
        // Closing the sound device can run this thread's event loop, which may deliver
        // another end request: reset() clears the pointer before the object goes.
        m_audioOutput.reset();
        m_busy = false;
        Complete();
    } else if (m_decodeManager)
        m_decodeManager->Stop(); // the decode loop returns and DoTask completes the task
    else if (!m_busy)
        Complete(); // not started yet, or done already
}

void AvWorker::UpdateDecodeTrack(int workerId)
{
    if ((workerId == m_id || workerId == -1) && m_decodeManager)
        m_decodeManager->UpdateDecodeTrack();
}

void AvWorker::Seek(int workerId)
{
    if (workerId != m_id && workerId != -1)
        return;
    if (m_decodeManager)
        m_decodeManager->Restart();
    if (m_audioOutput)
        m_audioOutput->ClearPending();
}

void AvWorker::SetAudioPlaybackTimeline(Timeline* timeline)
{
    if (m_audioOutput)
        m_audioOutput->SetAudioTimeline(timeline);
    emit AudioPlaybackTimelineTaken(); // without an output nothing holds the old one either
}

void AvWorker::SetAudioPlaybackReady(bool ready)
{
    if (m_audioOutput)
        m_audioOutput->SetAudioPlaybackReady(ready);
}

void AvWorker::SetAudioOutputSettings(const AudioOutputSettings& settings)
{
    if (m_audioOutput)
        m_audioOutput->SetSettings(settings);
}

void AvWorker::UpdateAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackMultiplier)
{
    if (m_audioOutput)
        m_audioOutput->UpdateAudioOutputState(playing, playForward, duration, playbackMultiplier);
}

void AvWorker::ResetAudioOutputDevice()
{
    if (m_audioOutput)
        m_audioOutput->ResetAudioOutputDevice();
}

void AvWorker::LogAudioOutputInfo()
{
    if (m_audioOutput)
        m_audioOutput->LogDiagnosticReport();
}

void AvWorker::RefreshCache(int workerId)
{
    if ((workerId == m_id || workerId == -1) && m_decodeManager)
        m_decodeManager->RefreshCache();
}
