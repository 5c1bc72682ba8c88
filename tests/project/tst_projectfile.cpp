#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// Sources are parsed where they are asked for, at once.
void ParseOnRequest(Project& project)
{
    QObject::connect(&project, &Project::ParseSourceRequested, &project,
                     [](TimelineItem* item) { TestSupport::Parse(item->GetTimeline()->GetSource()); });
}

AnnotationStroke Stroke(int type)
{
    AnnotationStroke stroke;
    stroke.type = type;
    stroke.width = 3.0f;
    stroke.color = QColor(255, 0, 0, 200);
    stroke.points = {QPointF(0.1, 0.2), QPointF(-0.25, 0.125)};
    stroke.path.moveTo(0.1, 0.2);
    stroke.path.lineTo(-0.25, 0.125);
    if (type == AnnotationStroke::Text)
        stroke.text = QStringLiteral("too dark");
    return stroke;
}

// A project with folders three deep, two sources, timelines with clips of both, range and
// frame bookmarks with strokes of every type, and background annotations.
void Fill(Project& project)
{
    // A name with everything a JSON string must escape, and more than ASCII.
    FolderItem* one = project.CreateFolder(QStringLiteral("one \"quoted\"\\ back\nline\ttab \u0001 ünïcødé ✓"), QUuid(), false);
    FolderItem* two = project.CreateFolder(QStringLiteral("two"), one->Id(), true);
    FolderItem* three = project.CreateFolder(QStringLiteral("three"), two->Id(), false);
    three->SetExpanded(true);
    SourceProperties a;
    a.path = TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"));
    a.parentId = two->Id();
    a.cutInFrame = 5;
    a.cutOutFrame = 40;
    a.playbackFrame = 12;
    a.rangeBookmarks = {{6, 9}, {20, 30}};
    SourceProperties b;
    b.path = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
    b.name = QStringLiteral("B roll");
    b.audioDelay = -40000;
    TimelineItem* sourceA = project.CreateSource(a);
    TimelineItem* sourceB = project.CreateSource(b);
    project.BlockingLoad();
    sourceA->GetTimeline()->SetPanZoom(QPointF(0.25, -0.5), 2.5f, true);
    sourceA->GetTimeline()->GetTrack()->ClipAt(0)->AddFrameBookmark(10);
    FrameBookmark* bookmark = sourceA->GetTimeline()->GetTrack()->ClipAt(0)->FrameBookmarkAt(10);
    for (int type = 0; type <= 8; ++type)
        bookmark->Strokes().append(Stroke(type));

    TimelineItem* cut = project.CreateTimeline(QStringLiteral("cut"), three->Id(), false);
    TimelineItem* other = project.CreateTimeline(QStringLiteral("other"), QUuid(), false);
    for (TimelineItem* source : {sourceA, sourceB, sourceA})
        cut->GetTimeline()->InsertClip(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()), -1);
    cut->GetTimeline()->SetPlaybackRange(3, 60);
    cut->GetTimeline()->SetPlaybackFrame(15);
    cut->GetTimeline()->AddRangeBookmark(1, 2);
    cut->GetTimeline()->GetTrack()->ClipAt(1)->AddFrameBookmark(cut->GetTimeline()->GetTrack()->ClipAt(1)->StartFrame() + 3);
    cut->GetTimeline()->GetTrack()->ClipAt(1)->FrameBookmarks().first()->Strokes().append(Stroke(4));
    cut->GetTimeline()->BackgroundAnnotations()->Strokes().append(Stroke(AnnotationStroke::Text));
    cut->GetTimeline()->SetAudioOverrideId(sourceB->Id());
    project.SetDefaultTimeline(cut->Id());
    other->GetTimeline()->SetUseSourceInOuts(false);
    project.SetNotes(QStringLiteral("review notes"));
    project.SetImageSequenceFrameRate(30);
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { Settings::ResetToDefaults(); }

    // Written, read into a new project and written again: the same bytes, and the same under
    // a German locale.
    void roundTrip()
    {
        QTemporaryDir dir;
        QByteArray first;
        {
            Project project;
            ParseOnRequest(project);
            Fill(project);
            project.SetProjectPath(dir.filePath(QStringLiteral("review.plvx2")));
            QVERIFY(ProjectFile::Write(project));
            first = ProjectFile::Serialise(project);
        }
        for (const char* locale : {"C", "de_DE.UTF-8"}) {
            std::setlocale(LC_ALL, locale);
            QLocale::setDefault(QLocale(QString::fromLatin1(locale).left(5)));
            Project read;
            ParseOnRequest(read);
            TestSupport::LogCapture log;
            QVERIFY(ProjectFile::Read(read, dir.filePath(QStringLiteral("review.plvx2")), true));
            QVERIFY2(log.errors.isEmpty() && log.warnings.isEmpty(), qPrintable((log.errors + log.warnings).join('\n')));
            const QByteArray second = ProjectFile::Serialise(read);
            QCOMPARE(QString::fromUtf8(second), QString::fromUtf8(first));
            // What it holds, to be sure the bytes say something.
            QCOMPARE(read.Sources().size(), 2);
            QCOMPARE(read.Timelines().size(), 2);
            const TimelineItem* cut = nullptr;
            for (const TimelineItem* item : read.Timelines())
                if (item->Name() == QStringLiteral("cut"))
                    cut = item;
            QVERIFY(cut);
            QCOMPARE(read.DefaultTimelineId(), cut->Id());
            QCOMPARE(cut->GetTimeline()->GetTrack()->ClipCount(), 3);
            QCOMPARE(cut->GetTimeline()->PlaybackFrame(), 15);
            QCOMPARE(cut->GetTimeline()->BackgroundAnnotations()->Strokes().size(), 1);
            QCOMPARE(qobject_cast<FolderItem*>(cut->parent())->Name(), QStringLiteral("three"));
            const auto* one = qobject_cast<FolderItem*>(cut->parent()->parent()->parent());
            QCOMPARE(one->Name(), QStringLiteral("one \"quoted\"\\ back\nline\ttab \u0001 ünïcødé ✓"));
        }
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
        const QJsonObject document = QJsonDocument::fromJson(first).object();
        QCOMPARE(document.keys(), (QStringList{QStringLiteral("_meta"), QStringLiteral("_project"), QStringLiteral("folders"),
                                               QStringLiteral("sources"), QStringLiteral("timelines"), QStringLiteral("viewer"),
                                               QStringLiteral("z_bookmarks")}));
    }

    void readErrors()
    {
        QTemporaryDir dir;
        auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            return dir.filePath(name);
        };
        Project project;
        TimelineItem* kept = project.CreateTimeline(QStringLiteral("kept"), QUuid(), false);
        TestSupport::LogCapture log;
        const QString missing = dir.filePath(QStringLiteral("none.plvx2"));
        QVERIFY(!ProjectFile::Read(project, missing, true));
        const QString noMeta = write(QStringLiteral("a.plvx2"), R"({"folders": []})");
        QVERIFY(!ProjectFile::Read(project, noMeta, true));
        const QString version0 = write(QStringLiteral("b.plvx2"), R"({"_meta": {"format": "plvx2", "version": 0}})");
        QVERIFY(!ProjectFile::Read(project, version0, true));
        QCOMPARE(log.errors, (QStringList{QStringLiteral("Failed to open project. File does not exist: %1").arg(missing),
                                          QStringLiteral("Project metadata not found: %1").arg(noMeta),
                                          QStringLiteral("Unknown file format: %1").arg(version0)}));
        QCOMPARE(project.TimelineItemById(kept->Id()), kept); // nothing changed
        QVERIFY(ProjectGlobals::ProjectPath().isEmpty());

        const QString dorvy = write(QStringLiteral("c.dorvy"), R"({"_meta": {"format": "dorvy", "version": 1},
            "folders": [{"_id": "{00000000-0000-0000-0000-000000000001}", "name": "f"},
                        {"_id": "{00000000-0000-0000-0000-000000000001}", "name": "again"}],
            "timelines": [{"_id": "{00000000-0000-0000-0000-000000000002}", "name": "t", "range_bookmarks": "1,2,3"}]})");
        QVERIFY(ProjectFile::Read(project, dorvy, false));
        QCOMPARE(log.warnings, QStringList{QStringLiteral("ID already exists in project... Skipping.")});
        const TimelineItem* t = project.TimelineItemById(QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-000000000002}")));
        QVERIFY(t);
        QCOMPARE(t->GetTimeline()->RangeBookmarks(), (QList<RangeBookmark>{{1, 2}}));
        QVERIFY(ProjectGlobals::ProjectPath().isEmpty()); // merged, not opened
    }

    // A save that runs out of room (the file size limit lowered, as a full disk would)
    // fails with the message and leaves the old file as it was.
    void failedSaveKeepsTheOldFile()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        Project project;
        project.SetProjectPath(dir.filePath(QStringLiteral("keep.plvx2")));
        QVERIFY(ProjectFile::Write(project));
        const QByteArray before = [&] {
            QFile file(ProjectGlobals::ProjectPath());
            file.open(QIODevice::ReadOnly);
            return file.readAll();
        }();
        for (int i = 0; i < 200; ++i)
            project.CreateFolder(QStringLiteral("folder %1").arg(i), QUuid(), false);
        QVERIFY(ProjectFile::Serialise(project).size() > 16384);
        struct rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit limited = saved;
        limited.rlim_cur = 8192;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        TestSupport::LogCapture log;
        const bool written = ProjectFile::Write(project);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!written);
        QCOMPARE(log.errors, QStringList{QStringLiteral("Failed to open project file for write: %1").arg(ProjectGlobals::ProjectPath())});
        QFile file(ProjectGlobals::ProjectPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.plvx2")}); // nothing left behind
#else
        QSKIP("the file size limit is a POSIX one");
#endif
    }

    // The older format: 1-based frames, its own layout numbers, items moved into their stored
    // folders whatever order the file lists them in.
    void olderFormat()
    {
        QTemporaryDir dir;
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"));
        const QString path = dir.filePath(QStringLiteral("old.plvx"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(R"({"_meta": {"format": "plvx", "version": 2},
            "viewer": {"layout": 1},
            "project": {"source_root_dir": "[PROJECT_DIR]", "sequence_frame_rate": 500, "notes": "old"},
            "folders": [
                {"_id": "{00000000-0000-0000-0000-00000000000b}", "name": "inner", "parent_id": "{00000000-0000-0000-0000-00000000000a}", "index": 0},
                {"_id": "{00000000-0000-0000-0000-00000000000a}", "name": "outer", "expanded": true},
                {"_id": "{00000000-0000-0000-0000-00000000000a}", "name": "again"}],
            "sources": [{"_id": "{00000000-0000-0000-0000-0000000000c1}", "path": "%1", "name": "shot",
                         "frame": 10, "range_start": 5, "range_end": 20, "viewer_index": 0,
                         "parent_id": "{00000000-0000-0000-0000-00000000000b}", "index": 0,
                         "bookmarks": [{"frame": 3, "strokes": [{"width": 2, "color": "#ffff0000", "type": 0, "points": "0.1,0.2;0.3,0.4;"}]},
                                       {"frame": 0, "strokes": []}],
                         "bookmarks_range": [{"frame_start": 1, "frame_end": 4}, {"frame_start": 2, "frame_end": 0}]}],
            "timelines": [{"_id": "{00000000-0000-0000-0000-0000000000d1}", "name": "edit", "default": true,
                           "elements": [{"source_id": "{00000000-0000-0000-0000-0000000000c1}"}, {"source_id": "{00000000-0000-0000-0000-000000000999}"}],
                           "frame": 2, "range_start": 1, "range_end": 3}]})").arg(clip).toUtf8());
        file.close();
        Project project;
        ParseOnRequest(project);
        QList<QPair<QUuid, int>> opened;
        connect(&project, &Project::OpenInViewerRequested, this, [&](const QUuid& id, int viewer, bool) { opened.append({id, viewer}); });
        TestSupport::LogCapture log;
        QVERIFY(ProjectFile::Read(project, path, true));
        QCOMPARE(log.warnings, QStringList{QStringLiteral("Folder ID already exists in project... Skipping.")});
        QCOMPARE(ProjectGlobals::ViewerLayout(), 2);
        QCOMPARE(ProjectGlobals::ImageSequenceFrameRate(), 120.0);
        QCOMPARE(ProjectGlobals::TimeControlFrameOffset(), 1);
        QVERIFY(ProjectGlobals::SourceRootDirPath().isEmpty());
        QCOMPARE(project.Notes(), QStringLiteral("old"));
        const QUuid sourceId = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-0000000000c1}"));
        TimelineItem* source = project.SourceItem(sourceId);
        QVERIFY(source);
        FolderItem* inner = project.Folder(QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000b}")));
        QCOMPARE(source->parent(), inner);
        QCOMPARE(inner->parent(), project.Folder(QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000a}"))));
        Timeline* timeline = source->GetTimeline();
        QCOMPARE(timeline->PlaybackFrame(), 9);
        QCOMPARE(timeline->GetSource()->CutInFrame(), 4);
        QCOMPARE(timeline->GetSource()->CutOutFrame(), 19);
        QCOMPARE(timeline->RangeBookmarks(), (QList<RangeBookmark>{{0, 3}}));
        QCOMPARE(timeline->GetTrack()->ClipAt(0)->FrameBookmarks().size(), 1);
        QCOMPARE(timeline->GetTrack()->ClipAt(0)->FrameBookmarks().first()->Frame(), 2);
        QCOMPARE(timeline->GetTrack()->ClipAt(0)->FrameBookmarks().first()->Strokes().size(), 1);
        const TimelineItem* edit = project.TimelineItemById(QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-0000000000d1}")));
        QVERIFY(edit);
        QCOMPARE(project.DefaultTimelineId(), edit->Id());
        QCOMPARE(edit->GetTimeline()->GetTrack()->ClipCount(), 1);
        QCOMPARE(edit->GetTimeline()->RangeStartFrame(), 0);
        QCOMPARE(edit->GetTimeline()->PlaybackFrame(), 1);
        QVERIFY(opened.contains(qMakePair(sourceId, 0)));
    }

    // The bookmark file's example: current 10, start 5, end 20.
    void bookmarkFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("marks.bmk"));
        {
            QSettings file(path, QSettings::IniFormat);
            file.beginGroup(QStringLiteral("main"));
            file.setValue(QStringLiteral("mediaPath"), TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4")));
            file.setValue(QStringLiteral("frames"), QStringLiteral("3,x,7"));
            file.setValue(QStringLiteral("ranges"), QStringList{QStringLiteral("2,4"), QStringLiteral("bad")});
            file.setValue(QStringLiteral("current"), 10);
            file.setValue(QStringLiteral("start"), 5);
            file.setValue(QStringLiteral("end"), 20);
        }
        Project project;
        ParseOnRequest(project);
        QSignalSpy opened(&project, &Project::OpenInViewerRequested);
        QVERIFY(ProjectFile::Read(project, path, true));
        QCOMPARE(project.Sources().size(), 1);
        Timeline* timeline = project.Sources().begin().value()->GetTimeline();
        QCOMPARE(timeline->PlaybackFrame(), 9);
        QCOMPARE(timeline->GetSource()->CutInFrame(), 4);
        QCOMPARE(timeline->GetSource()->CutOutFrame(), 19);
        QCOMPARE(timeline->RangeBookmarks(), (QList<RangeBookmark>{{1, 3}}));
        QVERIFY(timeline->FrameBookmarkAt(2) && timeline->FrameBookmarkAt(6));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(1).toInt(), 0);
        TestSupport::LogCapture log;
        QVERIFY(!ProjectFile::Read(project, dir.filePath(QStringLiteral("none.bmk")), true));
        QCOMPARE(log.errors.size(), 1);
    }

    // A file written from the format's description, not by this program: folders three deep,
    // sources found through the source root and their relative paths (their absolute paths
    // are of another machine), clips of two sources, range bookmarks, foreground and
    // background strokes of every type, invalid strokes, duplicate ids, "dorvy" metadata, and
    // bookmarks of an unknown parent. Read and written again it is the expected document.
    void goldenFile()
    {
        const QString media = QFileInfo(TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"))).absolutePath();
        auto load = [&](const QString& name) {
            QFile file(QStringLiteral(PLOVEX_TEST_SOURCE_DIR "/project/") + name);
            if (!file.open(QIODevice::ReadOnly))
                return QByteArray();
            return file.readAll().replace("@MEDIA@", media.toUtf8());
        };
        const QByteArray golden = load(QStringLiteral("golden.plvx2"));
        QVERIFY(!golden.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("golden.dorvy"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(golden);
        file.close();
        Project project;
        ParseOnRequest(project);
        TestSupport::LogCapture log;
        QVERIFY(ProjectFile::Read(project, path, true));
        QCOMPARE(log.warnings, (QStringList{QStringLiteral("ID already exists in project... Skipping."),
                                            QStringLiteral("ID already exists in project... Skipping.")}));
        const QJsonDocument written = QJsonDocument::fromJson(ProjectFile::Serialise(project));
        const QJsonDocument expected = QJsonDocument::fromJson(load(QStringLiteral("golden-expected.plvx2")));
        QVERIFY(expected.isObject());
        if (written != expected) {
            const QJsonObject a = written.object();
            const QJsonObject b = expected.object();
            for (const QString& key : b.keys())
                if (a.value(key) != b.value(key))
                    qWarning("%s differs:\nwritten  %s\nexpected %s", qPrintable(key),
                             QJsonDocument(QJsonObject{{key, a.value(key)}}).toJson(QJsonDocument::Compact).constData(),
                             QJsonDocument(QJsonObject{{key, b.value(key)}}).toJson(QJsonDocument::Compact).constData());
        }
        QVERIFY(written == expected);
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
