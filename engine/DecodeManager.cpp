#include "engine/DecodeManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AudioDecoder.h"
#include "media/CacheManager.h"
#include "media/ImageSequenceDecoder.h"
#include "media/MediaTime.h"
#include "media/VideoDecoder.h"
#include "project/Clip.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <limits>

DecodeManager::DecodeManager(QObject* parent)
    : DecodeManager(Settings::Get().imageSequenceThreadCount, parent)
{
}

DecodeManager::DecodeManager(int imageSequenceThreadCount, QObject* parent)
    : QObject(parent)
    , m_imageSequenceThreadCount(imageSequenceThreadCount)
{
}

DecodeManager::~DecodeManager() = default;

void DecodeManager::StartDecoding(Timeline* timeline, DecodeType decodeType, bool exportFrames)
{
    if (!timeline || (decodeType != DecodeType::Audio && decodeType != DecodeType::Video)) {
        Logger::error(QStringLiteral("Start decoding failed: Invalid timeline or decode type."));
        return;
    }
    m_timeline = timeline;
    m_decodeType = decodeType;
    m_exportFrames = exportFrames;
    m_running = true;
    m_trackUpdateRequested = true;
    MainLoop();
    if (m_videoDecoder)
        m_videoDecoder->Shutdown();
    m_videoDecoder.reset();
    if (m_imageSequenceDecoder)
        m_imageSequenceDecoder->Shutdown(); // on this thread, where its workers report
    m_imageSequenceDecoder.reset();
    m_audioDecoder.reset();
    m_clip = nullptr;
    m_track.reset();
    m_shownFrame.reset();
    m_timeline->SetDecoding(m_decodeType, false);
}

void DecodeManager::Restart()
{
    m_seekRequested = true;
    if (m_videoDecoder)
        m_videoDecoder->Stop(); // a long backward window is not worth finishing
    if (m_audioDecoder)
        m_audioDecoder->Stop();
}

void DecodeManager::Stop()
{
    m_running = false;
    m_decodingInClip = false;
    if (m_videoDecoder)
        m_videoDecoder->Stop();
    if (m_audioDecoder)
        m_audioDecoder->Stop();
}

void DecodeManager::UpdateDecodeTrack()
{
    m_trackUpdateRequested = true;
    m_decodingInClip = false;
    if (m_videoDecoder)
        m_videoDecoder->Stop();
}

void DecodeManager::RefreshCache()
{
    CacheManager* cache = m_timeline ? m_timeline->Cache() : nullptr;
    if (!cache)
        return;
    for (int i = 0; i < 100000; ++i) {
        const bool over = m_decodeType == DecodeType::Video ? cache->VideoSize() > cache->VideoMaximumSize()
                                                      : cache->AudioSize() > cache->AudioMaximumSize();
        if (!over)
            break;
        const int before = m_decodeType == DecodeType::Video ? cache->VideoFrameCount() : cache->AudioFrameCount();
        if (m_decodeType == DecodeType::Video)
            m_timeline->TrimVideoCache();
        else
            m_timeline->TrimAudioCache();
        if ((m_decodeType == DecodeType::Video ? cache->VideoFrameCount() : cache->AudioFrameCount()) == before)
            break;
    }
}

void DecodeManager::ApplyTrackUpdate()
{
    m_trackUpdateRequested = false;
    m_clip = nullptr;
    m_track.reset(m_timeline->CopyDecodeTrack(m_decodeType));
    m_timeline->SetDecoding(m_decodeType, false);
    // Cached frames were laid out for the old track.
    if (m_decodeType == DecodeType::Video) {
        m_timeline->Cache()->ClearVideo();
        m_shownFrame.reset();
        m_shownFrameIndex = -1;
        emit VideoFrameChanged(nullptr, nullptr, nullptr);
    } else {
        m_timeline->Cache()->ClearAudio();
    }
    if (!m_track)
        Logger::error(QStringLiteral("Decode manager failed to get track for decoding"));
    m_seekRequested = true;
}

void DecodeManager::MainLoop()
{
    while (m_running) {
        if (m_trackUpdateRequested)
            ApplyTrackUpdate();
        if (m_clip) {
            Clip* clip = m_clip;
            if (m_decodeType == DecodeType::Audio) {
                DecodeAudioClip(clip);
            } else {
                Source* source = clip->GetSource();
                if (!source || source->VideoStreamCount() == 0)
                    NoVideoClip(clip);
                else
                    DecodeVideoClip(clip);
            }
            m_clip = nullptr;
            continue;
        }
        if (m_seekRequested)
            HandleSeekRequest();
        else
            SelectClip(-1);
        if (!m_clip)
            Wait(5);
    }
}

void DecodeManager::HandleSeekRequest()
{
    m_seekRequested = false;
    if (!m_track) {
        Logger::error(QStringLiteral("Decode manager failed to get track for decoding"));
        return;
    }
    m_timeline->SetDecoding(m_decodeType, false);
    const int64_t t = m_timeline->PlaybackTime();
    const bool ready = m_decodeType == DecodeType::Video ? m_timeline->VideoReadyAt(t) : m_timeline->AudioReadyAt(t);
    if (ready) {
        SelectClip(-1); // carry on from the edge of the cached run
        return;
    }
    // The cached run does not reach the new time; frames elsewhere would not join it.
    if (m_decodeType == DecodeType::Video)
        m_timeline->Cache()->ClearVideo();
    else
        m_timeline->Cache()->ClearAudio();
    m_wantedTime = t;
    SelectClip(t);
}

bool DecodeManager::WantsForward() const
{
    // A time just sought to is delivered first in either direction (backward decoding starts
    // with the frame holding it), so the timeline's direction decides alone.
    return m_timeline->PlaysForward();
}

void DecodeManager::SelectClip(int64_t t)
{
    m_clip = nullptr;
    if (!m_track)
        return;
    const bool forward = WantsForward();
    if (t < 0) {
        const CacheManager* cache = m_timeline->Cache();
        if (m_decodeType == DecodeType::Video) {
            if (cache->VideoFrameCount() == 0)
                t = m_timeline->PlaybackTime();
            else
                t = forward ? cache->VideoTimelineEndTime() + 1 : cache->VideoTimelineStartTime() - 1;
        } else {
            if (cache->AudioFrameCount() == 0)
                t = m_timeline->PlaybackTime();
            else
                t = forward ? cache->AudioEndTime() + 1 : cache->AudioStartTime() - 1;
        }
        if (t < 0)
            return;
    }
    if (t > m_track->EndTime())
        return;
    Clip* clip = m_track->ClipAtTime(t);
    if (!clip)
        return;
    m_clipDecodePosition = std::min(clip->SourceTime(t), clip->CutOutTime());
    m_clip = clip;
}

void DecodeManager::DecodeVideoClip(Clip* clip)
{
    Source* source = clip->GetSource();
    if (source->IsImageSequence()) {
        DecodeImageSequenceClip(clip);
        return;
    }
    if (!m_videoDecoder) {
        m_videoDecoder = std::make_unique<VideoDecoder>(m_exportFrames);
        connect(m_videoDecoder.get(), &VideoDecoder::ProcessEventsRequested, this, &DecodeManager::ProcessEvents,
                Qt::DirectConnection);
        connect(m_videoDecoder.get(), &VideoDecoder::VideoFrameDecoded, this, &DecodeManager::OnVideoFrameDecoded,
                Qt::DirectConnection);
        m_videoDecoder->CreateDefaultWorker();
    }
    bool opened = false;
    if (!source->HasError() && source->FileExists(0)) {
        opened = m_videoDecoder->Open(source->ParserFileEntry(0), clip->VideoStreamIndex());
        source->PostFileStatus(0, m_videoDecoder->InputStatus()); // the source is the main thread's
    }
    if (!opened) {
        NoVideoClip(clip);
        return;
    }
    ++m_decoderOpens;
    m_videoDecoder->SetBackwardMemoryLimit(m_timeline->Cache()->VideoMaximumSize() / 4);
    const bool endedByStream = DecodeClipPass(clip, *m_videoDecoder);
    m_videoDecoder->Close();
    m_timeline->SetDecoding(DecodeType::Video, false);
    if (endedByStream && m_framesCached == 0)
        FillGap(clip);
}

void DecodeManager::DecodeImageSequenceClip(Clip* clip)
{
    if (!m_imageSequenceDecoder) {
        m_imageSequenceDecoder = std::make_unique<ImageSequenceDecoder>(m_exportFrames);
        connect(m_imageSequenceDecoder.get(), &ImageSequenceDecoder::VideoFrameDecoded, this,
                &DecodeManager::OnVideoFrameDecoded, Qt::DirectConnection);
        connect(m_imageSequenceDecoder.get(), &ImageSequenceDecoder::FileSkipped, this,
                &DecodeManager::OnImageSequenceFileSkipped, Qt::DirectConnection);
        // What the workers learn of the files goes to the source on the main thread; the
        // decoder passes on only reports of the sequence set, whose source is m_sequenceSource.
        connect(m_imageSequenceDecoder.get(), &ImageSequenceDecoder::FileProbed, this,
                [this](int fileIndex, std::shared_ptr<const SourceFileEntry> entry) {
                    if (m_sequenceSource)
                        m_sequenceSource->PostFileReport(fileIndex, std::move(entry));
                },
                Qt::DirectConnection);
        connect(m_imageSequenceDecoder.get(), &ImageSequenceDecoder::FileOpened, this,
                [this](int fileIndex, SourceStatus status) {
                    if (m_sequenceSource)
                        m_sequenceSource->PostFileStatus(fileIndex, status);
                },
                Qt::DirectConnection);
        if (m_imageSequenceThreadCount >= 1) // none leaves the clip without pictures
            m_imageSequenceDecoder->CreateWorkers(m_imageSequenceThreadCount);
    }
    Source* source = clip->GetSource();
    ImageSequenceDecoder& decoder = *m_imageSequenceDecoder;
    if (source->HasError() || decoder.WorkerCount() == 0) {
        NoVideoClip(clip);
        return;
    }
    ++m_decoderOpens;
    // The clips placing these frames time them by the same rule.
    m_sequenceSource = source;
    decoder.SetSequence(source->FileEntries(), source->FrameDuration());
    m_sequencePass = true;
    const bool endedByStream = DecodeClipPass(clip, decoder);
    // The files in flight belong to this clip: they are placed before it is left. Each
    // worker finishes one file; the bound only guards against a file system that hangs.
    QElapsedTimer waited;
    waited.start();
    while (decoder.BusyWorkerCount() > 0 && waited.elapsed() < 10000) {
        ProcessEvents();
        if (decoder.BusyWorkerCount() > 0)
            QThread::msleep(1);
    }
    m_sequencePass = false;
    decoder.SetSequence({}, source->FrameDuration());
    m_sequenceSource = nullptr;
    m_timeline->SetDecoding(DecodeType::Video, false);
    if (endedByStream && m_framesCached == 0)
        FillGap(clip);
}

template <typename Decoder>
bool DecodeManager::DecodeClipPass(Clip* clip, Decoder& decoder)
{
    m_forward = WantsForward();
    decoder.SetForward(m_forward);
    decoder.Seek(m_clipDecodePosition);
    m_timeline->SetDecoding(DecodeType::Video, true);
    m_decodingInClip = true;
    m_framesCached = 0;
    bool endedByStream = false;
    while (m_decodingInClip && m_running) {
        if (m_timeline->Cache()->IsVideoFull()) {
            QThread::msleep(10);
        } else {
            const DecodeStatus status = decoder.DecodeNext();
            if (status == DecodeStatus::StartReached || status == DecodeStatus::EndOfFile) {
                m_decodingInClip = false;
                endedByStream = true;
            } else if (status == DecodeStatus::Busy) {
                QThread::msleep(1); // every worker is decoding; their results come as events
            }
        }
        ProcessEvents();
        m_timeline->TrimVideoCache();
        if (m_trackUpdateRequested || !m_running) {
            m_decodingInClip = false;
            endedByStream = false;
        } else if (m_seekRequested) {
            const int64_t t = m_timeline->PlaybackTime();
            if (m_timeline->VideoReadyAt(t)) {
                m_seekRequested = false; // already cached: carry on as before
                continue;
            }
            if (m_track->ClipAtTime(t) != clip) {
                m_decodingInClip = false; // the request is kept for the clip under t
                endedByStream = false;
                continue;
            }
            // Within this clip: seek the open decoder rather than opening it again.
            m_seekRequested = false;
            m_timeline->SetDecoding(DecodeType::Video, false);
            m_timeline->Cache()->ClearVideo();
            m_wantedTime = t;
            m_clipDecodePosition = clip->SourceTime(t);
            m_forward = WantsForward();
            decoder.SetForward(m_forward);
            decoder.Seek(m_clipDecodePosition);
            m_framesCached = 0;
            m_decodingInClip = true;
            endedByStream = false;
        } else if (decoder.IsForward() != WantsForward()) {
            DirectionChanged();
            endedByStream = false;
        }
    }
    return endedByStream;
}

void DecodeManager::DirectionChanged()
{
    m_decodingInClip = false;
    // Decoding carries on from the cached run's edge in the new direction, unless the time
    // sought to is not cached yet: that run lies beside the playhead (the decoder started
    // before it) and would grow away from it, so decoding starts again from the playhead.
    if (m_wantedTime >= 0)
        m_seekRequested = true;
}

void DecodeManager::NoVideoClip(Clip* clip)
{
    auto frame = VideoFrame::CreateEmpty(clip->CutInTime());
    frame->endTime = clip->CutOutTime();
    m_framesCached = 0;
    OnVideoFrameDecoded(frame);
    if (m_framesCached == 0)
        FillGap(clip);
}

void DecodeManager::FillGap(Clip* clip)
{
    CacheManager* cache = m_timeline->Cache();
    if (cache->VideoFrameCount() == 0)
        return;
    if (WantsForward()) {
        // The last picture holds to the end of the clip.
        if (cache->VideoTimelineEndTime() < clip->EndTime())
            cache->ExtendVideoEnd(clip->EndTime());
        return;
    }
    // Backwards: an empty picture from the clip's start up to the cached run.
    const int32_t firstCached = cache->FirstTimelineFrame();
    if (firstCached <= clip->StartFrame())
        return;
    auto frame = VideoFrame::CreateEmpty(clip->StartTime());
    frame->firstTimelineFrame = clip->StartFrame();
    frame->lastTimelineFrame = firstCached - 1;
    frame->timelineFrameStartTime = m_track->FrameStartTime(clip->StartFrame());
    frame->timelineFrameEndTime = cache->VideoTimelineStartTime() - 1;
    frame->endTime = cache->VideoStartTime() - 1;
    m_timeline->CacheVideoFrame(frame);
}

void DecodeManager::OnVideoFrameDecoded(std::shared_ptr<VideoFrame> frame)
{
    Clip* clip = m_clip;
    if (!frame || !clip)
        return; // the end-of-stream marker, or no clip to place it in
    int32_t clipFrame = 0;
    if (!frame->empty) {
        const int64_t middle = frame->time + (frame->endTime - frame->time) / 2;
        clipFrame = frame->time < 0 ? -1 : MediaTime::TimeToFrame(middle, clip->FrameDuration()) - clip->CutInFrame();
    }
    const bool spansClip = frame->empty;
    PlaceVideoFrame(std::move(frame), clipFrame, spansClip);
}

void DecodeManager::OnImageSequenceFileSkipped(int fileIndex)
{
    Clip* clip = m_clip;
    if (!clip || !m_imageSequenceDecoder)
        return;
    const double fd = m_imageSequenceDecoder->FrameDuration();
    auto frame = VideoFrame::CreateEmpty(MediaTime::FrameStartTime(fileIndex, fd));
    frame->endTime = MediaTime::FrameEndTime(fileIndex, fd);
    PlaceVideoFrame(std::move(frame), fileIndex - clip->CutInFrame(), false);
}

bool DecodeManager::DecoderForward() const
{
    if (m_sequencePass)
        return m_imageSequenceDecoder->IsForward();
    return m_videoDecoder ? m_videoDecoder->IsForward() : WantsForward();
}

void DecodeManager::PlaceVideoFrame(std::shared_ptr<VideoFrame> frame, int32_t clipFrame, bool spansClip)
{
    Clip* clip = m_clip;
    const bool forward = DecoderForward();
    if (!forward && m_wantedTime < 0)
        m_clipDecodePosition = frame->time - 1;
    if (clipFrame < 0) {
        if (!forward)
            m_decodingInClip = false; // backwards past the clip's first frame
        return;
    }
    if (clipFrame >= clip->FrameCount()) {
        if (forward)
            m_decodingInClip = false; // forwards past the clip's last frame
        return;
    }

    const int32_t first = clip->StartFrame() + clipFrame;
    const int32_t last = spansClip ? clip->EndFrame() : first;
    frame->firstTimelineFrame = first;
    frame->lastTimelineFrame = last;
    frame->timelineFrameStartTime = m_track->FrameStartTime(first);
    frame->timelineFrameEndTime = m_track->FrameEndTime(last);

    int64_t time = clip->TimelineTime(frame->time);
    int64_t endTime = spansClip ? clip->EndTime() : clip->TimelineTime(frame->endTime);
    if (time < clip->StartTime() || clipFrame == 0)
        time = clip->StartTime();
    if (last == clip->EndFrame())
        endTime = clip->EndTime();
    frame->time = time;
    frame->endTime = endTime;
    const int before = m_timeline->Cache()->VideoFrameCount();
    m_timeline->CacheVideoFrame(frame);
    if (m_timeline->Cache()->VideoFrameCount() != before)
        ++m_framesCached; // not a frame the run held already

    if (m_wantedTime >= 0 && frame->timelineFrameStartTime <= m_wantedTime && m_wantedTime <= frame->timelineFrameEndTime)
        m_wantedTime = -1; // the time asked for is there: the timeline's direction rules again
}

void DecodeManager::DecodeAudioClip(Clip* clip)
{
    Source* source = clip->GetSource();
    m_audioOffset = source && m_timeline->UseSourceAudioDelay() ? source->AudioDelay() : 0;
    const bool usable = source && !source->HasError() && source->FileExists(0) && source->AudioStreamCount() > 0
                        && source->EndTime() >= std::llabs(m_audioOffset);
    if (!usable) {
        SilenceForClip(clip);
        return;
    }
    if (!m_audioDecoder) {
        m_audioDecoder = std::make_unique<AudioDecoder>();
        connect(m_audioDecoder.get(), &AudioDecoder::ProcessEventsRequested, this, &DecodeManager::ProcessEvents,
                Qt::DirectConnection);
        connect(m_audioDecoder.get(), &AudioDecoder::AudioFrameDecoded, this, &DecodeManager::OnAudioFrameDecoded,
                Qt::DirectConnection);
    }
    const bool opened = m_audioDecoder->Open(source->ParserFileEntry(0), clip->AudioStreamIndex());
    source->PostFileStatus(0, m_audioDecoder->InputStatus()); // the source is the main thread's
    if (!opened) {
        SilenceForClip(clip);
        return;
    }
    ++m_decoderOpens;
    const VideoStreamInfo* video = source->FirstVideoStream();
    m_audioDecoder->SetSeekStream(video && video->valid ? video->streamIndex : -1);
    m_forward = WantsForward();
    m_audioDecoder->SetForward(m_forward);
    m_audioDecoder->Seek(m_clipDecodePosition - m_audioOffset);
    m_timeline->SetDecoding(DecodeType::Audio, true);
    m_decodingInClip = true;
    CacheManager* cache = m_timeline->Cache();
    while (m_decodingInClip && m_running) {
        if (cache->IsAudioFull()) {
            QThread::msleep(5);
        } else {
            const DecodeStatus status = m_audioDecoder->DecodeNext();
            if (status == DecodeStatus::StartReached || status == DecodeStatus::EndOfFile)
                m_decodingInClip = false;
        }
        ProcessEvents();
        m_timeline->TrimAudioCache();
        if (m_trackUpdateRequested || !m_running) {
            m_decodingInClip = false;
        } else if (m_seekRequested) {
            const int64_t t = m_timeline->PlaybackTime();
            if (m_timeline->AudioReadyAt(t)) {
                m_seekRequested = false;
                continue;
            }
            if (m_track->ClipAtTime(t) != clip) {
                m_decodingInClip = false;
                continue;
            }
            m_seekRequested = false;
            m_timeline->SetDecoding(DecodeType::Audio, false);
            cache->ClearAudio();
            m_wantedTime = t;
            m_clipDecodePosition = clip->SourceTime(t);
            m_forward = WantsForward();
            m_audioDecoder->SetForward(m_forward);
            m_audioDecoder->Seek(m_clipDecodePosition - m_audioOffset);
            m_decodingInClip = true;
        } else if (m_audioDecoder->IsForward() != WantsForward()) {
            DirectionChanged();
        }
    }
    m_audioDecoder->Close();
    m_timeline->SetDecoding(DecodeType::Audio, false);
}

void DecodeManager::SilenceForClip(Clip* clip)
{
    CacheManager* cache = m_timeline->Cache();
    while (m_running && !m_seekRequested && !m_trackUpdateRequested && cache->IsAudioFull()) {
        Wait(5);
        m_timeline->TrimAudioCache();
    }
    if (!m_running || m_seekRequested || m_trackUpdateRequested)
        return;
    if (WantsForward())
        cache->AppendSilence(clip->StartTime(), clip->EndTime());
    else
        cache->PrependSilence(clip->StartTime(), clip->EndTime());
    m_wantedTime = -1;
    m_timeline->TrimAudioCache();
    ProcessEvents();
}

void DecodeManager::OnAudioFrameDecoded(std::shared_ptr<AudioFrame> block, AudioStreamInfo*)
{
    Clip* clip = m_clip;
    if (!clip)
        return;
    CacheManager* cache = m_timeline->Cache();
    const bool forward = m_audioDecoder ? m_audioDecoder->IsForward() : WantsForward();
    if (!block) {
        // The stream ended (forwards) or began (backwards) inside the clip: silence for the rest.
        if (forward)
            cache->AppendSilence(clip->StartTime(), clip->EndTime());
        else
            cache->PrependSilence(clip->StartTime(), clip->EndTime());
        return;
    }
    // Onto the timeline, the source's audio delay applied.
    int64_t start = clip->TimelineTime(block->startTime + m_audioOffset);
    int64_t end = clip->TimelineTime(block->endTime + m_audioOffset);
    if (!forward && m_wantedTime < 0)
        m_clipDecodePosition = block->startTime + m_audioOffset - 1;
    if (end < clip->StartTime()) {
        if (!forward)
            m_decodingInClip = false; // backwards past the clip's start
        return;
    }
    if (start > clip->EndTime()) {
        if (forward)
            m_decodingInClip = false; // forwards past the clip's end
        return;
    }
    auto placed = std::make_shared<AudioFrame>();
    placed->flag = block->flag;
    placed->data = block->data;
    int64_t dropFront = 0;
    if (start < clip->StartTime()) {
        dropFront = std::min<int64_t>(AudioFormat::BytesForDuration(clip->StartTime() - start), placed->data.size());
        placed->data.remove(0, static_cast<qsizetype>(dropFront));
        start = clip->StartTime();
    }
    if (end > clip->EndTime()) {
        const int64_t keep = AudioFormat::BytesForDuration(clip->EndTime() - start + 1);
        if (keep < placed->data.size())
            placed->data.truncate(static_cast<qsizetype>(keep));
        end = clip->EndTime();
    }
    placed->size = placed->data.size();
    placed->sampleCount = static_cast<int32_t>(placed->size / AudioFormat::kBytesPerFrame);
    placed->startTime = start;
    placed->endTime = end;
    // Decoding from the clip's start: whatever the stream lacks before its first block is silent.
    if (forward && cache->AudioFrameCount() == 0 && start > clip->StartTime()
        && m_clipDecodePosition <= clip->CutInTime())
        cache->AppendSilence(clip->StartTime(), start - 1);
    m_timeline->CacheAudioFrame(placed);
    if (m_wantedTime >= 0 && start <= m_wantedTime && m_wantedTime <= end)
        m_wantedTime = -1;
}

void DecodeManager::ProcessEvents()
{
    if (m_decodeType == DecodeType::Video)
        OutputVideoFrame();
    else
        emit ProcessAudioOutput();
    // This runs inside the slot that started the task. Requests posted before that slot
    // began are not seen by a nested event-loop pass (the loop thinks it has handled them),
    // so they are delivered explicitly first.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void DecodeManager::OutputVideoFrame()
{
    if (!m_track || (m_timeline->OutputId() < 0 && !m_exportFrames))
        return;
    const int64_t t = m_timeline->PlaybackTime();
    const int64_t index = m_track->TimeToFrame(t);
    if (m_shownFrame && index == m_shownFrameIndex && m_shownFrame->timelineFrameStartTime <= t
        && t <= m_shownFrame->timelineFrameEndTime)
        return;
    if (!m_timeline->VideoReadyAt(t) || t > m_track->EndTime())
        return;
    std::vector<std::shared_ptr<VideoFrame>> frames;
    m_timeline->GetVideoFrames(t, frames);
    if (frames.size() != 3 || !frames[0])
        return;
    m_shownFrame = frames[0];
    m_shownFrameIndex = index;
    emit VideoFrameChanged(frames[0], frames[1], frames[2]);
}

void DecodeManager::Wait(int milliseconds)
{
    ProcessEvents();
    if (m_decodeType == DecodeType::Video)
        m_timeline->TrimVideoCache();
    else
        m_timeline->TrimAudioCache();
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
