#pragma once

#include <QTreeWidget>
#include <QUuid>

class ProjectManager;

// The side bar's view of the project tree: PROJECT, SOURCES and TIMELINES with their folders,
// sources and timelines, kept as the project changes (rebuilt once per event-loop turn) with
// each folder's expanded state. Items drag out under the project's drag types (a folder alone,
// or timelines and sources), rename in place (F2), delete with Del and open in viewer A with a
// double-click; every change goes through the project manager, so it undoes. Main thread only.
class ProjectTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit ProjectTreeWidget(ProjectManager* manager, QWidget* parent = nullptr);

    // The ids of the selected items, in the tree's order.
    QList<QUuid> SelectedIds() const;
    QTreeWidgetItem* ItemFor(const QUuid& id) const;
    // Whether an item's name is being edited (F2 then belongs to the editor).
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

public slots:
    // Rebuilds the tree from the project on the next turn of the event loop (once a name
    // being edited is done), keeping the current item and the scroll position.
    void ScheduleRefresh();
    void Refresh();
    void DeleteSelected();
    // A new folder or timeline in the selected folder (the base folder of its kind otherwise),
    // selected once it is listed.
    void AddFolder();
    void AddTimeline();

signals:
    // The user selected one timeline alone (or one was just added and selected); rebuilds
    // that keep a selection say nothing.
    void TimelineSelected(const QUuid& id);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QUuid SelectedFolderId() const;
    void SelectWhenListed(const QUuid& id);
    void AnnounceTimelineSelection();

    ProjectManager* m_manager;
    bool m_refreshPending = false;
    bool m_filling = false; // while the tree is being rebuilt: its signals are not the user's
    QUuid m_selectAfterRefresh; // the item just added, to select alone at the next rebuild
    bool m_refreshAfterEditing = false; // a rebuild waits for the name editor to close
};
