#pragma once

#include <QColor>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class Timeline;

// A value shared between the thread that sets it and the threads that read it (the export
// passes write progress and failure; the main thread reads them and sets the cancel flag).
// Copying takes the value as it is at that moment.
template <typename T>
class SharedValue
{
public:
    SharedValue(T value = T{}) : m_value(value) {}
    SharedValue(const SharedValue& other) : m_value(other.m_value.load()) {}
    SharedValue& operator=(const SharedValue& other)
    {
        m_value.store(other.m_value.load());
        return *this;
    }
    SharedValue& operator=(T value)
    {
        m_value.store(value);
        return *this;
    }
    operator T() const { return m_value.load(); }
    T Load() const { return m_value.load(); }

private:
    std::atomic<T> m_value;
};

// Numbering of exported image sequences.
enum ExportNumberingType : int {
    ExportNumberingZeroBased = 0,
    ExportNumberingOneBased = 1,
    ExportNumberingMatchFrame = 2,
};

// Which frames a viewer capture takes.
enum ExportFrameSelection : int {
    ExportFramesAll = 0,
    ExportFramesOnlyBookmarks = 1,
    ExportFramesSteppedBookmarks = 2,
};

// The three log channels of an export.
enum ExportLoggingMsgType : int {
    ExportLogGeneral = 0,
    ExportLogAudio = 1,
    ExportLogVideo = 2,
};

// One export request, built by the export dialog or the client API and run by the player
// panel through the media engine. The request is shared (std::shared_ptr) between the panel
// on the main thread and the export passes on engine threads:
// - the main thread fills every plain field before the request is queued, and reads what the
//   passes wrote (intermediateFiles and the paths) only after the engine reported the export
//   tasks ended (a queued signal, so the writes are visible);
// - failed, cancelled, the pending flags and the progress values are read and written from
//   both sides while the export runs, and are atomic for that.
struct ExportProperties
{
    Timeline* timeline = nullptr;  // the timeline exported (borrowed; the engine copies it)
    QString outputPath;            // final movie or audio file
    QString tempDirPath;           // this export's temporary folder, created by preparation
    QString exportName;            // milliseconds since the epoch; names every temporary file
    int width = 960;
    int height = 540;
    float frameRate = 25.0f;
    int audioStartFrame = -1;      // a viewer capture's first frame, or -1
    int quality = 1;               // H.264 quality level 0..3
    int preset = 3;                // H.264 preset 0..5
    bool noAudio = false;          // in: exclude audio; after preparation: no audio produced
    bool noVideo = false;          // in: exclude video; after preparation: no video produced
    bool excludeAnnotations = false;
    QColor annotationBackgroundColor; // the viewer options of a capture with annotations
    bool ignoreRange = false;
    bool viewerCapture = false;
    int frameSelection = ExportFramesAll;
    bool mergeAfterAudio = false;
    bool imageSequence = false;
    QString outputDirPath;         // image sequences: the target folder
    QString baseName;              // image sequences: the name before the number
    int padding = 4;               // image sequences: digits of the number, 1..6
    QString imageFormat;           // image sequences: "png" or "jpg"
    int numberingType = ExportNumberingZeroBased;
    int numberOffset = 0;          // added to image numbers
    QString finalAudioPath;
    QString finalVideoPath;
    QStringList intermediateFiles; // segment files, in creation order
    QString concatListPath;
    // Copied from the settings on the main thread by preparation (passes run on other threads).
    QString ffmpegExePath;
    int imageSequenceThreadCount = 4;
    bool tempDirCreated = false;   // preparation created tempDirPath; cleanup removes only that

    SharedValue<bool> audioPending = false;
    SharedValue<bool> videoPending = false;
    SharedValue<bool> failed = false;
    SharedValue<bool> cancelled = false;
    SharedValue<float> audioProgress = 0.0f;   // percent
    SharedValue<float> videoProgress = 0.0f;   // percent
    SharedValue<float> finalizeProgress = 0.0f; // percent

    // Neither failed nor cancelled: the next stage may run.
    bool Proceeding() const { return !failed && !cancelled; }
};

Q_DECLARE_METATYPE(ExportProperties)
Q_DECLARE_METATYPE(std::shared_ptr<ExportProperties>)
