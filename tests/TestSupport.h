#pragma once

#include <QImage>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class Source;
class Timeline;
struct VideoFrame;

// Helpers shared by the tests: where the generated media lives, sources probed or made to
// look probed, reading the frame number that the generated pictures carry, sound analysis,
// and catching log messages.
namespace TestSupport {

QString MediaPath(const QString& name);
// Creates the file at `path`, and its folders, holding one byte.
void Touch(const QString& path);

// Probes `source` as the engine does: a sequence through its first file that exists, any
// other source through its file.
void Parse(Source* source);
// A source of the file (or sequence) at `path`, probed as the engine probes it.
std::unique_ptr<Source> ParsedSource(const QString& path);
// A source timeline of the file (or sequence) at `path`, its source probed.
Timeline* ParsedTimeline(const QString& path, QObject* parent);
// Makes `source` look probed without reading any file: one valid video stream of `frames`
// frames at `rate` fps, the source ending with its last frame.
void FakeParsedVideo(Source& source, int frames, double rate);

// Whether this run promised an OpenGL 3.3 context (PLOVEX_GL_REQUIRED=1, which
// scripts/test.sh sets): then a display without one fails the OpenGL tests.
bool GlRequired();

// Runs the event loop until `condition` holds; false when `timeoutMs` passed first.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000);

// The generated pictures carry their frame number in the top quarter: 16 columns, column k
// white when bit k is set. These read it back from a luma plane or an RGB(A) image.
int FrameNumberFromLuma(const uint8_t* luma, int lineSize, int width, int height);
int FrameNumberFromImage(const QImage& image, int width, int height);
// The frame number a decoded display frame (planar YUV or packed RGB(A)) shows.
int PictureNumber(const VideoFrame& frame);

// Sound analysis of interleaved float samples (`stride` floats per frame, reading the first
// channel): frequency from the rising zero crossings, and the root mean square level.
double ZeroCrossingFrequency(const float* samples, size_t frames, int stride, int sampleRate);
// The single periods (in samples) between rising zero crossings, and the frequency of their
// median: a jump or gap in the sound spoils a period or two, not the estimate.
std::vector<double> ZeroCrossingPeriods(const float* samples, size_t frames, int stride);
double MedianPeriodFrequency(const float* samples, size_t frames, int stride, int sampleRate);
double RootMeanSquare(const float* samples, size_t frames, int stride);

// Records every message logged while it exists.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList errors;
    QStringList warnings;
    QStringList infos;

    bool HasError(const QString& text) const { return errors.contains(text); }
    bool HasWarning(const QString& text) const { return warnings.contains(text); }
    int CountErrorsStartingWith(const QString& prefix) const;
    int CountWarningsStartingWith(const QString& prefix) const;

private:
    QList<QMetaObject::Connection> m_connections;
    QMutex m_mutex; // messages may arrive from engine threads
};

} // namespace TestSupport

// Skips the running test for want of OpenGL, or fails it where OpenGL was promised.
#define PLOVEX_SKIP_WITHOUT_GL(reason)        \
    do {                                       \
        if (TestSupport::GlRequired())         \
            QFAIL(reason ", although required"); \
        QSKIP(reason);                         \
    } while (false)
