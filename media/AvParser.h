#pragma once

#include "AvDecoderBase.h"

struct AVFrame;
class CodecFramePool;

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

    // Parses one more file of an image sequence whose source is parsed already, as its
    // decoders reach it: fills that file's entry (stream records, metadata, the file's status)
    // and nothing else. The source's status, parsed flag and signals are left alone, since
    // decode workers on several threads parse files of one sequence at once, and one damaged
    // frame is not the failure of the whole sequence. The caller makes sure no one else uses
    // the file's entry meanwhile. Any thread.
    //
    // Finding a picture file's stream parameters means decoding its picture. With `picture`
    // given, that picture is kept there (decoded into `framePool`'s memory when given) for
    // the caller to show, instead of being decoded once more; it stays empty when the file
    // gave none.
    void ParseSequenceFile(Source* source, int fileIndex, CodecFramePool* framePool = nullptr,
                           AVFrame* picture = nullptr);

    bool OpenStream(int, int) override { return false; }

private:
    bool ParseFile(int fileIndex);
    void ParseVideoStream(int fileIndex, int streamIndex);
    void ParseAudioStream(int fileIndex, int streamIndex);
    void MeasureStreamTimes(int fileIndex);
    void ClampEndTime(int fileIndex);

    // Finds the stream parameters of an image file by decoding its picture into m_picture.
    int DecodePicture(int fileIndex);

    bool m_fileOnly = false; // ParseSequenceFile: the source's own state is not touched
    CodecFramePool* m_framePool = nullptr;
    AVFrame* m_picture = nullptr;
};
