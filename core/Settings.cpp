#include "core/Settings.h"

#include "core/Logger.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

namespace {

using Member = std::variant<bool Settings::*, int Settings::*, quint16 Settings::*, float Settings::*,
                            double Settings::*, QString Settings::*, QStringList Settings::*,
                            QByteArray Settings::*, QColor Settings::*>;

struct Key
{
    const char* group;
    const char* name;
    Member member;
};

// Every stored key, in the order the file is written.
const Key kKeys[] = {
    {"main", "windowGeometry", &Settings::windowGeometry},
    {"main", "consoleWindowGeometry", &Settings::consoleWindowGeometry},
    {"main", "consoleShowOnType", &Settings::consoleShowOnType},
    {"main", "waitOnStart", &Settings::waitOnStart},

    {"menu", "recentFiles", &Settings::recentFiles},
    {"menu", "recentProjects", &Settings::recentProjects},
    {"menu", "lastImgCaptureDirPath", &Settings::lastImgCaptureDirPath},
    {"menu", "alwaysOnTopEnabled", &Settings::alwaysOnTopEnabled},
    {"menu", "loopState", &Settings::loopState},
    {"menu", "loopOnStepScrub", &Settings::loopOnStepScrub},
    {"menu", "loopStepScrubToRange", &Settings::loopStepScrubToRange},
    {"menu", "lockStepScrubToRange", &Settings::lockStepScrubToRange},
    {"menu", "autoPlayEnabled", &Settings::autoPlayEnabled},
    {"menu", "audioScrubEnabled", &Settings::audioScrubEnabled},
    {"menu", "volume", &Settings::volume},
    {"menu", "muted", &Settings::muted},
    {"menu", "globalTimeControlVisible", &Settings::globalTimeControlVisible},
    {"menu", "rangeTimeControlVisible", &Settings::rangeTimeControlVisible},
    {"menu", "playbackControlsVisible", &Settings::playbackControlsVisible},
    {"menu", "menuBarVisible", &Settings::menuBarVisible},

    {"preferences", "tempDirPath", &Settings::tempDirPath},
    {"preferences", "cacheSize", &Settings::cacheSize},
    {"preferences", "numRecentFiles", &Settings::numRecentFiles},
    {"preferences", "numRecentProjects", &Settings::numRecentProjects},
    {"preferences", "confirmOnClose", &Settings::confirmOnClose},
    {"preferences", "openMediaInNewPlayers", &Settings::openMediaInNewPlayers},
    {"preferences", "resizeToFit", &Settings::resizeToFit},
    {"preferences", "pausePlaybackOnSeek", &Settings::pausePlaybackOnSeek},
    {"preferences", "pausePlaybackOnScrub", &Settings::pausePlaybackOnScrub},
    {"preferences", "endlessMouseScrub", &Settings::endlessMouseScrub},
    {"preferences", "panZoomMouseControls", &Settings::panZoomMouseControls},
    {"preferences", "playbackControlsSeekRangeStartEnd", &Settings::playbackControlsSeekRangeStartEnd},
    {"preferences", "displayFrameNumberInTitleBar", &Settings::displayFrameNumberInTitleBar},
    {"preferences", "audioOnBackwardsPlayback", &Settings::audioOnBackwardsPlayback},
    {"preferences", "hideVolumeControl", &Settings::hideVolumeControl},
    {"preferences", "clientApiPort", &Settings::clientApiPort},
    {"preferences", "clientApiPortEnabled", &Settings::clientApiPortEnabled},
    {"preferences", "mayaCommandPort", &Settings::mayaCommandPort},
    {"preferences", "mayaSyncTimeout", &Settings::mayaSyncTimeout},
    {"preferences", "mayaToolsGeometry", &Settings::mayaToolsGeometry},
    {"preferences", "mayaSyncOffset", &Settings::mayaSyncOffset},
    {"preferences", "mayaSyncFromRangeStart", &Settings::mayaSyncFromRangeStart},
    {"preferences", "mayaSyncMultiplier", &Settings::mayaSyncMultiplier},
    {"preferences", "hardwareRenderingEnabled", &Settings::hardwareRenderingEnabled},
    {"preferences", "vSyncEnabled", &Settings::vSyncEnabled},
    {"preferences", "useSurfaceDefaults", &Settings::useSurfaceDefaults},
    {"preferences", "surfaceBufferCountOverride", &Settings::surfaceBufferCountOverride},
    {"preferences", "viewerRefreshRateFpsOverride", &Settings::viewerRefreshRateFpsOverride},
    {"preferences", "ignoreScalingEnvVars", &Settings::ignoreScalingEnvVars},
    {"preferences", "scrubFrameInterval", &Settings::scrubFrameInterval},
    {"preferences", "scrubFrameIntervalShift", &Settings::scrubFrameIntervalShift},
    {"preferences", "scrubFrameIntervalAlt", &Settings::scrubFrameIntervalAlt},
    {"preferences", "audioOnScrubType", &Settings::audioOnScrubType},
    {"preferences", "audioOutputBufferSize", &Settings::audioOutputBufferSize},
    {"preferences", "showMenuBarOnLaunch", &Settings::showMenuBarOnLaunch},
    {"preferences", "highlightCurrentSourceInTimelinePanel", &Settings::highlightCurrentSourceInTimelinePanel},
    {"preferences", "hideAnnotationToolbarOnLaunch", &Settings::hideAnnotationToolbarOnLaunch},
    {"preferences", "dupSrcPlaybackTime", &Settings::dupSrcPlaybackTime},
    {"preferences", "dupSrcInOut", &Settings::dupSrcInOut},
    {"preferences", "dupSrcFrameBookmarks", &Settings::dupSrcFrameBookmarks},
    {"preferences", "dupSrcRangeBookmarks", &Settings::dupSrcRangeBookmarks},
    {"preferences", "dupSrcAnnotations", &Settings::dupSrcAnnotations},
    {"preferences", "dupSrcAudioDelay", &Settings::dupSrcAudioDelay},
    {"preferences", "defaultSourceRootDirPath", &Settings::defaultSourceRootDirPath},
    {"preferences", "defaultImageSequenceFrameRate", &Settings::defaultImageSequenceFrameRate},
    {"preferences", "defaultTimeControlFrameOffset", &Settings::defaultTimeControlFrameOffset},
    {"preferences", "addDefaultTimeline", &Settings::addDefaultTimeline},
    {"preferences", "activateDefaultTimeline", &Settings::activateDefaultTimeline},
    {"preferences", "restorePanZoomOnProjectLoad", &Settings::restorePanZoomOnProjectLoad},
    {"preferences", "restoreHoldAnnotationsOnProjectLoad", &Settings::restoreHoldAnnotationsOnProjectLoad},
    {"preferences", "showAnnotationTextBox", &Settings::showAnnotationTextBox},
    {"preferences", "annotationTextBoxWidthScaler", &Settings::annotationTextBoxWidthScaler},
    {"preferences", "annotationTextBoxHeightScaler", &Settings::annotationTextBoxHeightScaler},
    {"preferences", "annotationDrawArrowTipToBase", &Settings::annotationDrawArrowTipToBase},
    {"preferences", "annotationToolIncrementSize", &Settings::annotationToolIncrementSize},
    {"preferences", "ffmpegExePath", &Settings::ffmpegExePath},
    {"preferences", "exportDirPath", &Settings::exportDirPath},
    {"preferences", "exportFileFormat", &Settings::exportFileFormat},
    {"preferences", "exportForceOverwrite", &Settings::exportForceOverwrite},
    {"preferences", "exportGlobalWidth", &Settings::exportGlobalWidth},
    {"preferences", "exportGlobalHeight", &Settings::exportGlobalHeight},
    {"preferences", "exportAnnotations", &Settings::exportAnnotations},
    {"preferences", "exportViewer", &Settings::exportViewer},
    {"preferences", "exportIgnoreRange", &Settings::exportIgnoreRange},
    {"preferences", "exportExcludeAudio", &Settings::exportExcludeAudio},
    {"preferences", "exportUseFrameNumbering", &Settings::exportUseFrameNumbering},
    {"preferences", "h264Quality", &Settings::h264Quality},
    {"preferences", "h264Preset", &Settings::h264Preset},
    {"preferences", "exportImagePadding", &Settings::exportImagePadding},
    {"preferences", "exportImageNumberingType", &Settings::exportImageNumberingType},
    {"preferences", "projectUndoEnabled", &Settings::projectUndoEnabled},

    {"timeControl", "globalTimeControlDisplayFormat", &Settings::globalTimeControlDisplayFormat},
    {"timeControl", "globalTimeControlPositionTop", &Settings::globalTimeControlPositionTop},
    {"timeControl", "globalTimeControlFrameBookmarksVisible", &Settings::globalTimeControlFrameBookmarksVisible},
    {"timeControl", "globalTimeControlRangeBookmarksVisible", &Settings::globalTimeControlRangeBookmarksVisible},
    {"timeControl", "globalTimeControlCacheVisible", &Settings::globalTimeControlCacheVisible},
    {"timeControl", "rangeTimeControlDisplayFormat", &Settings::rangeTimeControlDisplayFormat},
    {"timeControl", "rangeTimeControlPositionTop", &Settings::rangeTimeControlPositionTop},
    {"timeControl", "rangeTimeControlFrameBookmarksVisible", &Settings::rangeTimeControlFrameBookmarksVisible},
    {"timeControl", "rangeTimeControlCacheVisible", &Settings::rangeTimeControlCacheVisible},

    {"overlay", "viewerOverlayGridRows", &Settings::viewerOverlayGridRows},
    {"overlay", "viewerOverlayGridColumns", &Settings::viewerOverlayGridColumns},
    {"overlay", "viewerOverlayLineColor", &Settings::viewerOverlayLineColor},

    {"main", "windowState", &Settings::windowState},
    {"main", "sideBarViewState", &Settings::sideBarViewState},
    {"main", "sideBarVisible", &Settings::sideBarVisible},
    {"main", "sideBarLeft", &Settings::sideBarLeft},
    {"main", "sideBarOrder", &Settings::sideBarOrder},
    {"main", "sideBarProjectExpanded", &Settings::sideBarProjectExpanded},
    {"main", "sideBarTimelineExpanded", &Settings::sideBarTimelineExpanded},

    {"menu", "viewerControlsVisible", &Settings::viewerControlsVisible},
    {"menu", "annotationToolsVisible", &Settings::annotationToolsVisible},
    {"menu", "wipeSnapEnabled", &Settings::wipeSnapEnabled},
    {"menu", "wipeSnapGuidesEnabled", &Settings::wipeSnapGuidesEnabled},

    {"annotations", "annotationVisibility", &Settings::annotationVisibility},
    {"annotations", "annotationBackgroundColor", &Settings::annotationBackgroundColor},
    {"annotations", "annotationToolColor", &Settings::annotationToolColor},
    // annotationColorPresets is read and written by hand (a list of colour names)
    {"annotations", "activeAnnotationTool", &Settings::activeAnnotationTool},
    {"annotations", "pencilSize", &Settings::pencilSize},
    {"annotations", "laserPointerSize", &Settings::laserPointerSize},
    {"annotations", "eraserSize", &Settings::eraserSize},
    {"annotations", "textSize", &Settings::textSize},
    {"annotations", "arrowSize", &Settings::arrowSize},
    {"annotations", "ellipseSize", &Settings::ellipseSize},
    {"annotations", "rectangleSize", &Settings::rectangleSize},
    {"annotations", "pencilOpacity", &Settings::pencilOpacity},
    {"annotations", "laserPointerOpacity", &Settings::laserPointerOpacity},
    {"annotations", "eraserOpacity", &Settings::eraserOpacity},
    {"annotations", "textOpacity", &Settings::textOpacity},
    {"annotations", "arrowOpacity", &Settings::arrowOpacity},
    {"annotations", "ellipseOpacity", &Settings::ellipseOpacity},
    {"annotations", "rectangleOpacity", &Settings::rectangleOpacity},
    {"annotations", "byAnnotationGhosting", &Settings::byAnnotationGhosting},
    {"annotations", "numGhostedFramesPrev", &Settings::numGhostedFramesPrev},
    {"annotations", "numGhostedFramesNext", &Settings::numGhostedFramesNext},
    {"annotations", "ghostedFramesPrevTintColor", &Settings::ghostedFramesPrevTintColor},
    {"annotations", "ghostedFramesNextTintColor", &Settings::ghostedFramesNextTintColor},
};

// The "preferences" keys an override file may set.
const char* const kOverrideKeys[] = {
    "tempDirPath", "cacheSize", "numRecentFiles", "numRecentProjects", "confirmOnClose",
    "pausePlaybackOnSeek", "pausePlaybackOnScrub", "endlessMouseScrub", "panZoomMouseControls",
    "playbackControlsSeekRangeStartEnd", "displayFrameNumberInTitleBar", "hideVolumeControl",
    "highlightCurrentSourceInTimelinePanel", "hideAnnotationToolbarOnLaunch",
    "defaultSourceRootDirPath", "defaultImageSequenceFrameRate", "defaultTimeControlFrameOffset",
    "addDefaultTimeline", "activateDefaultTimeline", "restorePanZoomOnProjectLoad",
    "restoreHoldAnnotationsOnProjectLoad", "ffmpegExePath", "exportDirPath", "exportFileFormat",
    "exportForceOverwrite", "exportGlobalWidth", "exportGlobalHeight", "exportAnnotations",
    "exportViewer", "exportIgnoreRange", "exportExcludeAudio", "exportUseFrameNumbering",
    "h264Quality", "h264Preset", "exportImagePadding", "exportImageNumberingType",
    "clientApiPort", "clientApiPortEnabled", "mayaCommandPort", "mayaSyncTimeout",
    "hardwareRenderingEnabled", "vSyncEnabled", "useSurfaceDefaults", "surfaceBufferCountOverride",
    "ignoreScalingEnvVars", "scrubFrameInterval", "scrubFrameIntervalShift", "scrubFrameIntervalAlt",
    "audioOnScrubType", "audioOutputBufferSize", "showMenuBarOnLaunch", "projectUndoEnabled",
};

// The path keys whose absence reads as empty rather than as "keep the current value".
bool IsPathKey(const char* name)
{
    const QLatin1String key(name);
    return key == QLatin1String("tempDirPath") || key == QLatin1String("ffmpegExePath")
           || key == QLatin1String("exportDirPath");
}

// Reads one key, using the held value as the default (paths default to empty).
void ReadKey(QSettings& file, Settings& s, const Key& key)
{
    const QString name = QLatin1String(key.name);
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(s.*member)>;
            T& value = s.*member;
            if constexpr (std::is_same_v<T, QString>) {
                value = file.value(name, IsPathKey(key.name) ? QString() : value).toString();
            } else if constexpr (std::is_same_v<T, quint16>) {
                value = static_cast<quint16>(file.value(name, static_cast<int>(value)).toUInt());
            } else if constexpr (std::is_same_v<T, float>) {
                value = static_cast<float>(file.value(name, static_cast<double>(value)).toDouble());
            } else {
                value = file.value(name, QVariant::fromValue(value)).template value<T>();
            }
        },
        key.member);
}

void WriteKey(QSettings& file, const Settings& s, const Key& key)
{
    const QString name = QLatin1String(key.name);
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(s.*member)>;
            const T& value = s.*member;
            if constexpr (std::is_same_v<T, quint16>)
                file.setValue(name, static_cast<int>(value));
            else if constexpr (std::is_same_v<T, float>)
                file.setValue(name, static_cast<double>(value));
            else
                file.setValue(name, QVariant::fromValue(value));
        },
        key.member);
}

template <typename T>
void Clamp(T& value, T low, T high)
{
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(value)) { // "nan" reads as a number, but is in no range
            value = low;
            return;
        }
    }
    value = std::clamp(value, low, high);
}

void OrElse(int& value, int low, int high, int fallback)
{
    if (value < low || value > high)
        value = fallback;
}

void AddRecent(QStringList& list, const QString& path, int maxLength)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > std::max(maxLength, 0))
        list.removeLast();
}

QString BaseDirPath()
{
    const QStringList documents = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    const QString base = documents.isEmpty() ? QDir::homePath() : documents.first();
    return QDir(base).absolutePath();
}

} // namespace

Settings& Settings::Get()
{
    static Settings settings;
    return settings;
}

void Settings::ResetToDefaults()
{
    Get() = Settings{};
}

QList<QColor> Settings::DefaultColorPresets()
{
    QList<QColor> presets = {QColor(255, 0, 0), QColor(0, 255, 255), QColor(255, 255, 0),
                             QColor(255, 0, 255), QColor(0, 255, 0), QColor(0, 0, 255),
                             QColor(255, 255, 255), QColor(0, 0, 0)};
    while (presets.size() < 16)
        presets.append(QColor(255, 255, 255));
    return presets;
}

void Settings::Load(const QString& settingsFilePath, const QString& configOverridePath,
                    const QString& ffmpegOverridePath)
{
    if (settingsFilePath.isEmpty() || !QFileInfo::exists(settingsFilePath))
        return;

    annotationColorPresets = DefaultColorPresets();

    QSettings file(settingsFilePath, QSettings::IniFormat);
    for (const Key& key : kKeys) {
        file.beginGroup(QLatin1String(key.group));
        ReadKey(file, *this, key);
        file.endGroup();
    }
    file.beginGroup(QStringLiteral("annotations"));
    const QStringList presets = file.value(QStringLiteral("annotationColorPresets")).toStringList();
    for (int i = 0; i < std::min<qsizetype>(presets.size(), 16); ++i) {
        const QColor colour = QColor::fromString(presets.at(i));
        if (colour.isValid())
            annotationColorPresets[i] = colour;
    }
    file.endGroup();

    if (!ffmpegOverridePath.isEmpty()) {
        ffmpegExePath = ffmpegOverridePath;
        ffmpegExePathOverridden = true;
    }

    if (!configOverridePath.isEmpty() && QFileInfo::exists(configOverridePath)) {
        QSettings overrides(configOverridePath, QSettings::IniFormat);
        overrides.beginGroup(QStringLiteral("preferences"));
        for (const char* name : kOverrideKeys) {
            const auto key = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const Key& k) {
                return qstrcmp(k.name, name) == 0;
            });
            Q_ASSERT(key != std::end(kKeys));
            ReadKey(overrides, *this, *key);
        }
        overrides.endGroup();
        // The override file decides the ffmpeg path, even by leaving it out.
        ffmpegExePathOverridden = false;
    }

    ApplyRanges();
}

void Settings::ApplyRanges()
{
    Clamp(cacheSize, 512, 32768);
    Clamp(numRecentFiles, 0, 10);
    Clamp(numRecentProjects, 0, 10);
    OrElse(confirmOnClose, 0, 2, 1);
    OrElse(surfaceBufferCountOverride, 1, 3, 2);
    OrElse(scrubFrameInterval, 1, 200, 20);
    OrElse(scrubFrameIntervalShift, 1, 200, 50);
    OrElse(scrubFrameIntervalAlt, 1, 200, 20);
    OrElse(audioOnScrubType, 0, 2, 0);
    Clamp(audioOutputBufferSize, 10000, 100000);
    Clamp(defaultImageSequenceFrameRate, 1.0, 120.0);
    Clamp(defaultTimeControlFrameOffset, 0, 999999);
    Clamp(annotationTextBoxWidthScaler, 0.1f, 1.0f);
    Clamp(annotationTextBoxHeightScaler, 0.1f, 1.0f);
    Clamp(annotationToolIncrementSize, 0.1f, 1.0f);
    const QStringList formats = {QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("png"),
                                 QStringLiteral("jpg"), QStringLiteral("wav")};
    if (!formats.contains(exportFileFormat))
        exportFileFormat = QStringLiteral("mp4");
    Clamp(exportGlobalWidth, 120, 4096);
    Clamp(exportGlobalHeight, 120, 4096);
    OrElse(h264Quality, 0, 3, 1);
    OrElse(h264Preset, 0, 5, 3);
    OrElse(exportImagePadding, 1, 6, 4);
    OrElse(exportImageNumberingType, 0, 2, 0);
    Clamp(viewerOverlayGridRows, 2, 10);
    Clamp(viewerOverlayGridColumns, 2, 10);
    annotationBackgroundColor.setAlpha(0);
    hideVolumeControlAtStart = hideVolumeControl;
}

bool Settings::Save(const QString& settingsFilePath) const
{
    if (settingsFilePath.isEmpty())
        return false;
    QSettings file(settingsFilePath, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("main"));
    file.setValue(QStringLiteral("version"), 1);
    file.endGroup();
    for (const Key& key : kKeys) {
        file.beginGroup(QLatin1String(key.group));
        WriteKey(file, *this, key);
        file.endGroup();
    }
    QStringList presets;
    for (const QColor& colour : annotationColorPresets)
        presets.append(colour.name());
    file.beginGroup(QStringLiteral("annotations"));
    file.setValue(QStringLiteral("annotationColorPresets"), presets);
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}

void Settings::AddRecentFile(const QString& path)
{
    if (path.isEmpty())
        return;
    AddRecent(recentFiles, path, numRecentFiles);
    Save();
}

void Settings::AddRecentProject(const QString& path)
{
    if (path.isEmpty())
        return;
    AddRecent(recentProjects, path, numRecentProjects);
    Save();
}

void Settings::ClearRecentFiles()
{
    recentFiles.clear();
    Save();
}

void Settings::ClearRecentProjects()
{
    recentProjects.clear();
    Save();
}

void Settings::TrimRecentLists()
{
    Clamp(numRecentFiles, 0, 10);
    Clamp(numRecentProjects, 0, 10);
    while (recentFiles.size() > numRecentFiles)
        recentFiles.removeLast();
    while (recentProjects.size() > numRecentProjects)
        recentProjects.removeLast();
}

QString Settings::ApplicationDirPath()
{
    return QStringLiteral("%1/%2").arg(BaseDirPath(), QStringLiteral("plovex"));
}

QString Settings::SettingsDirPath()
{
    const QString app = ApplicationDirPath();
    return app.isEmpty() ? QString() : QStringLiteral("%1/config").arg(app);
}

QString Settings::SettingsFilePath()
{
    const QString dir = SettingsDirPath();
    return dir.isEmpty() ? QString() : QStringLiteral("%1/%2.ini").arg(dir, QStringLiteral("plovex"));
}

QString Settings::TempDirPath() const
{
    return tempDirPath.isEmpty() ? QStringLiteral("%1/temp").arg(ApplicationDirPath()) : tempDirPath;
}

QString Settings::DefaultExportDirPath() const
{
    return exportDirPath.isEmpty() ? ApplicationDirPath() : exportDirPath;
}

void Settings::SetTempDirPath(const QString& path)
{
    tempDirPath = path;
}

bool Settings::CheckConfigDir()
{
    const QString dirPath = SettingsDirPath();
    QDir dir(dirPath);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return false;
    const QString absolute = dir.absolutePath();
    QTemporaryFile probe(absolute + QStringLiteral("/tempFile"));
    if (!probe.open()) {
        Logger::error(QStringLiteral("Failed to write to config directory: %1").arg(absolute));
        return false;
    }
    return true;
}
