#include "core/FileHelpers.h"

#include "core/Logger.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <map>
#include <utility>
#include <vector>

namespace {

bool HasSuffixIn(const QString& path, const QStringList& list)
{
    if (path.isEmpty())
        return false;
    return list.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

// Length of the run of ASCII digits at the end of `text`.
qsizetype TrailingDigitCount(const QString& text)
{
    qsizetype n = 0;
    while (n < text.size() && text.at(text.size() - 1 - n).isDigit() && text.at(text.size() - 1 - n) < QChar(128))
        ++n;
    return n;
}

bool AllAsciiDigits(QStringView text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// Converts a run of frame digits; false when it is not all digits or does not fit an int.
bool ToFrameNumber(QStringView digits, int& number)
{
    if (!AllAsciiDigits(digits))
        return false;
    bool ok = false;
    number = digits.toInt(&ok);
    return ok;
}

QString RunsText(const std::vector<int>& frames)
{
    QStringList runs;
    size_t i = 0;
    while (i < frames.size()) {
        size_t j = i;
        while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1)
            ++j;
        runs.append(frames[i] == frames[j] ? QString::number(frames[i])
                                           : QStringLiteral("%1-%2").arg(frames[i]).arg(frames[j]));
        i = j + 1;
    }
    return runs.size() > 1 ? QStringLiteral(" (%1)").arg(runs.join(QLatin1Char(' '))) : QString();
}

// Folder listings made by this file since the program started (FileHelpers::FolderListingCount).
std::atomic<quint64> g_folderListings{0};

// The pattern file name ("name.####.ext") of a numbered image, or empty when `info` is not an
// image file whose complete base name ends in digits that convert to a frame number.
QString PatternOf(const QFileInfo& info)
{
    if (!FileHelpers::IsImageFile(info.filePath()))
        return {};
    const QString base = info.completeBaseName();
    const qsizetype digits = TrailingDigitCount(base);
    int frame = 0;
    if (digits == 0 || !ToFrameNumber(QStringView(base).right(digits), frame))
        return {};
    return QStringLiteral("%1%2.%3").arg(base.left(base.size() - digits), QString(digits, QLatin1Char('#')), info.suffix());
}

// Finds the sequence of a pattern in a folder. Each folder is listed at most once in the
// finder's life and each pattern's sequence built once, so a batch of thousands of members of
// one sequence costs one listing. A finder lives for one call that groups paths: its listings
// are never older than that call. Not shared between threads.
class SequenceFinder
{
public:
    // The sequence path of `pattern` in the absolute folder `dirPath`, or empty when no file
    // there belongs to it.
    QString Find(const QString& dirPath, const QString& pattern)
    {
        const auto key = std::make_pair(dirPath, pattern);
        auto found = m_sequences.find(key);
        if (found == m_sequences.end())
            found = m_sequences.emplace(key, Build(dirPath, pattern)).first;
        return found->second;
    }

private:
    // A folder's files, by the length of their complete base name and their suffix: a member
    // of a pattern has exactly the pattern's base-name length and suffix.
    using Listing = std::map<std::pair<qsizetype, QString>, std::vector<QString>>;

    const Listing& ListingOf(const QString& dirPath)
    {
        auto listing = m_listings.find(dirPath);
        if (listing != m_listings.end())
            return listing->second;
        ++g_folderListings;
        Listing files;
        const QFileInfoList entries =
            QDir(dirPath).entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (!entry.isFile())
                continue;
            const QString base = entry.completeBaseName();
            files[{base.size(), entry.suffix()}].push_back(base);
        }
        return m_listings.emplace(dirPath, std::move(files)).first->second;
    }

    QString Build(const QString& dirPath, const QString& pattern)
    {
        const QFileInfo patternInfo(pattern);
        const QString patternBase = patternInfo.completeBaseName();
        // The frame digits are the run of '#' at the end; the name may hold others before it.
        qsizetype digits = 0;
        while (digits < patternBase.size() && patternBase.at(patternBase.size() - 1 - digits) == QLatin1Char('#'))
            ++digits;
        const QString prefix = patternBase.left(patternBase.size() - digits);

        const Listing& listing = ListingOf(dirPath);
        const auto candidates = listing.find({patternBase.size(), patternInfo.suffix()});
        if (candidates == listing.end())
            return {};
        std::vector<int> frames;
        for (const QString& base : candidates->second) {
            int frame = 0;
            if (base.startsWith(prefix) && ToFrameNumber(QStringView(base).right(digits), frame))
                frames.push_back(frame);
        }
        if (frames.empty())
            return {};
        std::sort(frames.begin(), frames.end());
        return QStringLiteral("%1/%2 %3-%4").arg(dirPath, pattern).arg(frames.front()).arg(frames.back())
               + RunsText(frames);
    }

    std::map<QString, Listing> m_listings;
    std::map<std::pair<QString, QString>, QString> m_sequences;
};

// ResolveSequencePath with the listings of `finder`.
QString ResolveWith(SequenceFinder& finder, const QString& path)
{
    QString resolved = path;
    const QFileInfo info(path);
    if (!info.exists() && path.endsWith(QStringLiteral("#.") + info.suffix())) {
        QString base = info.completeBaseName();
        while (base.endsWith(QLatin1Char('#')))
            base.chop(1);
        ++g_folderListings;
        const QFileInfoList entries = info.dir().entryInfoList({base + QLatin1Char('*')}, QDir::Files, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.suffix().endsWith(info.suffix())) {
                resolved = entry.absoluteFilePath();
                break;
            }
        }
    }
    const QFileInfo resolvedInfo(resolved);
    const QString pattern = PatternOf(resolvedInfo);
    if (pattern.isEmpty())
        return resolved.isEmpty() ? path : resolved;
    const QString sequence = finder.Find(resolvedInfo.absolutePath(), pattern);
    return sequence.isEmpty() ? path : sequence;
}

bool Fail(const QString& message, const QString& input)
{
    Logger::error(message.arg(input));
    return false;
}

} // namespace

const QStringList& FileHelpers::VideoExtensions()
{
    static const QStringList list = {"avi", "f4v", "flv", "m4v", "mkv", "mov", "mp4",
                                     "mpeg", "mpeg4", "mpg", "mts", "mxf", "webm", "wmv"};
    return list;
}

const QStringList& FileHelpers::ImageExtensions()
{
    static const QStringList list = {"dpx", "exr", "jpeg", "jpg", "png", "sgi", "tga", "tif", "tiff"};
    return list;
}

const QStringList& FileHelpers::AudioExtensions()
{
    static const QStringList list = {"aif", "aiff", "wav"};
    return list;
}

const QStringList& FileHelpers::LinearImageExtensions()
{
    static const QStringList list = {"exr"};
    return list;
}

const QStringList& FileHelpers::ProjectExtensions()
{
    static const QStringList list = {"plvx2", "plvx", "dorvy", "bmk"};
    return list;
}

QStringList FileHelpers::DetectImageSequences(const QStringList& paths)
{
    // Folders in order of first appearance, each with its single files and its patterns.
    struct Folder
    {
        QString dir;
        QStringList singles;
        QStringList patterns;
        QSet<QString> knownPatterns;
    };
    std::vector<Folder> folders;
    QHash<QString, size_t> folderIndex;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QString dir = info.absolutePath();
        auto index = folderIndex.constFind(dir);
        if (index == folderIndex.constEnd()) {
            index = folderIndex.insert(dir, folders.size());
            folders.push_back(Folder{dir, {}, {}, {}});
        }
        Folder& folder = folders[*index];
        const QString pattern = PatternOf(info);
        if (pattern.isEmpty())
            folder.singles.append(path);
        else if (!folder.knownPatterns.contains(pattern)) {
            folder.knownPatterns.insert(pattern);
            folder.patterns.append(pattern);
        }
    }

    SequenceFinder finder;
    QStringList output;
    QSet<QString> added;
    auto add = [&](const QString& entry) {
        if (!entry.isEmpty() && !added.contains(entry)) {
            added.insert(entry);
            output.append(entry);
        }
    };
    for (const Folder& folder : folders) {
        for (const QString& single : folder.singles)
            add(single);
        for (const QString& pattern : folder.patterns)
            add(finder.Find(folder.dir, pattern));
    }
    return output;
}

bool FileHelpers::ParseSourcePath(const QString& sequencePath, QStringList& paths)
{
    const QString s = sequencePath.trimmed();
    const QStringList dotParts = s.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (dotParts.size() <= 1)
        return Fail(QStringLiteral("Failed to parse source path. Invalid file naming: %1"), sequencePath);

    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    if (!dotParts.last().contains(whitespace)) {
        paths.append(s);
        return true;
    }

    const qsizetype lastDot = s.lastIndexOf(QLatin1Char('.'));
    if (lastDot < 2)
        return Fail(QStringLiteral("Failed to parse source path (1): %1"), sequencePath);
    qsizetype padding = 0;
    while (lastDot - padding - 1 >= 0 && s.at(lastDot - padding - 1) == QLatin1Char('#'))
        ++padding;
    const QString prefix = s.left(lastDot - padding);

    const QStringList tail = s.mid(lastDot).split(whitespace, Qt::SkipEmptyParts);
    if (tail.size() < 2)
        return Fail(QStringLiteral("Failed to parse source path (2): %1"), sequencePath);
    const QString extension = tail.first();

    // Inclusive frame ranges in the order written.
    std::vector<std::pair<qint64, qint64>> runs;
    qint64 total = 0;
    auto addRun = [&](qint64 first, qint64 last) {
        runs.emplace_back(first, last);
        total += std::max<qint64>(last - first + 1, 0);
        return total <= kMaxSequenceFrames;
    };
    auto toNumber = [](const QString& text, qint64& number) {
        int value = 0;
        if (!ToFrameNumber(text, value))
            return false;
        number = value;
        return true;
    };

    if (s.endsWith(QLatin1Char(')'))) {
        static const QRegularExpression parens(QStringLiteral("[()]"));
        const QStringList parts = s.split(parens, Qt::SkipEmptyParts);
        if (parts.size() != 2)
            return Fail(QStringLiteral("Failed to parse source path (3): %1"), sequencePath);
        for (const QString& token : parts.at(1).split(whitespace, Qt::SkipEmptyParts)) {
            const QStringList bounds = token.split(QLatin1Char('-'), Qt::SkipEmptyParts);
            if (bounds.size() != 1 && bounds.size() != 2)
                return Fail(QStringLiteral("Failed to parse source path (4): %1"), sequencePath);
            qint64 first = 0;
            qint64 last = 0;
            if (!toNumber(bounds.first(), first) || !toNumber(bounds.last(), last) || !addRun(first, last))
                return Fail(QStringLiteral("Failed to parse source path (5): %1"), sequencePath);
        }
    } else {
        const QStringList bounds = tail.at(1).split(QLatin1Char('-'), Qt::SkipEmptyParts);
        qint64 first = 0;
        qint64 last = 0;
        if (bounds.isEmpty() || !toNumber(bounds.first(), first) || !toNumber(bounds.last(), last)
            || !addRun(first, last))
            return Fail(QStringLiteral("Failed to parse source path (6): %1"), sequencePath);
    }

    QStringList files;
    files.reserve(total);
    for (const auto& [first, last] : runs)
        for (qint64 f = first; f <= last; ++f)
            files.append(prefix + QStringLiteral("%1").arg(f, static_cast<int>(padding), 10, QLatin1Char('0'))
                         + extension);
    paths.append(files);
    return true;
}

QString FileHelpers::ResolveSequencePath(const QString& path)
{
    SequenceFinder finder;
    return ResolveWith(finder, path);
}

QStringList FileHelpers::ResolveSequencePaths(const QStringList& paths)
{
    SequenceFinder finder;
    QStringList names;
    names.reserve(paths.size());
    for (const QString& path : paths)
        names.append(ResolveWith(finder, path));
    return names;
}

quint64 FileHelpers::FolderListingCount()
{
    return g_folderListings;
}

int FileHelpers::FrameNumberFromPath(const QString& path)
{
    if (!IsImageFile(path))
        return -1;
    const QString base = QFileInfo(path).completeBaseName();
    int frame = 0;
    if (!ToFrameNumber(QStringView(base).right(TrailingDigitCount(base)), frame))
        return 0;
    return frame;
}

bool FileHelpers::IsImageFile(const QString& path)
{
    return HasSuffixIn(path, ImageExtensions());
}

bool FileHelpers::IsLinearImageFile(const QString& path)
{
    return HasSuffixIn(path, LinearImageExtensions());
}

bool FileHelpers::IsVideoFile(const QString& path)
{
    return HasSuffixIn(path, VideoExtensions());
}

bool FileHelpers::IsAudioFile(const QString& path)
{
    return HasSuffixIn(path, AudioExtensions());
}

bool FileHelpers::IsMediaFile(const QString& path)
{
    return IsVideoFile(path) || IsImageFile(path) || IsAudioFile(path);
}

bool FileHelpers::IsProjectFile(const QString& path)
{
    return HasSuffixIn(path, ProjectExtensions());
}

namespace {

QString Patterns(const QStringList& extensions)
{
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns.append(QStringLiteral("*.%1").arg(extension));
    patterns.sort();
    return patterns.join(QLatin1Char(' '));
}

} // namespace

QString FileHelpers::MediaFileDialogFilter()
{
    return QStringLiteral("All Media (%1);;Video Files (%2);;Image Files (%3);;Audio Files (%4);;All Files (*.*)")
        .arg(Patterns(VideoExtensions() + ImageExtensions() + AudioExtensions()), Patterns(VideoExtensions()),
             Patterns(ImageExtensions()), Patterns(AudioExtensions()));
}

QString FileHelpers::ProjectOpenDialogFilter()
{
    return QStringLiteral("Project Files (%1);;All Files (*.*)").arg(Patterns(ProjectExtensions()));
}

QString FileHelpers::ProjectSaveDialogFilter()
{
    return QStringLiteral("Project Files (*.%1);;All Files (*.*)").arg(ProjectExtensions().first());
}

QString FileHelpers::LogFileDialogFilter()
{
    return QStringLiteral("Log Files (*.log);;All Files (*.*)");
}
