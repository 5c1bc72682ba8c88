#include "media/ImageSequenceDecoder.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/ImageSequenceDecoderWorker.h"
#include "media/MediaTime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QVariant>

#include <algorithm>

namespace {

// A busy worker reads the source until its file is done, so shutting down waits for it: for
// one file each, which is quick unless the file system hangs.
constexpr qint64 kShutdownWaitMs = 10000;

} // namespace

ImageSequenceDecoder::ImageSequenceDecoder(bool exportFrames, QObject* parent)
    : QObject(parent)
    , m_export(exportFrames)
    , m_probedFiles(std::make_shared<ProbedSequenceFiles>())
{
}

ImageSequenceDecoder::~ImageSequenceDecoder()
{
    Shutdown();
}

void ImageSequenceDecoder::CreateWorkers(int count)
{
    if (count < 1)
        count = Settings::Get().imageSequenceThreadCount;
    for (int i = 0; i < count; ++i) {
        const int id = m_nextWorkerId++;
        Worker slot;
        slot.thread = std::make_unique<QThread>();
        slot.thread->setProperty("id", id);
        slot.thread->setObjectName(QStringLiteral("Image sequence worker %1").arg(id));
        slot.worker = std::make_unique<ImageSequenceDecoderWorker>(id);
        slot.worker->SetProbedFiles(m_probedFiles);
        slot.worker->moveToThread(slot.thread.get());
        connect(this, &ImageSequenceDecoder::DecodeImageRequested, slot.worker.get(),
                &ImageSequenceDecoderWorker::DecodeImage, Qt::QueuedConnection);
        connect(slot.worker.get(), &ImageSequenceDecoderWorker::TaskCompleted, this,
                &ImageSequenceDecoder::OnDecodeTaskCompleted, Qt::QueuedConnection);
        connect(slot.worker.get(), &ImageSequenceDecoderWorker::FileProbed, this, &ImageSequenceDecoder::OnFileProbed,
                Qt::QueuedConnection);
        connect(slot.worker.get(), &ImageSequenceDecoderWorker::FileOpened, this, &ImageSequenceDecoder::OnFileOpened,
                Qt::QueuedConnection);
        connect(slot.thread.get(), &QThread::finished, this, &ImageSequenceDecoder::FinalThreadCleanup,
                Qt::QueuedConnection);
        slot.thread->start(QThread::InheritPriority);
        m_idle.push_back(std::move(slot));
    }
}

int ImageSequenceDecoder::WorkerCount() const
{
    return static_cast<int>(m_busy.size() + m_idle.size());
}

void ImageSequenceDecoder::SetSequence(std::span<SourceFileEntry> files, double frameDuration)
{
    // Probes of another sequence go. The same entries keep them from one clip pass to the
    // next: a source is not freed while a decode task that holds this decoder may reach it.
    if (!files.empty() && files.data() != m_probedFor) {
        m_probedFiles->Clear();
        m_probedFor = files.data();
    }
    m_files = files;
    m_frameDuration = frameDuration;
    Seek(0);
}

void ImageSequenceDecoder::Seek(int64_t t)
{
    int index = 0;
    if (!m_files.empty() && t >= 0) {
        const int frame = MediaTime::TimeToFrame(t, m_frameDuration);
        // Two frames of margin on the side decoding comes from, as movies get.
        index = m_forward ? std::max(frame - 2, 0) : std::min(frame + 2, FileCount() - 1);
    }
    m_nextRequest = index;
    m_nextExpected = index;
    m_reorder.clear();
    for (auto& [id, busy] : m_busy)
        busy.stale = true;
}

DecodeStatus ImageSequenceDecoder::DecodeNext()
{
    if (m_nextRequest < 0)
        return DecodeStatus::StartReached;
    if (m_nextRequest >= FileCount())
        return DecodeStatus::EndOfFile;
    // Past the warning size the buffer waits for a late file instead of growing further.
    if (m_idle.empty() || m_reorder.size() > kReorderWarningSize)
        return DecodeStatus::Busy;
    Worker slot = std::move(m_idle.front());
    m_idle.pop_front();
    const int id = slot.worker->Id();
    const int fileIndex = m_nextRequest;
    slot.fileIndex = fileIndex;
    slot.stale = false;
    m_busy.emplace(id, std::move(slot));
    m_nextRequest += m_forward ? 1 : -1;
    emit DecodeImageRequested(id, &m_files[static_cast<size_t>(fileIndex)], fileIndex, 0, m_export);
    return DecodeStatus::MoreToCome;
}

void ImageSequenceDecoder::OnDecodeTaskCompleted(int workerId)
{
    const auto found = m_busy.find(workerId);
    if (found == m_busy.end()) {
        Logger::error(QStringLiteral("Failed to find image sequence decoder worker on task completed: %1").arg(workerId));
        return;
    }
    Worker slot = std::move(found->second);
    m_busy.erase(found);
    std::shared_ptr<VideoFrame> frame = slot.worker->TakeFrame();
    const int fileIndex = slot.fileIndex;
    const bool stale = slot.stale;
    m_idle.push_back(std::move(slot));
    if (stale)
        return;
    if (frame) {
        frame->time = MediaTime::FrameStartTime(fileIndex, m_frameDuration);
        frame->endTime = MediaTime::FrameEndTime(fileIndex, m_frameDuration);
    }
    ReorderFrame(fileIndex, std::move(frame));
}

void ImageSequenceDecoder::ReorderFrame(int fileIndex, std::shared_ptr<VideoFrame> videoFrame)
{
    if (m_reorder.size() > kReorderWarningSize)
        Logger::warning(QStringLiteral("Image temp cache overrun"));
    const bool passed = m_forward ? fileIndex < m_nextExpected : fileIndex > m_nextExpected;
    if (passed)
        return;
    if (fileIndex != m_nextExpected) {
        m_reorder[fileIndex] = std::move(videoFrame);
        return;
    }
    Pass(fileIndex, std::move(videoFrame));
    // Nothing is held across Pass: its receivers may seek, which clears the buffer.
    while (!m_reorder.empty()) {
        const auto next = m_forward ? m_reorder.begin() : std::prev(m_reorder.end());
        if (next->first != m_nextExpected)
            break;
        std::shared_ptr<VideoFrame> frame = std::move(next->second);
        m_reorder.erase(next);
        Pass(m_nextExpected, std::move(frame));
    }
}

void ImageSequenceDecoder::Pass(int fileIndex, std::shared_ptr<VideoFrame> videoFrame)
{
    m_nextExpected = fileIndex + (m_forward ? 1 : -1);
    if (videoFrame)
        emit VideoFrameDecoded(std::move(videoFrame));
    else
        emit FileSkipped(fileIndex);
}

void ImageSequenceDecoder::QuitThread(int workerId)
{
    const auto found = std::find_if(m_idle.begin(), m_idle.end(),
                                    [workerId](const Worker& slot) { return slot.worker->Id() == workerId; });
    if (found == m_idle.end()) {
        Logger::warning(QStringLiteral("Worker id not found (quit worker thread): %1").arg(workerId));
        return;
    }
    Worker slot = std::move(*found);
    m_idle.erase(found);
    slot.thread->quit();
    m_shuttingDown.emplace(workerId, std::move(slot));
}

void ImageSequenceDecoder::FinalThreadCleanup()
{
    const QObject* thread = sender();
    const int id = thread ? thread->property("id").toInt() : -1;
    const auto found = m_shuttingDown.find(id);
    if (found == m_shuttingDown.end()) {
        Logger::warning(QStringLiteral("Image sequence decoder worker id not found (on thread finished): %1").arg(id));
        return;
    }
    // Finished is emitted just before the thread ends; the object may go once it has.
    found->second.thread->wait();
    m_shuttingDown.erase(found); // the worker first, then its thread
}

void ImageSequenceDecoder::Shutdown()
{
    // Nothing is passed on from here: what is still decoding is waited for, not used.
    m_reorder.clear();
    for (auto& [id, busy] : m_busy)
        busy.stale = true;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kShutdownWaitMs) {
        while (!m_idle.empty())
            QuitThread(m_idle.front().worker->Id());
        if (m_busy.empty() && m_shuttingDown.empty())
            break;
        // Completions and finished threads arrive as queued calls to this object.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (m_busy.empty() && m_idle.empty() && m_shuttingDown.empty())
            break;
        QThread::msleep(10);
    }
    if (m_busy.empty() && m_idle.empty() && m_shuttingDown.empty())
        return;
    Logger::error(QStringLiteral("Failed to complete ImageSequenceDecoder shutdown"));
    for (auto& [id, slot] : m_busy)
        Abandon(slot);
    for (auto& [id, slot] : m_shuttingDown)
        Abandon(slot);
    for (Worker& slot : m_idle)
        Abandon(slot);
    m_busy.clear();
    m_shuttingDown.clear();
    m_idle.clear();
}

void ImageSequenceDecoder::Abandon(Worker& slot)
{
    // Still decoding a file that takes longer than shutting down may: the thread quits once
    // the file is done, and worker and thread delete themselves then.
    if (slot.thread->isFinished()) {
        slot.worker.reset();
        slot.thread.reset();
        return;
    }
    QThread* thread = slot.thread.release();
    ImageSequenceDecoderWorker* worker = slot.worker.release();
    disconnect(thread, nullptr, this, nullptr);
    disconnect(worker, nullptr, this, nullptr);
    disconnect(this, nullptr, worker, nullptr);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater, Qt::DirectConnection);
    if (QCoreApplication* application = QCoreApplication::instance()) {
        thread->moveToThread(application->thread());
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
    thread->quit();
}

bool ImageSequenceDecoder::InSequence(int fileIndex, const SourceFileEntry* file) const
{
    return fileIndex >= 0 && static_cast<size_t>(fileIndex) < m_files.size() && &m_files[static_cast<size_t>(fileIndex)] == file;
}

void ImageSequenceDecoder::OnFileProbed(int fileIndex, const SourceFileEntry* file,
                                        std::shared_ptr<const SourceFileEntry> probed)
{
    // A report of a sequence set before the current one has no owner to go to any more.
    if (InSequence(fileIndex, file))
        emit FileProbed(fileIndex, std::move(probed));
}

void ImageSequenceDecoder::OnFileOpened(int fileIndex, const SourceFileEntry* file, SourceStatus status)
{
    if (InSequence(fileIndex, file))
        emit FileOpened(fileIndex, status);
}
