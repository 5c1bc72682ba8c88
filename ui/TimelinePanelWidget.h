#pragma once

#include <QListWidget>
#include <QUuid>

class ProjectManager;

// The side bar's list of one regular timeline's clips, in track order: each row the clip's
// source name and the frames it covers on the timeline. Sources dragged from the project tree
// are inserted where they are dropped, clips dragged within the list move there, Del removes
// the selected clips; every change goes through the project manager, so each is one undoable
// step. With `highlightCurrentSourceInTimelinePanel` the clip under the timeline's playhead
// is shown in bold. The list follows the project (rebuilt once per event-loop turn) and
// empties when its timeline goes away. Main thread only.
class TimelinePanelWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit TimelinePanelWidget(ProjectManager* manager, QWidget* parent = nullptr);

    // The timeline shown; null when none.
    QUuid TimelineId() const { return m_timelineId; }
    // The ids of the clips listed, in order.
    QList<QUuid> ClipIds() const;
    // The rows selected, ascending.
    QList<int> SelectedIndices() const;
    // The row a drop at `position` (viewport coordinates) inserts before; the count at the end.
    int DropIndex(const QPoint& position) const;

public slots:
    // Shows the clips of the regular timeline `id`; anything else shows none.
    void SetTimeline(const QUuid& id);
    // The playhead of `timelineId` is at `frame` (for the highlight).
    void SetCurrentFrame(const QUuid& timelineId, int frame);
    void ScheduleRefresh();
    void Refresh();
    void DeleteSelected();

signals:
    // The timeline shown changed (its name, or another one, or none).
    void TitleChanged(const QString& title);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    Qt::DropActions supportedDropActions() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool Accepts(const QMimeData* mime) const;
    void UpdateHighlight();

    ProjectManager* m_manager;
    QUuid m_timelineId;
    int m_currentFrame = -1;
    bool m_refreshPending = false;
};
