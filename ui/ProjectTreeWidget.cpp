#include "ui/ProjectTreeWidget.h"

#include "core/Settings.h"
#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectManager.h"
#include "project/ProjectMimeTypes.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;

} // namespace

ProjectTreeWidget::ProjectTreeWidget(ProjectManager* manager, QWidget* parent)
    : QTreeWidget(parent)
    , m_manager(manager)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDefaultDropAction(Qt::CopyAction);
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (m_refreshAfterEditing)
            ScheduleRefresh();
    });
    connect(manager, &ProjectManager::ProjectUpdated, this, &ProjectTreeWidget::ScheduleRefresh);
    connect(manager, &ProjectManager::FolderUpdated, this, &ProjectTreeWidget::ScheduleRefresh);
    connect(manager, &ProjectManager::TimelineUpdated, this, &ProjectTreeWidget::ScheduleRefresh);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (m_filling)
            return;
        m_manager->RenameItem(item->data(0, kIdRole).toUuid(), item->text(0));
        ScheduleRefresh(); // a name refused (empty, say) is shown as it still is
    });
    for (const bool expanded : {true, false})
        connect(this, expanded ? &QTreeWidget::itemExpanded : &QTreeWidget::itemCollapsed, this,
                [this, expanded](QTreeWidgetItem* item) {
                    if (!m_filling)
                        m_manager->SetFolderExpanded(item->data(0, kIdRole).toUuid(), expanded);
                });
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!m_filling)
            AnnounceTimelineSelection();
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        connect(menu.addAction(QStringLiteral("New Folder")), &QAction::triggered, this, &ProjectTreeWidget::AddFolder);
        connect(menu.addAction(QStringLiteral("New Timeline")), &QAction::triggered, this, &ProjectTreeWidget::AddTimeline);
        menu.addSeparator();
        // The tree may be rebuilt while the menu is open: the item is found again by its id.
        const QTreeWidgetItem* item = itemAt(at);
        const QUuid id = item ? item->data(0, kIdRole).toUuid() : QUuid();
        QAction* rename = menu.addAction(QStringLiteral("Rename"));
        rename->setEnabled(item && item->parent());
        connect(rename, &QAction::triggered, this, [this, id] {
            if (QTreeWidgetItem* found = ItemFor(id))
                editItem(found);
        });
        QAction* remove = menu.addAction(QStringLiteral("Delete"));
        const QList<QTreeWidgetItem*> selected = selectedItems();
        // The base folders stay.
        remove->setEnabled(std::any_of(selected.begin(), selected.end(), [](const QTreeWidgetItem* it) { return it->parent(); }));
        connect(remove, &QAction::triggered, this, &ProjectTreeWidget::DeleteSelected);
        menu.exec(viewport()->mapToGlobal(at));
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kKindRole).toInt() != ProjectItem::FolderKind)
            m_manager->OpenItemsInViewers({item->data(0, kIdRole).toUuid()}, 0, Settings::Get().autoPlayEnabled);
    });
    Refresh();
}

void ProjectTreeWidget::ScheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, &ProjectTreeWidget::Refresh);
}

void ProjectTreeWidget::Refresh()
{
    m_refreshPending = false;
    if (IsEditing()) {
        m_refreshAfterEditing = true; // a rebuild would close the editor and lose the name typed
        return;
    }
    m_refreshAfterEditing = false;
    const int scrolled = verticalScrollBar()->value();
    const QUuid current = currentItem() ? currentItem()->data(0, kIdRole).toUuid() : QUuid();
    const QList<QUuid> selected = m_selectAfterRefresh.isNull() ? SelectedIds() : QList<QUuid>{m_selectAfterRefresh};
    m_filling = true;
    clear();
    const Project* project = m_manager->GetProject();
    std::function<void(const FolderItem*, QTreeWidgetItem*)> fill = [&](const FolderItem* folder, QTreeWidgetItem* node) {
        for (const ProjectItem* child : folder->Children()) {
            auto* item = new QTreeWidgetItem(node, {child->Name()});
            item->setData(0, kIdRole, child->Id());
            item->setData(0, kKindRole, static_cast<int>(child->ItemKind()));
            item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
            if (const auto* source = qobject_cast<const TimelineItem*>(child); source && source->GetTimeline() && source->GetTimeline()->GetSource()) {
                const Source* media = source->GetTimeline()->GetSource();
                item->setToolTip(0, media->IsParsed() && media->HasError()
                                        ? QStringLiteral("%1 (%2)").arg(media->Path(), media->StatusText())
                                        : media->Path());
            }
            if (const auto* sub = qobject_cast<const FolderItem*>(child)) {
                fill(sub, item);
                item->setExpanded(sub->Expanded());
            }
            item->setSelected(selected.contains(child->Id()));
        }
    };
    for (const FolderItem* base : project->BaseFolders()) {
        auto* node = new QTreeWidgetItem(this, {base->Name()});
        node->setData(0, kIdRole, base->Id());
        node->setData(0, kKindRole, static_cast<int>(ProjectItem::FolderKind));
        node->setFlags((node->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsEditable);
        fill(base, node);
        node->setExpanded(base->Expanded());
        node->setSelected(selected.contains(base->Id()));
    }
    if (QTreeWidgetItem* item = ItemFor(current))
        setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    verticalScrollBar()->setValue(scrolled);
    m_filling = false;
    if (!m_selectAfterRefresh.isNull()) {
        if (QTreeWidgetItem* item = ItemFor(m_selectAfterRefresh)) {
            setCurrentItem(item);
            scrollToItem(item);
        }
        m_selectAfterRefresh = QUuid();
        AnnounceTimelineSelection();
    }
}

void ProjectTreeWidget::AnnounceTimelineSelection()
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (items.size() == 1 && items.first()->data(0, kKindRole).toInt() == ProjectItem::TimelineKind)
        emit TimelineSelected(items.first()->data(0, kIdRole).toUuid());
}

QList<QUuid> ProjectTreeWidget::SelectedIds() const
{
    QList<QUuid> ids;
    for (QTreeWidgetItemIterator it(const_cast<ProjectTreeWidget*>(this), QTreeWidgetItemIterator::Selected); *it; ++it)
        ids.append((*it)->data(0, kIdRole).toUuid());
    return ids;
}

QTreeWidgetItem* ProjectTreeWidget::ItemFor(const QUuid& id) const
{
    for (QTreeWidgetItemIterator it(const_cast<ProjectTreeWidget*>(this)); *it; ++it)
        if ((*it)->data(0, kIdRole).toUuid() == id)
            return *it;
    return nullptr;
}

QUuid ProjectTreeWidget::SelectedFolderId() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    for (const QTreeWidgetItem* item : items)
        if (item->data(0, kKindRole).toInt() == ProjectItem::FolderKind)
            return item->data(0, kIdRole).toUuid();
    return {};
}

void ProjectTreeWidget::DeleteSelected()
{
    const QList<QUuid> ids = SelectedIds();
    if (!ids.isEmpty())
        m_manager->DeleteProjectItems(ids);
}

void ProjectTreeWidget::AddFolder()
{
    SelectWhenListed(m_manager->AddFolder(QString(), SelectedFolderId()));
}

void ProjectTreeWidget::AddTimeline()
{
    SelectWhenListed(m_manager->AddTimeline(QString(), SelectedFolderId()));
}

void ProjectTreeWidget::SelectWhenListed(const QUuid& id)
{
    if (id.isNull())
        return;
    m_selectAfterRefresh = id;
    ScheduleRefresh();
}

// Items are only ever copied out: a move would have the view take the rows out of itself.
void ProjectTreeWidget::startDrag(Qt::DropActions)
{
    QTreeWidget::startDrag(Qt::CopyAction);
}

QStringList ProjectTreeWidget::mimeTypes() const
{
    return {ProjectMimeTypes::Internal, ProjectMimeTypes::Folder, ProjectMimeTypes::Timelines};
}

QMimeData* ProjectTreeWidget::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    auto* mime = new QMimeData;
    QList<QUuid> ids;
    bool base = false;
    int folders = 0;
    for (const QTreeWidgetItem* item : items) {
        ids.append(item->data(0, kIdRole).toUuid());
        base = base || !item->parent();
        folders += item->data(0, kKindRole).toInt() == ProjectItem::FolderKind ? 1 : 0;
    }
    const QByteArray payload = ProjectMimeTypes::WriteIds(ids);
    if (!base)
        mime->setData(ProjectMimeTypes::Internal, payload);
    if (items.size() == 1 && folders == 1)
        mime->setData(ProjectMimeTypes::Folder, payload);
    if (folders == 0 && !ids.isEmpty())
        mime->setData(ProjectMimeTypes::Timelines, payload);
    return mime;
}

void ProjectTreeWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
        DeleteSelected();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
