#include "project/commands/DuplicateSourceTimelineCmd.h"

#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

DuplicateSourceTimelineCmd::DuplicateSourceTimelineCmd(ProjectManager& manager, const QUuid& sourceId, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("DuplicateSource"), parent)
    , m_sourceId(sourceId)
{
}

void DuplicateSourceTimelineCmd::redo()
{
    if (m_id.isNull())
        Create();
    else
        PutBack();
}

void DuplicateSourceTimelineCmd::undo()
{
    TakeOut(m_id);
}

void DuplicateSourceTimelineCmd::Create()
{
    Project& project = CurrentProject();
    const TimelineItem* original = project.SourceItem(m_sourceId);
    const auto* folder = original ? qobject_cast<const FolderItem*>(original->parent()) : nullptr;
    if (!folder)
        return;
    const Timeline* from = original->GetTimeline();
    const Source* source = from->GetSource();
    SourceProperties record;
    record.path = source->Path();
    record.relativePath = source->RelativePath();
    record.parentId = folder->Id();
    record.index = folder->IndexOf(original) + 1;
    TimelineItem* item = project.CreateSource(record);
    if (!item)
        return;
    m_id = item->Id();
    project.BlockingLoad();
    // The load ran the event loop: either source may have been replaced meanwhile.
    original = project.CurrentReplacement(m_sourceId);
    item = project.SourceItem(m_id);
    if (!original || !item)
        return;
    from = original->GetTimeline();
    source = from->GetSource();

    const Settings& settings = Settings::Get();
    Timeline* to = item->GetTimeline();
    if (settings.dupSrcInOut)
        to->SetPlaybackRange(from->RangeStartFrame(), from->StoredRangeEndFrame());
    if (settings.dupSrcPlaybackTime)
        to->SetPlaybackTime(from->PlaybackTime());
    if (settings.dupSrcRangeBookmarks)
        for (const RangeBookmark& bookmark : from->RangeBookmarks())
            to->AddRangeBookmark(bookmark.startFrame, bookmark.endFrame);
    const Clip* fromClip = from->GetTrack()->ClipAt(0);
    Clip* toClip = to->GetTrack()->ClipAt(0);
    if (settings.dupSrcFrameBookmarks && fromClip && toClip) {
        QList<FrameBookmark*> bookmarks = fromClip->CopyFrameBookmarks();
        if (!settings.dupSrcAnnotations)
            for (FrameBookmark* bookmark : bookmarks)
                bookmark->Strokes().clear();
        toClip->ReplaceFrameBookmarks(bookmarks);
    }
    if (settings.dupSrcAnnotations && from->BackgroundAnnotations()->HasAnnotation())
        to->ReplaceBackgroundAnnotations(from->BackgroundAnnotations()->Copy());
    if (settings.dupSrcAudioDelay)
        to->SetAudioDelay(source->AudioDelay());
}
