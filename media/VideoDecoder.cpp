#include "media/VideoDecoder.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/CacheManager.h"
#include "media/CodecFramePool.h"
#include "media/MediaTime.h"
#include "media/RendererInUse.h"
#include "media/SourceFileEntry.h"
#include "media/VideoDecodeWorker.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace {

// A power-of-two row alignment that makes rows of `rowBytes` a multiple of 4 bytes (what the
// OpenGL upload expects by default), or 1 when they already are.
int RowAlignment(int rowBytes)
{
    return rowBytes % 4 == 0 ? 1 : 4;
}

} // namespace

VideoDecoder::VideoDecoder(bool exportFrames, QObject* parent)
    : AvDecoderBase(parent)
    , m_export(exportFrames)
{
}

VideoDecoder::~VideoDecoder()
{
    Shutdown();
}

int64_t VideoDecoder::BackwardMemoryLimit()
{
    if (m_backwardMemoryLimit < 0)
        m_backwardMemoryLimit = CacheManager::VideoBudget(Settings::Get().cacheSize) / 4;
    return m_backwardMemoryLimit;
}

void VideoDecoder::CreateDefaultWorker()
{
    // The worker is a child, so it follows the decoder to its thread, and the calls between
    // them run synchronously on that thread.
    m_worker = std::make_unique<VideoDecodeWorker>(0, m_export, this);
    connect(this, &VideoDecoder::DecodePacketRequested, m_worker.get(), &VideoDecodeWorker::Decode, Qt::DirectConnection);
    connect(m_worker.get(), &VideoDecodeWorker::PacketProcessingCompleted, this, &VideoDecoder::OnPacketProcessingCompleted,
            Qt::DirectConnection);
    connect(m_worker.get(), &VideoDecodeWorker::DecodingCompleted, this, &VideoDecoder::OnDecodingTaskCompleted,
            Qt::DirectConnection);
}

void VideoDecoder::ConfigureVideoCodec(AVCodecContext* context)
{
    if (m_entry && m_entry->imageSequence)
        ImageFramePool()->Install(context);
}

CodecFramePool* VideoDecoder::ImageFramePool()
{
    if (!m_framePool)
        m_framePool = std::make_unique<CodecFramePool>();
    return m_framePool.get();
}

bool VideoDecoder::Open(SourceFileEntry* entry, int streamInfoIndex)
{
    m_pending.clear();
    m_pendingBytes = 0;
    m_streamInfo = nullptr;
    return AvDecoderBase::Open(entry, streamInfoIndex);
}

bool VideoDecoder::OpenStream(int streamInfoIndex)
{
    CloseVideoCodec();
    m_streamInfo = nullptr;
    SourceFileEntry* entry = m_entry;
    const int count = entry ? static_cast<int>(entry->videoStreams.size()) : 0;
    if (count <= 0) {
        Logger::error(QStringLiteral("Failed to open video stream. Media does not have any video streams."));
        return false;
    }
    if (streamInfoIndex >= count) {
        Logger::error(QStringLiteral("Failed to open video stream. Unknown stream specified."));
        return false;
    }
    const int requested = streamInfoIndex >= 0 ? entry->videoStreams[static_cast<size_t>(streamInfoIndex)].streamIndex : -1;
    const int opened = OpenVideoCodec(requested);
    if (opened < 0)
        return false;
    VideoStreamInfo* record = FindStreamRecord(entry->videoStreams, opened);
    if (!record) {
        CloseVideoCodec();
        Logger::error(QStringLiteral("Failed to open video stream. Video info not found for stream: %1").arg(opened));
        return false;
    }
    if (!record->valid) { // probing already said why
        CloseVideoCodec();
        return false;
    }
    m_streamInfo = record;
    m_containerStreamIndex = opened;
    const AVStream* stream = m_formatContext->streams[opened];
    m_timeBase = av_q2d(stream->time_base) * 1'000'000.0;

    const int bufferSize = ChooseTargetLayout();
    if (bufferSize < 0) {
        CloseVideoCodec();
        Logger::error(QStringLiteral("Failed to prepare image surface for decoding"), bufferSize);
        return false;
    }
    m_lastDecodedFrameTime = 0;
    m_windowEnd = -1;
    m_lastFrameBytes = bufferSize; // until a converted frame says otherwise
    return true;
}

int VideoDecoder::ChooseTargetLayout()
{
    const VideoStreamInfo& info = *m_streamInfo;
    m_openGLFrames = RendererInUse::OpenGLFrames();
    if (m_openGLFrames && info.yuv) {
        m_targetPixelFormat = AV_PIX_FMT_YUV420P;
        m_targetFormat = VideoFrameFormatYUV420P;
        m_alignment = RowAlignment(info.paddedWidth);
    } else if (info.componentCount == 4) {
        m_targetPixelFormat = AV_PIX_FMT_RGBA;
        m_targetFormat = VideoFrameFormatRGBA;
        m_alignment = 1;
    } else {
        m_targetPixelFormat = AV_PIX_FMT_RGB24;
        m_targetFormat = VideoFrameFormatRGB;
        m_alignment = RowAlignment(3 * info.paddedWidth);
    }
    return av_image_get_buffer_size(static_cast<AVPixelFormat>(m_targetPixelFormat), info.paddedWidth, info.height,
                                    m_alignment);
}

void VideoDecoder::FillTaskLayout(VideoDecodeWorker& worker) const
{
    VideoDecodeWorker::Task& task = worker.CurrentTask();
    task.streamInfo = m_streamInfo;
    task.codec = m_videoCodecContext.get();
    task.timeBase = m_timeBase;
    task.targetPixelFormat = m_targetPixelFormat;
    task.targetFormat = m_targetFormat;
    task.alignment = m_alignment;
    task.exr = m_entry && m_entry->exr;
    task.gamma = !m_export && !m_openGLFrames;
}

std::shared_ptr<VideoFrame> VideoDecoder::ConvertPicture(SourceFileEntry* entry, int streamInfoIndex,
                                                         const AVFrame* picture)
{
    Close();
    const size_t stream = static_cast<size_t>(std::max(streamInfoIndex, 0));
    if (!m_worker || !entry || stream >= entry->videoStreams.size() || !entry->videoStreams[stream].valid || !picture)
        return nullptr;
    m_entry = entry;
    m_streamInfo = &entry->videoStreams[stream];
    std::shared_ptr<VideoFrame> frame;
    if (ChooseTargetLayout() >= 0) {
        FillTaskLayout(*m_worker);
        frame = m_worker->ConvertPicture(picture, 0);
    }
    m_streamInfo = nullptr;
    m_entry = nullptr;
    return frame;
}

int VideoDecoder::SeekContainer(int64_t s)
{
    // Source times start at the stream's first frame; the container counts from its own zero.
    const int64_t offset = m_streamInfo ? std::max<int64_t>(m_streamInfo->startTimeOffset, 0) : 0;
    return SeekToTime(m_containerStreamIndex, s, offset);
}

bool VideoDecoder::SeekDemuxer(int64_t s)
{
    if (!m_formatContext || !m_videoCodecContext)
        return false;
    const int result = SeekContainer(s);
    if (result < 0) {
        Logger::error(QStringLiteral("Video Seek Failed"), result);
        return false;
    }
    avcodec_flush_buffers(m_videoCodecContext.get());
    if (m_worker)
        m_worker->ResetEndOfStream();
    m_endOfFile = false;
    return true;
}

int64_t VideoDecoder::SeekDemuxerAtOrBefore(int64_t s)
{
    // A refused seek may leave the demuxer anywhere, past keyframes it read while searching;
    // the next seek that succeeds puts it right.
    int64_t backoff = kSeekBackoff;
    for (;;) {
        if (SeekDemuxer(s))
            return s;
        if (s <= 0 || !m_formatContext || !m_videoCodecContext)
            return -1;
        s = StepBack(s, backoff);
    }
}

void VideoDecoder::Seek(int64_t t)
{
    m_pending.clear();
    m_pendingBytes = 0;
    m_packetSequence = 0;
    const double fd = m_streamInfo ? m_streamInfo->frameDuration : 0.0;
    const int64_t s = std::max<int64_t>(static_cast<int64_t>(std::trunc(static_cast<double>(t) - 2.0 * std::max(fd, 0.0))), 0);
    const int64_t landed = SeekDemuxerAtOrBefore(s);
    if (landed < 0)
        return;
    m_windowEnd = s; // forwards, frames long before it are not converted wherever decoding starts
    m_seekTarget = t;
    m_verifyLanding = landed > 0;
    m_landingSeek = landed;
    m_landingBackoff = kSeekBackoff;
    m_backwardWindowEnd = std::max<int64_t>(t, 0);
    m_backwardSeekDone = true;
    m_windowFromStart = landed == 0;
}

DecodeStatus VideoDecoder::DecodeNext()
{
    if (!m_worker || !m_videoCodecContext)
        return DecodeStatus::EndOfFile;
    m_decoding = true;
    const DecodeStatus status = m_forward ? ReadNextPacket() : BackwardStep();
    m_decoding = false;
    return status;
}

DecodeStatus VideoDecoder::ReadNextPacket()
{
    if (m_packetInFlight)
        return DecodeStatus::Busy;
    if (m_endOfFile && m_worker->EndOfStream())
        return DecodeStatus::EndOfFile; // drained already; nothing more until the next seek
    AVPacket* packet = m_worker->Packet();
    DecodeStatus status = DecodeStatus::MoreToCome;
    for (;;) {
        if (av_read_frame(m_formatContext.get(), packet) < 0) {
            // End of file: an empty packet drains the codec.
            av_packet_unref(packet);
            packet->stream_index = -1;
            status = DecodeStatus::EndOfFile;
            m_endOfFile = true;
            break;
        }
        if (packet->stream_index == m_containerStreamIndex)
            break;
        av_packet_unref(packet);
    }
    if (!m_forward && status == DecodeStatus::MoreToCome && PastBackwardWindow(*packet)) {
        // Every packet from here on shows later than the window: instead of decoding on,
        // drain what the codec holds.
        av_packet_unref(packet);
        packet->stream_index = -1;
        m_windowDrained = true;
    }

    // A picture that will not be converted need not be decoded at all unless later pictures
    // refer to it: the codec may drop the others outright.
    m_videoCodecContext->skip_frame = m_convert && NotWanted(*packet) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;

    FillTaskLayout(*m_worker);
    VideoDecodeWorker::Task& task = m_worker->CurrentTask();
    task.sequence = m_packetSequence++;
    task.windowEnd = m_forward ? m_windowEnd : -1; // backwards every frame of the window is kept
    task.convertFrom = m_forward ? -1 : m_convertFrom;
    task.frameTime = m_lastDecodedFrameTime;
    task.packetFirstTime = INT64_MIN;
    task.convert = m_convert;
    m_packetInFlight = true;
    emit DecodePacketRequested(m_worker->Id());
    return status;
}

bool VideoDecoder::NotWanted(const AVPacket& packet) const
{
    if (packet.pts == AV_NOPTS_VALUE || packet.size <= 0 || !m_streamInfo)
        return false;
    const double fd = m_streamInfo->frameDuration;
    if (fd <= 0.0)
        return false;
    // The time before which frames are decoded but not converted (see the worker).
    double before = -1.0;
    if (m_forward && m_windowEnd >= 0)
        before = static_cast<double>(m_windowEnd) - VideoDecodeWorker::kConvertWindowFrames * fd;
    else if (!m_forward && m_convertFrom >= 0)
        before = static_cast<double>(m_convertFrom);
    const int64_t offset = std::max<int64_t>(m_streamInfo->startTimeOffset, 0);
    const double time = static_cast<double>(packet.pts) * m_timeBase - static_cast<double>(offset);
    return time < before - fd; // a frame of margin for time stamps that differ from the packet's
}

bool VideoDecoder::PastBackwardWindow(const AVPacket& packet) const
{
    // Decoding times never decrease and no picture is shown before it is decoded, so a
    // packet decoded after the window end starts the part of the stream no longer needed.
    if (packet.dts == AV_NOPTS_VALUE)
        return false;
    const int64_t offset = m_streamInfo ? std::max<int64_t>(m_streamInfo->startTimeOffset, 0) : 0;
    const double dts = static_cast<double>(packet.dts) * m_timeBase - static_cast<double>(offset);
    return dts > static_cast<double>(m_backwardWindowEnd) + 1.0;
}

void VideoDecoder::OnPacketProcessingCompleted(int workerId)
{
    if (!m_worker || workerId != m_worker->Id()) {
        Logger::error(QStringLiteral("Failed to find video decoder worker on packet processing completed: %1").arg(workerId));
        return;
    }
    m_lastDecodedFrameTime = m_worker->CurrentTask().frameTime;
    m_packetInFlight = false;
}

void VideoDecoder::OnDecodingTaskCompleted(int workerId)
{
    if (!m_worker || workerId != m_worker->Id()) {
        Logger::error(QStringLiteral("Failed to find video decoder worker on frame processing completed: %1").arg(workerId));
        return;
    }
    VideoDecodeWorker::Task& task = m_worker->CurrentTask();
    std::vector<std::shared_ptr<VideoFrame>> frames;
    frames.swap(task.frames);
    if (m_forward) {
        if (m_verifyLanding && task.packetFirstTime != INT64_MIN) {
            m_verifyLanding = false;
            if (task.packetFirstTime > m_seekTarget + 1) {
                // The demuxer landed after the wanted frame (containers that seek by
                // searching do): start further back and drop what came from here.
                const int64_t landed = SeekDemuxerAtOrBefore(StepBack(m_landingSeek, m_landingBackoff));
                if (landed >= 0) {
                    m_landingSeek = landed;
                    m_verifyLanding = landed > 0;
                    return;
                }
            }
        }
        for (auto& frame : frames)
            emit VideoFrameDecoded(std::move(frame));
        return;
    }
    if (task.skipped > 0) {
        m_windowTruncated = true;
        task.skipped = 0;
    }
    for (auto& frame : frames) {
        if (!frame || frame->time > m_backwardWindowEnd)
            continue;
        m_pendingBytes += frame->ByteSize();
        const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), frame->time,
                                         [](int64_t time, const auto& f) { return time < f->time; });
        m_pending.insert(at, std::move(frame));
    }
    // Keep the latest frames of the window within the memory limit; the earlier ones are
    // decoded again by the next window.
    while (m_pendingBytes > BackwardMemoryLimit() && m_pending.size() > 1) {
        m_pendingBytes -= m_pending.front()->ByteSize();
        m_pending.pop_front();
        m_windowTruncated = true;
    }
}

DecodeStatus VideoDecoder::BackwardStep()
{
    if (m_pending.empty() && !FillBackwardWindow())
        return m_decoding ? DecodeStatus::StartReached : DecodeStatus::MoreToCome;
    if (!m_decoding) {
        m_pending.clear();
        m_pendingBytes = 0;
        return DecodeStatus::MoreToCome;
    }
    std::shared_ptr<VideoFrame> frame = std::move(m_pending.back());
    m_pending.pop_back();
    m_pendingBytes -= frame->ByteSize();
    const bool windowDone = m_pending.empty();
    const int64_t time = frame->time;
    emit VideoFrameDecoded(std::move(frame));
    if (time <= 0 || (windowDone && m_windowFromStart && !m_windowTruncated))
        return DecodeStatus::StartReached;
    if (windowDone)
        QueueBackwardWindow(time - 1);
    return DecodeStatus::MoreToCome;
}

void VideoDecoder::QueueBackwardWindow(int64_t windowEnd)
{
    m_backwardWindowEnd = windowEnd;
    m_backwardSeekDone = false;
}

bool VideoDecoder::FillBackwardWindow()
{
    const double fd = std::max(m_streamInfo ? m_streamInfo->frameDuration : 0.0, 0.0);
    int64_t seekTime = std::max<int64_t>(static_cast<int64_t>(std::trunc(static_cast<double>(m_backwardWindowEnd) - 2.0 * fd)), 0);
    int64_t backoff = kSeekBackoff;
    for (;;) {
        if (!m_backwardSeekDone) {
            seekTime = SeekDemuxerAtOrBefore(seekTime);
            if (seekTime < 0)
                return false; // not even the start of the file can be reached
            m_windowEnd = seekTime;
            m_windowFromStart = seekTime == 0;
        }
        m_backwardSeekDone = false;
        m_windowTruncated = false;
        // Frames that the memory limit would drop again are not converted at all.
        m_convertFrom = -1;
        if (m_lastFrameBytes > 0 && fd > 0.0) {
            const int64_t keep = std::max<int64_t>(BackwardMemoryLimit() / m_lastFrameBytes, 1);
            m_convertFrom = m_backwardWindowEnd - static_cast<int64_t>((static_cast<double>(keep) + 1.0) * fd);
        }
        m_lastDecodedFrameTime = 0;
        m_windowDrained = false;
        while (m_decoding && !m_endOfFile && !m_windowDrained && m_lastDecodedFrameTime <= m_backwardWindowEnd) {
            ReadNextPacket();
            emit ProcessEventsRequested();
        }
        if (!m_decoding) {
            m_pending.clear();
            m_pendingBytes = 0;
            return false;
        }
        if (!m_pending.empty()) {
            m_lastFrameBytes = m_pending.back()->ByteSize();
            return true;
        }
        if (m_windowFromStart)
            return false; // nothing at or before the window end exists
        // The demuxer landed after the window (an imprecise seek): step further back.
        seekTime = StepBack(seekTime, backoff);
    }
}

void VideoDecoder::MeasureStreamTimes()
{
    if (!m_streamInfo || !m_worker || !m_entry || m_entry->imageSequence)
        return;
    VideoStreamInfo& info = *m_streamInfo;
    const QString fileName = QFileInfo(m_entry->filePath).fileName();
    const bool forward = m_forward;
    m_forward = true;
    m_convert = false;
    VideoDecodeWorker::Task& task = m_worker->CurrentTask();

    // Start offset: the time stamp of the first frame.
    Seek(0);
    task.firstTimestamp = INT64_MIN;
    task.decodedCount = 0;
    DecodeStatus status = DecodeStatus::MoreToCome;
    while (task.decodedCount == 0 && status != DecodeStatus::EndOfFile)
        status = ReadNextPacket();
    if (task.decodedCount == 0 || task.firstTimestamp == INT64_MIN) {
        Logger::warning(QStringLiteral("Failed to set startTimeOffset for video stream (%1): %2")
                            .arg(info.streamIndex)
                            .arg(fileName));
        info.startTimeOffset = 0;
    } else if (task.firstTimestamp < 0) {
        Logger::warning(QStringLiteral("Video stream (%1) start time is less than 0. Skipping negative frames: %2 (%3)")
                            .arg(info.streamIndex)
                            .arg(fileName)
                            .arg(task.firstTimestamp));
        info.startTimeOffset = 0;
    } else {
        info.startTimeOffset = task.firstTimestamp;
    }

    // End: decode everything from the last keyframe before the container's end. A file cut
    // short has nothing there; then every frame from the start is decoded to find its end.
    int64_t lastTime = 0;
    for (const int64_t from : {m_entry->endTime, int64_t(0)}) {
        Seek(from);
        task.decodedCount = 0;
        do {
            const int before = task.decodedCount;
            status = ReadNextPacket();
            if (task.decodedCount > before)
                lastTime = task.frameTime;
        } while (status != DecodeStatus::EndOfFile);
        if (task.decodedCount > 0 || from <= 0)
            break;
    }
    if (task.decodedCount == 0) {
        Logger::warning(QStringLiteral("Failed to set end time for video stream (%1): %2").arg(info.streamIndex).arg(fileName));
        info.decodedEndTime = -1;
    } else {
        info.decodedEndTime = static_cast<int64_t>(std::trunc(static_cast<double>(lastTime) + info.frameDuration));
    }
    info.endTime = info.decodedEndTime;
    if (m_entry->endTime < info.endTime)
        info.endTime = m_entry->endTime;
    if (info.frameDuration > 0.0)
        info.frameCount = MediaTime::FrameCount(info.endTime, info.frameDuration);

    m_convert = true;
    m_forward = forward;
    Seek(0);
}

void VideoDecoder::Shutdown()
{
    m_pending.clear();
    m_pendingBytes = 0;
    m_worker.reset();
    m_packetInFlight = false;
    Close();
}
