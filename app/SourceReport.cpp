#include "app/SourceReport.h"

#include "project/Source.h"

#include <QJsonArray>
#include <QStringList>

namespace {

QJsonObject MetadataToJson(const MetadataMap& metadata)
{
    QJsonObject object;
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QJsonObject VideoToJson(const VideoStreamInfo& v)
{
    return QJsonObject{
        {"valid", v.valid},
        {"streamIndex", v.streamIndex},
        {"codecName", v.codecName},
        {"endTime", static_cast<qint64>(v.endTime)},
        {"decodedEndTime", static_cast<qint64>(v.decodedEndTime)},
        {"width", v.width},
        {"height", v.height},
        {"rotation", v.rotation},
        {"pixelFormatName", v.pixelFormatName},
        {"yuv", v.yuv},
        {"rec709", v.rec709},
        {"rec2020", v.rec2020},
        {"linear", v.linear},
        {"componentCount", v.componentCount},
        {"bitsPerPixel", v.bitsPerPixel},
        {"pixelAspect", static_cast<double>(v.pixelAspect)},
        {"colorPrimaries", v.colorPrimaries},
        {"colorTransfer", v.colorTransfer},
        {"colorSpace", v.colorSpace},
        {"colorRange", v.colorRange},
        {"startTimeOffset", static_cast<qint64>(v.startTimeOffset)},
        {"frameDuration", v.frameDuration},
        {"frameRate", v.frameRate},
        {"frameCount", v.frameCount},
        {"codecDelay", v.codecDelay},
        {"paddedWidth", v.paddedWidth},
        {"displayAspect", static_cast<double>(v.displayAspect)},
        {"metadata", MetadataToJson(v.metadata)},
    };
}

QJsonObject AudioToJson(const AudioStreamInfo& a)
{
    return QJsonObject{
        {"valid", a.valid},
        {"streamIndex", a.streamIndex},
        {"codecName", a.codecName},
        {"startTime", static_cast<qint64>(a.startTime)},
        {"endTime", static_cast<qint64>(a.endTime)},
        {"channelCount", a.channelCount},
        {"channelMask", static_cast<qint64>(a.channelMask)},
        {"planar", a.planar},
        {"bytesPerSample", a.bytesPerSample},
        {"sampleRate", a.sampleRate},
        {"sampleFormat", a.sampleFormat},
        {"initialPadding", a.initialPadding},
        {"extraDataSize", a.extraDataSize},
        {"startTimeOffset", static_cast<qint64>(a.startTimeOffset)},
        {"metadata", MetadataToJson(a.metadata)},
    };
}

} // namespace

QJsonObject SourceReport::ToJson(const Source& source)
{
    QJsonArray video;
    QJsonArray audio;
    if (const SourceFileEntry* entry = source.PrimaryFileEntry()) {
        for (const VideoStreamInfo& v : entry->videoStreams)
            video.append(VideoToJson(v));
        for (const AudioStreamInfo& a : entry->audioStreams)
            audio.append(AudioToJson(a));
    }
    return QJsonObject{
        {"path", source.Path()},
        {"status", static_cast<int>(source.Status())},
        {"statusText", source.StatusText()},
        {"imageSequence", source.IsImageSequence()},
        {"fileCount", source.FileCount()},
        {"missingCount", source.MissingCount()},
        {"duration", static_cast<qint64>(source.Duration())},
        {"durationText", source.DurationText()},
        {"frameRate", source.FrameRate()},
        {"frameCount", source.FrameCount()},
        {"videoStreams", video},
        {"audioStreams", audio},
    };
}

QString SourceReport::Summary(const Source& source)
{
    QStringList lines;
    lines << QStringLiteral("Source: %1").arg(source.Path());
    if (source.HasError()) {
        lines << QStringLiteral("  status %1: %2").arg(static_cast<int>(source.Status())).arg(source.StatusText());
        return lines.join(QLatin1Char('\n'));
    }
    lines << QStringLiteral("  duration %1, %2 fps, %3 frames")
                 .arg(source.DurationText())
                 .arg(source.FrameRate())
                 .arg(source.FrameCount());
    if (const SourceFileEntry* entry = source.PrimaryFileEntry()) {
        for (const VideoStreamInfo& v : entry->videoStreams)
            lines << QStringLiteral("  video #%1 %2 %3x%4 %5, %6 fps, %7 frames, rotation %8, rec709 %9, rec2020 %10, linear %11")
                         .arg(v.streamIndex)
                         .arg(v.codecName)
                         .arg(v.width)
                         .arg(v.height)
                         .arg(v.pixelFormatName)
                         .arg(v.frameRate)
                         .arg(v.frameCount)
                         .arg(v.rotation)
                         .arg(v.rec709)
                         .arg(v.rec2020)
                         .arg(v.linear);
        for (const AudioStreamInfo& a : entry->audioStreams)
            lines << QStringLiteral("  audio #%1 %2 %3 Hz, %4 channels (mask 0x%5)")
                         .arg(a.streamIndex)
                         .arg(a.codecName)
                         .arg(a.sampleRate)
                         .arg(a.channelCount)
                         .arg(a.channelMask, 0, 16);
    }
    return lines.join(QLatin1Char('\n'));
}
