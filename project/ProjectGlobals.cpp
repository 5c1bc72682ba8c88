#include "project/ProjectGlobals.h"

#include "core/Settings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

void ProjectGlobals::ResetFromSettings()
{
    const Settings& settings = Settings::Get();
    s_projectPath.clear();
    s_sourceRootDirPath = settings.defaultSourceRootDirPath;
    SetImageSequenceFrameRate(settings.defaultImageSequenceFrameRate);
    SetTimeControlFrameOffset(settings.defaultTimeControlFrameOffset);
    s_viewerLayout = 0;
}

void ProjectGlobals::SetImageSequenceFrameRate(double rate)
{
    s_imageSequenceFrameRate = std::isnan(rate) ? 1.0 : std::clamp(rate, 1.0, 120.0);
}

QString ProjectGlobals::EffectiveSourceRootDirPath()
{
    if (!s_sourceRootDirPath.isEmpty() && QFileInfo(s_sourceRootDirPath).isDir())
        return s_sourceRootDirPath;
    if (!s_projectPath.isEmpty())
        return QFileInfo(s_projectPath).absolutePath();
    return {};
}
