#pragma once

#include <QString>
#include <QStringList>

// Naming of sources and the media-type tests built on the program's extension lists.
//
// A source is named by its sequence path: the path of a single media file, or for a numbered
// image sequence "<absolute dir>/<name with one # per digit>.<suffix> <first>-<last>",
// followed by " (<runs>)" when frames are missing between first and last. All functions are
// stateless and may be called from any thread.
class FileHelpers
{
public:
    static const QStringList& VideoExtensions();
    static const QStringList& ImageExtensions();
    static const QStringList& AudioExtensions();
    static const QStringList& LinearImageExtensions();
    static const QStringList& ProjectExtensions(); // project and bookmark files

    // Groups numbered images into sequence paths by looking at their folders (each listed
    // once per call); other paths pass through. Per folder: single files in input order, then
    // one entry per pattern.
    static QStringList DetectImageSequences(const QStringList& paths);

    // Expands a sequence path into its file paths in frame order. On failure logs the
    // reason and returns false without touching `paths`.
    static bool ParseSourcePath(const QString& sequencePath, QStringList& paths);

    // The source name of one path: the sequence path of the sequence an existing numbered
    // image belongs to, else the path itself. Accepts a member path whose frame digits were
    // written as "#" characters.
    static QString ResolveSequencePath(const QString& path);

    // ResolveSequencePath of every path, in order, listing each folder once for the batch.
    static QStringList ResolveSequencePaths(const QStringList& paths);

    // Folder listings made by the detection functions since the program started; tests use
    // it to check that a batch lists each folder once. Safe from any thread.
    static quint64 FolderListingCount();

    // -1 when the suffix is not an image suffix; else the trailing number of the base name
    // (0 when there is none).
    static int FrameNumberFromPath(const QString& path);

    static bool IsImageFile(const QString& path);
    static bool IsLinearImageFile(const QString& path);
    static bool IsVideoFile(const QString& path);
    static bool IsAudioFile(const QString& path);
    static bool IsMediaFile(const QString& path);
    static bool IsProjectFile(const QString& path);

    static QString MediaFileDialogFilter();
    static QString ProjectOpenDialogFilter();
    static QString ProjectSaveDialogFilter();
    static QString LogFileDialogFilter();

    // Largest number of frames a sequence path may expand to; longer ranges are refused so
    // that a mistyped range cannot exhaust memory (about 11.5 hours at 24 fps). Fuzzing builds
    // lower it so that each execution stays cheap.
#ifdef PLOVEX_MAX_SEQUENCE_FRAMES
    static constexpr qint64 kMaxSequenceFrames = PLOVEX_MAX_SEQUENCE_FRAMES;
#else
    static constexpr qint64 kMaxSequenceFrames = 1'000'000;
#endif
};
