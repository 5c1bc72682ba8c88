#pragma once

#include <QString>

#include <atomic>

// The project-wide values that live outside the project object: one set per application,
// written into and read from the project file. Main thread only, except the image-sequence
// frame rate, which the decode threads read.
class ProjectGlobals
{
public:
    // Back to a new, unsaved project's values, taken from the settings.
    static void ResetFromSettings();

    static QString ProjectPath() { return s_projectPath; }
    static void SetProjectPath(const QString& path) { s_projectPath = path; }

    static QString SourceRootDirPath() { return s_sourceRootDirPath; }
    static void SetSourceRootDirPath(const QString& path) { s_sourceRootDirPath = path; }

    // Frames per second of image-sequence sources, always within 1.0..120.0.
    static double ImageSequenceFrameRate() { return s_imageSequenceFrameRate; }
    static void SetImageSequenceFrameRate(double rate);

    // Added to frame numbers shown by the time controls; never negative.
    static int TimeControlFrameOffset() { return s_timeControlFrameOffset; }
    static void SetTimeControlFrameOffset(int offset) { s_timeControlFrameOffset = offset < 0 ? 0 : offset; }

    static int ViewerLayout() { return s_viewerLayout; }
    static void SetViewerLayout(int layout) { s_viewerLayout = layout; }

    // The folder relative source paths are made against: the source root when it names an
    // existing folder, else the project file's folder when the project was saved, else empty.
    static QString EffectiveSourceRootDirPath();

private:
    static inline QString s_projectPath;
    static inline QString s_sourceRootDirPath;
    static inline std::atomic<double> s_imageSequenceFrameRate = 24.0;
    static inline int s_timeControlFrameOffset = 1;
    static inline int s_viewerLayout = 0;
};
