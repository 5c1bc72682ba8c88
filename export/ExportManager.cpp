#include "export/ExportManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/DecodeManager.h"
#include "export/ExportWorker.h"
#include "export/FfmpegProcess.h"
#include "media/AudioFrame.h"
#include "media/CacheManager.h"
#include "media/VideoStreamInfo.h"
#include "project/Timeline.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>

namespace {

constexpr int kDefaultProcessTimeoutMs = 30000; // start, each write, closing the input
// Joining, moving and merging copy streams; they are bounded too, generously.
constexpr int kStepTimeoutMs = 10 * 60 * 1000;
// How long a pass waits for the next decoded frame (or sound) before it gives up.
constexpr int kDefaultFrameTimeoutMs = 60000;
// The timeouts in force (ms): the defaults above unless a test shortened them. Read by the
// passes on engine threads, set from the main thread between exports.
std::atomic<int> g_processTimeoutMs{kDefaultProcessTimeoutMs};
std::atomic<int> g_frameTimeoutMs{kDefaultFrameTimeoutMs};
// The decode thread of the video pass ends between two decode steps. The pass waits for it
// however long it takes (it decodes into the pass's timeline copy, which the engine frees
// once the pass has returned), saying so in the log after this long.
constexpr int kWorkerShutdownWarnMs = 2000;
constexpr int64_t kAudioChunkDuration = 500000; // µs
// `ffmpeg -version` answers at once; a program that does not is given up on after this.
constexpr int kVersionTimeoutMs = 2000;
constexpr int kPollMs = 20; // how often a wait on the main thread lets events through

// libx264 with yuv420p needs even sizes: odd ones are rounded up (the padding fills the line).
int EvenSize(int size)
{
    return std::max(2, size + (size & 1));
}

bool IsMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The shortest text that reads back as the same float ("25", "23.976").
QString FloatText(float value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

// ffmpeg's image2 muxer expands "%" sequences in the whole pattern: a literal one is doubled.
QString EscapePercent(QString text)
{
    return text.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

int BytesPerPixel(int layout)
{
    return layout == VideoFrameFormatRGBA ? 4 : 3;
}

// The size of an export frame's packed buffer: its 4:2:0 chroma planes are (width / 2) x
// (height / 2), rounded down (see VideoFrame::Create).
int64_t PictureBytes(int layout, int width, int height)
{
    if (layout == VideoFrameFormatYUV420P)
        return static_cast<int64_t>(width) * height + 2 * static_cast<int64_t>(width / 2) * (height / 2);
    return static_cast<int64_t>(BytesPerPixel(layout)) * width * height;
}

// What ffmpeg's rawvideo input reads per picture of `-s width x height`: rows without padding,
// and 4:2:0 chroma planes of ((width + 1) / 2) x ((height + 1) / 2), rounded up.
int64_t RawPictureBytes(int layout, int width, int height)
{
    if (layout == VideoFrameFormatYUV420P)
        return static_cast<int64_t>(width) * height
               + 2 * static_cast<int64_t>((width + 1) / 2) * ((height + 1) / 2);
    return static_cast<int64_t>(BytesPerPixel(layout)) * width * height;
}

// Copies a packed 4:2:0 picture of `width` x `height` with rounded-down chroma planes (an
// export buffer) into `out` (RawPictureBytes long) with rounded-up ones: the missing last
// chroma column and row repeat their neighbours, and a plane with nothing to repeat (a width
// or height of 1) is neutral grey.
void ExpandChromaPlanes(const uint8_t* in, int width, int height, uint8_t* out)
{
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::memcpy(out, in, luma);
    const int inWidth = width / 2;
    const int inHeight = height / 2;
    const int outWidth = (width + 1) / 2;
    const int outHeight = (height + 1) / 2;
    const size_t inPlane = static_cast<size_t>(inWidth) * static_cast<size_t>(inHeight);
    const size_t outPlane = static_cast<size_t>(outWidth) * static_cast<size_t>(outHeight);
    for (size_t plane = 0; plane < 2; ++plane) {
        const uint8_t* source = in + luma + plane * inPlane;
        uint8_t* target = out + luma + plane * outPlane;
        if (inPlane == 0) {
            std::memset(target, 128, outPlane);
            continue;
        }
        for (int y = 0; y < outHeight; ++y) {
            const uint8_t* sourceRow = source + static_cast<size_t>(std::min(y, inHeight - 1)) * inWidth;
            uint8_t* targetRow = target + static_cast<size_t>(y) * outWidth;
            std::memcpy(targetRow, sourceRow, static_cast<size_t>(inWidth));
            if (outWidth > inWidth)
                targetRow[inWidth] = sourceRow[inWidth - 1];
        }
    }
}

QString PixelFormatName(int layout)
{
    switch (layout) {
    case VideoFrameFormatRGBA:
        return QStringLiteral("rgba");
    case VideoFrameFormatYUV420P:
        return QStringLiteral("yuv420p");
    default:
        return QStringLiteral("rgb24");
    }
}

} // namespace

ExportManager::ExportManager(int mode, std::shared_ptr<ExportProperties> request, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
    , m_request(std::move(request))
{
    if (m_mode == VideoMode && m_request)
        m_sizeText = QStringLiteral("%1:%2").arg(m_request->width).arg(m_request->height);
}

ExportManager::~ExportManager()
{
    delete m_process; // kills an ffmpeg still running
}

void ExportManager::SetTimeouts(int processTimeoutMs, int frameTimeoutMs)
{
    g_processTimeoutMs = processTimeoutMs > 0 ? processTimeoutMs : kDefaultProcessTimeoutMs;
    g_frameTimeoutMs = frameTimeoutMs > 0 ? frameTimeoutMs : kDefaultFrameTimeoutMs;
}

// ---------------------------------------------------------------------------------------------
// Preparation and cleanup (main thread)

QString ExportManager::Prepare(ExportProperties& request)
{
    Timeline* timeline = request.timeline;
    Track* track = timeline ? timeline->GetTrack() : nullptr;
    if (track && !request.outputPath.isEmpty() && track->HasSourceFile(request.outputPath))
        return QStringLiteral("Output file exists in the timeline being exported: %1").arg(request.outputPath);

    const QString type = request.imageSequence ? request.imageFormat : QFileInfo(request.outputPath).suffix();
    static const QStringList kTypes = {QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("png"),
                                       QStringLiteral("jpg"), QStringLiteral("wav")};
    if (!kTypes.contains(type))
        return QStringLiteral("Unsupported file type: %1").arg(type);

    const bool audioExists = track && track->HasAudio();
    const bool videoExists = track && track->HasVideo();
    bool audio = false;
    bool video = false;
    if (type == QLatin1String("wav")) {
        audio = audioExists;
    } else if (request.imageSequence) {
        video = videoExists;
    } else {
        audio = audioExists && !request.noAudio;
        video = videoExists && !request.noVideo;
    }
    if (!audio && !video)
        return QStringLiteral("No audio or video streams in final output");

    const Settings& settings = Settings::Get();
    request.ffmpegExePath = settings.ffmpegExePath;
    request.imageSequenceThreadCount = settings.imageSequenceThreadCount;
    request.exportName = QString::number(QDateTime::currentMSecsSinceEpoch());
    request.tempDirPath = QStringLiteral("%1/%2").arg(settings.TempDirPath(), request.exportName);
    request.frameRate = static_cast<float>(timeline ? timeline->FrameRateAt(0) : -1.0);
    request.finalAudioPath = audio ? QStringLiteral("%1/%2_final.m4a").arg(request.tempDirPath, request.exportName) : QString();
    request.finalVideoPath = video ? QStringLiteral("%1/%2_final.m4v").arg(request.tempDirPath, request.exportName) : QString();
    request.concatListPath = QStringLiteral("%1/%2.txt").arg(request.tempDirPath, request.exportName);
    request.intermediateFiles.clear();
    request.noAudio = !audio;
    request.noVideo = !video;

    request.tempDirCreated = false;
    if (QFileInfo::exists(request.tempDirPath))
        return QStringLiteral("Temporary export directory already exists: %1").arg(request.tempDirPath);
    // The parents may exist already; the folder itself must be made here and now (mkdir fails
    // for one that exists), or cleanup would remove a folder another export made meanwhile.
    if (!QDir().mkpath(QFileInfo(request.tempDirPath).absolutePath()) || !QDir().mkdir(request.tempDirPath)) {
        if (QFileInfo::exists(request.tempDirPath))
            return QStringLiteral("Temporary export directory already exists: %1").arg(request.tempDirPath);
        return QStringLiteral("Failed to create temporary directory: %1").arg(request.tempDirPath);
    }
    request.tempDirCreated = true;
    const QString outputDir = request.imageSequence ? QFileInfo(request.outputDirPath + QStringLiteral("/x")).absolutePath()
                                                    : QFileInfo(request.outputPath).absolutePath();
    if (!QFileInfo::exists(outputDir) && !QDir().mkpath(outputDir))
        return QStringLiteral("Failed to create output directory: %1").arg(outputDir);
    return {};
}

QString ExportManager::Cleanup(ExportProperties& request)
{
    // Only what this export made: its temporary folder is named after the export and was
    // created by its preparation. An empty or foreign path is never touched.
    if (!request.tempDirCreated || request.tempDirPath.isEmpty() || request.exportName.isEmpty()
        || QFileInfo(request.tempDirPath).fileName() != request.exportName)
        return {};
    QStringList files = request.intermediateFiles;
    files << request.finalAudioPath << request.finalVideoPath << request.concatListPath;
    for (const QString& file : std::as_const(files))
        if (!file.isEmpty() && QFileInfo(file).isFile())
            QFile::remove(file);
    QDir dir(request.tempDirPath);
    if (dir.exists() && !dir.removeRecursively())
        return QStringLiteral("Failed to remove temporary directory: %1").arg(request.tempDirPath);
    request.tempDirCreated = false;
    return {};
}

// ---------------------------------------------------------------------------------------------
// Arguments

QString ExportManager::CrfForQuality(int quality)
{
    switch (quality) {
    case 0:
        return QStringLiteral("18");
    case 1:
        return QStringLiteral("20");
    case 2:
        return QStringLiteral("23");
    case 3:
        return QStringLiteral("26");
    default:
        return QStringLiteral("20");
    }
}

QString ExportManager::PresetName(int preset)
{
    static const char* const kNames[] = {"veryslow", "slow", "medium", "fast", "veryfast", "ultrafast"};
    if (preset < 0 || preset > 5)
        return QStringLiteral("medium");
    return QString::fromLatin1(kNames[preset]);
}

QStringList ExportManager::AudioArguments(const ExportProperties& request)
{
    return {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-ar"),
            QStringLiteral("48000"), QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-channel_layout"),
            QStringLiteral("stereo"), QStringLiteral("-i"), QStringLiteral("-"), QStringLiteral("-c:a"),
            QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("192k"), request.finalAudioPath};
}

QStringList ExportManager::SegmentArguments(const ExportProperties& request, const QString& pixelFormat, int width,
                                            int height, bool linear, float pixelAspect, int firstImageNumber,
                                            const QString& segmentPath)
{
    const float frameRate = request.frameRate > 0.0f ? request.frameRate : 12.0f;
    QStringList args = {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                        QStringLiteral("-pix_fmt"), pixelFormat, QStringLiteral("-s"),
                        QStringLiteral("%1x%2").arg(width).arg(height), QStringLiteral("-framerate"),
                        FloatText(frameRate), QStringLiteral("-i"), QStringLiteral("-")};
    if (request.imageSequence) {
        args << QStringLiteral("-start_number") << QString::number(firstImageNumber);
        if (request.imageFormat == QLatin1String("jpg"))
            args << QStringLiteral("-qscale:v") << QStringLiteral("2");
        args << QStringLiteral("-vf") << QStringLiteral("scale=%1:%2").arg(request.width).arg(request.height);
        // "%1/%2.%3%4d.%5": folder, base name, "%", padding, format.
        args << EscapePercent(request.outputDirPath) + QLatin1Char('/') + EscapePercent(request.baseName)
                    + QStringLiteral(".%") + QString::number(request.padding) + QStringLiteral("d.")
                    + request.imageFormat;
        return args;
    }
    const int outWidth = EvenSize(request.width);
    const int outHeight = EvenSize(request.height);
    QString filter = QStringLiteral("scale=w=%1:h=%2:force_original_aspect_ratio=1,pad=%1:%2:(ow-iw)*0.5:(oh-ih)*0.5")
                         .arg(outWidth)
                         .arg(outHeight);
    filter += QStringLiteral(",setsar=%1").arg(QString::number(pixelAspect > 0.0f ? pixelAspect : 1.0f, 'g'));
    if (linear)
        filter += QStringLiteral(",lutrgb=r=gammaval(0.45454545):g=gammaval(0.45454545):b=gammaval(0.45454545)");
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
         << QStringLiteral("yuv420p") << QStringLiteral("-crf") << CrfForQuality(request.quality)
         << QStringLiteral("-preset:v") << PresetName(request.preset) << QStringLiteral("-profile:v")
         << QStringLiteral("high") << QStringLiteral("-vf") << filter << QStringLiteral("-an") << segmentPath;
    return args;
}

QByteArray ExportManager::ConcatList(const QStringList& segmentPaths)
{
    QByteArray list;
    for (const QString& path : segmentPaths) {
        if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
            return {};
        // Inside single quotes everything is literal; a quote closes the quoted part, is
        // escaped, and a new quoted part begins.
        QString quoted = path;
        quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        list += "file '" + quoted.toUtf8() + "'\n";
    }
    return list;
}

QString ExportManager::CommandLine(const QString& program, const QStringList& arguments)
{
    return program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
}

QString ExportManager::VersionLine(const QString& ffmpegExePath, const std::function<bool()>& stopRequested)
{
    QProcess process;
    process.start(ffmpegExePath, {QStringLiteral("-version")}, QIODevice::ReadOnly);
    // On the main thread the wait keeps the window alive (and lets a stop arrive).
    const bool pumpEvents = IsMainThread();
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(kPollMs)) {
        if (process.state() == QProcess::NotRunning)
            return {}; // did not start
        if (timer.elapsed() >= kVersionTimeoutMs || (stopRequested && stopRequested())) {
            process.kill();
            process.waitForFinished(1000);
            return {};
        }
        if (pumpEvents)
            QCoreApplication::processEvents();
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return output.section(QLatin1Char('\n'), 0, 0).trimmed();
}

// ---------------------------------------------------------------------------------------------
// Logging and processes

void ExportManager::LogGeneral(const QString& text, bool isError)
{
    emit ExportLogMsgReceived(text, ExportLogGeneral, isError);
}

void ExportManager::Fail(const QString& text)
{
    LogGeneral(text, true);
    m_request->failed = true;
}

void ExportManager::ProcessExportOutput(const QString& text)
{
    const QString line = text.trimmed();
    if (line.isEmpty())
        return;
    Logger::debugInfo(line);
    emit ExportLogMsgReceived(line, Channel(), false);
}

void ExportManager::ProcessExportError(const QString& text)
{
    ProcessExportOutput(text);
}

FfmpegProcess* ExportManager::NewProcess()
{
    const std::shared_ptr<ExportProperties> request = m_request;
    // On the main thread (a viewer capture) the waits keep the window alive.
    const bool pumpEvents = IsMainThread();
    auto* process = new FfmpegProcess(
        m_request->ffmpegExePath,
        [request, pumpEvents] {
            if (pumpEvents)
                QCoreApplication::processEvents();
            return bool(request->cancelled);
        },
        this);
    connect(process, &FfmpegProcess::OutputReceived, this, &ExportManager::ProcessExportOutput);
    connect(process, &FfmpegProcess::ErrorReceived, this, &ExportManager::ProcessExportError);
    return process;
}

bool ExportManager::RunStep(const QStringList& arguments, const QString& startFailureText, const QString& failureText)
{
    std::unique_ptr<FfmpegProcess> process(NewProcess());
    emit ExportLogMsgReceived(CommandLine(m_request->ffmpegExePath, arguments), Channel(), false);
    if (!process->Start(arguments, g_processTimeoutMs.load())) {
        if (m_request->cancelled)
            return false;
        LogGeneral(QStringLiteral("Timeout starting export process cmd"), true);
        m_request->failed = true;
        if (!startFailureText.isEmpty())
            Fail(startFailureText);
        if (!failureText.isEmpty() && failureText != startFailureText)
            Fail(failureText);
        return false;
    }
    process->WaitForEnd(kStepTimeoutMs);
    if (m_request->cancelled)
        return false;
    if (!process->Succeeded()) {
        Fail(process->FailureText()); // with the end of ffmpeg's standard error
        if (!failureText.isEmpty())
            Fail(failureText);
        return false;
    }
    return true;
}

bool ExportManager::WriteToProcess(const char* data, qint64 size, const QString& timeoutText)
{
    if (!m_process || !m_writeChannelOpen)
        return false;
    if (m_process->Write(data, size, g_processTimeoutMs.load())) {
        if (m_mode == VideoMode)
            ++m_segmentPictures; // a video write is one picture
        return true;
    }
    if (m_request->cancelled)
        return false;
    // The timeout text only for a real timeout: ffmpeg ending (or crashing) while it was
    // being fed says so itself, with what it wrote on its standard error.
    Fail(m_process->WriteTimedOut() ? timeoutText : m_process->FailureText());
    return false;
}

bool ExportManager::CheckOutputFile(const QString& path, const QString& text)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > 0)
        return true;
    Fail(text.arg(path));
    return false;
}

// ---------------------------------------------------------------------------------------------
// Passes

void ExportManager::SetUpPass(Timeline* timeline)
{
    m_timeline = timeline;
    // The range as the request wants it: the whole timeline when it ignores the range, and
    // for the audio of a viewer capture from its first captured frame. The engine applies
    // the same to its copy where it can; the copy's own range is only read here.
    m_rangeStartFrame = m_request->ignoreRange ? 0 : timeline->RangeStartFrame();
    m_rangeEndFrame = m_request->ignoreRange ? timeline->LastFrame() : timeline->RangeEndFrame();
    if (m_mode == AudioMode && m_request->audioStartFrame >= 0)
        m_rangeStartFrame = std::min(m_request->audioStartFrame, timeline->LastFrame());
    m_rangeEndFrame = std::max(m_rangeEndFrame, m_rangeStartFrame);
    const int64_t startTime = std::max<int64_t>(timeline->FrameStartTime(m_rangeStartFrame), 0);
    m_rangeDuration = timeline->FrameEndTime(m_rangeEndFrame) - startTime + 1;
    m_currentFrame = m_rangeStartFrame;
    timeline->SetPlaybackFrame(m_currentFrame);
    if (m_mode == VideoMode) {
        m_request->intermediateFiles.clear();
        m_sizeText = QStringLiteral("%1:%2").arg(m_request->width).arg(m_request->height);
    }
}

void ExportManager::Run(Timeline* timeline)
{
    if (!timeline || !m_request || !Proceeding())
        return;
    SetUpPass(timeline);
    if (m_mode == AudioMode)
        RunAudioPass();
    else
        RunVideoPass();
    m_timeline = nullptr;
}

void ExportManager::RunAudioPass()
{
    m_totalBytes = AudioFormat::BytesForDuration(m_rangeDuration);
    m_remainingBytes = m_totalBytes;
    m_chunkBytes = AudioFormat::BytesForDuration(kAudioChunkDuration);
    m_byteCounter = 0;
    m_audioStarted = false;
    m_sinceAudioWrite.start();
    if (m_totalBytes > 0) {
        DecodeManager decoder(m_request->imageSequenceThreadCount);
        m_audioDecoder = &decoder;
        connect(&decoder, &DecodeManager::ProcessAudioOutput, this, &ExportManager::WriteAudioData);
        decoder.StartDecoding(m_timeline, DecodeType::Audio, true);
        m_audioDecoder = nullptr;
    }
    if (m_process) {
        if (!m_process->CloseAndWait(g_processTimeoutMs.load()) && !m_request->cancelled)
            LogGeneral(QStringLiteral("Failed to close audio write channel"), true);
        m_writeChannelOpen = false;
        if (Proceeding() && !m_process->Succeeded())
            Fail(m_process->FailureText());
        delete m_process;
        m_process = nullptr;
    }
    if (!Proceeding())
        return;
    if (!CheckOutputFile(m_request->finalAudioPath, QStringLiteral("Audio file not created: %1")))
        return;
    if (m_request->mergeAfterAudio) {
        Merge();
    } else if (m_request->noVideo) {
        if (RunStep({QStringLiteral("-y"), QStringLiteral("-i"), m_request->finalAudioPath, m_request->outputPath},
                    QStringLiteral("Failed to create .wav file"), QStringLiteral("Failed to create .wav file")))
            CheckOutputFile(m_request->outputPath, QStringLiteral("Output file not created: %1"));
        if (Proceeding())
            m_request->finalizeProgress = 100.0f;
    }
}

void ExportManager::StartAudioProcess()
{
    const QStringList args = AudioArguments(*m_request);
    emit ExportLogMsgReceived(CommandLine(m_request->ffmpegExePath, args), ExportLogAudio, false);
    m_process = NewProcess();
    if (!m_process->Start(args, g_processTimeoutMs.load())) {
        if (!m_request->cancelled)
            Fail(QStringLiteral("Failed to open audio file for write"));
        delete m_process;
        m_process = nullptr;
        return;
    }
    m_writeChannelOpen = true;
}

void ExportManager::WriteAudioData()
{
    DecodeManager* decoder = m_audioDecoder;
    if (!decoder || !m_timeline)
        return;
    if (!Proceeding() || m_remainingBytes <= 0) {
        decoder->Stop();
        return;
    }
    const int64_t rangeStartTime = std::max<int64_t>(m_timeline->FrameStartTime(m_rangeStartFrame), 0);
    if (!m_audioStarted) {
        m_audioStarted = true;
        StartAudioProcess();
        if (!m_process) {
            decoder->Stop();
            return;
        }
    }
    const int64_t want = std::min(m_chunkBytes, m_remainingBytes);
    const int64_t readTime = rangeStartTime + AudioFormat::DurationOfBytes(m_totalBytes - m_remainingBytes);
    const int64_t wantEnd = readTime + AudioFormat::DurationOfBytes(want);
    CacheManager* cache = m_timeline->Cache();
    const int64_t cachedEnd = cache->AudioEndTime();
    // The decoder has produced the timeline's last sound: what is missing then is silence.
    const bool decodedToEnd = cachedEnd >= m_timeline->EndTime();
    const bool covered = cache->AudioStartTime() <= readTime && cachedEnd >= wantEnd;
    if (!covered && !decodedToEnd) {
        // Not decoded yet: the next call; unless the sound has stopped coming altogether.
        if (m_sinceAudioWrite.elapsed() > g_frameTimeoutMs.load()) {
            Fail(QStringLiteral("Timeout waiting for decoded audio at %1 s").arg(static_cast<double>(readTime) / 1e6, 0, 'f', 3));
            decoder->Stop();
        }
        return;
    }
    m_readBuffer.clear();
    if (cache->AudioStartTime() <= readTime && readTime <= cachedEnd) {
        if (!m_timeline->AudioPositionValid())
            m_timeline->SeekAudio(m_readBuffer, readTime);
        m_timeline->ReadAudio(m_readBuffer, want, true);
    }
    if (m_readBuffer.isEmpty()) {
        if (!decodedToEnd)
            return;
        m_readBuffer = QByteArray(static_cast<qsizetype>(want), '\0');
    }
    if (!WriteToProcess(m_readBuffer.constData(), m_readBuffer.size(), QStringLiteral("Timeout writing audio stream"))) {
        decoder->Stop();
        return;
    }
    m_sinceAudioWrite.restart();
    m_remainingBytes -= m_readBuffer.size();
    m_request->audioProgress =
        static_cast<float>(static_cast<double>(m_totalBytes - m_remainingBytes) / static_cast<double>(m_totalBytes) * 100.0);
    m_byteCounter += m_readBuffer.size();
    while (m_byteCounter >= 2 * m_chunkBytes) {
        // A second written: the playhead follows, so the cache lets go of what was read.
        m_byteCounter -= 2 * m_chunkBytes;
        m_timeline->SetPlaybackTime(m_timeline->PlaybackTime() + 1000000);
    }
    if (m_remainingBytes <= 0)
        decoder->Stop();
}

void ExportManager::RunVideoPass()
{
    m_worker = new ExportWorker(m_timeline, m_request->imageSequenceThreadCount);
    m_workerThread = new QThread;
    connect(this, &ExportManager::VideoDecodingReadyWait, m_worker, &ExportWorker::StartVideoDecoding, Qt::QueuedConnection);
    connect(this, &ExportManager::VideoExportEnded, m_worker, &ExportWorker::EndDecoding, Qt::QueuedConnection);
    connect(m_worker, &ExportWorker::VideoFrameDecoded, this, &ExportManager::WriteVideoFrame, Qt::QueuedConnection);
    m_worker->moveToThread(m_workerThread);
    m_workerThread->start(QThread::InheritPriority);
    m_running = true;
    emit VideoDecodingReadyWait();
    WaitForVideoLoop();

    // The decode thread ends before the pass goes on: it reads the timeline copy, which is
    // freed once the pass returns. It is told to stop both ways (the queued end request stops
    // its decoder between two steps, the flag ends its loop at the next check) and its event
    // loop to quit; then worker and thread go here, on this thread, once it has finished.
    QThread* thread = m_workerThread;
    ExportWorker* worker = m_worker;
    m_workerThread = nullptr;
    m_worker = nullptr;
    emit VideoExportEnded(); // also for a stop that ended the loop without a last frame
    worker->RequestStop();
    thread->quit();
    QElapsedTimer waited;
    waited.start();
    bool warned = false;
    while (!thread->wait(100)) {
        if (!warned && waited.elapsed() >= kWorkerShutdownWarnMs) {
            warned = true;
            Logger::warning(QStringLiteral("Export decoding has not ended yet: waiting for it"));
        }
    }
    delete worker;
    delete thread;
    FinishVideoLoop();
}

void ExportManager::WaitForVideoLoop()
{
    // Wakes the loop so that it sees a stop while no frame arrives.
    QTimer poll;
    poll.start(20);
    QElapsedTimer sinceFrame;
    sinceFrame.start();
    int32_t lastFrame = m_currentFrame;
    while (m_running) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!m_running)
            break;
        if (!Proceeding()) {
            m_running = false;
            break;
        }
        if (m_currentFrame != lastFrame) {
            lastFrame = m_currentFrame;
            sinceFrame.restart();
        } else if (sinceFrame.elapsed() > g_frameTimeoutMs.load()) {
            Fail(QStringLiteral("Timeout waiting for decoded video frame %1").arg(m_currentFrame));
            m_running = false;
        }
    }
}

void ExportManager::WriteVideoFrame(std::shared_ptr<VideoFrame> videoFrame)
{
    if (!m_running || !videoFrame || !m_timeline)
        return;
    // Only the picture of the frame being written: anything else is stale.
    if (videoFrame->firstTimelineFrame >= 0
        && (m_currentFrame < videoFrame->firstTimelineFrame || m_currentFrame > videoFrame->lastTimelineFrame))
        return;
    if (!Proceeding()) {
        m_running = false;
        return;
    }
    if (m_currentFrame < m_rangeEndFrame)
        m_timeline->SetPlaybackFrame(m_currentFrame + 1); // the decoder moves on meanwhile

    const VideoStreamInfo* info = videoFrame->streamInfo;
    const int layout = videoFrame->format;
    int width = info ? info->width : 0;
    int height = info ? info->height : 0;
    if (info && PictureBytes(layout, width, height) != videoFrame->exportBufferSize
        && PictureBytes(layout, height, width) == videoFrame->exportBufferSize)
        std::swap(width, height); // rotated by the decoder
    const bool hasPicture = !videoFrame->empty && videoFrame->exportBuffer && width > 0 && height > 0
                            && PictureBytes(layout, width, height) == videoFrame->exportBufferSize;
    bool written = false;
    if (hasPicture) {
        const bool linear = info->linear;
        const float aspect = info->pixelAspect > 0.0f ? info->pixelAspect : 1.0f;
        if (m_writeChannelOpen
            && (width != m_segmentWidth || height != m_segmentHeight || linear != m_linear || layout != m_pixelLayout))
            CloseSegment();
        if (!m_writeChannelOpen && Proceeding())
            OpenSegment(PixelFormatName(layout), BytesPerPixel(layout), layout, width, height, linear, aspect);
        const auto* picture = reinterpret_cast<const char*>(videoFrame->exportBuffer.get());
        const int64_t rawBytes = RawPictureBytes(layout, width, height);
        if (m_writeChannelOpen && rawBytes != videoFrame->exportBufferSize) {
            // Odd 4:2:0 sizes: ffmpeg reads larger chroma planes than the buffer holds.
            m_expandedPicture.resize(static_cast<qsizetype>(rawBytes));
            ExpandChromaPlanes(videoFrame->exportBuffer.get(), width, height,
                               reinterpret_cast<uint8_t*>(m_expandedPicture.data()));
            written = WriteToProcess(m_expandedPicture.constData(), m_expandedPicture.size(),
                                     QStringLiteral("Timeout writing video stream"));
        } else if (m_writeChannelOpen) {
            written = WriteToProcess(picture, videoFrame->exportBufferSize, QStringLiteral("Timeout writing video stream"));
        }
    } else {
        // No picture for this frame (an offline clip, a missing file): black of the open
        // segment's size, or of the export size.
        if (!m_writeChannelOpen && Proceeding())
            OpenSegment(QStringLiteral("rgb24"), 3, VideoFrameFormatRGB, EvenSize(m_request->width),
                        EvenSize(m_request->height), false, 1.0f);
        if (m_writeChannelOpen)
            written = WriteBlackFrame();
    }
    Q_UNUSED(written);
    const int32_t span = m_rangeEndFrame - m_rangeStartFrame;
    m_request->videoProgress =
        span > 0 ? static_cast<float>(static_cast<double>(m_currentFrame - m_rangeStartFrame) / span * 100.0) : 100.0f;
    if (m_currentFrame < m_rangeEndFrame && Proceeding()) {
        ++m_currentFrame;
        return;
    }
    if (m_currentFrame >= m_rangeEndFrame && Proceeding())
        m_request->videoProgress = 100.0f;
    emit VideoExportEnded();
    m_running = false;
}

bool ExportManager::WriteBlackFrame()
{
    const int64_t size = RawPictureBytes(m_pixelLayout, m_segmentWidth, m_segmentHeight);
    QByteArray black(static_cast<qsizetype>(size), '\0');
    if (m_pixelLayout == VideoFrameFormatYUV420P) {
        const int64_t luma = static_cast<int64_t>(m_segmentWidth) * m_segmentHeight;
        std::memset(black.data(), 16, static_cast<size_t>(luma));
        std::memset(black.data() + luma, 128, static_cast<size_t>(size - luma));
    }
    return WriteToProcess(black.constData(), black.size(), QStringLiteral("Timeout writing video stream"));
}

bool ExportManager::OpenSegment(const QString& pixelFormat, int bytesPerPixel, int layout, int width, int height,
                                bool linear, float pixelAspect)
{
    m_pixelFormat = pixelFormat;
    m_bytesPerPixel = bytesPerPixel;
    m_pixelLayout = layout;
    m_segmentWidth = width;
    m_segmentHeight = height;
    m_linear = linear;
    m_segmentPictures = 0;
    const bool matchFrame = m_request->numberingType == ExportNumberingMatchFrame;
    m_firstImageNumber = (matchFrame ? m_currentFrame : m_currentFrame - m_rangeStartFrame) + m_request->numberOffset;
    QString segmentPath;
    if (!m_request->imageSequence) {
        if (!m_sizeRoundingLogged && (m_request->width % 2 != 0 || m_request->height % 2 != 0)) {
            m_sizeRoundingLogged = true;
            LogGeneral(QStringLiteral("Export size %1x%2 rounded to %3x%4: the encoder needs even sizes")
                           .arg(m_request->width)
                           .arg(m_request->height)
                           .arg(EvenSize(m_request->width))
                           .arg(EvenSize(m_request->height)),
                       false);
        }
        ++m_segmentCounter;
        segmentPath = QStringLiteral("%1/%2_%3.m4v").arg(m_request->tempDirPath, m_request->exportName).arg(m_segmentCounter);
        m_request->intermediateFiles.append(segmentPath);
    }
    const QStringList args =
        SegmentArguments(*m_request, pixelFormat, width, height, linear, pixelAspect, m_firstImageNumber, segmentPath);
    emit ExportLogMsgReceived(CommandLine(m_request->ffmpegExePath, args), ExportLogVideo, false);
    m_process = NewProcess();
    if (!m_process->Start(args, g_processTimeoutMs.load())) {
        if (!m_request->cancelled)
            Fail(QStringLiteral("Failed to open video file for write"));
        delete m_process;
        m_process = nullptr;
        return false;
    }
    m_writeChannelOpen = true;
    return true;
}

void ExportManager::CloseSegment()
{
    if (!m_process)
        return;
    const bool ended = m_process->CloseAndWait(g_processTimeoutMs.load());
    m_writeChannelOpen = false;
    if (!ended && !m_request->cancelled) {
        emit ExportLogMsgReceived(QStringLiteral("Failed to close video write channel"), ExportLogVideo, true);
        m_request->failed = true;
    }
    else if (Proceeding() && !m_process->Succeeded())
        Fail(m_process->FailureText());
    else if (Proceeding() && m_request->imageSequence)
        CheckImageFiles();
    delete m_process;
    m_process = nullptr;
}

void ExportManager::CheckImageFiles()
{
    // The segment's pictures are numbered on from its first image number: its first and last
    // files must be there, not empty.
    if (m_segmentPictures <= 0)
        return;
    const int last = m_firstImageNumber + m_segmentPictures - 1;
    for (const int number : {m_firstImageNumber, last}) {
        const QString path = QStringLiteral("%1/%2.%3.%4")
                                 .arg(m_request->outputDirPath, m_request->baseName)
                                 .arg(number, m_request->padding, 10, QLatin1Char('0'))
                                 .arg(m_request->imageFormat);
        if (!CheckOutputFile(path, QStringLiteral("Image file not created: %1")))
            return;
    }
}

void ExportManager::FinishVideoLoop()
{
    CloseSegment();
    if (m_request->imageSequence || !Proceeding())
        return;
    FinalizeSegments();
    if (!Proceeding())
        return;
    if (m_request->noAudio)
        MoveVideoToOutput();
    else
        Merge();
}

void ExportManager::FinalizeSegments()
{
    if (!Proceeding())
        return;
    QStringList& files = m_request->intermediateFiles;
    QStringList missing; // in timeline order
    for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
        const QFileInfo info(files.at(i));
        if (!info.isFile() || info.size() == 0) {
            LogGeneral(QStringLiteral("[WARNING] Intermediate file not found... skipping"), false);
            missing.prepend(files.takeAt(i));
        }
    }
    if (files.isEmpty()) {
        Fail(QStringLiteral("No intermediate video files found"));
        Fail(QStringLiteral("Failed to create final video file"));
        return;
    }
    // Every segment holds frames of the range: joining the others would leave them out.
    if (!missing.isEmpty()) {
        for (const QString& file : std::as_const(missing))
            Fail(QStringLiteral("Intermediate video file not created: %1").arg(file));
        Fail(QStringLiteral("Failed to create final video file"));
        return;
    }
    if (files.size() == 1) {
        QFile::remove(m_request->finalVideoPath);
        if (!QFile::rename(files.first(), m_request->finalVideoPath)) {
            Fail(QStringLiteral("Failed to rename final video file"));
            Fail(QStringLiteral("Failed to create final video file"));
            return;
        }
        files.clear();
        m_request->finalizeProgress = 100.0f;
        return;
    }
    // Segment names relative to the list (it lies beside them): no folder name needs quoting.
    const QDir listDir = QFileInfo(m_request->concatListPath).absoluteDir();
    QStringList names;
    for (const QString& file : std::as_const(files)) {
        const QFileInfo info(file);
        names << (info.absoluteDir() == listDir ? info.fileName() : info.absoluteFilePath());
    }
    const QByteArray list = ConcatList(names);
    QFile listFile(m_request->concatListPath);
    if (list.isEmpty() || !listFile.open(QIODevice::WriteOnly | QIODevice::Truncate) || listFile.write(list) != list.size()) {
        Fail(QStringLiteral("Failed to concatenate intermediate video files"));
        return;
    }
    listFile.close();
    m_request->finalizeProgress = 20.0f;
    if (!QFileInfo::exists(m_request->concatListPath)) {
        Fail(QStringLiteral("Failed to concatenate intermediate video files"));
        return;
    }
    if (!RunStep({QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"),
                  QStringLiteral("0"), QStringLiteral("-i"), m_request->concatListPath, QStringLiteral("-c"),
                  QStringLiteral("copy"), m_request->finalVideoPath},
                 QStringLiteral("Failed to concatenate intermediate video files"),
                 QStringLiteral("Failed to concatenate intermediate video files")))
        return;
    if (CheckOutputFile(m_request->finalVideoPath, QStringLiteral("Final video file not created: %1")))
        m_request->finalizeProgress = 100.0f;
}

void ExportManager::MoveVideoToOutput()
{
    if (!Proceeding())
        return;
    if (QFileInfo::exists(m_request->outputPath))
        QFile::remove(m_request->outputPath);
    if (!QFile::rename(m_request->finalVideoPath, m_request->outputPath)) {
        // Another file system: copy, then drop the original.
        if (!QFile::copy(m_request->finalVideoPath, m_request->outputPath)) {
            Fail(QStringLiteral("Failed to move video file to final output"));
            return;
        }
        QFile::remove(m_request->finalVideoPath);
    }
    m_request->finalizeProgress = 100.0f;
}

void ExportManager::Merge()
{
    if (!Proceeding())
        return;
    if (!QFileInfo::exists(m_request->finalAudioPath)) {
        Fail(QStringLiteral("Audio file for merge not found"));
        Fail(QStringLiteral("Failed to merge audio and video streams"));
        return;
    }
    if (!QFileInfo::exists(m_request->finalVideoPath)) {
        Fail(QStringLiteral("Video file for merge not found"));
        Fail(QStringLiteral("Failed to merge audio and video streams"));
        return;
    }
    const QStringList args = {QStringLiteral("-y"), QStringLiteral("-i"), m_request->finalVideoPath,
                              QStringLiteral("-i"), m_request->finalAudioPath, QStringLiteral("-c"),
                              QStringLiteral("copy"), m_request->outputPath};
    if (!RunStep(args, QStringLiteral("Failed to start merge audio/video process"),
                 QStringLiteral("Failed to merge audio and video streams")))
        return;
    m_request->finalizeProgress = 100.0f;
    const QFileInfo output(m_request->outputPath);
    if (!output.isFile() || output.size() == 0)
        Fail(QStringLiteral("Failed to create final output (audio/video merge)"));
}

// ---------------------------------------------------------------------------------------------
// Viewer capture (main thread)

void ExportManager::WriteSnapshotFrame(const QImage& image, int frameNumber)
{
    m_pendingSnapshots.append({image, frameNumber});
    if (m_writingSnapshot)
        return;
    m_writingSnapshot = true;
    while (!m_pendingSnapshots.isEmpty()) {
        const QPair<QImage, int> next = m_pendingSnapshots.takeFirst();
        WriteOneSnapshot(next.first, next.second);
    }
    m_writingSnapshot = false;
}

void ExportManager::WriteOneSnapshot(const QImage& image, int frameNumber)
{
    if (image.isNull() || !Proceeding())
        return;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (m_firstCapturedFrame < 0) {
        m_firstCapturedFrame = frameNumber;
        m_rangeStartFrame = frameNumber;
        m_request->intermediateFiles.clear();
    }
    m_currentFrame = frameNumber;
    if (m_writeChannelOpen && (rgb.width() != m_segmentWidth || rgb.height() != m_segmentHeight))
        CloseSegment();
    if (!m_writeChannelOpen && Proceeding()
        && !OpenSegment(QStringLiteral("rgb24"), 3, VideoFrameFormatRGB, rgb.width(), rgb.height(), false, 1.0f))
        return;
    if (!m_writeChannelOpen)
        return;
    const qsizetype rowBytes = static_cast<qsizetype>(rgb.width()) * 3;
    QByteArray packed(rowBytes * rgb.height(), Qt::Uninitialized);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(packed.data() + rowBytes * y, rgb.constScanLine(y), static_cast<size_t>(rowBytes));
    if (!WriteToProcess(packed.constData(), packed.size(), QStringLiteral("Timeout writing video stream")))
        return;
    ++m_capturedFrames;
    if (m_captureFrameCount > 0)
        m_request->videoProgress =
            std::min(100.0f, static_cast<float>(m_capturedFrames) * 100.0f / static_cast<float>(m_captureFrameCount));
}

int ExportManager::FinishViewerCapture()
{
    CloseSegment();
    if (!m_request->imageSequence && Proceeding() && m_firstCapturedFrame >= 0) {
        FinalizeSegments();
        if (Proceeding() && m_request->noAudio)
            MoveVideoToOutput();
    }
    return m_firstCapturedFrame;
}
