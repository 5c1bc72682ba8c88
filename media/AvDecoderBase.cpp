#include "media/AvDecoderBase.h"

#include "core/Logger.h"
#include "media/SourceFileEntry.h"

#include <QFileInfo>

#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

// FFmpeg's own diagnostics go to the debug channel of the log; the engine reports what
// matters to the user in its own words.
void ForwardFfmpegLog(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof(line), &printPrefix);
    Logger::debugInfo(QString::fromUtf8(line).trimmed());
}

} // namespace

AvDecoderBase::AvDecoderBase(QObject* parent)
    : QObject(parent)
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(ForwardFfmpegLog); });
}

AvDecoderBase::~AvDecoderBase() = default;

bool AvDecoderBase::Open(SourceFileEntry* entry, int streamIndex)
{
    CloseAudioCodec();
    CloseVideoCodec();
    m_formatContext.reset();
    m_entry = entry;
    if (!entry)
        return true;
    if (!OpenInput())
        return false;
    if (m_formatContext->nb_streams == 0) {
        // A container that announces its streams only once packets are read.
        const int result = avformat_find_stream_info(m_formatContext.get(), nullptr);
        if (result < 0) {
            Logger::error(QStringLiteral("Failed to find stream information for \"%1\"")
                              .arg(QFileInfo(entry->filePath).fileName()),
                          result);
            m_formatContext.reset();
            return false;
        }
    }
    if (!OpenStream(streamIndex)) {
        m_formatContext.reset();
        return false;
    }
    return true;
}

bool AvDecoderBase::OpenInput()
{
    m_formatContext.reset();
    SourceFileEntry* entry = m_entry;
    if (!entry) {
        Logger::error(QStringLiteral("Failed to open input. A source is not set"));
        return false;
    }
    m_inputStatus = SourceStatus::Ok;
    if (!QFileInfo::exists(entry->filePath)) {
        m_inputStatus = SourceStatus::FileNotFound;
        Logger::error(QStringLiteral("File not found: %1").arg(entry->filePath));
        return false;
    }
    AVFormatContext* context = nullptr;
    const int result = avformat_open_input(&context, entry->filePath.toUtf8().constData(), nullptr, nullptr);
    if (result < 0) {
        m_inputStatus = SourceStatus::FailedToOpenInput;
        Logger::error(QStringLiteral("Failed to open input for parsing: %1").arg(entry->filePath), result);
        return false;
    }
    m_formatContext.reset(context);
    return true;
}

namespace {

// What differs between opening an audio and a video codec: the messages.
struct CodecMessages
{
    const char* streamNotFound;
    const char* decoderNotFound; // may take the file name as %1
    const char* streamIndexNotFound;
    const char* allocFailed;
    const char* contextFailed;
    const char* explicitDecoderNotFound;
    const char* openFailed;
};

const CodecMessages kAudioMessages = {
    "Failed to find audio stream (Stream not found)",
    "Failed to find audio stream (Decoder not found)",
    "Failed to find audio stream index: %1",
    "Failed to create audio codec context.",
    "Failed to create audio codec context.",
    "Audio decoder not found.",
    "Failed to open audio codec.",
};

const CodecMessages kVideoMessages = {
    "Failed to find video stream (Stream not found)",
    "Failed to find video stream (Decoder not found): %1",
    "Failed to find video stream index: %1",
    "Failed ot alloc video codec context.",
    "Failed to create video codec context.",
    "Video decoder not found.",
    "Failed to open video codec.",
};

// Finds the stream (the best of its kind when `streamIndex` is negative), then creates and
// opens a codec context for it. `configure` adjusts the context before it is opened.
// Returns the container stream index, or -1 after logging why.
template <typename Configure>
int OpenCodec(AVFormatContext* format, AVMediaType type, int streamIndex, const CodecMessages& m,
              const QString& fileName, AvCodecContextPtr& contextOut, const AVCodec*& codecOut, Configure configure)
{
    if (!format)
        return -1;
    const AVCodec* codec = nullptr;
    if (streamIndex < 0) {
        const int best = av_find_best_stream(format, type, -1, -1, &codec, 0);
        if (best == AVERROR_STREAM_NOT_FOUND) {
            Logger::error(QLatin1String(m.streamNotFound));
            return -1;
        }
        if (best == AVERROR_DECODER_NOT_FOUND) {
            Logger::error(QString(QLatin1String(m.decoderNotFound)).replace(QLatin1String("%1"), fileName));
            return -1;
        }
        if (best < 0) {
            Logger::error(QString::fromLatin1(m.streamIndexNotFound).arg(best));
            return -1;
        }
        streamIndex = best;
    } else if (streamIndex >= static_cast<int>(format->nb_streams)) {
        Logger::error(QString::fromLatin1(m.streamIndexNotFound).arg(streamIndex));
        return -1;
    }
    const AVStream* stream = format->streams[streamIndex];
    if (!codec)
        codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        Logger::error(QLatin1String(m.explicitDecoderNotFound));
        return -1;
    }
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        Logger::error(QLatin1String(m.allocFailed));
        return -1;
    }
    int result = avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (result < 0) {
        Logger::error(QLatin1String(m.contextFailed), result);
        return -1;
    }
    context->pkt_timebase = stream->time_base;
    configure(context.get());
    result = avcodec_open2(context.get(), codec, nullptr);
    if (result < 0) {
        Logger::error(QLatin1String(m.openFailed), result);
        return -1;
    }
    contextOut = std::move(context);
    codecOut = codec;
    return streamIndex;
}

} // namespace

int AvDecoderBase::OpenAudioCodec(int streamIndex)
{
    CloseAudioCodec();
    return OpenCodec(m_formatContext.get(), AVMEDIA_TYPE_AUDIO, streamIndex, kAudioMessages, QString(),
                     m_audioCodecContext, m_audioCodec, [](AVCodecContext*) {});
}

int AvDecoderBase::OpenVideoCodec(int streamIndex)
{
    CloseVideoCodec();
    const QString fileName = m_entry ? QFileInfo(m_entry->filePath).fileName() : QString();
    return OpenCodec(m_formatContext.get(), AVMEDIA_TYPE_VIDEO, streamIndex, kVideoMessages, fileName,
                     m_videoCodecContext, m_videoCodec, [this](AVCodecContext* context) {
                         context->max_pixels = kMaxPixels;
                         m_hardwareDecoding = InitHardwareDecoding();
                         context->thread_count = m_entry && m_entry->imageSequence ? 1 : 0;
                         ConfigureVideoCodec(context);
                     });
}

int AvDecoderBase::SeekToFileStart()
{
    AVFormatContext* format = m_formatContext.get();
    if (!format)
        return AVERROR(EINVAL);
    // Containers that find times by searching the stream (transport streams) land near, not
    // on, a time: there the start is a byte position.
    const int flags = format->iformat->flags;
    if ((flags & AVFMT_TS_DISCONT) && !(flags & AVFMT_NO_BYTE_SEEK))
        return av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE);
    const int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
    const int result = av_seek_frame(format, -1, start, AVSEEK_FLAG_BACKWARD);
    if (result >= 0)
        return result;
    // No keyframe at or before the start: the pictures begin after it (a video that starts
    // a little after its sound). The first keyframe after it is then the start of the file.
    return av_seek_frame(format, -1, start, 0);
}

int AvDecoderBase::SeekToTime(int streamIndex, int64_t s, int64_t offset)
{
    AVFormatContext* format = m_formatContext.get();
    if (!format || streamIndex < 0 || streamIndex >= static_cast<int>(format->nb_streams))
        return AVERROR(EINVAL);
    if (s <= 0)
        return SeekToFileStart();
    int64_t ts = av_rescale_q(s + offset, AVRational{1, 1'000'000}, format->streams[streamIndex]->time_base);
    // A tick early, so that a keyframe stamped exactly at `s` after rounding is not missed.
    if (ts >= 1)
        ts -= 1;
    return avformat_seek_file(format, streamIndex, 0, ts, ts, AVSEEK_FLAG_FRAME);
}

void AvDecoderBase::CloseAudioCodec()
{
    m_audioCodecContext.reset();
    m_audioCodec = nullptr;
}

void AvDecoderBase::CloseVideoCodec()
{
    m_videoCodecContext.reset();
    m_videoCodec = nullptr;
}

void AvDecoderBase::Close()
{
    CloseAudioCodec();
    CloseVideoCodec();
    m_formatContext.reset();
    m_entry = nullptr;
}
