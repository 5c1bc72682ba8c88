#pragma once

#include "AvDecoderBase.h"

// Probes one file of a source: fills its stream records, sets its end times and status,
// then tells the source (Parsed the first time, Updated afterwards). Created per request
// and used on one engine thread; holds FFmpeg objects only while Parse runs.
class AvParser : public AvDecoderBase
{
    Q_OBJECT

public:
    using AvDecoderBase::AvDecoderBase;

    // Every outcome ends with the source's Parsed or Updated signal, so listeners always
    // learn that the parse has finished. A null source does nothing.
    void Parse(Source* source, int fileIndex);

    bool OpenStream(int, int) override { return false; }

private:
    bool ParseFile(int fileIndex);
    void ParseVideoStream(int fileIndex, int streamIndex);
    void ParseAudioStream(int fileIndex, int streamIndex);
    void MeasureStreamTimes(int fileIndex);
    void ClampEndTime(int fileIndex);
};
