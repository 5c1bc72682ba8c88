#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

// User preferences and remembered interface state, one INI file per user.
//
// The values are plain process-wide data read directly by every subsystem through
// Settings::Get(). They are loaded once at start-up before the application object exists,
// changed and saved on the main thread only, and never locked. Member names are the keys of
// the settings file.
struct Settings
{
    static Settings& Get();
    // Puts every value back to its default (tests, and the start of Load).
    static void ResetToDefaults();

    // group "main"
    QByteArray windowGeometry;
    QByteArray windowState;
    QByteArray consoleWindowGeometry;
    int consoleShowOnType = -1;
    bool waitOnStart = false;
    QByteArray sideBarViewState;
    bool sideBarVisible = true;
    bool sideBarLeft = true;
    QStringList sideBarOrder;
    bool sideBarProjectExpanded = true;
    bool sideBarTimelineExpanded = true;

    // group "menu"
    QStringList recentFiles;
    QStringList recentProjects;
    QString lastImgCaptureDirPath;
    bool alwaysOnTopEnabled = false;
    int loopState = 1;
    bool loopOnStepScrub = true;
    bool loopStepScrubToRange = true;
    bool lockStepScrubToRange = true;
    bool autoPlayEnabled = false;
    bool audioScrubEnabled = true;
    int volume = 100;
    bool muted = false;
    bool globalTimeControlVisible = true;
    bool rangeTimeControlVisible = true;
    bool playbackControlsVisible = true;
    bool menuBarVisible = true;
    bool viewerControlsVisible = true;
    bool annotationToolsVisible = false;
    bool wipeSnapEnabled = true;
    bool wipeSnapGuidesEnabled = true;

    // group "preferences"
    QString tempDirPath;
    int cacheSize = 1024; // MB
    int numRecentFiles = 5;
    int numRecentProjects = 5;
    int confirmOnClose = 1;
    bool openMediaInNewPlayers = false;
    bool resizeToFit = false;
    bool pausePlaybackOnSeek = false;
    bool pausePlaybackOnScrub = false;
    bool endlessMouseScrub = true;
    bool panZoomMouseControls = true;
    bool playbackControlsSeekRangeStartEnd = true;
    bool displayFrameNumberInTitleBar = true;
    bool audioOnBackwardsPlayback = false;
    bool hideVolumeControl = false;
    int clientApiPort = 18186;
    bool clientApiPortEnabled = true;
    quint16 mayaCommandPort = 20240;
    int mayaSyncTimeout = 1000; // ms
    QByteArray mayaToolsGeometry;
    int mayaSyncOffset = 0;
    bool mayaSyncFromRangeStart = false;
    float mayaSyncMultiplier = 1.0f;
    bool hardwareRenderingEnabled = true;
    bool vSyncEnabled = true;
    bool useSurfaceDefaults = true;
    int surfaceBufferCountOverride = 2;
    bool viewerRefreshRateFpsOverride = false;
    bool ignoreScalingEnvVars = true;
    int scrubFrameInterval = 20;
    int scrubFrameIntervalShift = 50;
    int scrubFrameIntervalAlt = 5;
    int audioOnScrubType = 0;
    int audioOutputBufferSize = 10000;
    bool showMenuBarOnLaunch = true;
    bool highlightCurrentSourceInTimelinePanel = true;
    bool hideAnnotationToolbarOnLaunch = true;
    bool dupSrcPlaybackTime = true;
    bool dupSrcInOut = true;
    bool dupSrcFrameBookmarks = true;
    bool dupSrcRangeBookmarks = true;
    bool dupSrcAnnotations = true;
    bool dupSrcAudioDelay = true;
    QString defaultSourceRootDirPath;
    double defaultImageSequenceFrameRate = 24.0;
    int defaultTimeControlFrameOffset = 1;
    bool addDefaultTimeline = true;
    bool activateDefaultTimeline = true;
    bool restorePanZoomOnProjectLoad = true;
    bool restoreHoldAnnotationsOnProjectLoad = true;
    bool showAnnotationTextBox = false;
    float annotationTextBoxWidthScaler = 0.3f;
    float annotationTextBoxHeightScaler = 0.1f;
    bool annotationDrawArrowTipToBase = false;
    float annotationToolIncrementSize = 1.0f;
    QString ffmpegExePath;
    QString exportDirPath;
    QString exportFileFormat = QStringLiteral("mp4");
    bool exportForceOverwrite = false;
    int exportGlobalWidth = 960;
    int exportGlobalHeight = 540;
    bool exportAnnotations = false;
    bool exportViewer = false;
    bool exportIgnoreRange = false;
    bool exportExcludeAudio = false;
    bool exportUseFrameNumbering = false;
    int h264Quality = 1;
    int h264Preset = 3;
    int exportImagePadding = 4;
    int exportImageNumberingType = 0;
    bool projectUndoEnabled = true;

    // group "timeControl"
    int globalTimeControlDisplayFormat = 0;
    bool globalTimeControlPositionTop = false;
    bool globalTimeControlFrameBookmarksVisible = true;
    bool globalTimeControlRangeBookmarksVisible = true;
    bool globalTimeControlCacheVisible = false;
    int rangeTimeControlDisplayFormat = 0;
    bool rangeTimeControlPositionTop = true;
    bool rangeTimeControlFrameBookmarksVisible = true;
    bool rangeTimeControlCacheVisible = false;

    // group "overlay"
    int viewerOverlayGridRows = 3;
    int viewerOverlayGridColumns = 3;
    QColor viewerOverlayLineColor = QColor(255, 255, 255);

    // group "annotations"
    int annotationVisibility = 1;
    QColor annotationBackgroundColor = QColor(255, 255, 255);
    QColor annotationToolColor = QColor(255, 255, 255);
    QList<QColor> annotationColorPresets = DefaultColorPresets();
    int activeAnnotationTool = 0;
    float pencilSize = 2.0f;
    float laserPointerSize = 2.0f;
    float eraserSize = 2.0f;
    float textSize = 2.0f;
    float arrowSize = 2.0f;
    float ellipseSize = 2.0f;
    float rectangleSize = 2.0f;
    float pencilOpacity = 1.0f;
    float laserPointerOpacity = 1.0f;
    float eraserOpacity = 1.0f;
    float textOpacity = 1.0f;
    float arrowOpacity = 1.0f;
    float ellipseOpacity = 1.0f;
    float rectangleOpacity = 1.0f;
    bool byAnnotationGhosting = false;
    int numGhostedFramesPrev = 5;
    int numGhostedFramesNext = 5;
    QColor ghostedFramesPrevTintColor = QColor(255, 0, 0);
    QColor ghostedFramesNextTintColor = QColor(0, 255, 0);

    // Run-time values, never stored.
    int imageSequenceThreadCount = 4;    // lives as long as the process
    bool hideVolumeControlAtStart = false; // copy of hideVolumeControl taken at load
    bool ffmpegExePathOverridden = false;  // ffmpegExePath came from the environment

    static QList<QColor> DefaultColorPresets();

    bool operator==(const Settings&) const = default;

    // Loads the settings file, then applies the ffmpeg override and the "preferences" group
    // of the override file, then the range checks. A missing file leaves every default in
    // place and applies nothing else.
    void Load(const QString& settingsFilePath, const QString& configOverridePath,
              const QString& ffmpegOverridePath);
    // Writes every key; returns false when the file could not be written.
    bool Save(const QString& settingsFilePath) const;
    bool Save() const { return Save(SettingsFilePath()); }

    // Recent lists: the path made absolute goes to the front without duplicates, the list is
    // cut to its length and the settings are saved at once. Empty paths are ignored.
    void AddRecentFile(const QString& path);
    void AddRecentProject(const QString& path);
    void ClearRecentFiles();
    void ClearRecentProjects();
    // Cuts both recent lists to their lengths (each clamped to 0..10 first).
    void TrimRecentLists();

    // Folders. The base folder is the user's documents folder, else the home folder.
    static QString ApplicationDirPath();
    static QString SettingsDirPath();
    static QString SettingsFilePath();
    QString TempDirPath() const;
    QString DefaultExportDirPath() const;
    void SetTempDirPath(const QString& path);

    // Makes sure the settings folder exists and can be written; logs
    // "Failed to write to config directory: %1" when it cannot. Returns whether it is writable.
    static bool CheckConfigDir();

private:
    void ApplyRanges();
};
