#include "export/ExportWorker.h"

#include "engine/DecodeManager.h"

#include <QThread>

ExportWorker::ExportWorker(Timeline* timeline, int imageSequenceThreadCount, QObject* parent)
    : QObject(parent)
    , m_timeline(timeline)
    , m_decodeManager(new DecodeManager(imageSequenceThreadCount, this))
{
    connect(m_decodeManager, &DecodeManager::VideoFrameChanged, this,
            [this](std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>, std::shared_ptr<VideoFrame>) {
                if (frame)
                    emit VideoFrameDecoded(std::move(frame));
            });
}

ExportWorker::~ExportWorker() = default;

void ExportWorker::StartVideoDecoding()
{
    if (!m_endRequested)
        m_decodeManager->StartDecoding(m_timeline, DecodeType::Video, true);
    emit ShutdownCompleted();
    thread()->quit();
}

void ExportWorker::EndDecoding()
{
    m_endRequested = true;
    m_decodeManager->Stop();
}

void ExportWorker::RequestStop()
{
    m_endRequested = true;
    m_decodeManager->RequestStop();
}
