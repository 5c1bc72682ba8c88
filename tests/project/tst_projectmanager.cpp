#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"
#include "tests/FakeProjectEngine.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>


namespace {

using FakeEngine = FakeProjectEngine;

QString Media(const char* name)
{
    return TestSupport::MediaPath(QString::fromLatin1(name));
}

// The id of the item named `name` anywhere in the tree.
QUuid IdOf(const Project& project, const QString& name)
{
    for (FolderItem* base : project.BaseFolders())
        for (FolderItem* folder : base->FolderTree())
            for (const ProjectItem* child : folder->Children())
                if (child->Name() == name)
                    return child->Id();
    return {};
}

} // namespace

class TestProjectManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init()
    {
        Settings::ResetToDefaults();
        Settings::Get().recentProjects.clear();
    }

    // About 25 operations of every kind on real media, the project file as the oracle: undoing
    // step by step gives back every earlier document exactly, redoing every later one; clearing
    // the stack halfway or at the end keeps the document as it is.
    void undoRedoWalk()
    {
        FakeEngine engine;
        ProjectManager manager(&engine);
        Project& project = *manager.GetProject();
        QUndoStack& stack = *manager.UndoStack();
        QList<QByteArray> documents{ProjectFile::Serialise(project)};
        QStringList texts;
        auto step = [&](const QString& what) {
            documents.append(ProjectFile::Serialise(project));
            texts.append(what);
            QCOMPARE(stack.count(), documents.size() - 1); // one step each
            QVERIFY2(documents.last() != documents.at(documents.size() - 2), qPrintable(what));
        };
        auto id = [&](const char* name) { return IdOf(project, QString::fromLatin1(name)); };
        const QUuid root = project.ProjectFolder()->Id();

        manager.ImportFiles({Media("clip_23976.mp4"), Media("clip_1080p25.mp4"), Media("clip_rotated.mp4")}, {});
        step(QStringLiteral("import three"));
        QCOMPARE(engine.parses, 3);
        const QUuid a = id("clip_23976.mp4");
        const QUuid b = id("clip_1080p25.mp4");
        const QUuid c = id("clip_rotated.mp4");
        QVERIFY(!a.isNull() && !b.isNull() && !c.isNull());
        const QUuid shots = manager.AddFolder(QStringLiteral("shots"), root, {a});
        step(QStringLiteral("folder with a source moved in"));
        const QUuid sub = manager.AddFolder(QStringLiteral("sub"), shots);
        step(QStringLiteral("sub-folder"));
        const QUuid edit = manager.AddTimeline(QStringLiteral("edit"), QUuid());
        step(QStringLiteral("timeline"));
        const QUuid alt = manager.AddTimeline(QStringLiteral("alt"), shots);
        step(QStringLiteral("timeline in a folder"));
        manager.InsertClips(edit, {a, b}, -1);
        step(QStringLiteral("two clips"));
        manager.InsertClips(edit, {c, a}, 0);
        step(QStringLiteral("two clips in front"));
        QCOMPARE(manager.RegularTimeline(edit)->GetTrack()->ClipCount(), 4);
        QCOMPARE(manager.RegularTimeline(edit)->GetTrack()->ClipAt(0)->GetSource()->Id(), c); // the order kept
        manager.InsertClips(alt, {a}, -1);
        step(QStringLiteral("clip in the other timeline"));
        QList<QUuid> order = manager.RegularTimeline(edit)->GetTrack()->ClipIds();
        std::reverse(order.begin(), order.end());
        manager.SetClipOrder(edit, order);
        step(QStringLiteral("clips reversed"));
        manager.SetPlaybackRangeByFrame(edit, 5, 40);
        step(QStringLiteral("range"));
        manager.ToggleRangeBookmark(edit, 2, 8);
        step(QStringLiteral("range bookmark"));
        manager.ToggleFrameBookmark(edit, 3);
        step(QStringLiteral("frame bookmark"));
        manager.RenameItem(b, QStringLiteral("hero"));
        step(QStringLiteral("rename"));
        QVERIFY(manager.MoveProjectItems({b}, sub, 0));
        step(QStringLiteral("move into the sub-folder"));
        manager.SetAudioOverride(alt, b);
        step(QStringLiteral("audio override"));
        manager.OpenItemsInViewers({edit, alt}, 0, false);
        step(QStringLiteral("two viewers"));
        QCOMPARE(engine.shown[1], manager.RegularTimeline(alt));
        manager.DuplicateSource(c);
        step(QStringLiteral("duplicate"));
        manager.DeleteClips(edit, {0, 2});
        step(QStringLiteral("delete two clips"));
        ProjectManager::ImportOptions into;
        into.parentId = sub;
        into.index = 0;
        into.timelineId = alt;
        into.clipIndex = 0;
        manager.ImportFiles({Media("clip_1366.mp4"), Media("seq_png/seq.0001.png")}, into);
        step(QStringLiteral("import into a folder and a timeline"));
        QCOMPARE(manager.RegularTimeline(alt)->GetTrack()->ClipCount(), 3);
        manager.SetPlaybackRangeByFrame(c, 2, 20);
        step(QStringLiteral("a source's range"));
        manager.DeleteSource(a); // used by both timelines, shown in neither
        step(QStringLiteral("delete a source two timelines use"));
        QVERIFY(!manager.RegularTimeline(alt)->GetTrack()->HasSource(a));
        const QUuid late = manager.AddTimeline(QStringLiteral("late"), QUuid());
        step(QStringLiteral("another timeline"));
        manager.InsertClips(late, {c, b}, -1);
        step(QStringLiteral("its clips"));
        manager.DeleteProjectItems({shots}); // alt (shown in viewer 1), sub, hero, the imports
        step(QStringLiteral("delete a folder with contents"));
        QVERIFY(!project.Item(shots) && !project.Item(b) && !project.Item(alt));
        QVERIFY(!engine.shown[1]);
        QCOMPARE(manager.RegularTimeline(late)->GetTrack()->ClipCount(), 1); // hero's clip went
        manager.DeleteTimeline(edit);
        step(QStringLiteral("delete the timeline shown in viewer 0"));
        QVERIFY(!engine.shown[0]);
        QVERIFY(documents.size() >= 26);

        for (int i = documents.size() - 2; i >= 0; --i) {
            stack.undo();
            QVERIFY2(ProjectFile::Serialise(project) == documents.at(i), qPrintable(QStringLiteral("undo of %1").arg(texts.at(i))));
        }
        QCOMPARE(engine.shown[0], nullptr);
        for (int i = 1; i < documents.size(); ++i) {
            stack.redo();
            QVERIFY2(ProjectFile::Serialise(project) == documents.at(i), qPrintable(QStringLiteral("redo of %1").arg(texts.at(i - 1))));
        }
        QCOMPARE(engine.parses, 6); // three, one duplicate, two: undo and redo never parse again

        const int half = documents.size() / 2;
        for (int i = documents.size() - 1; i > half; --i)
            stack.undo();
        stack.clear();
        QCOMPARE(ProjectFile::Serialise(project), documents.at(half));
        QVERIFY(!project.Item(late)); // made after the half
        manager.ToggleRangeBookmark(edit, 1, 2);
        stack.clear();
        QVERIFY(manager.RegularTimeline(edit)->HasRangeBookmark(1, 2));
        QVERIFY(!stack.canUndo() && !stack.canRedo());
    }

    // The named steps, and the cases the operations must get right.
    void macroTexts()
    {
        FakeEngine engine;
        ProjectManager manager(&engine);
        Project& project = *manager.GetProject();
        QUndoStack& stack = *manager.UndoStack();
        const QList<QUuid> sources = manager.ImportFiles({Media("clip_23976.mp4"), Media("clip_rotated.mp4")}, {});
        const QUuid timeline = manager.AddTimeline(QString(), QUuid());
        manager.InsertClips(timeline, sources, -1);
        manager.SetClipOrder(timeline, manager.RegularTimeline(timeline)->GetTrack()->ClipIds());
        manager.SetPlaybackRangeByFrame(timeline, 1, 3);
        manager.ToggleRangeBookmark(timeline, 1, 3);
        manager.ToggleFrameBookmark(timeline, 2);
        manager.ToggleFrameBookmark(timeline, 2);
        manager.SetAudioOverride(timeline, sources.at(0));
        manager.OpenItemsInViewers({timeline}, 0, false);
        manager.DuplicateSource(sources.at(1));
        manager.DeleteClips(timeline, {0});
        const QUuid folder = manager.AddFolder(QStringLiteral("f"), QUuid());
        QVERIFY(manager.MoveProjectItems({sources.at(1)}, folder, -1));
        manager.DeleteSource(sources.at(0));
        manager.DeleteTimeline(timeline);
        manager.DeleteProjectItems({folder});
        manager.RenameItem(folder, QStringLiteral("g")); // gone: nothing
        QStringList texts;
        for (int i = 0; i < stack.count(); ++i)
            texts.append(stack.text(i));
        QCOMPARE(texts, (QStringList{QStringLiteral("AddSources"), QStringLiteral("AddTimeline"), QStringLiteral("InsertClips"),
                                     QStringLiteral("SetClipOrder"), QStringLiteral("SetPlaybackRange"),
                                     QStringLiteral("ToggleRangeBookmark"), QStringLiteral("InsertFrameBookmark"),
                                     QStringLiteral("RemoveFrameBookmark"), QStringLiteral("SetAudioOverride"),
                                     QStringLiteral("OpenInViewer"), QStringLiteral("DuplicateSource"), QStringLiteral("DeleteClips"),
                                     QStringLiteral("AddFolder"), QStringLiteral("MoveProjectItems"), QStringLiteral("DeleteSources"),
                                     QStringLiteral("DeleteTimeline"), QStringLiteral("DeleteProjectItems")}));
        // The commands inside the macros carry their own texts.
        const QUndoCommand* add = stack.command(0);
        QCOMPARE(add->childCount(), 1);
        QCOMPARE(add->child(0)->text(), QStringLiteral("AddSource(s)"));
        QCOMPARE(project.Sources().size(), 1); // the duplicate, outside the folder
    }

    void edgeCases_data()
    {
        QTest::addColumn<QString>("what");
        for (const char* what : {"undoing a deleted source restores its place and its clips", "one step without undo history",
                                 "three ids from viewer 2", "renaming to the same or no name", "toggling a range bookmark twice",
                                 "moving into itself", "unknown ids and sources for timelines", "deleting clips from the highest index",
                                 "an override loop", "moving two items down their folder", "a source's range and the timelines using it",
                                 "clips inserted beyond the end"})
            QTest::newRow(what) << QString::fromLatin1(what);
    }

    void edgeCases()
    {
        QFETCH(QString, what);
        FakeEngine engine;
        if (what == QLatin1String("one step without undo history"))
            Settings::Get().projectUndoEnabled = false;
        ProjectManager manager(&engine);
        Project& project = *manager.GetProject();
        QUndoStack& stack = *manager.UndoStack();
        const QList<QUuid> sources =
            manager.ImportFiles({Media("clip_23976.mp4"), Media("clip_1080p25.mp4"), Media("clip_rotated.mp4")}, {});
        const QUuid one = manager.AddTimeline(QStringLiteral("one"), QUuid());
        const QUuid two = manager.AddTimeline(QStringLiteral("two"), QUuid());
        manager.InsertClips(one, {sources.at(0), sources.at(1), sources.at(0)}, -1);
        manager.InsertClips(two, {sources.at(0)}, -1);
        const int before = stack.count();

        if (what == QLatin1String("undoing a deleted source restores its place and its clips")) {
            const QUuid folder = manager.AddFolder(QStringLiteral("f"), QUuid(), {sources.at(2), sources.at(0)});
            manager.OpenItemsInViewers({sources.at(0)}, 1, false);
            manager.SetAudioOverride(two, sources.at(0));
            const QByteArray document = ProjectFile::Serialise(project);
            manager.DeleteSource(sources.at(0));
            QVERIFY(!engine.shown[1]);
            QCOMPARE(manager.RegularTimeline(one)->GetTrack()->ClipCount(), 1);
            QVERIFY(manager.RegularTimeline(two)->AudioOverrideId().isNull());
            stack.undo();
            QCOMPARE(ProjectFile::Serialise(project), document);
            QCOMPARE(project.Folder(folder)->IndexOf(project.SourceItem(sources.at(0))), 1);
            const Track* track = manager.RegularTimeline(one)->GetTrack();
            QCOMPARE(track->ClipIndicesForSource(sources.at(0)), (QList<int>{0, 2}));
            QCOMPARE(engine.shown[1], manager.AnyTimeline(sources.at(0)));
            QCOMPARE(manager.RegularTimeline(two)->AudioOverrideTimeline(), manager.AnyTimeline(sources.at(0)));
        } else if (what == QLatin1String("one step without undo history")) {
            QCOMPARE(stack.undoLimit(), 1);
            manager.RenameItem(one, QStringLiteral("first"));
            manager.RenameItem(one, QStringLiteral("second"));
            QCOMPARE(stack.count(), 1);
            stack.undo();
            QCOMPARE(project.Item(one)->Name(), QStringLiteral("first"));
            QVERIFY(!stack.canUndo());
        } else if (what == QLatin1String("three ids from viewer 2")) {
            manager.OpenItemsInViewers({one, two, sources.at(0)}, 2, false);
            QCOMPARE(engine.shown[2], manager.RegularTimeline(one));
            QCOMPARE(engine.shown[3], manager.RegularTimeline(two));
            QCOMPARE(manager.AnyTimeline(sources.at(0))->OutputId(), -1);
            manager.OpenItemsInViewers({one}, 2, false); // shown there already
            manager.OpenItemsInViewers({one}, 4, false);
            QCOMPARE(stack.count(), before + 1);
            manager.OpenItemsInViewers({two}, 2, false); // from viewer 3 to 2
            QCOMPARE(manager.ItemInViewer(2)->Id(), two);
            QVERIFY(!manager.ItemInViewer(3));
            stack.undo();
            QCOMPARE(manager.ItemInViewer(2)->Id(), one);
            QCOMPARE(manager.ItemInViewer(3)->Id(), two);
        } else if (what == QLatin1String("renaming to the same or no name")) {
            manager.RenameItem(one, QStringLiteral("one"));
            manager.RenameItem(one, QString());
            QCOMPARE(stack.count(), before);
        } else if (what == QLatin1String("toggling a range bookmark twice")) {
            manager.ToggleRangeBookmark(one, 4, 9);
            manager.ToggleRangeBookmark(one, 4, 9);
            QVERIFY(manager.RegularTimeline(one)->RangeBookmarks().isEmpty());
            stack.undo();
            QVERIFY(manager.RegularTimeline(one)->HasRangeBookmark(4, 9));
        } else if (what == QLatin1String("moving into itself")) {
            const QUuid outer = manager.AddFolder(QStringLiteral("outer"), QUuid());
            const QUuid inner = manager.AddFolder(QStringLiteral("inner"), outer);
            const int count = stack.count();
            QVERIFY(!manager.MoveProjectItems({outer}, inner, 0));
            QVERIFY(manager.MoveProjectItems({sources.at(0), outer}, outer, 0)); // the folder itself stays
            QCOMPARE(stack.count(), count + 1);
            QCOMPARE(project.Folder(inner)->parent(), project.Folder(outer));
            // Within one folder, further down: the index names the place before the move.
            const QUuid base = project.ProjectFolder()->Id();
            QVERIFY(manager.MoveProjectItems({one, two}, base, 0));
            const QList<ProjectItem*> children = project.ProjectFolder()->Children();
            QCOMPARE(children.at(0)->Id(), one);
            QCOMPARE(children.at(1)->Id(), two);
            QVERIFY(manager.MoveProjectItems({one}, base, 2));
            QCOMPARE(project.ProjectFolder()->Children().at(1)->Id(), one);
            stack.undo();
            QCOMPARE(project.ProjectFolder()->Children().at(0)->Id(), one);
        } else if (what == QLatin1String("unknown ids and sources for timelines")) {
            const QUuid unknown = QUuid::createUuid();
            manager.InsertClips(sources.at(0), {sources.at(1)}, -1); // a source is no timeline
            manager.InsertClips(unknown, {sources.at(1)}, -1);
            manager.InsertClips(one, {unknown}, -1);
            manager.DeleteClip(one, 7);
            manager.DeleteClips(one, {9});
            manager.DeleteSource(unknown);
            manager.DeleteTimeline(sources.at(0));
            manager.DeleteProjectItems({unknown, project.SourcesFolder()->Id()});
            manager.SetAudioOverride(sources.at(0), one);
            manager.SetClipOrder(sources.at(0), {});
            manager.ToggleFrameBookmark(one, 100000);
            manager.RenameItem(unknown, QStringLiteral("x"));
            manager.OpenItemsInViewers({unknown}, 0, false);
            manager.DuplicateSource(one);
            QCOMPARE(stack.count(), before);
        } else if (what == QLatin1String("an override loop")) {
            const QUuid three = manager.AddTimeline(QStringLiteral("three"), QUuid());
            manager.SetAudioOverride(one, two);
            manager.SetAudioOverride(two, three);
            const int count = stack.count();
            manager.SetAudioOverride(three, one); // would play its own sound
            manager.SetAudioOverride(one, one);
            QCOMPARE(stack.count(), count);
            // Made anyway (a file may say so), the copies are still remade, once round.
            manager.RegularTimeline(three)->SetAudioOverrideId(one);
            manager.ResolveAudioOverride(manager.RegularTimeline(three));
            manager.ResolveAudioOverride(manager.RegularTimeline(one));
            manager.ResolveAudioOverride(manager.RegularTimeline(two));
            manager.RegularTimeline(one)->RefreshDecodeCopies();
        } else if (what == QLatin1String("moving two items down their folder")) {
            const QUuid folder = manager.AddFolder(QStringLiteral("f"), QUuid());
            QVERIFY(manager.MoveProjectItems(sources, folder, -1));
            const QUuid fourth = manager.AddTimeline(QStringLiteral("d"), folder);
            QVERIFY(manager.MoveProjectItems({sources.at(0), sources.at(1)}, folder, 3));
            QList<QUuid> order;
            for (const ProjectItem* child : project.Folder(folder)->Children())
                order.append(child->Id());
            QCOMPARE(order, (QList<QUuid>{sources.at(2), sources.at(0), sources.at(1), fourth}));
            stack.undo();
            order.clear();
            for (const ProjectItem* child : project.Folder(folder)->Children())
                order.append(child->Id());
            QCOMPARE(order, (QList<QUuid>{sources.at(0), sources.at(1), sources.at(2), fourth}));
        } else if (what == QLatin1String("a source's range and the timelines using it")) {
            Timeline* timeline = manager.RegularTimeline(two); // one clip of 48 frames
            manager.SetPlaybackRangeByFrame(two, 20, 40);
            timeline->SetPlaybackFrame(30);
            const QByteArray document = ProjectFile::Serialise(project);
            manager.SetPlaybackRangeByFrame(sources.at(0), 0, 9); // the clip shrinks to 10 frames
            QCOMPARE(timeline->FrameCount(), 10);
            stack.undo();
            QCOMPARE(timeline->RangeStartFrame(), 20);
            QCOMPARE(timeline->StoredRangeEndFrame(), 40);
            QCOMPARE(timeline->PlaybackFrame(), 30);
            QCOMPARE(ProjectFile::Serialise(project), document);
        } else if (what == QLatin1String("clips inserted beyond the end")) {
            manager.InsertClips(two, {sources.at(1), sources.at(2)}, 99);
            const Track* track = manager.RegularTimeline(two)->GetTrack();
            QCOMPARE(track->ClipAt(1)->GetSource()->Id(), sources.at(1));
            QCOMPARE(track->ClipAt(2)->GetSource()->Id(), sources.at(2));
        } else if (what == QLatin1String("deleting clips from the highest index")) {
            const QList<QUuid> ids = manager.RegularTimeline(one)->GetTrack()->ClipIds();
            manager.DeleteClips(one, {0, 2, 2});
            QCOMPARE(manager.RegularTimeline(one)->GetTrack()->ClipIds(), QList<QUuid>{ids.at(1)});
            stack.undo();
            QCOMPARE(manager.RegularTimeline(one)->GetTrack()->ClipIds(), ids);
        }
    }

    // New, open, import and save: what each does to the project, the undo stack, the saved
    // state and the recent projects.
    void lifeCycle()
    {
        QTemporaryDir dir;
        FakeEngine engine;
        ProjectManager manager(&engine);
        QVERIFY(manager.IsSaved());
        manager.NewProject(true);
        const QUuid fallback = manager.GetProject()->DefaultTimelineId();
        QVERIFY(manager.RegularTimeline(fallback));
        QCOMPARE(manager.GetProject()->Item(fallback)->Name(), QStringLiteral("Default Timeline"));
        QCOMPARE(engine.shown[0], manager.RegularTimeline(fallback)); // activateDefaultTimeline
        QCOMPARE(manager.UndoStack()->count(), 0);

        ProjectManager::ImportOptions options;
        options.addToDefaultTimeline = true;
        options.outputId = 1;
        const QList<QUuid> sources = manager.ImportFiles({Media("clip_23976.mp4"), Media("tone_440.wav")}, options);
        QCOMPARE(sources.size(), 2);
        QCOMPARE(manager.RegularTimeline(fallback)->GetTrack()->ClipCount(), 1); // the sound has no picture
        QCOMPARE(engine.shown[1], manager.AnyTimeline(sources.last()));
        QVERIFY(!manager.IsSaved());

        const QString path = dir.filePath(QStringLiteral("review.plvx2"));
        QSignalSpy clean(&manager, &ProjectManager::UndoCleanChanged);
        QVERIFY(manager.SaveProject(path));
        QVERIFY(manager.IsSaved());
        QVERIFY(!clean.isEmpty());
        QCOMPARE(Settings::Get().recentProjects.value(0), path);
        const QByteArray saved = ProjectFile::Serialise(*manager.GetProject());
        manager.RenameItem(fallback, QStringLiteral("cut"));
        QVERIFY(!manager.IsSaved());
        manager.UndoStack()->undo();
        QVERIFY(manager.IsSaved());

        // A save that cannot be written keeps the path and the unsaved state.
        manager.RenameItem(fallback, QStringLiteral("cut"));
        QVERIFY(!manager.SaveProject(QStringLiteral("/proc/plovex/nowhere.plvx2")));
        QCOMPARE(ProjectGlobals::ProjectPath(), path);
        QVERIFY(!manager.IsSaved());
        QVERIFY(manager.UndoStack()->canUndo());

        // A file that cannot be read changes nothing; one that can replaces the project.
        {
            TestSupport::LogCapture log;
            QVERIFY(!manager.OpenProject(dir.filePath(QStringLiteral("missing.plvx2"))));
            QVERIFY(manager.UndoStack()->canUndo());
            QVERIFY(manager.RegularTimeline(fallback));
        }
        QSignalSpy loaded(&manager, &ProjectManager::ProjectLoadCompleted);
        QVERIFY(manager.OpenProject(path));
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(manager.UndoStack()->count(), 0);
        QVERIFY(manager.IsSaved());
        QCOMPARE(ProjectFile::Serialise(*manager.GetProject()), saved);

        // Importing a project merges it into this one and leaves it unsaved.
        manager.NewProject(false);
        QVERIFY(manager.GetProject()->Timelines().isEmpty());
        QVERIFY(manager.OpenProject(path, false));
        QCOMPARE(manager.GetProject()->Sources().size(), 2);
        QVERIFY(!manager.IsSaved());
        QCOMPARE(manager.UndoStack()->count(), 0);
    }

    // An engine that takes no parse (shutting down) leaves the sources unparsed, and the import
    // still ends.
    void engineRefusingParses()
    {
        FakeEngine engine;
        engine.refuse = true;
        ProjectManager manager(&engine);
        const QList<QUuid> ids = manager.ImportFiles({Media("clip_23976.mp4")}, {});
        QCOMPARE(ids.size(), 1);
        QVERIFY(!manager.GetProject()->IsParsing());
        QVERIFY(!manager.AnyTimeline(ids.first())->GetSource()->IsParsed());
    }

    // A folder of shots imports as one step, numbered images as one sequence.
    void importFolder()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a/b")));
        QVERIFY(QFile::copy(Media("clip_23976.mp4"), dir.filePath(QStringLiteral("a/shot1.mp4"))));
        QVERIFY(QFile::copy(Media("tone_440.wav"), dir.filePath(QStringLiteral("a/b/tone.wav"))));
        for (int frame = 1; frame <= 3; ++frame)
            QVERIFY(QFile::copy(Media("seq_png/seq.0001.png"), dir.filePath(QStringLiteral("a/b/plate.%1.png").arg(frame, 4, 10, QLatin1Char('0')))));
        TestSupport::Touch(dir.filePath(QStringLiteral("a/notes.txt")));
        FakeEngine engine;
        ProjectManager manager(&engine);
        const QList<QUuid> ids = manager.ImportFolder(dir.filePath(QStringLiteral("a")), {});
        QCOMPARE(ids.size(), 3);
        QCOMPARE(manager.UndoStack()->count(), 1);
        QStringList names;
        for (const QUuid& id : ids)
            names.append(manager.GetProject()->Item(id)->Name());
        QCOMPARE(names.size(), 3);
        QVERIFY(manager.AnyTimeline(ids.at(0))->GetSource()->IsImageSequence()
                || manager.AnyTimeline(ids.at(1))->GetSource()->IsImageSequence());
        manager.UndoStack()->undo();
        QVERIFY(manager.GetProject()->Sources().isEmpty());
    }

    // Swapping A and B and clearing the viewers are one step each, and undo gives back what
    // was shown; a swap with B empty moves A's item to B.
    void swapAndClearViewers()
    {
        FakeEngine engine;
        ProjectManager manager(&engine);
        const QList<QUuid> ids = manager.ImportFiles({Media("clip_23976.mp4"), Media("clip_rotated.mp4")}, {});
        QCOMPARE(ids.size(), 2);
        manager.OpenItemsInViewers(ids, 0, false);
        QUndoStack& stack = *manager.UndoStack();
        auto shown = [&](int viewer) { return manager.ItemInViewer(viewer) ? manager.ItemInViewer(viewer)->Id() : QUuid(); };
        QCOMPARE(shown(0), ids.at(0));
        QCOMPARE(shown(1), ids.at(1));
        const int steps = stack.count();
        manager.SwapViewerItems();
        QCOMPARE(stack.count(), steps + 1);
        QCOMPARE(shown(0), ids.at(1));
        QCOMPARE(shown(1), ids.at(0));
        QCOMPARE(engine.shown[0], manager.AnyTimeline(ids.at(1)));
        QCOMPARE(engine.shown[1], manager.AnyTimeline(ids.at(0)));
        stack.undo();
        QCOMPARE(shown(0), ids.at(0));
        QCOMPARE(shown(1), ids.at(1));

        manager.ClearViewers();
        QCOMPARE(stack.count(), steps + 1);
        QCOMPARE(shown(0), QUuid());
        QCOMPARE(shown(1), QUuid());
        QCOMPARE(engine.shown[0], nullptr);
        stack.undo();
        QCOMPARE(shown(0), ids.at(0));
        QCOMPARE(shown(1), ids.at(1));

        manager.ClearViewers();
        manager.OpenItemsInViewers({ids.at(0)}, 0, false);
        manager.SwapViewerItems();
        QCOMPARE(shown(0), QUuid());
        QCOMPARE(shown(1), ids.at(0));
        stack.undo();
        QCOMPARE(shown(0), ids.at(0));
        QCOMPARE(shown(1), QUuid());
    }
};

QTEST_GUILESS_MAIN(TestProjectManager)
#include "tst_projectmanager.moc"
