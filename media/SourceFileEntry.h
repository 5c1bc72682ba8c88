#pragma once

#include "AudioStreamInfo.h"
#include "MetadataMap.h"
#include "SourceStatus.h"
#include "VideoStreamInfo.h"

#include <QString>

#include <deque>

// One file of a source (the one file of a movie, or one frame of an image sequence) with
// what probing found in it. Stream records sit in deques so that their addresses stay put
// while records are appended; decoders and frames point at them.
struct SourceFileEntry
{
    QString filePath;
    bool parsed = false;
    SourceStatus status = SourceStatus::Ok;
    int32_t frameNumber = -1; // from the file name, image sequences only
    MetadataMap metadata;
    std::deque<AudioStreamInfo> audioStreams;
    std::deque<VideoStreamInfo> videoStreams;
};
