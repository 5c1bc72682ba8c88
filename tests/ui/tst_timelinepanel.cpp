#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/Project.h"
#include "project/ProjectManager.h"
#include "project/ProjectMimeTypes.h"
#include "project/Timeline.h"
#include "project/Track.h"
#include "tests/FakeProjectEngine.h"
#include "tests/TestSupport.h"
#include "ui/TimelinePanelWidget.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

namespace {

// Three probed sources and an empty timeline "edit", shown in a panel.
struct Fixture
{
    FakeProjectEngine engine;
    ProjectManager manager{&engine};
    QList<QUuid> sources;
    QUuid edit;
    TimelinePanelWidget panel{&manager};

    Fixture()
    {
        for (const char* name : {"clip_23976.mp4", "clip_1080p25.mp4", "clip_rotated.mp4"})
            sources += manager.ImportFiles({TestSupport::MediaPath(QString::fromLatin1(name))}, {});
        edit = manager.AddTimeline(QStringLiteral("edit"), QUuid());
        manager.UndoStack()->clear();
        panel.resize(300, 400);
        panel.show();
        panel.SetTimeline(edit);
    }

    QUndoStack& Stack() { return *manager.UndoStack(); }
    QList<QUuid> ClipIds() { return manager.RegularTimeline(edit)->GetTrack()->ClipIds(); }
    // The source of each clip of the timeline, by index into `sources`.
    QList<int> Order()
    {
        QList<int> order;
        const Track* track = manager.RegularTimeline(edit)->GetTrack();
        for (int i = 0; i < track->ClipCount(); ++i)
            order.append(static_cast<int>(sources.indexOf(track->ClipAt(i)->GetSource()->Id())));
        return order;
    }
    // A point in the upper half of `row` (so a drop there inserts before it), or below the
    // last row when `row` is the count.
    QPoint Above(int row)
    {
        if (row >= panel.count())
            return {5, panel.viewport()->height() - 2};
        return panel.visualItemRect(panel.item(row)).topLeft() + QPoint(5, 2);
    }
    // Drags `ids` under `type` to `at` and drops them there; whether the drag was taken.
    bool Drop(const QString& type, const QList<QUuid>& ids, const QPoint& at)
    {
        QMimeData mime;
        mime.setData(type, ProjectMimeTypes::WriteIds(ids));
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(panel.viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(panel.viewport(), &drop);
        panel.Refresh(); // as the next turn of the event loop would
        return enter.isAccepted();
    }
};

} // namespace

class TestTimelinePanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { Settings::ResetToDefaults(); }

    // Sources dropped from the project tree go in where they land, only sources, one step
    // per drop; clips dragged within the list move, a drag that changes nothing pushes no
    // step; Del takes the selected clips out; every step undoes and redoes, the list with it.
    void insertMoveRemoveUndo()
    {
        Fixture f;
        QCOMPARE(f.panel.count(), 0);
        QVERIFY(f.Drop(ProjectMimeTypes::Timelines, {f.sources.at(0), f.sources.at(1)}, f.Above(0)));
        QCOMPARE(f.Order(), (QList<int>{0, 1}));
        QCOMPARE(f.Stack().count(), 1);
        QCOMPARE(f.panel.count(), 2);
        QVERIFY(f.panel.item(0)->text().startsWith(QStringLiteral("clip_23976.mp4")));

        // Before the second clip; the timeline and the unknown id in the payload are passed over.
        const QUuid other = f.manager.AddTimeline(QStringLiteral("other"), QUuid());
        f.Drop(ProjectMimeTypes::Timelines, {other, f.sources.at(2), QUuid::createUuid()}, f.Above(1));
        QCOMPARE(f.Order(), (QList<int>{0, 2, 1}));
        // Below the last row: appended.
        f.Drop(ProjectMimeTypes::Timelines, {f.sources.at(0)}, f.Above(3));
        QCOMPARE(f.Order(), (QList<int>{0, 2, 1, 0}));
        const int steps = f.Stack().count();

        // The last two clips to the top, in their order.
        const QList<QUuid> ids = f.ClipIds();
        QVERIFY(f.Drop(ProjectMimeTypes::Clips, {ids.at(3), ids.at(2)}, f.Above(0)));
        QCOMPARE(f.ClipIds(), (QList<QUuid>{ids.at(2), ids.at(3), ids.at(0), ids.at(1)}));
        QCOMPARE(f.Stack().count(), steps + 1);
        QCOMPARE(f.panel.ClipIds(), f.ClipIds());
        // Dropped where they already are: nothing to undo.
        f.Drop(ProjectMimeTypes::Clips, {ids.at(2)}, f.Above(1));
        QCOMPARE(f.Stack().count(), steps + 1);

        // Del on rows 1 and 3.
        f.panel.clearSelection();
        f.panel.item(1)->setSelected(true);
        f.panel.item(3)->setSelected(true);
        QTest::keyClick(&f.panel, Qt::Key_Delete);
        QCOMPARE(f.ClipIds(), (QList<QUuid>{ids.at(2), ids.at(0)}));
        QCOMPARE(f.Stack().count(), steps + 2);

        f.Stack().undo();
        QCOMPARE(f.ClipIds(), (QList<QUuid>{ids.at(2), ids.at(3), ids.at(0), ids.at(1)}));
        f.Stack().undo();
        QCOMPARE(f.ClipIds(), ids);
        QTRY_COMPARE(f.panel.ClipIds(), ids);
        f.Stack().setIndex(0);
        QTRY_COMPARE(f.panel.count(), 0);
        f.Stack().setIndex(f.Stack().count());
        QTRY_COMPARE(f.panel.ClipIds(), (QList<QUuid>{ids.at(2), ids.at(0)}));
    }

    // Drops need a timeline, and a payload of the tree or the panel; the list follows renames
    // and empties when its timeline is deleted; a source's own timeline is never shown.
    void followsTheProject()
    {
        Fixture f;
        QSignalSpy titles(&f.panel, &TimelinePanelWidget::TitleChanged);
        f.manager.InsertClips(f.edit, {f.sources.at(1)}, -1);
        QTRY_COMPARE(f.panel.count(), 1);
        f.manager.RenameItem(f.sources.at(1), QStringLiteral("hero"));
        QTRY_VERIFY(f.panel.item(0)->text().startsWith(QStringLiteral("hero")));
        f.manager.RenameItem(f.edit, QStringLiteral("final"));
        QTRY_COMPARE(titles.last().first().toString(), QStringLiteral("final"));

        const int steps = f.Stack().count();
        QMimeData urls;
        urls.setUrls({QUrl::fromLocalFile(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4")))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &urls, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.panel.viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &urls, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.panel.viewport(), &drop);
        QCOMPARE(f.Stack().count(), steps);

        f.manager.DeleteProjectItems({f.edit});
        QTRY_COMPARE(f.panel.count(), 0);
        QVERIFY(f.panel.TimelineId().isNull());
        QCOMPARE(titles.last().first().toString(), QString());
        QVERIFY(!f.Drop(ProjectMimeTypes::Timelines, {f.sources.at(0)}, f.Above(0)));
        QCOMPARE(f.Stack().count(), steps + 1); // only the deletion

        f.panel.SetTimeline(f.sources.at(0));
        QVERIFY(f.panel.TimelineId().isNull());
        f.Stack().undo(); // the timeline back: shown again once selected
        f.panel.SetTimeline(f.edit);
        QCOMPARE(f.panel.count(), 1);
    }

    // The clip under the playhead is bold while the setting asks for it, and only that one.
    void highlightsTheCurrentClip()
    {
        Fixture f;
        f.manager.InsertClips(f.edit, {f.sources.at(0), f.sources.at(1)}, -1);
        f.panel.Refresh();
        const Clip* second = f.manager.RegularTimeline(f.edit)->GetTrack()->ClipAt(1);
        auto bold = [&] {
            QList<int> rows;
            for (int row = 0; row < f.panel.count(); ++row)
                if (f.panel.item(row)->font().bold())
                    rows.append(row);
            return rows;
        };
        f.panel.SetCurrentFrame(f.edit, second->StartFrame());
        QCOMPARE(bold(), QList<int>{1});
        f.panel.SetCurrentFrame(f.edit, second->StartFrame() - 1);
        QCOMPARE(bold(), QList<int>{0});
        f.panel.SetCurrentFrame(QUuid::createUuid(), second->StartFrame()); // another timeline's
        QCOMPARE(bold(), QList<int>{0});
        f.panel.SetTimeline(f.edit); // shown again (the engine re-showing it after an edit)
        QCOMPARE(bold(), QList<int>{0});
        // Frame 48 starts the second clip (48 frames, then 75); moved to the front, that clip
        // covers frames 0 to 74, frame 48 with them.
        f.panel.SetCurrentFrame(f.edit, 48);
        QCOMPARE(bold(), QList<int>{1});
        f.manager.SetClipOrder(f.edit, {second->Id(), f.ClipIds().first()});
        f.panel.Refresh();
        QCOMPARE(bold(), QList<int>{0});
        Settings::Get().highlightCurrentSourceInTimelinePanel = false;
        f.panel.Refresh();
        QCOMPARE(bold(), QList<int>{});
    }
};

QTEST_MAIN(TestTimelinePanel)
#include "tst_timelinepanel.moc"
