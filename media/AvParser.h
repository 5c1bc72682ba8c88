#pragma once

#include "media/AvDecoderBase.h"
#include "media/ParseResult.h"

struct AVFrame;
class CodecFramePool;

// Probes one file of a source: fills its entry (stream records, metadata, the file's status
// and end time) and measures its streams' times. What that means for the whole source comes
// back as a ParseResult for the source's owner to apply. Created per request and used on one
// engine thread; holds FFmpeg objects only while a parse runs.
class AvParser : public AvDecoderBase
{
    Q_OBJECT

public:
    using AvDecoderBase::AvDecoderBase;

    // Probes the file of `entry`. Every outcome, failures and a null entry included, returns
    // a result, so that the owner can always announce that the parse has finished.
    ParseResult Parse(SourceFileEntry* entry);

    // Parses one more file of an image sequence whose source is parsed already, as its
    // decoders reach it, into `entry`: a fresh entry of the caller's (a copy of the unparsed
    // entry of the file: its path, frame number and kind), never the source's, which decode
    // threads only read (the caller reports it, see Source). Fills its stream records,
    // metadata and status; there is no result for the source, since one damaged frame is not
    // the failure of the whole sequence. Any thread.
    //
    // Finding a picture file's stream parameters means decoding its picture. With `picture`
    // given, that picture is kept there (decoded into `framePool`'s memory when given) for
    // the caller to show, instead of being decoded once more; it stays empty when the file
    // gave none.
    void ParseSequenceFile(SourceFileEntry* entry, CodecFramePool* framePool = nullptr, AVFrame* picture = nullptr);

    bool OpenStream(int) override { return false; }

    // Whether FFmpeg can open `path` as media input at all (a file being written may not
    // yet). Any thread.
    static bool CanOpenInput(const QString& path);

private:
    bool ParseFile();
    void ParseVideoStream(int streamIndex);
    void ParseAudioStream(int streamIndex);
    void MeasureStreamTimes();
    void ClampEndTime();

    // Finds the stream parameters of an image file by decoding its picture into m_picture.
    int DecodePicture();

    bool m_fileOnly = false; // ParseSequenceFile: no result for the source
    ParseResult m_result;    // of the Parse running
    CodecFramePool* m_framePool = nullptr;
    AVFrame* m_picture = nullptr;
};
