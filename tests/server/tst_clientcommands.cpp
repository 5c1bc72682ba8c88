#include "core/Logger.h"
#include "core/Settings.h"
#include "project/ClientApiHost.h"
#include "project/ClientCommands.h"
#include "project/Clip.h"
#include "project/ExportStatus.h"
#include "project/FrameBookmark.h"
#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"
#include "tests/FakeProjectEngine.h"
#include "tests/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

// The server's side, remembering the replies.
class FakeHost : public ClientApiHost
{
public:
    bool IsInitialized() const override { return initialized; }
    void SetInitialized() override { initialized = true; }
    void Write(const QString& reply) override { replies.append(reply); }

    bool initialized = false;
    QStringList replies;
};

QString Id(const QUuid& id)
{
    return id.toString(QUuid::WithBraces);
}

} // namespace

class TestClientCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeProjectEngine> m_engine;
    std::unique_ptr<ProjectManager> m_manager;
    FakeHost m_host;

    // Sends `request` and returns the one reply it got.
    QJsonObject Run(const QJsonObject& request)
    {
        return RunText(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
    }
    QJsonObject RunText(const QString& body)
    {
        const qsizetype before = m_host.replies.size();
        m_manager->OnExecuteCmd(body);
        if (m_host.replies.size() != before + 1)
            return QJsonObject{{"<replies>", int(m_host.replies.size() - before)}};
        return QJsonDocument::fromJson(m_host.replies.last().toUtf8()).object();
    }
    QString Failure(const QJsonObject& request)
    {
        const QJsonObject reply = Run(request);
        if (reply.value("success") != QJsonValue(false))
            return QStringLiteral("<succeeded>");
        if (reply.value("cmd").toString() != request.value("cmd").toString(QStringLiteral("???")))
            return QStringLiteral("<cmd %1>").arg(reply.value("cmd").toString());
        return reply.value("msg").toString();
    }
    QUuid ImportClip()
    {
        const QList<QUuid> ids = m_manager->ImportFiles({TestSupport::MediaPath("clip_23976.mp4")}, {});
        return ids.value(0);
    }

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void init()
    {
        Settings::ResetToDefaults();
        ExportStatus::SetRunning(false);
        ExportStatus::ClearGeneralLog();
        m_engine = std::make_unique<FakeProjectEngine>();
        m_manager = std::make_unique<ProjectManager>(m_engine.get());
        m_manager->SetClientApiHost(&m_host);
        m_host = FakeHost();
        m_host.initialized = true;
        ProjectGlobals::SetTimeControlFrameOffset(1);
    }

    void cleanup()
    {
        ExportStatus::SetRunning(false);
        m_manager.reset();
        m_engine.reset();
    }

    void malformedRequests()
    {
        QCOMPARE(RunText(QStringLiteral("{not json")).value("msg").toString(), QStringLiteral("Invalid JSON formatting"));
        QCOMPARE(RunText(QStringLiteral("{not json")).value("cmd").toString(), QStringLiteral("???"));
        QCOMPARE(RunText(QStringLiteral("{}")).value("msg").toString(), QStringLiteral("Invalid JSON formatting"));
        QCOMPARE(RunText(QStringLiteral("[1]")).value("msg").toString(), QStringLiteral("Invalid JSON formatting"));
        QCOMPARE(Failure({{"cmd", "fly"}}), QStringLiteral("Invalid command (fly)"));
        QCOMPARE(Failure({{"cmd", "open_project"}, {"file_path", TestSupport::MediaPath("clip_23976.mp4")}}),
                 QStringLiteral("Undefined Error"));
    }

    void initializeGateAndVersions()
    {
        m_host.initialized = false;
        QCOMPARE(Failure({{"cmd", "get_sources"}}), QStringLiteral("Server not initialized. Run the \"initialize\" command first."));
        for (const char* bad : {"1.0", "0.1.0", "1.0.x", "1..0", "1.0.0.0", "", " 1.0.0"})
            QCOMPARE(Failure({{"cmd", "initialize"}, {"api_version", bad}}), QStringLiteral("Invalid API Version (%1)").arg(bad));
        QVERIFY(!m_host.initialized);
        QCOMPARE(Run({{"cmd", "initialize"}, {"api_version", "2.10.0"}}).value("success"), QJsonValue(true));
        QVERIFY(m_host.initialized);
    }

    void framesCarryTheOffset()
    {
        const QUuid id = ImportClip();
        Timeline* timeline = m_manager->AnyTimeline(id);
        QVERIFY(timeline);
        QCOMPARE(Run({{"cmd", "get_frame"}}).value("frame").toInt(), -1);
        m_engine->primary = timeline;
        QCOMPARE(Run({{"cmd", "get_frame"}}).value("frame").toInt(), 1);
        QSignalSpy asked(m_manager.get(), &ProjectManager::ClientApiFrameChangeRequested);
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", 1}}).value("frame").toInt(), 1);
        QCOMPARE(timeline->PlaybackFrame(), 0);
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", 8}, {"audio", true}}).value("frame").toInt(), 8);
        QCOMPARE(timeline->PlaybackFrame(), 7);
        QVERIFY(m_engine->scrubbed);
        QCOMPARE(asked.count(), 2);

        const QJsonObject range = Run({{"cmd", "set_range"}, {"start_frame", 3}, {"end_frame", 11}});
        QCOMPARE(range.value("start_frame").toInt(), 3);
        QCOMPARE(range.value("end_frame").toInt(), 11);
        QCOMPARE(timeline->RangeStartFrame(), 2);
        QCOMPARE(timeline->StoredRangeEndFrame(), 10);
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", 2}, {"from_range_start", true}}).value("frame").toInt(), 5);
        const QJsonObject open = Run({{"cmd", "set_range"}});
        QCOMPARE(open.value("start_frame").toInt(), 1);
        QCOMPARE(open.value("end_frame").toInt(), timeline->LastFrame() + 1);

        ProjectGlobals::SetTimeControlFrameOffset(0);
        QCOMPARE(Run({{"cmd", "get_frame"}}).value("frame").toInt(), timeline->PlaybackFrame());
    }

    // Frames at the ends of the integer range, with the offset taken off or the range start
    // added, do not wrap around (nor overflow under a sanitizer): they clamp.
    void extremeFramesClamp()
    {
        constexpr int kMin = std::numeric_limits<int>::min();
        constexpr int kMax = std::numeric_limits<int>::max();
        const QUuid id = ImportClip();
        Timeline* timeline = m_manager->AnyTimeline(id);
        QVERIFY(timeline);
        const int last = timeline->LastFrame();
        QVERIFY(last > 12);
        m_engine->primary = timeline;
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", kMin}}).value("frame").toInt(), 1);
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", kMax}}).value("frame").toInt(), last + 1);
        Run({{"cmd", "set_range"}, {"start_frame", 3}, {"end_frame", 11}});
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", kMax}, {"from_range_start", true}}).value("frame").toInt(), last + 1);
        QCOMPARE(Run({{"cmd", "set_frame"}, {"frame", kMin}, {"from_range_start", true}}).value("frame").toInt(), 1);

        // An offset as large as a project file may carry: replies count past the int range.
        ProjectGlobals::SetTimeControlFrameOffset(kMax);
        const QJsonObject range = Run({{"cmd", "set_range"}, {"start_frame", 3}, {"end_frame", -1}});
        QCOMPARE(range.value("start_frame").toInteger(), qint64(kMax));
        QCOMPARE(range.value("end_frame").toInteger(), qint64(last) + kMax);
        ProjectGlobals::SetTimeControlFrameOffset(1);

        for (Timeline* primary : {static_cast<Timeline*>(nullptr), timeline}) {
            m_engine->primary = primary;
            const QJsonObject low = Run({{"cmd", "update"},
                                         {"object", QJsonObject{{"id", Id(id)}, {"playback_frame", kMin}, {"range_start_frame", kMin},
                                                                {"range_end_frame", kMin}}}})
                                        .value("updated")
                                        .toObject();
            QCOMPARE(low.value("playback_frame").toInt(), 1);
            QCOMPARE(low.value("range_start_frame").toInt(), 1);
            QCOMPARE(low.value("range_end_frame").toInt(), last + 1);
            const QJsonObject high = Run({{"cmd", "update"},
                                          {"object", QJsonObject{{"id", Id(id)}, {"playback_frame", kMax}, {"range_start_frame", kMax},
                                                                 {"range_end_frame", kMax}}}})
                                         .value("updated")
                                         .toObject();
            QCOMPARE(high.value("playback_frame").toInt(), last + 1);
            QCOMPARE(high.value("range_start_frame").toInt(), last + 1);
            QCOMPARE(high.value("range_end_frame").toInt(), last + 1);
        }
    }

    // import_file's cut-in and cut-out are display frames like every frame of a request: what
    // was asked for is what the reply, and the time bar, show.
    void importRangeIsInDisplayFrames()
    {
        const QJsonObject source = Run({{"cmd", "import_file"},
                                        {"file_path", TestSupport::MediaPath("clip_23976.mp4")},
                                        {"range_start", 5},
                                        {"range_end", 20}})
                                       .value("source")
                                       .toObject();
        QCOMPARE(source.value("range_start_frame").toInt(), 5);
        QCOMPARE(source.value("range_end_frame").toInt(), 20);
        const Timeline* timeline = m_manager->AnyTimeline(QUuid::fromString(source.value("id").toString()));
        QVERIFY(timeline);
        QCOMPARE(timeline->RangeStartFrame(), 4);
        QCOMPARE(timeline->RangeEndFrame(), 19);
        QCOMPARE(timeline->GetSource()->CutInFrame(), 4);

        const QJsonObject whole = Run({{"cmd", "import_file"}, {"file_path", TestSupport::MediaPath("clip_23976.mp4")}})
                                      .value("source")
                                      .toObject();
        const Timeline* uncut = m_manager->AnyTimeline(QUuid::fromString(whole.value("id").toString()));
        QVERIFY(uncut);
        QCOMPARE(whole.value("range_start_frame").toInt(), 1);
        QCOMPARE(whole.value("range_end_frame").toInt(), uncut->LastFrame() + 1);
    }

    void playingGoesToTheEngine()
    {
        QVERIFY(Run({{"cmd", "set_playing"}, {"playing", true}, {"play_forwards", false}}).value("success").toBool());
        QVERIFY(m_engine->playing);
        QVERIFY(!m_engine->playingForward);
        Run({{"cmd", "set_playing"}});
        QVERIFY(!m_engine->playing);
    }

    void viewerLayoutAndViewers()
    {
        QSignalSpy layout(m_manager.get(), &ProjectManager::ViewerLayoutChangeRequested);
        QCOMPARE(Failure({{"cmd", "set_viewer_layout"}, {"layout", "grid"}}),
                 QStringLiteral("Invalid layout type. Expected \"single\", \"horizontal\" or \"vertical\"."));
        QVERIFY(layout.isEmpty());
        Run({{"cmd", "set_viewer_layout"}, {"layout", "vertical"}});
        QCOMPARE(layout.count(), 1);
        QCOMPARE(layout.first(), QVariantList({2, 1, 1}));

        const QUuid id = ImportClip();
        QCOMPARE(Failure({{"cmd", "get_active_in_viewer"}}), QStringLiteral("Invalid viewer index: -1"));
        QCOMPARE(Failure({{"cmd", "set_active_in_viewer"}, {"id", Id(id)}}), QStringLiteral("Invalid viewer index: -1"));
        QCOMPARE(Failure({{"cmd", "set_active_in_viewer"}, {"index", 0}, {"id", "x"}}), QStringLiteral("Invalid id (x)"));
        const QString unknown = Id(QUuid::createUuid());
        QCOMPARE(Failure({{"cmd", "set_active_in_viewer"}, {"index", 0}, {"id", unknown}}),
                 QStringLiteral("Id is not a vaild timeline or source: %1").arg(unknown));
        QCOMPARE(Run({{"cmd", "get_active_in_viewer"}, {"index", 1}}).value("timeline").toObject(), QJsonObject());
        QVERIFY(Run({{"cmd", "set_active_in_viewer"}, {"index", 4}, {"id", Id(id)}}).value("success").toBool());
        QVERIFY(Run({{"cmd", "set_active_in_viewer"}, {"index", 1}, {"id", Id(id)}}).value("success").toBool());
        QCOMPARE(m_engine->shown[1], m_manager->AnyTimeline(id));
        QVERIFY(!m_engine->autoPlayed[1]);
        QCOMPARE(Run({{"cmd", "get_active_in_viewer"}, {"index", 1}}).value("timeline").toObject().value("output_id").toInt(), 1);
        // Autoplay follows the setting, as when the user opens an item.
        Settings::Get().autoPlayEnabled = true;
        QVERIFY(Run({{"cmd", "set_active_in_viewer"}, {"index", 2}, {"id", Id(id)}}).value("success").toBool());
        QCOMPARE(m_engine->shown[2], m_manager->AnyTimeline(id));
        QVERIFY(m_engine->autoPlayed[2]);
        Settings::Get().autoPlayEnabled = false;
        QCOMPARE(Failure({{"cmd", "set_default_timeline"}, {"id", Id(id)}}), QStringLiteral("Invalid timeline id (%1)").arg(Id(id)));
    }

    void removeAndUpdateRefusals()
    {
        Project& project = *m_manager->GetProject();
        QCOMPARE(Failure({{"cmd", "remove"}}), QStringLiteral("\"id\" invalid"));
        QCOMPARE(Failure({{"cmd", "remove"}, {"id", "nope"}}), QStringLiteral("Invalid id (nope)"));
        QCOMPARE(Failure({{"cmd", "remove"}, {"id", Id(project.SourcesFolder()->Id())}}), QStringLiteral("Base folders cannot be removed."));

        QCOMPARE(Failure({{"cmd", "update"}}), QStringLiteral("\"object\" invalid"));
        QCOMPARE(Failure({{"cmd", "update"}, {"object", QJsonObject{{"name", "x"}}}}), QStringLiteral("Invalid id"));
        const QString unknown = Id(QUuid::createUuid());
        QCOMPARE(Failure({{"cmd", "update"}, {"object", QJsonObject{{"id", unknown}}}}), QStringLiteral("Object not found (%1)").arg(unknown));
        const QUuid timeline = m_manager->AddTimeline(QStringLiteral("T"), {});
        QCOMPARE(Failure({{"cmd", "update"}, {"object", QJsonObject{{"id", Id(timeline)}, {"parent_id", Id(project.SourcesFolder()->Id())}}}}),
                 QStringLiteral("The SOURCES folder cannot be the parent of a timeline or folder."));
        const QUuid folder = m_manager->AddFolder(QStringLiteral("F"), {});
        const QJsonObject moved = Run({{"cmd", "update"}, {"object", QJsonObject{{"id", Id(timeline)}, {"parent_id", Id(folder)}, {"name", "Renamed"}}}});
        QCOMPARE(moved.value("updated").toObject().value("parent_id").toString(), Id(folder));
        QCOMPARE(moved.value("updated").toObject().value("name").toString(), QStringLiteral("Renamed"));

        QCOMPARE(Failure({{"cmd", "insert_element_in_timeline"}, {"timeline_id", Id(timeline)}}), QStringLiteral("\"source_id\" invalid"));
        QCOMPARE(Failure({{"cmd", "insert_element_in_timeline"}, {"source_id", unknown}}), QStringLiteral("\"timeline_id\" invalid"));
        QCOMPARE(Failure({{"cmd", "insert_element_in_timeline"}, {"source_id", unknown}, {"timeline_id", Id(timeline)}}),
                 QStringLiteral("Source not found (%1)").arg(unknown));
        const QUuid source = ImportClip();
        QCOMPARE(Failure({{"cmd", "insert_element_in_timeline"}, {"source_id", Id(source)}, {"timeline_id", Id(source)}}),
                 QStringLiteral("Timeline not found (%1)").arg(Id(source)));
        QCOMPARE(Failure({{"cmd", "remove_element_from_timeline"}}), QStringLiteral("\"id\" invalid"));
        QCOMPARE(Failure({{"cmd", "remove_element_from_timeline"}, {"timeline_id", Id(timeline)}, {"index", 0}}),
                 QStringLiteral("Index out of range (0)"));
        QCOMPARE(Failure({{"cmd", "get_timeline_elements"}, {"timeline_id", unknown}}), QStringLiteral("Timeline not found (%1)").arg(unknown));
        QCOMPARE(Failure({{"cmd", "import_file"}, {"file_path", "/no/such/file.mov"}}),
                 QStringLiteral("Failed to create source for file (/no/such/file.mov)"));
        QCOMPARE(Failure({{"cmd", "open_project"}, {"file_path", "/no/such/p.plvx2"}}), QStringLiteral("Project file does not exist (/no/such/p.plvx2)"));
        QCOMPARE(Failure({{"cmd", "import_project"}, {"file_path", "/no/such/p.plvx2"}}), QStringLiteral("Project file does not exist (/no/such/p.plvx2)"));
    }

    // The tree stays a tree under its three base folders: an "update" that would move a base
    // folder, or a folder into itself, is refused and changes nothing.
    void updateNeverBreaksTheTree()
    {
        Project& project = *m_manager->GetProject();
        const QUuid outer = m_manager->AddFolder(QStringLiteral("F"), {});
        const QUuid inner = m_manager->AddFolder(QStringLiteral("G"), outer);
        const QUuid sources = project.SourcesFolder()->Id();
        auto move = [&](const QUuid& id, const QUuid& parent) {
            return Failure({{"cmd", "update"}, {"object", QJsonObject{{"id", Id(id)}, {"parent_id", Id(parent)}}}});
        };
        const QObject* baseParent = project.SourcesFolder()->parent();
        for (const FolderItem* base : project.BaseFolders())
            QCOMPARE(move(base->Id(), outer), QStringLiteral("Base folders cannot be moved."));
        QCOMPARE(move(project.ProjectFolder()->Id(), inner), QStringLiteral("Base folders cannot be moved."));
        QCOMPARE(project.SourcesFolder()->parent(), baseParent);
        QVERIFY(!project.Folder(outer)->HasDescendant(sources));
        QCOMPARE(move(outer, inner), QStringLiteral("Cannot move (%1) into folder (%2)").arg(Id(outer), Id(inner)));
        QCOMPARE(move(outer, outer), QStringLiteral("Cannot move (%1) into folder (%2)").arg(Id(outer), Id(outer)));
        QVERIFY(project.Folder(outer)->HasDescendant(inner));
        QCOMPARE(project.Folder(outer)->parent(), static_cast<QObject*>(project.ProjectFolder()));

        // Had SOURCES gone into F, removing F would have taken the base folder with it.
        QVERIFY(Run({{"cmd", "remove"}, {"id", Id(outer)}}).value("success").toBool());
        QVERIFY(!project.Folder(outer));
        QCOMPARE(project.Folder(sources), project.SourcesFolder());
        QStringList names;
        for (const QJsonValue& folder : Run({{"cmd", "get_folders"}}).value("folders").toArray())
            names.append(folder.toObject().value("name").toString());
        QCOMPARE(names, QStringList({"PROJECT", "SOURCES", "TIMELINES"}));
    }

    // "remove" of a folder takes the sources inside it out of the timelines outside it that
    // use them: once the request has cleared the undo stack (freeing the removed sources), no
    // clip is left pointing at one.
    void removingAFolderLeavesNoClipOfItsSources()
    {
        Project& project = *m_manager->GetProject();
        const QUuid folder = m_manager->AddFolder(QStringLiteral("F"), {});
        ProjectManager::ImportOptions inside;
        inside.parentId = folder;
        const QUuid held = m_manager->ImportFiles({TestSupport::MediaPath("clip_23976.mp4")}, inside).value(0);
        const QUuid kept = ImportClip();
        QVERIFY(!held.isNull() && !kept.isNull());
        QCOMPARE(project.SourceItem(held)->parent(), static_cast<QObject*>(project.Folder(folder)));
        const QUuid outside = m_manager->AddTimeline(QStringLiteral("Outside"), {});
        m_manager->InsertClips(outside, {held, kept, held}, -1);
        Timeline* timeline = m_manager->RegularTimeline(outside);
        QCOMPARE(timeline->GetTrack()->ClipCount(), 3);

        QVERIFY(Run({{"cmd", "remove"}, {"id", Id(folder)}}).value("success").toBool());
        QCOMPARE(m_manager->UndoStack()->count(), 0);
        QVERIFY(!project.SourceItem(held));
        QVERIFY(project.SourceItem(kept));
        // What is left plays the source still in the project (under a sanitizer a clip of a
        // freed source is caught here too).
        QCOMPARE(timeline->GetTrack()->ClipCount(), 1);
        const Source* source = timeline->ClipAt(0)->GetSource();
        QVERIFY(source);
        QCOMPARE(source->Id(), kept);
        QCOMPARE(source->AbsolutePath(), QFileInfo(TestSupport::MediaPath("clip_23976.mp4")).absoluteFilePath());
        QVERIFY(timeline->LastFrame() > 0);
        const QJsonArray elements = Run({{"cmd", "get_timeline_elements"}, {"timeline_id", Id(outside)}}).value("sources").toArray();
        QCOMPARE(elements.size(), 1);
        QCOMPARE(elements.at(0).toObject().value("id").toString(), Id(kept));
    }

    // open_project remembers what it opened, whatever the ending of a current-format file;
    // a bookmark file (or the older format) is read but not remembered as a project.
    void openedProjectsAreRecent()
    {
        QTemporaryDir dir;
        ImportClip();
        const QString saved = dir.filePath(QStringLiteral("review.plvx2"));
        QVERIFY(Run({{"cmd", "save_project"}, {"file_path", saved}}).value("success").toBool());
        const QString renamed = dir.filePath(QStringLiteral("review.take"));
        QVERIFY(QFile::copy(saved, renamed));
        const QString bookmarks = dir.filePath(QStringLiteral("shot.bmk"));
        QFile bmk(bookmarks);
        QVERIFY(bmk.open(QIODevice::WriteOnly));
        bmk.write("[main]\nmediaPath=" + TestSupport::MediaPath("clip_23976.mp4").toUtf8() + "\nframes=2,4\n");
        bmk.close();

        Settings::Get().recentProjects.clear();
        QVERIFY(Run({{"cmd", "open_project"}, {"file_path", renamed}}).value("success").toBool());
        QCOMPARE(Settings::Get().recentProjects, QStringList({renamed}));
        QVERIFY(Run({{"cmd", "open_project"}, {"file_path", bookmarks}}).value("success").toBool());
        QCOMPARE(m_manager->GetProject()->Sources().size(), 1);
        QCOMPARE(Settings::Get().recentProjects, QStringList({renamed}));
        QVERIFY(Run({{"cmd", "open_project"}, {"file_path", saved}}).value("success").toBool());
        QCOMPARE(Settings::Get().recentProjects, QStringList({saved, renamed}));
        Settings::Get().recentProjects.clear();
    }

    // A command that ran leaves nothing to undo and the project unsaved; the gate does not.
    void commandsClearTheUndoStack()
    {
        m_manager->AddTimeline(QStringLiteral("T"), {});
        QCOMPARE(m_manager->UndoStack()->count(), 1);
        Run({{"cmd", "echo"}, {"text", "x"}});
        QCOMPARE(m_manager->UndoStack()->count(), 1);
        Run({{"cmd", "get_sources"}});
        QCOMPARE(m_manager->UndoStack()->count(), 0);
        QVERIFY(!m_manager->IsSaved());
    }

    void exportRequests()
    {
        QSignalSpy queued(m_manager.get(), &ProjectManager::ExportRequested);
        const QJsonObject base{{"cmd", "queue_export"}, {"output_dir_path", "/out"}, {"base_file_name", "take1"}, {"ext", "png"},
                               {"width", 320}, {"height", 180}};
        auto with = [&](std::initializer_list<QPair<QString, QJsonValue>> changes) {
            QJsonObject request = base;
            for (const auto& change : changes)
                request.insert(change.first, change.second);
            return request;
        };
        QCOMPARE(Failure(with({{"ext", "PNG"}})), QStringLiteral("Unsupported export file format: PNG"));
        QCOMPARE(Failure(with({{"frame_numbering", "two_based"}})),
                 QStringLiteral("Invalid frames_to_capture value: two_based. Expected one of 'zero_based', 'one_based' or 'match_frame'"));
        QCOMPARE(Failure(with({{"width", 0}})), QStringLiteral("Invalid width/height: 0x180"));
        // Padding is the export settings' 1..6 digits: no "#" run of 2^31 characters, no "%-5d".
        QCOMPARE(Failure(with({{"padding", -5}})), QStringLiteral("Invalid padding: -5. Expected 1 to 6"));
        QCOMPARE(Failure(with({{"padding", 2147483647}})), QStringLiteral("Invalid padding: 2147483647. Expected 1 to 6"));
        QCOMPARE(Failure(with({{"padding", 0}})), QStringLiteral("Invalid padding: 0. Expected 1 to 6"));
        QCOMPARE(Failure(with({{"padding", 7}, {"ext", "jpg"}})), QStringLiteral("Invalid padding: 7. Expected 1 to 6"));
        QCOMPARE(Failure(with({{"viewer_capture", true}})),
                 QStringLiteral("Invalid annotation_bg_color format. Expected list of 4 integers [R, G, B, A]."));
        QCOMPARE(Failure(with({{"viewer_capture", true}, {"annotation_bg_color", QJsonArray{1, 2, 3}}})),
                 QStringLiteral("Invalid annotation_bg_color format. Expected list of 4 integers [R, G, B, A]."));
        QCOMPARE(Failure(with({{"viewer_capture", true}, {"frames_to_capture", "some"}, {"annotation_bg_color", QJsonArray{1, 2, 3, 4}}})),
                 QStringLiteral("Invalid frames_to_capture value: some. Expected one of 'all', 'stepped' or 'bookmarks'"));
        QVERIFY(queued.isEmpty());

        QVERIFY(Run(with({{"padding", 5}, {"frame_numbering", "match_frame"}})).value("success").toBool());
        // Asked for from the event loop, after the reply; until then the export counts as
        // running and a request gets no reply.
        QVERIFY(queued.isEmpty());
        const qsizetype replies = m_host.replies.size();
        m_manager->OnExecuteCmd(QStringLiteral("{\"cmd\":\"query_export\"}"));
        QCOMPARE(m_host.replies.size(), replies);
        QTRY_COMPARE(queued.count(), 1);
        ExportProperties sequence = queued.takeFirst().at(0).value<ExportProperties>();
        QCOMPARE(sequence.outputPath, QStringLiteral("/out/take1.#####.png"));
        QVERIFY(sequence.imageSequence);
        QCOMPARE(sequence.imageFormat, QStringLiteral("png"));
        QCOMPARE(sequence.numberingType, int(ExportNumberingMatchFrame));
        QCOMPARE(sequence.width, 320);

        // A movie ignores the numbering; a capture clamps its colour.
        QVERIFY(Run(with({{"ext", "mov"}, {"frame_numbering", "bad"}, {"viewer_capture", true}, {"frames_to_capture", "stepped"},
                          {"annotation_bg_color", QJsonArray{300, -4, 10, 255}}, {"exclude_audio", true}}))
                    .value("success")
                    .toBool());
        QTRY_COMPARE(queued.count(), 1);
        ExportProperties movie = queued.takeFirst().at(0).value<ExportProperties>();
        QCOMPARE(movie.outputPath, QStringLiteral("/out/take1.mov"));
        QVERIFY(!movie.imageSequence);
        QCOMPARE(movie.frameSelection, int(ExportFramesSteppedBookmarks));
        QCOMPARE(movie.annotationBackgroundColor, QColor(255, 0, 10, 255));
        QVERIFY(movie.noAudio);
        QVERIFY(movie.viewerCapture);
    }

    void requestsDuringAnExportGetNoReply()
    {
        ExportStatus::SetRunning(true);
        ExportStatus::AppendGeneralLog(QStringLiteral("Export failed: disk full\n"));
        m_manager->OnExecuteCmd(QStringLiteral("{\"cmd\":\"query_export\"}"));
        m_manager->OnExecuteCmd(QStringLiteral("{\"cmd\":\"echo\",\"text\":\"x\"}"));
        QVERIFY(m_host.replies.isEmpty());
        ExportStatus::SetRunning(false);
        const QJsonObject reply = Run({{"cmd", "query_export"}});
        QCOMPARE(reply.value("completed"), QJsonValue(true));
        QCOMPARE(reply.value("error_msg").toString(), QStringLiteral("Export failed: disk full\n"));
    }

    void bookmarksAndFolderOrder()
    {
        Project& project = *m_manager->GetProject();
        const QUuid outer = m_manager->AddFolder(QStringLiteral("outer"), {});
        m_manager->AddFolder(QStringLiteral("later"), {});
        m_manager->AddFolder(QStringLiteral("inner"), outer);
        QStringList names;
        for (const QJsonValue& folder : Run({{"cmd", "get_folders"}}).value("folders").toArray())
            names.append(folder.toObject().value("name").toString());
        QCOMPARE(names, QStringList({"PROJECT", "outer", "inner", "later", "SOURCES", "TIMELINES"}));
        QCOMPARE(Run({{"cmd", "get_folders"}}).value("folders").toArray().at(0).toObject().value("parent_id").toString(), QString());

        const QUuid source = ImportClip();
        m_manager->ToggleFrameBookmark(source, 4);
        const QJsonArray all = Run({{"cmd", "get_bookmarks"}}).value("bookmarks").toArray();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.at(0).toObject().value("bookmarks").toArray(), QJsonArray({5}));
        QCOMPARE(all.at(0).toObject().value("annotations").toArray(), QJsonArray());
        m_manager->AddTimeline(QStringLiteral("empty"), {});
        QCOMPARE(Run({{"cmd", "get_bookmarks"}}).value("bookmarks").toArray().size(), 2);
        QCOMPARE(Run({{"cmd", "get_bookmarks"}, {"include_empty_timelines", false}}).value("bookmarks").toArray().size(), 1);
        Q_UNUSED(project);
    }

    // A bookmark with a drawing is listed under "annotations", not "bookmarks", in display
    // frames like the plain ones.
    void annotatedBookmarksAreListedApart()
    {
        const QUuid source = ImportClip();
        Timeline* timeline = m_manager->AnyTimeline(source);
        QVERIFY(timeline);
        m_manager->ToggleFrameBookmark(source, 4);
        m_manager->ToggleFrameBookmark(source, 9);
        FrameBookmark* drawn = timeline->FrameBookmarkAt(9);
        QVERIFY(drawn);
        AnnotationStroke stroke;
        stroke.points = {QPointF(0.1, 0.1), QPointF(0.5, 0.5)};
        drawn->Strokes().append(stroke);
        const QJsonArray all = Run({{"cmd", "get_bookmarks"}, {"id", Id(source)}}).value("bookmarks").toArray();
        QCOMPARE(all.size(), 1);
        const QJsonObject entry = all.at(0).toObject();
        QCOMPARE(entry.value("id").toString(), Id(source));
        QCOMPARE(entry.value("bookmarks").toArray(), QJsonArray({5}));
        QCOMPARE(entry.value("annotations").toArray(), QJsonArray({10}));
        // An item whose only bookmark is drawn on is not empty.
        m_manager->ToggleFrameBookmark(source, 4);
        QCOMPARE(Run({{"cmd", "get_bookmarks"}, {"include_empty_timelines", false}}).value("bookmarks").toArray().size(), 1);
    }

    void configAndAutoplay()
    {
        QTemporaryDir temp;
        Settings::Get().SetTempDirPath(temp.path());
        QCoreApplication::setApplicationName(QStringLiteral("PlovexUnderTest"));
        const QJsonObject config = Run({{"cmd", "get_config"}});
        QVERIFY(config.value("success").toBool());
        for (const char* key : {"app_dir", "app_name", "user_dir", "temp_dir"})
            QVERIFY2(config.value(key).isString(), key);
        QCOMPARE(config.value("temp_dir").toString(), temp.path());
        QCOMPARE(config.value("app_name").toString(), QStringLiteral("PlovexUnderTest"));
        QCOMPARE(config.value("app_dir").toString(), QCoreApplication::applicationDirPath());
        QCOMPARE(config.value("user_dir").toString(), Settings::ApplicationDirPath());
        Settings::Get().SetTempDirPath(QString());

        Settings::Get().autoPlayEnabled = true;
        QCOMPARE(Run({{"cmd", "is_autoplay"}}).value("autoplay"), QJsonValue(true));
        Settings::Get().autoPlayEnabled = false;
        QCOMPARE(Run({{"cmd", "is_autoplay"}}).value("autoplay"), QJsonValue(false));
    }

    void defaultTimeline()
    {
        Project& project = *m_manager->GetProject();
        QVERIFY(project.DefaultTimelineId().isNull());
        const QJsonObject none = Run({{"cmd", "get_default_timeline"}});
        QVERIFY(none.value("success").toBool());
        QVERIFY(none.value("timeline").isObject());
        QCOMPARE(none.value("timeline").toObject(), QJsonObject());
        m_manager->AddTimeline(QStringLiteral("first"), {});
        const QUuid chosen = m_manager->AddTimeline(QStringLiteral("chosen"), {});
        QVERIFY(Run({{"cmd", "set_default_timeline"}, {"id", Id(chosen)}}).value("success").toBool());
        const QJsonObject item = Run({{"cmd", "get_default_timeline"}}).value("timeline").toObject();
        QCOMPARE(item.value("id").toString(), Id(chosen));
        QCOMPARE(item.value("name").toString(), QStringLiteral("chosen"));
        QCOMPARE(item.value("is_source"), QJsonValue(false));
    }

    // "update" applies every frame key and the in/out flag, present or not: what is left out
    // goes back to its default rather than staying as it was.
    void updateAlwaysAppliesItsKeys()
    {
        const QUuid source = ImportClip();
        const QUuid id = m_manager->AddTimeline(QStringLiteral("T"), {});
        m_manager->InsertClips(id, {source, source}, -1);
        Timeline* timeline = m_manager->RegularTimeline(id);
        QVERIFY(timeline);
        const int last = timeline->LastFrame();
        QVERIFY(last > 20);
        timeline->SetUseSourceInOuts(true);
        timeline->SetPlaybackRange(3, 12);
        timeline->SetPlaybackFrame(6);
        QCOMPARE(timeline->PlaybackFrame(), 6);

        const QJsonObject bare =
            Run({{"cmd", "update"}, {"object", QJsonObject{{"id", Id(id)}}}}).value("updated").toObject();
        QVERIFY(!timeline->UseSourceInOuts());
        QCOMPARE(timeline->RangeStartFrame(), 0);
        QCOMPARE(timeline->RangeEndFrame(), timeline->LastFrame());
        // No "playback_frame" asks for the frame before the first. A timeline's playback time
        // never goes below 0 (the engine reads a negative time as "none"), so the inactive
        // timeline lands on its first frame, and the reply says so.
        QCOMPARE(timeline->PlaybackTime(), int64_t(0));
        QCOMPARE(bare.value("playback_frame").toInt(), 1);
        QCOMPARE(bare.value("use_source_in_outs"), QJsonValue(false));
        QCOMPARE(bare.value("range_start_frame").toInt(), 1);
        QCOMPARE(bare.value("range_end_frame").toInt(), timeline->LastFrame() + 1);

        // Given keys are display frames; the active timeline is moved by the engine.
        m_engine->primary = timeline;
        const QJsonObject set = Run({{"cmd", "update"},
                                     {"object", QJsonObject{{"id", Id(id)}, {"use_source_in_outs", true}, {"playback_frame", 8},
                                                            {"range_start_frame", 4}, {"range_end_frame", 15}}}})
                                    .value("updated")
                                    .toObject();
        QVERIFY(timeline->UseSourceInOuts());
        QCOMPARE(timeline->PlaybackFrame(), 7);
        QCOMPARE(timeline->RangeStartFrame(), 3);
        QCOMPARE(timeline->StoredRangeEndFrame(), 14);
        QCOMPARE(set.value("playback_frame").toInt(), 8);
        m_engine->seeks.clear();
        Run({{"cmd", "update"}, {"object", QJsonObject{{"id", Id(id)}, {"name", "T2"}}}});
        QCOMPARE(m_engine->seeks, QList<int64_t>({-1}));
        QVERIFY(!timeline->UseSourceInOuts());
        QCOMPARE(timeline->RangeStartFrame(), 0);
        QCOMPARE(timeline->StoredRangeEndFrame(), -1);
    }

    // A parent that is no folder (a source, a timeline) does not make "add_folder" or
    // "add_timeline" fail: the new item goes to the base folder for its kind.
    void addWithAParentThatIsNoFolder()
    {
        Project& project = *m_manager->GetProject();
        const QUuid source = ImportClip();
        const QUuid timeline = m_manager->AddTimeline(QStringLiteral("T"), {});
        for (const QUuid& parent : {source, timeline}) {
            const QJsonObject folder = Run({{"cmd", "add_folder"}, {"name", "F"}, {"parent_id", Id(parent)}});
            QVERIFY(folder.value("success").toBool());
            QCOMPARE(folder.value("folder").toObject().value("parent_id").toString(), Id(project.ProjectFolder()->Id()));
            const QJsonObject added = Run({{"cmd", "add_timeline"}, {"name", "U"}, {"parent_id", Id(parent)}});
            QVERIFY(added.value("success").toBool());
            QCOMPARE(added.value("timeline").toObject().value("parent_id").toString(), Id(project.TimelinesFolder()->Id()));
            QVERIFY(m_manager->RegularTimeline(QUuid::fromString(added.value("timeline").toObject().value("id").toString())));
        }
    }
};

QTEST_MAIN(TestClientCommands)
#include "tst_clientcommands.moc"
