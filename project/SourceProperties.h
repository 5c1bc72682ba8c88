#pragma once

#include "project/RangeBookmark.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>

class FrameBookmark;

// One source on its way from a project file or an import into the project: where it goes in
// the tree, what it shows, and the state to restore once it has been parsed.
struct SourceProperties
{
    QUuid id;
    QUuid parentId;
    int index = -1; // in the parent; -1 appends
    bool expandParent = false;
    QString path;
    QString relativePath;
    QString name;
    int32_t playbackFrame = 0;
    int32_t cutInFrame = 0;
    int32_t cutOutFrame = -1;
    int64_t audioDelay = 0;
    int outputId = -1; // viewer index; -1 none
    QPointF panInterpolation;
    float zoom = 1.0f;
    bool panZoomEnabled = false;
    bool holdAnnotations = false;
    QList<RangeBookmark> rangeBookmarks;
    // The source this one replaces once parsed (a file changed on disk); null for none.
    QUuid replaces;
};
