#pragma once

#include "media/FfmpegPtr.h"
#include "media/SourceStatus.h"

#include <QObject>

#include <algorithm>

struct AVCodec;
struct AVCodecContext;
struct SourceFileEntry;

// Common ground of everything that opens one file of a source with FFmpeg: the container,
// and one audio and one video codec context. Works on the file's entry (its path and stream
// records), which it is given and does not own. Owned and used by one engine thread at a time.
class AvDecoderBase : public QObject
{
    Q_OBJECT

public:
    explicit AvDecoderBase(QObject* parent = nullptr);
    ~AvDecoderBase() override;

    // Closes what is open, then opens the file of `entry` and the stream at `streamIndex`
    // (see OpenStream). A null entry only closes and returns true.
    virtual bool Open(SourceFileEntry* entry, int streamIndex);
    virtual bool OpenStream(int streamIndex) = 0;
    virtual void CloseAudioCodec();
    virtual void CloseVideoCodec();
    virtual bool InitHardwareDecoding() { return false; }
    // Last settings of a video codec context before it is opened.
    virtual void ConfigureVideoCodec(AVCodecContext*) {}

    // Opens the container of the entry's file. What it found is kept in InputStatus(), not
    // written into the entry, which decode threads only read once it is parsed.
    bool OpenInput();
    // Ok, FileNotFound or FailedToOpenInput, from the last OpenInput.
    SourceStatus InputStatus() const { return m_inputStatus; }
    // Opens the codec of container stream `streamIndex`, or of the best stream of its kind
    // when negative. Returns the container stream index, or -1.
    int OpenAudioCodec(int streamIndex);
    int OpenVideoCodec(int streamIndex);
    void Close();

    SourceFileEntry* FileEntry() const { return m_entry; }
    bool IsHardwareDecoding() const { return m_hardwareDecoding; }

    // Largest picture a video codec may announce; larger streams fail to decode cleanly.
    static constexpr int64_t kMaxPixels = 8192LL * 8192LL;

protected:
    // A seek that lands after its target, or that the container refuses, is retried from an
    // earlier point: kSeekBackoff µs before the last one, then twice as far each time, down
    // to the start of the file.
    static constexpr int64_t kSeekBackoff = 1'000'000; // µs
    // `s` µs moved back by `backoff` (not below 0); `backoff` doubles for the next step.
    static int64_t StepBack(int64_t s, int64_t& backoff)
    {
        s = s > backoff ? s - backoff : 0;
        backoff *= 2;
        return s;
    }

    // Positions the open container at its first packet, for decoding from the start of the
    // file. Returns 0, or the FFmpeg error of the last way tried.
    int SeekToFileStart();
    // Positions the open container so that decoding of container stream `streamIndex` starts
    // at a keyframe at or before `s` µs on the source's time line, which begins `offset` µs
    // into the stream's own; at the start of the file when `s` is 0 or less. Returns 0 or the
    // FFmpeg error.
    int SeekToTime(int streamIndex, int64_t s, int64_t offset);

    // The record of container stream `streamIndex` among a file's audio or video `records`,
    // or null.
    template <typename Records>
    static auto* FindStreamRecord(Records& records, int streamIndex)
    {
        const auto found = std::find_if(records.begin(), records.end(),
                                        [streamIndex](const auto& info) { return info.streamIndex == streamIndex; });
        return found == records.end() ? nullptr : &*found;
    }

    SourceFileEntry* m_entry = nullptr;
    SourceStatus m_inputStatus = SourceStatus::Ok;
    AvFormatContextPtr m_formatContext;
    AvCodecContextPtr m_audioCodecContext;
    const AVCodec* m_audioCodec = nullptr;
    AvCodecContextPtr m_videoCodecContext;
    const AVCodec* m_videoCodec = nullptr;
    bool m_hardwareDecoding = false;
};
