#include "project/Source.h"

#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "media/MediaTime.h"
#include "project/ProjectGlobals.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

Source::Source(const QString& path, const QString& relativePath, const QUuid& id, QObject* parent)
    : QObject(parent)
    , m_id(id.isNull() ? QUuid::createUuid() : id)
    , m_path(path)
    , m_relativePath(relativePath)
    , m_sequenceFrameRate(ProjectGlobals::ImageSequenceFrameRate())
{
    const QString resolved = ResolveRelative(m_relativePath);
    if (!resolved.isEmpty())
        m_path = resolved;
    else
        m_relativePath = MakeRelative(m_path);

    QStringList files;
    if (!FileHelpers::ParseSourcePath(m_path, files) || files.isEmpty()) {
        m_status = SourceStatus::FileNotFound;
        Logger::error(QStringLiteral("Failed to create source: Invalid file path"));
        return;
    }

    m_isImageSequence = FileHelpers::IsImageFile(files.first());
    if (m_isImageSequence)
        m_isExr = QFileInfo(files.first()).suffix().compare(QLatin1String("exr"), Qt::CaseInsensitive) == 0;

    m_files.reserve(static_cast<size_t>(files.size()));
    for (const QString& file : files) {
        SourceFileEntry& entry = m_files.emplace_back();
        entry.filePath = file;
        entry.imageSequence = m_isImageSequence;
        entry.exr = m_isExr;
        if (m_isImageSequence)
            entry.frameNumber = FileHelpers::FrameNumberFromPath(file);
        if (!QFileInfo::exists(file)) {
            entry.status = SourceStatus::FileNotFound;
            ++m_missingCount;
        }
    }
    if (m_missingCount == FileCount())
        m_status = SourceStatus::FileNotFound;
}

Source::~Source()
{
    emit AboutToBeDestroyed(this);
}

QString Source::Name() const
{
    return QFileInfo(m_path).fileName();
}

QString Source::AbsolutePath() const
{
    return QFileInfo(m_path).absoluteFilePath();
}

const SourceFileEntry* Source::PrimaryFileEntry() const
{
    for (const SourceFileEntry& entry : m_files)
        if (entry.parsed)
            return &entry;
    return m_files.empty() ? nullptr : &m_files.front();
}

const VideoStreamInfo* Source::FirstVideoStream() const
{
    const SourceFileEntry* entry = PrimaryFileEntry();
    return entry && !entry->videoStreams.empty() ? &entry->videoStreams.front() : nullptr;
}

int32_t Source::FrameCount() const
{
    if (const VideoStreamInfo* video = FirstVideoStream())
        return m_isImageSequence ? FileCount() : video->frameCount;
    const SourceFileEntry* entry = PrimaryFileEntry();
    if (m_isImageSequence || !entry || entry->audioStreams.empty())
        return 0;
    // Whole frames within the sound: frame n - 1 ends by the end time (inclusive), that is
    // frame n starts at most one microsecond after it. Counted on the frames' own rounded
    // times, so a 10 s file at 24 fps has all 240 of them.
    if (m_endTime < 0)
        return 0;
    const double fd = MediaTime::FrameDuration(ProjectGlobals::ImageSequenceFrameRate());
    const int64_t duration = m_endTime + 1;
    int32_t n = MediaTime::SaturateFrame(std::trunc(static_cast<double>(duration) / fd));
    while (n > 0 && MediaTime::FrameStartTime(n, fd) > duration)
        --n;
    while (n < INT32_MAX && MediaTime::FrameStartTime(n + 1, fd) <= duration)
        ++n;
    return n;
}

double Source::FrameRate() const
{
    if (const VideoStreamInfo* video = FirstVideoStream(); video && !m_isImageSequence)
        return video->frameRate;
    return ProjectGlobals::ImageSequenceFrameRate();
}

double Source::FrameDuration() const
{
    if (const VideoStreamInfo* video = FirstVideoStream(); video && !m_isImageSequence)
        return video->frameDuration;
    return MediaTime::FrameDuration(ProjectGlobals::ImageSequenceFrameRate());
}

int64_t Source::Duration() const
{
    if (m_isImageSequence)
        return static_cast<int64_t>(std::trunc(MediaTime::kMicroseconds / m_sequenceFrameRate)) * FileCount();
    return m_endTime;
}

QString Source::DurationText() const
{
    int64_t duration = Duration();
    if (duration <= std::numeric_limits<int64_t>::max() - 5000)
        duration += 5000; // round to the nearest hundredth
    duration = std::max<int64_t>(duration, 0);
    const int64_t hundredths = duration / 10000;
    const int64_t seconds = hundredths / 100;
    auto two = [](int64_t value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1:%2:%3.%4")
        .arg(two(seconds / 3600), two(seconds / 60 % 60), two(seconds % 60), two(hundredths % 100));
}

int32_t Source::EffectiveCutOutFrame() const
{
    return m_cutOutFrame >= 0 ? m_cutOutFrame : FrameCount() - 1;
}

int64_t Source::CutOutTime() const
{
    if (m_cutOutFrame >= 0)
        return m_cutOutTime;
    return MediaTime::FrameEndTime(FrameCount() - 1, FrameDuration());
}

bool Source::IsUncut() const
{
    return m_cutInFrame == 0 && EffectiveCutOutFrame() == FrameCount() - 1;
}

void Source::SetCutInFrame(int32_t frame)
{
    frame = std::max(frame, 0);
    if (m_cutOutFrame >= 0)
        frame = std::min(frame, m_cutOutFrame);
    if (frame == m_cutInFrame)
        return;
    m_cutInFrame = frame;
    m_cutInTime = MediaTime::FrameStartTime(frame, FrameDuration());
    emit CutInOutChanged();
}

void Source::SetCutInOutFrames(int32_t cutIn, int32_t cutOut)
{
    cutIn = std::max(cutIn, 0);
    if (cutOut < 0 || cutOut >= FrameCount() - 1)
        cutOut = -1;
    else
        cutOut = std::max(cutOut, cutIn);
    if (cutIn == m_cutInFrame && cutOut == m_cutOutFrame)
        return;
    m_cutInFrame = cutIn;
    m_cutInTime = MediaTime::FrameStartTime(cutIn, FrameDuration());
    m_cutOutFrame = cutOut;
    m_cutOutTime = cutOut >= 0 ? MediaTime::FrameEndTime(cutOut, FrameDuration()) : -1;
    emit CutInOutChanged();
}

void Source::SetCutOutFrame(int32_t frame)
{
    if (frame < 0 || frame >= FrameCount() - 1)
        frame = -1;
    else if (frame < m_cutInFrame)
        frame = m_cutInFrame;
    if (frame == m_cutOutFrame)
        return;
    m_cutOutFrame = frame;
    m_cutOutTime = frame >= 0 ? MediaTime::FrameEndTime(frame, FrameDuration()) : -1;
    emit CutInOutChanged();
}

int Source::VideoStreamCount() const
{
    const SourceFileEntry* entry = PrimaryFileEntry();
    return entry ? static_cast<int>(entry->videoStreams.size()) : 0;
}

int Source::FirstVideoStreamIndex() const
{
    return VideoStreamCount() > 0 ? 0 : -1;
}

int Source::AudioStreamCount() const
{
    const SourceFileEntry* entry = PrimaryFileEntry();
    return entry ? static_cast<int>(entry->audioStreams.size()) : 0;
}

bool Source::FileExists(int file) const
{
    return file >= 0 && file < FileCount() && QFileInfo::exists(m_files[static_cast<size_t>(file)].filePath);
}

int Source::ProbeFileIndex() const
{
    if (!m_isImageSequence)
        return 0;
    for (int file = 0; file < FileCount(); ++file)
        if (FileExists(file))
            return file;
    return 0;
}

bool Source::FileParsed(int file) const
{
    const SourceFileEntry* entry = KnownFileEntry(file);
    return entry && entry->parsed;
}

const SourceFileEntry* Source::ParsedFileEntry(int file) const
{
    if (file < 0 || file >= FileCount())
        return nullptr;
    const SourceFileEntry& entry = m_files[static_cast<size_t>(file)];
    return entry.parsed ? &entry : nullptr;
}

const SourceFileEntry* Source::KnownFileEntry(int file) const
{
    if (file < 0 || file >= FileCount())
        return nullptr;
    if (const SourceFileEntry* parsed = ParsedFileEntry(file))
        return parsed;
    const auto report = m_fileReports.find(file);
    return report != m_fileReports.end() ? report->second.get() : &m_files[static_cast<size_t>(file)];
}

void Source::ApplyFileReport(int file, std::shared_ptr<const SourceFileEntry> entry)
{
    if (entry && file >= 0 && file < FileCount())
        m_fileReports[file] = std::move(entry);
}

void Source::ApplyFileStatus(int file, SourceStatus status)
{
    if (file >= 0 && file < FileCount())
        m_files[static_cast<size_t>(file)].status = status;
}

void Source::PostFileReport(int file, std::shared_ptr<const SourceFileEntry> entry)
{
    QMetaObject::invokeMethod(
        this, [this, file, entry = std::move(entry)]() mutable { ApplyFileReport(file, std::move(entry)); },
        Qt::QueuedConnection);
}

void Source::PostFileStatus(int file, SourceStatus status)
{
    QMetaObject::invokeMethod(this, [this, file, status] { ApplyFileStatus(file, status); }, Qt::QueuedConnection);
}

QString Source::FileName(int file) const
{
    if (file < 0 || file >= FileCount())
        return {};
    return QFileInfo(m_files[static_cast<size_t>(file)].filePath).fileName();
}

QString Source::FileAbsolutePath(int file) const
{
    if (file < 0 || file >= FileCount())
        return {};
    return QFileInfo(m_files[static_cast<size_t>(file)].filePath).absoluteFilePath();
}

int32_t Source::FileFrameNumber(int file) const
{
    if (file < 0 || file >= FileCount())
        return -1;
    return m_files[static_cast<size_t>(file)].frameNumber;
}

const AudioStreamInfo* Source::AudioStream(int file, int stream) const
{
    const SourceFileEntry* entry = KnownFileEntry(file);
    if (!entry)
        return nullptr;
    const auto& streams = entry->audioStreams;
    return stream >= 0 && stream < static_cast<int>(streams.size()) ? &streams[static_cast<size_t>(stream)] : nullptr;
}

const VideoStreamInfo* Source::VideoStream(int file, int stream) const
{
    const SourceFileEntry* entry = KnownFileEntry(file);
    if (!entry)
        return nullptr;
    const auto& streams = entry->videoStreams;
    return stream >= 0 && stream < static_cast<int>(streams.size()) ? &streams[static_cast<size_t>(stream)] : nullptr;
}

QStringList Source::FilePaths() const
{
    QStringList paths;
    paths.reserve(FileCount());
    for (const SourceFileEntry& entry : m_files)
        paths.append(QFileInfo(entry.filePath).absoluteFilePath());
    return paths;
}

bool Source::ContainsFile(const QString& path) const
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    return std::any_of(m_files.begin(), m_files.end(), [&](const SourceFileEntry& entry) {
        return QFileInfo(entry.filePath).absoluteFilePath() == absolute;
    });
}

bool Source::HasPath(const QString& path) const
{
    return QFileInfo(path).absoluteFilePath() == AbsolutePath();
}

void Source::RecomputeRelativePath()
{
    m_relativePath = MakeRelative(m_path);
}

void Source::ResetMediaInformation()
{
    m_files.clear();
    m_fileReports.clear();
    m_relativePath.clear();
    m_endTime = -1;
    m_secondEndTime = -1;
    m_isImageSequence = false;
    m_parsed = false;
    m_status = SourceStatus::Ok;
}

SourceFileEntry* Source::ParserFileEntry(int file)
{
    return file >= 0 && file < FileCount() ? &m_files[static_cast<size_t>(file)] : nullptr;
}

void Source::ParserSetEndTimes(int64_t endTime)
{
    m_endTime = endTime;
    m_secondEndTime = endTime;
}

void Source::ApplyParseResult(const ParseResult& result)
{
    if (result.status)
        m_status = *result.status;
    if (result.endTime) {
        m_endTime = *result.endTime;
        m_secondEndTime = result.containerEndTime;
    }
    ParserFinished();
}

void Source::ParserFinished()
{
    const bool first = !m_parsed;
    m_parsed = true;
    if (first)
        emit Parsed();
    else
        emit Updated();
}

QString Source::MakeRelative(const QString& path)
{
    const QString root = ProjectGlobals::EffectiveSourceRootDirPath();
    if (root.isEmpty() || !QFileInfo(root).isDir() || path.isEmpty())
        return {};
    const QString relative = QDir(root).relativeFilePath(path);
    return QDir::isRelativePath(relative) ? relative : QString();
}

QString Source::ResolveRelative(const QString& relativePath)
{
    const QString root = ProjectGlobals::EffectiveSourceRootDirPath();
    if (relativePath.isEmpty() || root.isEmpty() || !QDir::isRelativePath(relativePath))
        return {};
    return QDir::cleanPath(root + QLatin1Char('/') + relativePath);
}
