#include "ui/TimelinePanelWidget.h"

#include "core/Settings.h"
#include "project/Clip.h"
#include "project/Project.h"
#include "project/ProjectManager.h"
#include "project/ProjectMimeTypes.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kStartRole = Qt::UserRole + 1;
constexpr int kEndRole = Qt::UserRole + 2;

} // namespace

TimelinePanelWidget::TimelinePanelWidget(ProjectManager* manager, QWidget* parent)
    : QListWidget(parent)
    , m_manager(manager)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    connect(manager, &ProjectManager::ProjectUpdated, this, &TimelinePanelWidget::ScheduleRefresh);
    connect(manager, &ProjectManager::TimelineUpdated, this, &TimelinePanelWidget::ScheduleRefresh);
    connect(manager, &ProjectManager::FolderUpdated, this, &TimelinePanelWidget::ScheduleRefresh);
}

void TimelinePanelWidget::SetTimeline(const QUuid& id)
{
    const QUuid shown = m_manager->RegularTimeline(id) ? id : QUuid();
    if (shown != m_timelineId)
        m_currentFrame = -1; // the playhead of another timeline
    m_timelineId = shown;
    Refresh();
}

void TimelinePanelWidget::SetCurrentFrame(const QUuid& timelineId, int frame)
{
    if (timelineId != m_timelineId || frame == m_currentFrame)
        return;
    m_currentFrame = frame;
    UpdateHighlight();
}

void TimelinePanelWidget::ScheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, &TimelinePanelWidget::Refresh);
}

void TimelinePanelWidget::Refresh()
{
    m_refreshPending = false;
    const Timeline* timeline = m_manager->RegularTimeline(m_timelineId);
    if (!timeline)
        m_timelineId = QUuid();
    const Project* project = m_manager->GetProject();
    const TimelineItem* timelineItem = timeline ? project->TimelineItemById(m_timelineId) : nullptr;
    emit TitleChanged(timelineItem ? timelineItem->Name() : QString());

    QList<QUuid> selected;
    for (const QListWidgetItem* item : selectedItems())
        selected.append(item->data(kIdRole).toUuid());
    clear();
    if (!timeline)
        return;
    const int offset = timeline->TimeControlFrameOffset();
    const Track* track = timeline->GetTrack();
    for (int i = 0; i < track->ClipCount(); ++i) {
        const Clip* clip = track->ClipAt(i);
        const TimelineItem* source = clip->GetSource() ? project->SourceItem(clip->GetSource()->Id()) : nullptr;
        const QString name = source ? source->Name() : clip->Name();
        // A clip whose source has not been probed yet covers no frames.
        const QString frames = clip->EndFrame() >= clip->StartFrame()
                                   ? QStringLiteral("%1-%2").arg(clip->StartFrame() + offset).arg(clip->EndFrame() + offset)
                                   : QStringLiteral("-");
        auto* item = new QListWidgetItem(QStringLiteral("%1    %2").arg(name, frames), this);
        item->setData(kIdRole, clip->Id());
        item->setData(kStartRole, clip->StartFrame());
        item->setData(kEndRole, clip->EndFrame());
        item->setToolTip(clip->GetSource() ? clip->GetSource()->Path() : QString());
        item->setSelected(selected.contains(clip->Id()));
    }
    UpdateHighlight();
}

void TimelinePanelWidget::UpdateHighlight()
{
    const bool highlight = Settings::Get().highlightCurrentSourceInTimelinePanel;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* it = item(row);
        const bool current = highlight && m_currentFrame >= it->data(kStartRole).toInt()
                             && m_currentFrame <= it->data(kEndRole).toInt();
        QFont font = it->font();
        if (font.bold() != current) {
            font.setBold(current);
            it->setFont(font);
        }
    }
}

QList<QUuid> TimelinePanelWidget::ClipIds() const
{
    QList<QUuid> ids;
    for (int row = 0; row < count(); ++row)
        ids.append(item(row)->data(kIdRole).toUuid());
    return ids;
}

QList<int> TimelinePanelWidget::SelectedIndices() const
{
    QList<int> rows;
    for (const QListWidgetItem* item : selectedItems())
        rows.append(row(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The list may lag a turn behind the timeline (just after an undo): the clips are found by id.
void TimelinePanelWidget::DeleteSelected()
{
    const Timeline* timeline = m_manager->RegularTimeline(m_timelineId);
    if (!timeline)
        return;
    const QList<QUuid> current = timeline->GetTrack()->ClipIds();
    QList<int> indices;
    for (const QListWidgetItem* item : selectedItems())
        if (const qsizetype index = current.indexOf(item->data(kIdRole).toUuid()); index >= 0)
            indices.append(static_cast<int>(index));
    if (!indices.isEmpty())
        m_manager->DeleteClips(m_timelineId, indices);
}

int TimelinePanelWidget::DropIndex(const QPoint& position) const
{
    const QListWidgetItem* target = itemAt(position);
    if (!target)
        return count();
    const int targetRow = row(target);
    return position.y() < visualItemRect(target).center().y() ? targetRow : targetRow + 1;
}

// What the list takes (the item view's own drag handling accepts only these); its drags carry
// the clips type alone.
QStringList TimelinePanelWidget::mimeTypes() const
{
    return {ProjectMimeTypes::Clips, ProjectMimeTypes::Timelines};
}

QMimeData* TimelinePanelWidget::mimeData(const QList<QListWidgetItem*>& items) const
{
    QList<QUuid> ids;
    for (const QListWidgetItem* item : items)
        ids.append(item->data(kIdRole).toUuid());
    auto* mime = new QMimeData;
    mime->setData(ProjectMimeTypes::Clips, ProjectMimeTypes::WriteIds(ids));
    return mime;
}

Qt::DropActions TimelinePanelWidget::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

bool TimelinePanelWidget::Accepts(const QMimeData* mime) const
{
    return !m_timelineId.isNull()
           && (mime->hasFormat(ProjectMimeTypes::Clips) || mime->hasFormat(ProjectMimeTypes::Timelines));
}

void TimelinePanelWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (Accepts(event->mimeData()))
        QListWidget::dragEnterEvent(event);
    else
        event->ignore();
}

void TimelinePanelWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (Accepts(event->mimeData()))
        QListWidget::dragMoveEvent(event);
    else
        event->ignore();
}

// The list is never edited here: the drop becomes a project command, and the list follows the
// timeline when the command has run.
void TimelinePanelWidget::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!Accepts(mime)) {
        event->ignore();
        return;
    }
    const int index = DropIndex(event->position().toPoint());
    if (mime->hasFormat(ProjectMimeTypes::Clips)) {
        const QList<QUuid> moved = ProjectMimeTypes::ReadIds(mime->data(ProjectMimeTypes::Clips));
        const QList<QUuid> current = ClipIds();
        // The clips above the drop point that stay, the moved ones in their order, the rest.
        QList<QUuid> order;
        QList<QUuid> after;
        for (int row = 0; row < current.size(); ++row)
            if (!moved.contains(current.at(row)))
                (row < index ? order : after).append(current.at(row));
        for (const QUuid& id : current)
            if (moved.contains(id))
                order.append(id);
        order += after;
        if (order != current)
            m_manager->SetClipOrder(m_timelineId, order);
    } else {
        QList<QUuid> sources;
        for (const QUuid& id : ProjectMimeTypes::ReadIds(mime->data(ProjectMimeTypes::Timelines)))
            if (m_manager->GetProject()->SourceItem(id))
                sources.append(id);
        if (!sources.isEmpty())
            m_manager->InsertClips(m_timelineId, sources, index);
    }
    event->setDropAction(Qt::CopyAction); // nothing for the drag's source to remove
    event->accept();
}

void TimelinePanelWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        DeleteSelected();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
