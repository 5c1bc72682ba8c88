#include "media/AvParser.h"

#include "media/AudioDecoder.h"

#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "media/CodecFramePool.h"
#include "media/FfmpegCompat.h"
#include "media/MediaTime.h"
#include "media/PacketDecoder.h"
#include "media/SourceFileEntry.h"
#include "media/VideoDecoder.h"
#include "media/FfmpegPtr.h"

#include <QFileInfo>

#include <utility>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

namespace {

void CopyMetadata(const AVDictionary* dictionary, MetadataMap& map)
{
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)))
        map.insert(QString::fromUtf8(entry->key), QString::fromUtf8(entry->value));
}

QString NameOrEmpty(const char* name)
{
    return name ? QString::fromUtf8(name) : QString();
}

} // namespace

ParseResult AvParser::Parse(SourceFileEntry* entry)
{
    m_result = {};
    m_entry = entry;
    // The one file of a movie or audio source is the source: its failure is the source's.
    if (!ParseFile() && entry && !entry->imageSequence)
        m_result.status = entry->status;
    MeasureStreamTimes();
    ClampEndTime();
    Close();
    return std::exchange(m_result, {});
}

void AvParser::ParseSequenceFile(SourceFileEntry* entry, CodecFramePool* framePool, AVFrame* picture)
{
    if (!entry || !entry->imageSequence)
        return;
    m_entry = entry;
    m_fileOnly = true;
    m_framePool = framePool;
    m_picture = picture;
    ParseFile();
    m_fileOnly = false;
    m_framePool = nullptr;
    m_picture = nullptr;
    Close();
}

int AvParser::DecodePicture()
{
    AVFormatContext* format = m_formatContext.get();
    const int streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = streamIndex >= 0 ? avcodec_find_decoder(format->streams[streamIndex]->codecpar->codec_id) : nullptr;
    if (!codec)
        return avformat_find_stream_info(format, nullptr);
    AVStream* stream = format->streams[streamIndex];
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return AVERROR(ENOMEM);
    context->pkt_timebase = stream->time_base;
    context->max_pixels = kMaxPixels;
    context->thread_count = 1;
    if (m_framePool)
        m_framePool->Install(context.get());
    const int result = avcodec_open2(context.get(), codec, nullptr);
    AvPacketPtr packet = MakeAvPacket();
    AvFramePtr frame = MakeAvFrame();
    PacketDecoder decoder("video");
    bool decoded = false;
    // An image is one packet; a damaged file is not read for ever.
    for (int i = 0; result >= 0 && !decoded && i < 64; ++i) {
        const bool end = av_read_frame(format, packet.get()) < 0;
        if (!end && packet->stream_index != streamIndex) {
            av_packet_unref(packet.get());
            continue;
        }
        if (end)
            av_packet_unref(packet.get()); // an empty packet drains the codec
        decoder.Decode(context.get(), packet.get(), frame.get(), [&](AVFrame* received) {
            if (!decoded)
                av_frame_move_ref(m_picture, received);
            decoded = true;
        });
        av_packet_unref(packet.get());
        if (end)
            break;
    }
    if (decoded)
        return avcodec_parameters_from_context(stream->codecpar, context.get());
    // Damaged picture data behind a readable header: FFmpeg's own search may still find the
    // parameters, from the start of the file again.
    context.reset();
    if (!OpenInput())
        return AVERROR(EIO);
    return avformat_find_stream_info(m_formatContext.get(), nullptr);
}

bool AvParser::ParseFile()
{
    const bool opened = OpenInput();
    if (m_entry)
        m_entry->status = InputStatus(); // the entry being parsed is this parser's to fill
    if (!opened)
        return false;
    SourceFileEntry* entry = m_entry;
    const int result = m_picture ? DecodePicture() : avformat_find_stream_info(m_formatContext.get(), nullptr);
    if (result < 0) {
        m_formatContext.reset();
        entry->status = SourceStatus::FailedToFindStreamInfo;
        if (!m_fileOnly)
            m_result.status = SourceStatus::FailedToFindStreamInfo;
        Logger::error(QStringLiteral("Failed to find stream information for \"%1\"")
                          .arg(QFileInfo(entry->filePath).fileName()),
                      result);
        return false;
    }
    if (!entry->imageSequence) {
        entry->endTime = std::max<int64_t>(m_formatContext->duration, 0) - 1;
        m_result.endTime = entry->endTime;
        m_result.containerEndTime = entry->endTime;
    }

    CopyMetadata(m_formatContext->metadata, entry->metadata);
    entry->audioStreams.clear();
    entry->videoStreams.clear();
    for (unsigned i = 0; i < m_formatContext->nb_streams; ++i) {
        const AVStream* stream = m_formatContext->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        // A cover picture (album art, a Matroska image attachment) is one still image at a
        // made-up rate, not pictures to play: taken as video it would decide the source's
        // length and frame rate and cut its sound off.
        if (type == AVMEDIA_TYPE_VIDEO && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        if (type == AVMEDIA_TYPE_VIDEO) {
            entry->videoStreams.emplace_back();
            ParseVideoStream(static_cast<int>(i));
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            entry->audioStreams.emplace_back();
            ParseAudioStream(static_cast<int>(i));
        }
    }
    entry->parsed = true;
    if (!m_fileOnly)
        m_result.status = SourceStatus::Ok;
    return true;
}

void AvParser::ParseVideoStream(int streamIndex)
{
    SourceFileEntry* entry = m_entry;
    VideoStreamInfo& info = entry->videoStreams.back();
    const QString fileName = QFileInfo(entry->filePath).fileName();
    if (OpenVideoCodec(streamIndex) < 0) {
        Logger::error(QStringLiteral("Failed to open video stream at index %1 for parsing: %2")
                          .arg(streamIndex)
                          .arg(fileName));
        return;
    }
    const AVStream* stream = m_formatContext->streams[streamIndex];
    const AVCodecContext* codec = m_videoCodecContext.get();
    info.streamIndex = streamIndex;
    info.codecName = NameOrEmpty(m_videoCodec->name);
    info.width = codec->width;
    info.height = codec->height;
    info.rotation = StreamDisplayRotation(stream);
    info.pixelFormatName = NameOrEmpty(av_get_pix_fmt_name(codec->pix_fmt));
    if (info.pixelFormatName.isEmpty()) {
        Logger::error(QStringLiteral("Unsupported video codec: %1").arg(info.codecName));
        CloseVideoCodec();
        return;
    }
    if (info.width <= 0 || info.height <= 0) {
        // The codec refused the announced size (above the pixel limit, or none at all).
        Logger::error(QStringLiteral("Unsupported video dimensions (%1x%2): %3")
                          .arg(stream->codecpar->width)
                          .arg(stream->codecpar->height)
                          .arg(fileName));
        CloseVideoCodec();
        return;
    }

    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(codec->pix_fmt);
    info.yuv = !((descriptor->flags & AV_PIX_FMT_FLAG_RGB) || descriptor->nb_components < 2);
    info.componentCount = descriptor->nb_components;
    info.bitsPerPixel = av_get_bits_per_pixel(descriptor);
    info.colorPrimaries = NameOrEmpty(av_color_primaries_name(codec->color_primaries));
    info.colorTransfer = NameOrEmpty(av_color_transfer_name(codec->color_trc));
    info.colorSpace = NameOrEmpty(av_color_space_name(codec->colorspace));
    info.colorRange = NameOrEmpty(av_color_range_name(codec->color_range));

    if (info.yuv) {
        info.rec2020 = info.colorSpace.startsWith(QLatin1String("bt2020"));
        info.rec709 = !info.rec2020 && (info.width >= 1280 || info.colorSpace == QLatin1String("bt709"));
    } else {
        // FFmpeg does not report a transfer for OpenEXR files, whose values are linear light
        // by definition of the format.
        info.linear = info.colorTransfer == QLatin1String("linear") || FileHelpers::IsLinearImageFile(entry->filePath);
    }

    const AVRational sar = av_guess_sample_aspect_ratio(m_formatContext.get(), const_cast<AVStream*>(stream), nullptr);
    info.pixelAspect = sar.num >= 1 && sar.den >= 1 ? static_cast<float>(av_q2d(sar)) : 1.0f;
    info.displayAspect = static_cast<float>(info.width * static_cast<double>(info.pixelAspect) / info.height);

    info.paddedWidth = info.width;
    if (info.yuv && !entry->imageSequence && info.width % 8 != 0)
        info.paddedWidth = info.width - info.width % 8 + 8;

    if (entry->imageSequence) {
        info.startTimeOffset = 0;
        info.endTime = -1;
        info.frameCount = 1;
        info.frameDuration = -1.0;
        info.frameRate = -1.0;
    } else if (entry->endTime > 0) {
        const AVRational rate = stream->avg_frame_rate.num != 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            const double fps = av_q2d(rate);
            info.frameDuration = MediaTime::kMicroseconds / fps;
            info.frameRate = std::trunc(fps * 1000.0 + 0.5) / 1000.0;
        }
    }

    info.codecDelay = codec->delay;
    CopyMetadata(stream->metadata, info.metadata);
    info.valid = true;
    CloseVideoCodec();
}

void AvParser::ParseAudioStream(int streamIndex)
{
    SourceFileEntry* entry = m_entry;
    AudioStreamInfo& info = entry->audioStreams.back();
    if (OpenAudioCodec(streamIndex) < 0) {
        Logger::error(QStringLiteral("Failed to open audio stream at index %1 for parsing.").arg(streamIndex));
        return;
    }
    const AVStream* stream = m_formatContext->streams[streamIndex];
    const AVCodecContext* codec = m_audioCodecContext.get();
    info.streamIndex = streamIndex;
    info.codecName = NameOrEmpty(m_audioCodec->name);
    info.channelCount = codec->ch_layout.nb_channels;
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && codec->ch_layout.u.mask != 0) {
        info.channelMask = codec->ch_layout.u.mask;
    } else {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, info.channelCount);
        info.channelMask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
        av_channel_layout_uninit(&layout);
    }
    const auto format = static_cast<AVSampleFormat>(codec->sample_fmt);
    info.planar = av_sample_fmt_is_planar(format) != 0;
    info.bytesPerSample = av_get_bytes_per_sample(format);
    info.sampleRate = codec->sample_rate;
    info.sampleFormat = codec->sample_fmt;
    info.initialPadding = codec->initial_padding;
    info.extraDataSize = codec->extradata_size;
    info.valid = true;
    CopyMetadata(stream->metadata, info.metadata);
    CloseAudioCodec();
}

void AvParser::MeasureStreamTimes()
{
    SourceFileEntry* entry = m_entry;
    if (!entry || !entry->parsed || entry->imageSequence)
        return;
    // Each stream is measured by decoding its first and last blocks or frames, with a
    // decoder of its own. Video first: its first picture is the source's zero, and the
    // sound's times are counted from there too (a transport stream starts both at about
    // 1.4 s), so the sound can only be measured once that offset is known.
    // Each video stream is measured once its decoder is open, while its offset is not known yet.
    for (size_t i = 0; i < entry->videoStreams.size(); ++i) {
        if (!entry->videoStreams[i].valid)
            continue;
        VideoDecoder decoder(false);
        decoder.CreateDefaultWorker();
        if (decoder.Open(entry, static_cast<int>(i)) && entry->videoStreams[i].startTimeOffset < 0)
            decoder.MeasureStreamTimes();
        decoder.Shutdown();
    }
    const bool video = !entry->videoStreams.empty() && entry->videoStreams.front().valid;
    const int seekStream = video ? entry->videoStreams.front().streamIndex : -1;
    const int64_t offset = video ? std::max<int64_t>(entry->videoStreams.front().startTimeOffset, 0) : 0;
    for (AudioStreamInfo& audio : entry->audioStreams)
        audio.startTimeOffset = offset;
    for (size_t i = 0; i < entry->audioStreams.size(); ++i) {
        if (!entry->audioStreams[i].valid || entry->audioStreams[i].endTime != -1)
            continue;
        AudioDecoder decoder;
        if (!decoder.Open(entry, static_cast<int>(i)))
            continue;
        decoder.SetSeekStream(seekStream);
        decoder.MeasureStreamTimes();
        decoder.Close();
    }
}

void AvParser::ClampEndTime()
{
    SourceFileEntry* entry = m_entry;
    if (!entry)
        return;
    std::optional<int64_t>& endTime = m_result.endTime;
    if (!entry->videoStreams.empty()) {
        const VideoStreamInfo& video = entry->videoStreams.front();
        if (endTime && *endTime > video.endTime)
            endTime = video.endTime;
        for (AudioStreamInfo& audio : entry->audioStreams)
            audio.startTimeOffset = std::max<int64_t>(video.startTimeOffset, 0);
    } else if (!entry->audioStreams.empty()) {
        const AudioStreamInfo& audio = entry->audioStreams.front();
        if (endTime && *endTime > audio.endTime)
            endTime = audio.endTime;
    }
}

bool AvParser::CanOpenInput(const QString& path)
{
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return false;
    const AvFormatContextPtr owned(context);
    return true;
}
