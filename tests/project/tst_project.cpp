#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Track.h"
#include "project/Project.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

SourceProperties Record(const QString& path, const QUuid& parent = QUuid(), int index = -1)
{
    SourceProperties properties;
    properties.path = path;
    properties.parentId = parent;
    properties.index = index;
    return properties;
}

} // namespace

class TestProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { Settings::ResetToDefaults(); }

    // Items go where they may: folders under general folders, sources anywhere but under
    // TIMELINES, timelines anywhere but under SOURCES.
    void parentRules()
    {
        Project project;
        QCOMPARE(project.ProjectFolder()->Name(), QStringLiteral("PROJECT"));
        QCOMPARE(project.SourcesFolder()->Type(), FolderItem::Sources);
        QCOMPARE(project.TimelinesFolder()->Type(), FolderItem::Timelines);
        QVERIFY(project.ProjectFolder()->Expanded() && project.TimelinesFolder()->Expanded());
        QCOMPARE(project.ProjectName(), QStringLiteral("untitled"));

        FolderItem* underSources = project.CreateFolder(QString(), project.SourcesFolder()->Id(), false);
        QCOMPARE(underSources->Name(), QStringLiteral("New Folder"));
        QCOMPARE(underSources->parent(), project.ProjectFolder());
        FolderItem* inner = project.CreateFolder(QStringLiteral("shots"), underSources->Id(), true);
        QCOMPARE(inner->parent(), underSources);
        QVERIFY(underSources->Expanded());
        QCOMPARE(inner->ParentId(), underSources->Id());

        TimelineItem* first = project.CreateTimeline(QString(), QUuid(), false);
        TimelineItem* second = project.CreateTimeline(QStringLiteral("cut"), project.SourcesFolder()->Id(), false, QUuid(), 0);
        QCOMPARE(first->Name(), QStringLiteral("New Timeline"));
        QCOMPARE(second->parent(), project.TimelinesFolder());
        QCOMPARE(project.TimelinesFolder()->IndexOf(second), 0);
        QCOMPARE(project.TimelineItemById(second->Id()), second);

        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        TimelineItem* source = project.CreateSource(Record(clip, project.TimelinesFolder()->Id(), 0));
        QVERIFY(source->IsSource());
        QCOMPARE(source->parent(), project.SourcesFolder());
        QCOMPARE(source->Name(), QStringLiteral("clip_rotated.mp4"));
        QCOMPARE(source->GetTimeline()->GetSource()->Id(), source->Id());
        TimelineItem* nested = project.CreateSource(Record(clip, inner->Id(), 0));
        QCOMPARE(nested->parent(), inner);
        QVERIFY(!project.CreateSource(Record(QString())));
        QCOMPARE(project.Item(nested->Id()), nested);
        QCOMPARE(project.Folder(inner->Id()), inner);
        QVERIFY(!project.Item(QUuid()));

        // A folder holding timelines and sources: source positions do not count timelines.
        TimelineItem* timelineInFolder = project.CreateTimeline(QStringLiteral("t"), inner->Id(), false, QUuid(), 0);
        QCOMPARE(inner->IndexOf(nested), 1);
        QCOMPARE(inner->SourceIndexOf(nested), 0);
        QCOMPARE(inner->SourceIndexOf(timelineInFolder), 0);
    }

    void setters()
    {
        Project project;
        TimelineItem* source = project.CreateSource(Record(TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"))));
        TimelineItem* timeline = project.CreateTimeline(QStringLiteral("cut"), QUuid(), false);
        QSignalSpy defaults(&project, &Project::DefaultTimelineChanged);
        project.SetDefaultTimeline(source->Id());
        QVERIFY(project.DefaultTimelineId().isNull());
        project.SetDefaultTimeline(timeline->Id());
        project.SetDefaultTimeline(timeline->Id());
        QCOMPARE(defaults.size(), 1);

        project.SetImageSequenceFrameRate(0.5);
        QCOMPARE(ProjectGlobals::ImageSequenceFrameRate(), 1.0);
        project.SetImageSequenceFrameRate(240);
        QCOMPARE(ProjectGlobals::ImageSequenceFrameRate(), 120.0);

        QSignalSpy offsets(timeline->GetTimeline(), &Timeline::TimeControlFrameOffsetChanged);
        project.SetTimeControlFrameOffset(-3);
        QCOMPARE(ProjectGlobals::TimeControlFrameOffset(), 0);
        QCOMPARE(offsets.size(), 1);

        QSignalSpy updated(&project, &Project::TimelineUpdated);
        QSignalSpy names(timeline, &ProjectItem::NameChanged);
        project.RenameItem(timeline->Id(), QString());
        project.RenameItem(timeline->Id(), QStringLiteral("cut"));
        QCOMPARE(updated.size(), 0);
        QCOMPARE(names.size(), 0);
        project.RenameItem(timeline->Id(), QStringLiteral("final"));
        QCOMPARE(updated.size(), 1);
        QCOMPARE(timeline->Name(), QStringLiteral("final"));

        QSignalSpy paths(&project, &Project::ProjectPathChanged);
        project.SetProjectPath(QStringLiteral("/reviews/shots.plvx2"));
        QCOMPARE(project.ProjectName(), QStringLiteral("shots"));
        project.SetProjectPath(QStringLiteral("/reviews/shots.plvx2"));
        QCOMPARE(paths.size(), 1);
    }

    // Detached items leave the tree and the maps and come back where they are put; a file two
    // sources share stays watched while either is there.
    void detachAndWatch()
    {
        Project project;
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        TimelineItem* a = project.CreateSource(Record(clip));
        TimelineItem* b = project.CreateSource(Record(clip));
        QCOMPARE(project.WatchedFiles(), QStringList{QFileInfo(clip).absoluteFilePath()});
        project.DetachSource(a);
        QVERIFY(!project.SourceItem(a->Id()));
        QVERIFY(!a->parent());
        QCOMPARE(project.WatchedFiles().size(), 1);
        project.DetachSource(b);
        QVERIFY(project.WatchedFiles().isEmpty());
        project.ReinsertSource(a, project.TimelinesFolder()->Id(), 0); // not a place for sources
        QCOMPARE(a->parent(), project.SourcesFolder());
        QCOMPARE(project.WatchedFiles().size(), 1);
        delete b;

        FolderItem* folder = project.CreateFolder(QStringLiteral("f"), QUuid(), false);
        TimelineItem* timeline = project.CreateTimeline(QStringLiteral("t"), folder->Id(), false);
        project.DetachFolder(folder);
        QVERIFY(!project.Item(timeline->Id()));
        project.ReinsertFolder(folder, QUuid(), 0);
        QCOMPARE(project.Item(timeline->Id()), timeline);
        QCOMPARE(project.ProjectFolder()->IndexOf(folder), 0);
        project.DetachTimeline(timeline);
        QVERIFY(!project.TimelineItemById(timeline->Id()));
        project.ReinsertTimeline(timeline, project.SourcesFolder()->Id(), -1);
        QCOMPARE(timeline->parent(), project.TimelinesFolder());
        QCOMPARE(project.TimelineItemById(timeline->Id()), timeline);
    }

    // Folders nest at most kMaxFolderDepth deep; a deeper parent is refused like an unsuitable
    // one, with a warning. Look-ups find only what hangs in the tree.
    void deepFolders()
    {
        Project project;
        TestSupport::LogCapture log;
        FolderItem* parent = project.ProjectFolder();
        for (int level = 1; level <= Project::kMaxFolderDepth; ++level) {
            parent = project.CreateFolder(QString::number(level), parent->Id(), false);
            QCOMPARE(parent->Depth(), level);
        }
        QVERIFY(log.warnings.isEmpty());
        FolderItem* tooDeep = project.CreateFolder(QStringLiteral("deeper"), parent->Id(), false);
        QCOMPARE(tooDeep->parent(), project.ProjectFolder());
        QCOMPARE(log.warnings, QStringList{QStringLiteral("Folder nested too deeply, placed in PROJECT: deeper")});
        QCOMPARE(project.Folder(parent->Id()), parent);

        FolderItem* top = project.Folder(project.ProjectFolder()->Children().first()->Id());
        QVERIFY(top);
        project.DetachFolder(top);
        QVERIFY(!project.Folder(parent->Id()));
        QVERIFY(!project.Item(top->Id()));
        project.ReinsertFolder(top, QUuid(), 0);
        QCOMPARE(project.Folder(parent->Id()), parent);
    }

    // Batches run one at a time and their entries are finalised in queue order however the
    // parses come back.
    void parseQueueOrder()
    {
        Project project;
        QList<TimelineItem*> requested;
        QList<QUuid> finalised;
        connect(&project, &Project::ParseSourceRequested, this, [&](TimelineItem* item) { requested << item; });
        connect(&project, &Project::SourceFinalised, this,
                [&](TimelineItem* item, const SourceProperties& properties) {
                    QCOMPARE(properties.id, item->Id());
                    finalised << item->Id();
                });
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        QList<TimelineItem*> first;
        for (int i = 0; i < 3; ++i)
            first << project.CreateSource(Record(clip));
        project.QueuePendingSources();
        TimelineItem* later = project.CreateSource(Record(clip));
        project.QueuePendingSources();
        QCOMPARE(requested, first); // the second batch waits
        project.OnSourceParsed(first[2]->Id());
        project.OnSourceParsed(first[1]->Id());
        QVERIFY(finalised.isEmpty());
        project.OnSourceParsed(QUuid::createUuid()); // unknown: nothing
        project.OnSourceParsed(first[0]->Id());
        QCOMPARE(finalised, (QList<QUuid>{first[0]->Id(), first[1]->Id(), first[2]->Id()}));
        QCOMPARE(requested.size(), 4);
        QCOMPARE(requested.last(), later);
        project.OnSourceParsed(later->Id());
        QCOMPARE(finalised.size(), 4);
        QVERIFY(!project.IsParsing());
        TestSupport::LogCapture log;
        project.OnSourceParsed(later->Id());
        QCOMPARE(log.errors, QStringList{QStringLiteral("Sourced parsed when active parsing list is empty.")});
    }

    // However many sources a batch holds, a few parses are asked for at a time, each as one
    // comes back.
    void parsesAFewAtATime()
    {
        Project project;
        QList<TimelineItem*> requested;
        connect(&project, &Project::ParseSourceRequested, this, [&](TimelineItem* item) { requested << item; });
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        QList<TimelineItem*> items;
        for (int i = 0; i < Project::ParseLimit() + 5; ++i)
            items << project.CreateSource(Record(clip));
        project.QueuePendingSources();
        QCOMPARE(requested.size(), Project::ParseLimit());
        project.OnSourceParsed(items[2]->Id()); // out of order: one slot frees
        QCOMPARE(requested.size(), Project::ParseLimit() + 1);
        for (TimelineItem* item : items)
            if (item != items[2])
                project.OnSourceParsed(item->Id());
        QCOMPARE(requested, items);
        QVERIFY(!project.IsParsing());
    }

    // A source taken out of the tree while it waits to be parsed leaves the queue: the rest is
    // finalised and the next batch starts.
    void detachedWhileParsing()
    {
        Project project;
        QList<TimelineItem*> requested;
        QList<TimelineItem*> finalised;
        connect(&project, &Project::ParseSourceRequested, this, [&](TimelineItem* item) { requested << item; });
        connect(&project, &Project::SourceFinalised, this, [&](TimelineItem* item, const SourceProperties&) { finalised << item; });
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        TimelineItem* first = project.CreateSource(Record(clip));
        TimelineItem* second = project.CreateSource(Record(clip));
        project.QueuePendingSources();
        TimelineItem* later = project.CreateSource(Record(clip));
        project.QueuePendingSources();
        project.OnSourceParsed(second->Id());
        project.DetachSource(first); // never parsed; the batch goes on without it
        QCOMPARE(finalised, QList<TimelineItem*>{second});
        QCOMPARE(requested.last(), later);
        delete first;
        TimelineItem* pending = project.CreateSource(Record(clip));
        project.DetachSource(pending);
        delete pending;
        project.OnSourceParsed(later->Id());
        QVERIFY(!project.IsParsing());
        project.QueuePendingSources();
        QVERIFY(!project.IsParsing());
    }

    // A changed file is reloaded once it has been left alone for a moment: a render writing
    // in bursts reloads its sources once, and a file that cannot be read yet waits.
    void reloadAfterQuiet()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("render.mp4"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4")), path));
        Project project;
        TimelineItem* a = project.CreateSource(Record(path));
        TimelineItem* b = project.CreateSource(Record(path));
        TestSupport::Parse(a->GetTimeline()->GetSource());
        TestSupport::Parse(b->GetTimeline()->GetSource());
        QSignalSpy reloads(&project, &Project::SourceReloadRequested);
        TestSupport::LogCapture log;
        const QByteArray whole = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        for (int burst = 0; burst < 4; ++burst) { // a render writing in bursts
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(whole.left(whole.size() * (burst + 1) / 4));
            file.close();
            QTest::qWait(200);
        }
        QVERIFY(reloads.isEmpty()); // still settling
        QTRY_COMPARE_WITH_TIMEOUT(reloads.size(), 2, 10000);
        QTest::qWait(Project::kReloadQuietMs + 300);
        QCOMPARE(reloads.size(), 2); // once each
        QCOMPARE(log.infos.count(QStringLiteral("Reloading Source: %1").arg(path)), 2);

        // Replaced by write-and-rename: heard again.
        const QString temporary = dir.filePath(QStringLiteral("render.tmp"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4")), temporary));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(temporary, path));
        QTRY_COMPARE_WITH_TIMEOUT(reloads.size(), 4, 10000);

        // Not media (yet): no reload, and still watched.
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
        garbage.write("not a movie");
        garbage.close();
        QTest::qWait(Project::kReloadQuietMs + 800);
        QCOMPARE(reloads.size(), 4);
        QVERIFY(project.WatchedFiles().contains(QFileInfo(path).absoluteFilePath()));
    }

    // A source whose file is replaced (write and rename) by a clip of another length reloads in
    // place: a new source in the old one's tree place, the timelines' clips pointed at it, its
    // bookmarks kept, the viewers emptied and filled again; and again on a second change. Two
    // sources on the file both reload.
    void replacedInPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shot.mp4"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4")), path));
        Project project;
        connect(&project, &Project::ParseSourceRequested, this,
                [](TimelineItem* item) { TestSupport::Parse(item->GetTimeline()->GetSource()); });
        FolderItem* folder = project.CreateFolder(QStringLiteral("shots"), QUuid(), false);
        project.CreateSource(Record(TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4")), folder->Id()));
        TimelineItem* source = project.CreateSource(Record(path, folder->Id()));
        TimelineItem* twin = project.CreateSource(Record(path));
        project.BlockingLoad();
        QCOMPARE(source->GetTimeline()->FrameCount(), 48);
        source->GetTimeline()->AddRangeBookmark(2, 4);
        source->GetTimeline()->GetTrack()->ClipAt(0)->AddFrameBookmark(7);
        source->GetTimeline()->SetOutputId(1);
        TimelineItem* cut = project.CreateTimeline(QStringLiteral("cut"), QUuid(), false);
        for (int i = 0; i < 2; ++i)
            cut->GetTimeline()->InsertClip(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()), -1);
        cut->GetTimeline()->SetOutputId(0);
        QList<QPair<QUuid, int>> viewers;
        connect(&project, &Project::OpenInViewerReplaceRequested, this,
                [&](const QUuid& id, int viewer) { viewers.append({id, viewer}); });
        const QUuid oldId = source->Id();
        const QUuid twinId = twin->Id();

        const QString temporary = dir.filePath(QStringLiteral("shot.tmp"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4")), temporary));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(temporary, path));
        QTRY_VERIFY_WITH_TIMEOUT(!project.SourceItem(oldId) && project.Sources().size() == 3 && !project.IsParsing(), 10000);
        TimelineItem* fresh = nullptr;
        for (TimelineItem* item : folder->findChildren<TimelineItem*>(Qt::FindDirectChildrenOnly))
            if (item->GetTimeline()->GetSource()->Path() == path)
                fresh = item;
        QVERIFY(fresh);
        QCOMPARE(folder->IndexOf(fresh), 1); // where the old one was
        QCOMPARE(fresh->GetTimeline()->FrameCount(), 75);
        QCOMPARE(fresh->GetTimeline()->RangeBookmarks(), (QList<RangeBookmark>{{2, 4}}));
        QCOMPARE(fresh->GetTimeline()->GetTrack()->ClipAt(0)->FrameBookmarks().size(), 1);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(cut->GetTimeline()->GetTrack()->ClipAt(i)->GetSource(), fresh->GetTimeline()->GetSource());
        QCOMPARE(cut->GetTimeline()->FrameCount(), 150);
        QVERIFY(viewers.contains(qMakePair(QUuid(), 1)) && viewers.contains(qMakePair(QUuid(), 0)));
        QVERIFY(viewers.contains(qMakePair(fresh->Id(), 1)) && viewers.contains(qMakePair(cut->Id(), 0)));
        QVERIFY(!project.SourceItem(twinId)); // the other source on the file reloaded too

        // A second change reloads again.
        const QUuid freshId = fresh->Id();
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4")), temporary));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(temporary, path));
        QTRY_VERIFY_WITH_TIMEOUT(!project.SourceItem(freshId) && !project.IsParsing(), 10000);
        QCOMPARE(cut->GetTimeline()->FrameCount(), 96);
    }

    // A file that changes again while its first replacement waits in the queue is replaced
    // once more, and the later replacement takes the earlier one's place: one source on the
    // file in the end, which the timeline's clips and audio override name.
    void changedAgainWhileReplacing()
    {
        const QString path = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        Project project;
        QList<TimelineItem*> requested;
        connect(&project, &Project::ParseSourceRequested, this, [&](TimelineItem* item) { requested.append(item); });
        TimelineItem* source = project.CreateSource(Record(path));
        project.QueuePendingSources();
        TestSupport::Parse(requested.takeFirst()->GetTimeline()->GetSource());
        QVERIFY(!project.IsParsing());
        TimelineItem* cut = project.CreateTimeline(QStringLiteral("cut"), QUuid(), false);
        cut->GetTimeline()->InsertClip(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()), -1);
        cut->GetTimeline()->SetAudioOverrideId(source->Id());
        cut->GetTimeline()->SetAudioOverrideTimeline(source->GetTimeline());

        // Another source waits at the head of the queue, so the first replacement is parsed
        // but not yet finalised when the file changes again.
        project.CreateSource(Record(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"))));
        project.ReloadWatchedSource(path);
        QCOMPARE(requested.size(), 2);
        TimelineItem* first = requested.takeLast();
        TestSupport::Parse(first->GetTimeline()->GetSource());
        project.ReloadWatchedSource(path);
        QCOMPARE(project.Sources().size(), 4); // the source, the other one, two replacements
        while (!requested.isEmpty())
            TestSupport::Parse(requested.takeFirst()->GetTimeline()->GetSource());
        QVERIFY(!project.IsParsing());

        QList<TimelineItem*> onFile;
        for (TimelineItem* item : project.Sources())
            if (item->GetTimeline()->GetSource()->Path() == path)
                onFile.append(item);
        QCOMPARE(onFile.size(), 1);
        TimelineItem* last = onFile.first();
        QVERIFY(last != source && last != first);
        QCOMPARE(cut->GetTimeline()->GetTrack()->ClipAt(0)->GetSource(), last->GetTimeline()->GetSource());
        QCOMPARE(cut->GetTimeline()->AudioOverrideId(), last->Id());
        QCOMPARE(cut->GetTimeline()->AudioOverrideTimeline(), last->GetTimeline());
    }

    // Sources whose files were not found are looked for again under a new source root by their
    // relative paths, and replaced in place by what is found; without relinking nothing moves.
    void relinkUnderNewRoot()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("shots")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("old")));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4")), dir.filePath(QStringLiteral("shots/a.mp4"))));
        Project project;
        project.SetSourceRootDirPath(dir.filePath(QStringLiteral("old"))); // the media is not there
        connect(&project, &Project::ParseSourceRequested, this,
                [](TimelineItem* item) { TestSupport::Parse(item->GetTimeline()->GetSource()); });
        FolderItem* folder = project.CreateFolder(QStringLiteral("f"), QUuid(), false);
        SourceProperties moved = Record(QStringLiteral("/nonexistent/old/shots/a.mp4"), folder->Id());
        moved.relativePath = QStringLiteral("shots/a.mp4");
        moved.name = QStringLiteral("hero");
        const QUuid movedId = project.CreateSource(moved)->Id();
        SourceProperties lost = Record(QStringLiteral("/nonexistent/old/shots/b.mp4"));
        lost.relativePath = QStringLiteral("shots/b.mp4");
        const QUuid lostId = project.CreateSource(lost)->Id();
        project.BlockingLoad();
        QCOMPARE(project.SourceItem(movedId)->GetTimeline()->GetSource()->Status(), SourceStatus::FileNotFound);
        QCOMPARE(project.SourceItem(movedId)->GetTimeline()->GetSource()->RelativePath(), QStringLiteral("shots/a.mp4"));

        project.SetSourceRootDirPath(QDir(dir.path()).filePath(QStringLiteral("elsewhere")), false);
        QVERIFY(!project.IsParsing());
        QVERIFY(project.SourceItem(movedId));

        project.SetSourceRootDirPath(dir.path(), true);
        QTRY_VERIFY(!project.IsParsing());
        QVERIFY(!project.SourceItem(movedId));
        QVERIFY(project.SourceItem(lostId)); // nothing found for it: left as it was
        QCOMPARE(folder->ChildCount(), 1);
        const auto* found = qobject_cast<TimelineItem*>(folder->Children().first());
        QVERIFY(found);
        QCOMPARE(found->GetTimeline()->GetSource()->Path(), QDir(dir.path()).filePath(QStringLiteral("shots/a.mp4")));
        QCOMPARE(found->Name(), QStringLiteral("hero"));
        QCOMPARE(found->GetTimeline()->FrameCount(), 48);
    }
};

QTEST_GUILESS_MAIN(TestProject)
#include "tst_project.moc"
