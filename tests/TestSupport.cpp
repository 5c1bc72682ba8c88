#include "tests/TestSupport.h"

#include "core/Logger.h"
#include "media/AvParser.h"
#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <vector>
#include <cmath>

namespace TestSupport {

QString MediaPath(const QString& name)
{
    return QDir(QStringLiteral(PLOVEX_TEST_MEDIA_DIR)).filePath(name);
}

void Parse(Source* source)
{
    AvParser parser;
    source->ApplyParseResult(parser.Parse(source->ParserFileEntry(source->ProbeFileIndex())));
}

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}

std::unique_ptr<Source> ParsedSource(const QString& path)
{
    auto source = std::make_unique<Source>(path, QString(), QUuid());
    Parse(source.get());
    return source;
}

Timeline* ParsedTimeline(const QString& path, QObject* parent)
{
    auto* timeline = new Timeline(path, QString(), QUuid(), parent);
    Parse(timeline->GetSource());
    return timeline;
}

void FakeParsedVideo(Source& source, int frames, double rate)
{
    SourceFileEntry* entry = source.ParserFileEntry(0);
    VideoStreamInfo& video = entry->videoStreams.emplace_back();
    video.valid = true;
    video.frameRate = rate;
    video.frameDuration = 1e6 / rate;
    video.frameCount = frames;
    video.endTime = static_cast<int64_t>(frames * video.frameDuration) - 1;
    entry->parsed = true;
    source.ParserSetEndTimes(video.endTime);
    source.ParserFinished();
}

bool GlRequired()
{
    return qEnvironmentVariable("PLOVEX_GL_REQUIRED") == QLatin1String("1");
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

namespace {

template <typename Sample>
int ReadBits(int width, int height, Sample sample)
{
    int number = 0;
    const int y = height / 8;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = static_cast<int>((bit + 0.5) * width / 16.0);
        if (sample(x, y) > 128)
            number |= 1 << bit;
    }
    return number;
}

} // namespace

int FrameNumberFromLuma(const uint8_t* luma, int lineSize, int width, int height)
{
    return ReadBits(width, height, [&](int x, int y) { return luma[y * lineSize + x]; });
}

int FrameNumberFromImage(const QImage& image, int width, int height)
{
    return ReadBits(width, height, [&](int x, int y) { return qGray(image.pixel(x, y)); });
}

int PictureNumber(const VideoFrame& frame)
{
    const VideoStreamInfo* info = frame.streamInfo;
    if (frame.format == VideoFrameFormatYUV420P)
        return FrameNumberFromLuma(frame.planes[0].get(), frame.lineSizes[0], info->width, info->height);
    return FrameNumberFromImage(frame.planeImages[0], info->width, info->height);
}

double ZeroCrossingFrequency(const float* samples, size_t frames, int stride, int sampleRate)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = 1; i < frames; ++i) {
        const float a = samples[(i - 1) * static_cast<size_t>(stride)];
        const float b = samples[i * static_cast<size_t>(stride)];
        if (a < 0.0f && b >= 0.0f) {
            const double at = static_cast<double>(i - 1) + a / static_cast<double>(a - b); // interpolated
            if (first < 0.0)
                first = at;
            else
                ++crossings;
            last = at;
        }
    }
    return crossings > 0 ? crossings * sampleRate / (last - first) : 0.0;
}

std::vector<double> ZeroCrossingPeriods(const float* samples, size_t frames, int stride)
{
    std::vector<double> periods;
    double previous = -1.0;
    for (size_t i = 1; i < frames; ++i) {
        const float a = samples[(i - 1) * static_cast<size_t>(stride)];
        const float b = samples[i * static_cast<size_t>(stride)];
        if (a < 0.0f && b >= 0.0f) {
            const double at = static_cast<double>(i - 1) + a / static_cast<double>(a - b);
            if (previous >= 0.0)
                periods.push_back(at - previous);
            previous = at;
        }
    }
    return periods;
}

double MedianPeriodFrequency(const float* samples, size_t frames, int stride, int sampleRate)
{
    std::vector<double> periods = ZeroCrossingPeriods(samples, frames, stride);
    if (periods.empty())
        return 0.0;
    std::nth_element(periods.begin(), periods.begin() + static_cast<std::ptrdiff_t>(periods.size() / 2), periods.end());
    return sampleRate / periods[periods.size() / 2];
}

double RootMeanSquare(const float* samples, size_t frames, int stride)
{
    double sum = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double v = samples[i * static_cast<size_t>(stride)];
        sum += v * v;
    }
    return frames ? std::sqrt(sum / static_cast<double>(frames)) : 0.0;
}

LogCapture::LogCapture()
{
    Logger* logger = Logger::Instance();
    m_connections << QObject::connect(logger, &Logger::ErrorLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); errors << t; }, Qt::DirectConnection);
    m_connections << QObject::connect(logger, &Logger::WarningLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); warnings << t; }, Qt::DirectConnection);
    m_connections << QObject::connect(logger, &Logger::InfoLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); infos << t; }, Qt::DirectConnection);
}

LogCapture::~LogCapture()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
}

int LogCapture::CountErrorsStartingWith(const QString& prefix) const
{
    return static_cast<int>(std::count_if(errors.begin(), errors.end(), [&](const QString& e) { return e.startsWith(prefix); }));
}

int LogCapture::CountWarningsStartingWith(const QString& prefix) const
{
    return static_cast<int>(std::count_if(warnings.begin(), warnings.end(), [&](const QString& w) { return w.startsWith(prefix); }));
}

} // namespace TestSupport
