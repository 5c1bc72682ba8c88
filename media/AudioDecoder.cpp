#include "media/AudioDecoder.h"

#include "core/Logger.h"
#include "media/SourceFileEntry.h"

#include <QFileInfo>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int kOutputRate = AudioFormat::kSampleRate;

// A resampler from the stream's format to the engine's (48 kHz stereo float), or null after
// logging why there is none.
SwrContextPtr MakeResampler(const AudioStreamInfo& info)
{
    SwrContextPtr resampler(swr_alloc());
    if (!resampler) {
        Logger::error(QStringLiteral("Failed to create audio resampler."));
        return nullptr;
    }
    AVChannelLayout in;
    av_channel_layout_from_mask(&in, info.channelMask);
    if (in.nb_channels != info.channelCount) {
        av_channel_layout_uninit(&in);
        av_channel_layout_default(&in, info.channelCount);
    }
    AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    // An option that cannot be set leaves its default, which swr_init refuses.
    av_opt_set_chlayout(resampler.get(), "in_chlayout", &in, 0);
    av_opt_set_chlayout(resampler.get(), "out_chlayout", &out, 0);
    av_opt_set_int(resampler.get(), "in_sample_rate", info.sampleRate, 0);
    av_opt_set_int(resampler.get(), "out_sample_rate", kOutputRate, 0);
    av_opt_set_sample_fmt(resampler.get(), "in_sample_fmt", static_cast<AVSampleFormat>(info.sampleFormat), 0);
    av_opt_set_sample_fmt(resampler.get(), "out_sample_fmt", AV_SAMPLE_FMT_FLT, 0);
    av_channel_layout_uninit(&in);
    const int result = swr_init(resampler.get());
    if (result < 0) {
        Logger::error(QStringLiteral("Failed to initialise audio resampler."), result);
        return nullptr;
    }
    return resampler;
}

} // namespace

AudioDecoder::AudioDecoder(QObject* parent)
    : AvDecoderBase(parent)
{
}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::OpenStream(int streamInfoIndex)
{
    CloseAudioCodec();
    m_streamInfo = nullptr;
    SourceFileEntry* entry = m_entry;
    const int count = entry ? static_cast<int>(entry->audioStreams.size()) : 0;
    if (streamInfoIndex >= count) {
        Logger::error(QStringLiteral("Failed to open audio stream. Unknown stream specified."));
        return false;
    }
    if (count <= 0) {
        Logger::error(QStringLiteral("Failed to open audio stream. Media does not have any audio streams."));
        return false;
    }
    const int requested = streamInfoIndex >= 0 ? entry->audioStreams[static_cast<size_t>(streamInfoIndex)].streamIndex : -1;
    const int opened = OpenAudioCodec(requested);
    if (opened < 0)
        return false;
    AudioStreamInfo* record = FindStreamRecord(entry->audioStreams, opened);
    if (!record) {
        CloseAudioCodec();
        Logger::error(QStringLiteral("Failed to open audio stream. Audio info not found for stream: %1").arg(opened));
        return false;
    }
    m_streamInfo = record;
    m_containerStreamIndex = opened;
    m_frame = MakeAvFrame();
    m_packet = MakeAvPacket();
    m_timeBase = av_q2d(m_formatContext->streams[opened]->time_base) * 1'000'000.0;

    // Everything becomes 48 kHz stereo float; a resampler that cannot be made leaves the
    // blocks silent but correctly timed.
    m_resampler = MakeResampler(*m_streamInfo);
    m_decoder.Reset();
    m_endOfFile = false;
    m_blockTime = -1;
    return true;
}

bool AudioDecoder::SeekDemuxer(int64_t s)
{
    if (!m_formatContext || !m_audioCodecContext)
        return false;
    const int64_t offset = std::max<int64_t>(m_streamInfo->startTimeOffset, 0);
    const int stream = m_seekStream >= 0 && m_seekStream < static_cast<int>(m_formatContext->nb_streams)
                           ? m_seekStream
                           : m_containerStreamIndex;
    const int result = SeekToTime(stream, s, offset);
    if (result < 0) {
        Logger::error(QStringLiteral("Audio Seek Failed"), result);
        return false;
    }
    avcodec_flush_buffers(m_audioCodecContext.get());
    if (m_resampler) { // drop what the resampler still holds from before
        swr_close(m_resampler.get());
        const int result = swr_init(m_resampler.get());
        if (result < 0) {
            Logger::error(QStringLiteral("Failed to initialise audio resampler."), result);
            m_resampler.reset();
        }
    }
    m_decoder.Reset();
    m_endOfFile = false;
    m_blockTime = -1;
    return true;
}

void AudioDecoder::Seek(int64_t t)
{
    m_pending.clear();
    m_continuingBackwards = false;
    const int64_t s = std::max<int64_t>(t - 100'000, 0);
    if (SeekDemuxer(s))
        m_seekTime = t;
}

DecodeStatus AudioDecoder::DecodeStep()
{
    m_blocks.clear();
    if (!m_packet || !m_audioCodecContext)
        return DecodeStatus::EndOfFile;
    if (m_endOfFile && m_decoder.EndOfStream())
        return DecodeStatus::EndOfFile;
    AVPacket* packet = m_packet.get();
    DecodeStatus status = DecodeStatus::MoreToCome;
    for (;;) {
        if (av_read_frame(m_formatContext.get(), packet) < 0) {
            av_packet_unref(packet);
            status = DecodeStatus::EndOfFile;
            m_endOfFile = true;
            break;
        }
        if (packet->stream_index == m_containerStreamIndex)
            break;
        av_packet_unref(packet);
    }
    if (packet->size > 0 && packet->pts != AV_NOPTS_VALUE)
        m_blockTime = static_cast<int64_t>(std::trunc(static_cast<double>(packet->pts) * m_timeBase
                                                      - static_cast<double>(m_streamInfo->startTimeOffset)));
    m_decoder.Decode(m_audioCodecContext.get(), packet, m_frame.get(), [this](AVFrame* frame) { ConvertFrame(frame); });
    av_packet_unref(packet);
    return status;
}

void AudioDecoder::ConvertFrame(const AVFrame* frame)
{
    const int n = frame->nb_samples;
    const int r = frame->sample_rate > 0 ? frame->sample_rate : m_streamInfo->sampleRate;
    if (n <= 0 || r <= 0)
        return;
    if (m_blockTime < 0 && frame->best_effort_timestamp != AV_NOPTS_VALUE)
        m_blockTime = static_cast<int64_t>(std::trunc(static_cast<double>(frame->best_effort_timestamp) * m_timeBase
                                                      - static_cast<double>(m_streamInfo->startTimeOffset)));
    const int64_t start = m_blockTime;
    const double seconds = static_cast<double>(n) / r;
    auto block = std::make_shared<AudioFrame>();
    block->startTime = start;
    block->endTime = static_cast<int64_t>(std::trunc(seconds * 1'000'000.0 - 1.0 + static_cast<double>(start)));
    const int capacity = kOutputRate > r ? n * (kOutputRate / r + 1) : n;
    block->data = QByteArray(static_cast<qsizetype>(capacity) * AudioFormat::kBytesPerFrame, '\0');
    block->sampleCount = capacity;
    if (m_resampler) {
        auto* out = reinterpret_cast<uint8_t*>(block->data.data());
        const int converted = swr_convert(m_resampler.get(), &out, capacity,
                                          const_cast<const uint8_t**>(frame->extended_data), n);
        if (converted >= 0) {
            block->data.resize(static_cast<qsizetype>(converted) * AudioFormat::kBytesPerFrame);
            block->sampleCount = converted;
        }
    } else {
        Logger::error(QStringLiteral("Audio resample fallback not implemented."));
    }
    block->size = block->data.size();
    m_blocks.push_back(std::move(block));
    m_blockTime = static_cast<int64_t>(std::trunc(static_cast<double>(start) + seconds * 1'000'000.0));
}

DecodeStatus AudioDecoder::DecodeNext()
{
    if (!m_audioCodecContext)
        return DecodeStatus::EndOfFile;
    m_decoding = true;
    DecodeStatus status = DecodeStatus::MoreToCome;
    if (m_forward) {
        status = DecodeStep();
        for (auto& block : m_blocks)
            emit AudioFrameDecoded(std::move(block), m_streamInfo);
        m_blocks.clear();
        if (status == DecodeStatus::EndOfFile)
            emit AudioFrameDecoded(nullptr, m_streamInfo);
    } else {
        status = BackwardStep();
    }
    m_decoding = false;
    return status;
}

DecodeStatus AudioDecoder::BackwardStep()
{
    if (m_pending.empty()) {
        // Decode the window up to the block that holds the seek time.
        int64_t seekFrom = std::max<int64_t>(m_seekTime - 100'000, 0);
        int64_t backoff = kSeekBackoff;
        for (;;) {
            bool reached = false;
            while (m_decoding && !reached) {
                const DecodeStatus status = DecodeStep();
                for (auto& block : m_blocks) {
                    if (block->startTime > m_seekTime)
                        reached = true; // beyond the window
                    else
                        m_pending.push_back(std::move(block));
                    if (!m_pending.empty() && m_pending.back()->endTime >= m_seekTime)
                        reached = true;
                }
                m_blocks.clear();
                if (status == DecodeStatus::EndOfFile)
                    break;
                emit ProcessEventsRequested();
            }
            if (!m_decoding) {
                m_pending.clear();
                return DecodeStatus::MoreToCome;
            }
            if (!m_pending.empty() || seekFrom == 0)
                break;
            // The demuxer landed after the window: go further back.
            seekFrom = StepBack(seekFrom, backoff);
            if (!SeekDemuxer(seekFrom))
                break;
        }
        if (m_pending.empty()) {
            emit AudioFrameDecoded(nullptr, m_streamInfo);
            return DecodeStatus::StartReached;
        }
        if (m_continuingBackwards) {
            const int64_t dropped = TrimToWindowEnd();
            if (m_pending.empty()) { // only a sliver under one sample was new
                if (dropped <= std::max<int64_t>(m_streamInfo->startTime, 0)) {
                    emit AudioFrameDecoded(nullptr, m_streamInfo);
                    return DecodeStatus::StartReached;
                }
                Seek(dropped - 1);
                m_continuingBackwards = true;
                return DecodeStatus::MoreToCome;
            }
        }
    }
    AudioFramePtr block = std::move(m_pending.back());
    m_pending.pop_back();
    const int64_t start = block->startTime;
    const bool first = start <= std::max<int64_t>(m_streamInfo->startTime, 0);
    emit AudioFrameDecoded(std::move(block), m_streamInfo);
    if (first) {
        emit AudioFrameDecoded(nullptr, m_streamInfo);
        m_pending.clear();
        return DecodeStatus::StartReached;
    }
    if (m_pending.empty()) {
        Seek(start - 1);
        m_continuingBackwards = true;
    }
    return DecodeStatus::MoreToCome;
}

int64_t AudioDecoder::TrimToWindowEnd()
{
    int64_t dropped = -1;
    // The demuxer's packets after a seek need not line up with those of the previous
    // window; the sound already emitted must not be emitted twice.
    while (!m_pending.empty() && m_pending.back()->endTime > m_seekTime) {
        AudioFrame& block = *m_pending.back();
        // Both times are truncated sample times, so the rounded span is the exact sample count.
        const int64_t samples = std::llround(static_cast<double>(m_seekTime + 1 - block.startTime) * AudioFormat::kSampleRate / 1e6);
        const int64_t bytes = std::min(block.size, samples * AudioFormat::kBytesPerFrame);
        if (bytes <= 0) {
            dropped = block.startTime;
            m_pending.pop_back();
            continue;
        }
        if (!block.data.isEmpty())
            block.data.truncate(static_cast<qsizetype>(bytes));
        block.size = bytes;
        block.sampleCount = static_cast<int32_t>(bytes / AudioFormat::kBytesPerFrame);
        block.endTime = m_seekTime;
    }
    return dropped;
}

void AudioDecoder::MeasureStreamTimes()
{
    if (!m_streamInfo || !m_entry)
        return;
    AudioStreamInfo& info = *m_streamInfo;
    const bool forward = m_forward;
    m_forward = true;
    Seek(0);
    bool startFound = false;
    DecodeStatus status = DecodeStatus::MoreToCome;
    while (!startFound && status != DecodeStatus::EndOfFile) {
        status = DecodeStep();
        for (const auto& block : m_blocks)
            if (!startFound && block->endTime > 0) {
                info.startTime = block->startTime;
                startFound = true;
            }
    }
    int64_t end = -1;
    for (const int64_t from : {m_entry->endTime, int64_t(0)}) {
        Seek(from);
        do {
            status = DecodeStep();
            if (!m_blocks.empty())
                end = m_blocks.back()->endTime;
        } while (status != DecodeStatus::EndOfFile);
        if (end >= 0 || from <= 0)
            break;
    }
    m_blocks.clear();
    if (end < 0)
        Logger::warning(QStringLiteral("Failed to set end time for audio stream (%1): %2")
                            .arg(info.streamIndex)
                            .arg(QFileInfo(m_entry->filePath).fileName()));
    else
        info.endTime = end;
    m_forward = forward;
    Seek(0);
}
