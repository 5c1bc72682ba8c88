#include "FileHelpers.h"

#include "Logger.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>
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

// The sequence path of one pattern ("name.####.ext") found in `dirPath`, or empty.
QString SequenceForPattern(const QString& dirPath, const QString& pattern)
{
    const QFileInfo patternInfo(pattern);
    const QString patternBase = patternInfo.completeBaseName();
    const QString suffix = patternInfo.suffix();
    // The frame digits are the run of '#' at the end; the name may hold others before it.
    qsizetype digits = 0;
    while (digits < patternBase.size() && patternBase.at(patternBase.size() - 1 - digits) == QLatin1Char('#'))
        ++digits;
    const QString prefix = patternBase.left(patternBase.size() - digits);

    std::vector<int> frames;
    const QDir dir(dirPath);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString base = entry.completeBaseName();
        int frame = 0;
        if (entry.isFile() && base.size() == patternBase.size() && base.startsWith(prefix)
            && entry.suffix() == suffix && ToFrameNumber(QStringView(base).right(digits), frame))
            frames.push_back(frame);
    }
    if (frames.empty())
        return {};
    std::sort(frames.begin(), frames.end());
    return QStringLiteral("%1/%2 %3-%4").arg(dirPath, pattern).arg(frames.front()).arg(frames.back())
           + RunsText(frames);
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
    };
    std::vector<Folder> folders;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QString dir = info.absolutePath();
        auto folder = std::find_if(folders.begin(), folders.end(), [&](const Folder& f) { return f.dir == dir; });
        if (folder == folders.end())
            folder = folders.insert(folders.end(), Folder{dir, {}, {}});

        const QString base = info.completeBaseName();
        const qsizetype digits = TrailingDigitCount(base);
        int frame = 0;
        if (!IsImageFile(path) || digits == 0 || !ToFrameNumber(QStringView(base).right(digits), frame)) {
            folder->singles.append(path);
            continue;
        }
        const QString pattern = QStringLiteral("%1%2.%3")
                                    .arg(base.left(base.size() - digits), QString(digits, QLatin1Char('#')),
                                         info.suffix());
        if (!folder->patterns.contains(pattern))
            folder->patterns.append(pattern);
    }

    QStringList output;
    auto add = [&output](const QString& entry) {
        if (!entry.isEmpty() && !output.contains(entry))
            output.append(entry);
    };
    for (const Folder& folder : folders) {
        for (const QString& single : folder.singles)
            add(single);
        for (const QString& pattern : folder.patterns)
            add(SequenceForPattern(folder.dir, pattern));
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
    QString resolved = path;
    const QFileInfo info(path);
    if (!info.exists() && path.endsWith(QStringLiteral("#.") + info.suffix())) {
        QString base = info.completeBaseName();
        while (base.endsWith(QLatin1Char('#')))
            base.chop(1);
        const QFileInfoList entries = info.dir().entryInfoList({base + QLatin1Char('*')}, QDir::Files, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.suffix().endsWith(info.suffix())) {
                resolved = entry.absoluteFilePath();
                break;
            }
        }
    }
    const QStringList detected = DetectImageSequences({resolved});
    return detected.isEmpty() ? path : detected.first();
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
