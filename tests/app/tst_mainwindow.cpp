// The window end to end: a clip opened from the command line plays, and the picture on screen
// is the frame the clock is at (the test clips carry their frame number in their pixels).
#include "app/PlovexBase.h"
#include "app/PlovexX.h"
#include "core/CommandId.h"
#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "export/ExportDialog.h"
#include "media/CacheManager.h"
#include "playback/PlaybackManager.h"
#include "project/Project.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectItem.h"
#include "project/ProjectManager.h"
#include "project/ProjectMimeTypes.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/Track.h"
#include "server/CmdServer.h"
#include "tests/TestSupport.h"
#include "ui/ConsoleOutput.h"
#include "ui/ConsoleWindow.h"
#include "ui/ExportRunner.h"
#include "ui/KeyboardShortcutsWindow.h"
#include "ui/MonitorPanel.h"
#include "ui/ProjectTreeWidget.h"
#include "ui/TimelinePanelWidget.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SurfaceFormat.h"
#include "viewer/ViewerBase.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUndoView>

namespace {

// The frame number the viewer shows: the picture is a 16:9 image fitted into viewport 0.
int ShownNumber(ViewerBase* viewer)
{
    const QImage image = viewer->GrabViewportImage();
    const QRect cell = viewer->Output(0)->displayRect;
    double w = cell.width(), h = cell.height();
    if (w / h > 16.0 / 9.0)
        w = h * 16.0 / 9.0;
    else
        h = w * 9.0 / 16.0;
    const QRect picture(static_cast<int>(cell.x() + (cell.width() - w) / 2), static_cast<int>(cell.y() + (cell.height() - h) / 2),
                        static_cast<int>(w), static_cast<int>(h));
    return TestSupport::FrameNumberFromImage(image.copy(picture), picture.width(), picture.height());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's handler of local files.
    void OpenUrl(const QUrl& url) { m_opened.append(url); }

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void playsWhatItShows_data()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("OpenGL") << true;
        QTest::addRow("software") << false;
    }

    void playsWhatItShows()
    {
        QFETCH(bool, hardware);
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = hardware;
        PlovexBase window({TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"))});
        QTRY_VERIFY(window.isVisible()); // it shows itself on the first event-loop turn
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (auto* gl = dynamic_cast<OpenGLViewer*>(window.Viewer()); gl && !gl->IsInitialised())
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display");
        AvManager* engine = window.Engine();
        QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline() && window.Viewer()->Output(0)->frame, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(ShownNumber(window.Viewer()), 0, 5000);
        engine->Play(true);
        QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline()->PlaybackFrame() >= 5, 20000);
        engine->Pause();
        // Paused, the frame the timeline is at reaches the viewer, and the viewer shows it.
        const Timeline* timeline = engine->PrimaryTimeline();
        QTRY_COMPARE_WITH_TIMEOUT(window.Viewer()->Output(0)->frame->firstTimelineFrame, timeline->PlaybackFrame(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ShownNumber(window.Viewer()), timeline->PlaybackFrame(), 5000);
        QVERIFY(timeline->PlaybackFrame() >= 5);
    }

    // What a later start forwards: "noargs" only raises the window; members of one sequence
    // make one source; a ".txt" list is taken line by line as written; a single file already
    // open is not opened twice.
    void forwardedArguments()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        auto paths = [&] {
            QStringList names;
            for (const Source* source : window.Sources())
                names << source->Path();
            return names;
        };
        window.ProcessMessageFromOtherInstance({QStringLiteral("noargs")});
        QCOMPARE(window.Sources().size(), 0);

        const QString png = TestSupport::MediaPath(QStringLiteral("seq_png"));
        const quint64 listings = FileHelpers::FolderListingCount();
        window.ProcessMessageFromOtherInstance({png + "/seq.0002.png", png + "/seq.0003.png"});
        QCOMPARE(paths(), QStringList{png + "/seq.####.png 1-24 (1-7 9-24)"});
        QCOMPARE(FileHelpers::FolderListingCount() - listings, quint64(1)); // once for both members

        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        window.ProcessMessageFromOtherInstance({clip});
        window.ProcessMessageFromOtherInstance({clip});
        QCOMPARE(paths().count(clip), 1);

        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("list.txt"));
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write((TestSupport::MediaPath(QStringLiteral("tone_440.wav")) + "\n\n  " + png + "/seq.0005.png  \n").toUtf8());
        file.close();
        window.ProcessMessageFromOtherInstance({list});
        QCOMPARE(window.Sources().size(), 4);
        QVERIFY(paths().contains(TestSupport::MediaPath(QStringLiteral("tone_440.wav"))));
        QVERIFY(paths().contains(png + "/seq.0005.png")); // a single picture, not the sequence
        // Closing while the sources are still being probed: the probes that finish meanwhile
        // start nothing new, and every task ends.
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // A file with sound only: an empty picture, and the clock runs through the sound.
    void playsSoundOnly()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({TestSupport::MediaPath(QStringLiteral("tone_440.wav"))});
        QTRY_VERIFY(window.isVisible());
        AvManager* engine = window.Engine();
        QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline(), 20000);
        QVERIFY(engine->PrimaryTimeline()->FrameCount() >= 95);
        // The viewer holds no picture for an empty frame; the label says which frame it is.
        const auto labels = window.findChildren<QLabel*>();
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(labels.begin(), labels.end(),
                                             [](const QLabel* label) { return label->text().endsWith(QStringLiteral(" (no picture)")); }),
                                 20000);
        QVERIFY(!window.Viewer()->Output(0)->frame);
        engine->Play(true);
        QTRY_VERIFY_WITH_TIMEOUT(engine->Clock()->CurrentTime() > 500'000, 10000);
        engine->Pause();
        QVERIFY(engine->PrimaryTimeline()->Cache()->AudioSize() > 0);
    }

    // Two clips on the command line: the first in viewer A, the second in B, compared with the
    // wipe; the viewer's keys reach it.
    void twoClipsCompared()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        const QString first = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
        const QString second = TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"));
        PlovexBase window({first, second});
        QTRY_VERIFY(window.isVisible());
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ViewerWidget* view = window.View();
        QTRY_VERIFY_WITH_TIMEOUT(view->ShownFrame(0) && view->ShownFrame(1), 20000);
        QCOMPARE(view->LayoutType(), int(ViewerLayoutAB));
        QVERIFY(view->Overlay()->WipeEnabled());
        QCOMPARE(view->PrimaryTimeline()->GetSource()->Path(), first); // A, though it sorts after B
        QCOMPARE(view->ShownFrame(1)->timeline == view->PrimaryTimeline(), false);

        QTest::keyClick(&window, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->LayoutType(), int(ViewerLayoutHorizontal));
        QVERIFY(!view->Overlay()->WipeEnabled());
        QTest::keyClick(&window, Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(view->LayoutType(), int(ViewerLayoutVertical));
        QTest::keyClick(&window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(view->LayoutType(), int(ViewerLayoutAB));
        QVERIFY(view->Overlay()->WipeEnabled());
        QTest::keyClick(&window, Qt::Key_W);
        QVERIFY(!view->Overlay()->WipeEnabled());
        QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view->ZoomFactor(), 1.1f);
        QTest::keyClick(&window, Qt::Key_Backslash);
        QVERIFY(!view->PanZoomEnabled());
        QTest::keyClick(&window, Qt::Key_Backslash, Qt::ControlModifier);
        QCOMPARE(view->ZoomFactor(), 1.0f);
        QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(window.Viewer()->FlipVertical());
        QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(window.Viewer()->Rotation(), 90);
        QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(!window.Viewer()->FlipVertical());
        QCOMPARE(window.Viewer()->Rotation(), 0);
        QTest::keyClick(&window, Qt::Key_I);
        QVERIFY(view->EyeDropperEnabled());
        QTest::keyClick(&window, Qt::Key_F9);
        QVERIFY(view->Overlay()->MediaInfoEnabled());
        QVERIFY(view->Overlay()->MediaInfoLines().contains(QStringLiteral("Name: clip_23976.mp4")));
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // Two clips saved as a project and opened again in a new window: the same sources in the
    // same order, viewer A showing the first again, the layout kept.
    void projectSavedAndOpened()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        const QString first = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
        const QString second = TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("review.plvx2"));
        QStringList saved;
        {
            PlovexBase window({first, second});
            QTRY_VERIFY(window.isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0) && window.View()->ShownFrame(1), 20000);
            window.View()->SetViewerLayoutByType(ViewerLayoutHorizontal);
            QVERIFY(window.SaveProjectTo(path));
            for (const Source* source : window.Sources())
                saved << source->Path();
            QVERIFY(window.Engine()->Shutdown(true, 20000));
        }
        QCOMPARE(saved.size(), 2);
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        QVERIFY(window.OpenProject(path));
        QStringList opened;
        for (const Source* source : window.Sources())
            opened << source->Path();
        QCOMPARE(opened, saved);
        QCOMPARE(window.View()->LayoutType(), int(ViewerLayoutHorizontal));
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0) && window.View()->PrimaryTimeline(), 20000);
        QCOMPARE(window.View()->PrimaryTimeline()->GetSource()->Path(), first);
        TestSupport::LogCapture log;
        QVERIFY(!window.OpenProject(dir.filePath(QStringLiteral("missing.plvx2"))));
        QFile broken(dir.filePath(QStringLiteral("broken.plvx2")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(R"({"_meta": {"format": "plvx2", "version": 0}})");
        broken.close();
        QVERIFY(!window.OpenProject(broken.fileName()));
        QCOMPARE(log.errors.size(), 2);
        QCOMPARE(window.Sources().size(), 2); // the open project is kept
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // Import, undo and redo through the window's keys: the import goes away as one step (its
    // viewer emptied) and comes back shown again; a project file on the command line opens.
    void undoRedoAndProjectArgument()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        Settings::Get().autoPlayEnabled = false;
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.plvx2"));
        {
            PlovexBase window({clip});
            QTRY_VERIFY(window.isVisible());
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0) && window.View()->PrimaryTimeline(), 20000);
            QCOMPARE(window.Manager()->UndoStack()->text(0), QStringLiteral("AddSources"));
            QTest::keySequence(&window, QKeySequence::Undo);
            QVERIFY(window.Sources().isEmpty());
            QTRY_VERIFY(!window.View()->PrimaryTimeline());
            QTest::keySequence(&window, QKeySequence::Redo);
            QCOMPARE(window.Sources().size(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(window.View()->PrimaryTimeline() && window.View()->ShownFrame(0)
                                         && window.View()->ShownFrame(0)->timeline == window.View()->PrimaryTimeline(),
                                     20000);
            QVERIFY(window.SaveProjectTo(path));
            QVERIFY(window.Manager()->IsSaved());
            QVERIFY(window.Engine()->Shutdown(true, 20000));
        }
        PlovexBase window({path});
        QTRY_VERIFY(window.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(window.Sources().size(), 1, 20000);
        QCOMPARE(window.Sources().first()->Path(), clip);
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0), 20000); // it was in viewer A
        QCOMPARE(ProjectGlobals::ProjectPath(), path);
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // The title follows the timeline, the unsaved state and the frame; the recent menus list
    // as many entries as asked, and "Clear All" empties the list in the settings file too.
    void titleAndRecentMenus()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        Settings::Get().autoPlayEnabled = false;
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
        Settings::Get().numRecentProjects = 3;
        Settings::Get().recentProjects = {QStringLiteral("/a.plvx2"), QStringLiteral("/b.plvx2"), QStringLiteral("/c.plvx2"),
                                          QStringLiteral("/d.plvx2"), QStringLiteral("/e.plvx2")};
        PlovexBase window({clip});
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(window.windowTitle(), QStringLiteral("Plovex"));
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0), 20000);
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4* - Frame 1")); // the import is unsaved; frames count from 1
        window.Engine()->SetPlaybackTime(window.Engine()->PrimaryTimeline()->FrameStartTime(5));
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4* - Frame 6"));
        window.Manager()->UndoStack()->setClean();
        QCOMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4 - Frame 6"));
        window.Manager()->SetPlaybackRangeByFrame(window.Sources().first()->Id(), 2, 9);
        QCOMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4* - Frame 6"));
        window.Manager()->UndoStack()->undo();
        QCOMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4 - Frame 6"));
        // The shown source renamed: the title follows, and the undo brings the name back.
        window.Manager()->RenameItem(window.Sources().first()->Id(), QStringLiteral("hero"));
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("hero* - Frame 6"));
        window.Manager()->UndoStack()->undo();
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4 - Frame 6"));
        // Without the frame in the title, a frame change alone leaves the title as it was.
        Settings::Get().displayFrameNumberInTitleBar = false;
        window.Engine()->SetPlaybackTime(window.Engine()->PrimaryTimeline()->FrameStartTime(9));
        QTRY_COMPARE(window.Engine()->PrimaryTimeline()->PlaybackFrame(), 9);
        QCoreApplication::processEvents();
        QCOMPARE(window.windowTitle(), QStringLiteral("clip_23976.mp4 - Frame 6"));
        Settings::Get().displayFrameNumberInTitleBar = true;

        QMenu* projects = nullptr;
        QMenu* files = nullptr;
        for (QAction* top : window.menuBar()->actions())
            for (QAction* item : top->menu()->actions())
                if (item->menu() && item->menu()->title() == QLatin1String("Recent Projects"))
                    projects = item->menu();
                else if (item->menu() && item->menu()->title() == QLatin1String("Recent Files"))
                    files = item->menu();
        QVERIFY(projects && files);
        QStringList texts;
        for (const QAction* action : projects->actions())
            texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
        QCOMPARE(texts, (QStringList{QStringLiteral("/a.plvx2"), QStringLiteral("/b.plvx2"), QStringLiteral("/c.plvx2"),
                                     QStringLiteral("---"), QStringLiteral("Clear All")}));
        QCOMPARE(files->actions().first()->text(), clip); // the import is remembered
        projects->actions().last()->trigger();
        QTRY_VERIFY(Settings::Get().recentProjects.isEmpty()); // after the menu is done
        QSettings stored(Settings::SettingsFilePath(), QSettings::IniFormat);
        QVERIFY(stored.value(QStringLiteral("recentProjects")).toStringList().isEmpty());
        QCOMPARE(projects->actions().size(), 2); // the separator and "Clear All"
        Settings::Get().confirmOnClose = 2;
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // The looping choices, clicked through the Playback menu: the clock's loop state follows and
    // exactly one item is checked; a change from elsewhere moves the check; command 41 toggles
    // ping-pong. The layout and overlay sets the same way.
    void choiceSetsHaveOneCheck()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        QMenu* looping = nullptr;
        for (QAction* top : window.menuBar()->actions())
            for (QAction* item : top->menu()->actions())
                if (item->menu() && item->menu()->title() == QLatin1String("Looping"))
                    looping = item->menu();
        QVERIFY(looping);
        auto checked = [&] {
            QStringList names;
            for (const QAction* action : looping->actions())
                if (action->isChecked())
                    names << action->text();
            return names;
        };
        const QList<QPair<QString, LoopState>> clicks{{QStringLiteral("Ping Pong"), LoopPingPong},
                                                      {QStringLiteral("Play Once"), LoopOff},
                                                      {QStringLiteral("Play Once"), LoopOff}, // again: stays checked
                                                      {QStringLiteral("Loop"), LoopOn}};
        for (const auto& [text, state] : clicks) {
            for (QAction* action : looping->actions())
                if (action->text() == text)
                    action->trigger();
            QCOMPARE(window.Engine()->Clock()->GetLoopState(), state);
            QCOMPARE(checked(), QStringList{text});
        }
        window.Engine()->SetLoopState(LoopPingPong); // from elsewhere
        QCOMPARE(checked(), QStringList{QStringLiteral("Ping Pong")});
        window.Action(CommandId::TooglePingPong)->trigger();
        QCOMPARE(window.Engine()->Clock()->GetLoopState(), LoopOn);
        QCOMPARE(checked(), QStringList{QStringLiteral("Loop")});

        window.Action(CommandId::OverlayGrid)->trigger();
        window.Action(CommandId::OverlayGrid)->trigger(); // already the mode
        QVERIFY(window.Action(CommandId::OverlayGrid)->isChecked());
        QVERIFY(!window.Action(CommandId::OverlayOff)->isChecked());
        window.View()->SetViewerLayoutByType(ViewerLayoutVertical); // from elsewhere
        QVERIFY(window.Action(CommandId::ToggleViewerVertical)->isChecked());
        QVERIFY(!window.Action(CommandId::ToggleViewerAOverB)->isChecked());
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // The full window: its own dialogs' actions work, the actions of parts still to come are
    // there but disabled, and the list of recent project steps names them.
    void fullWindowActions()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexX window({});
        QTRY_VERIFY(window.isVisible());
        QVERIFY(window.Action(CommandId::ImportFolder)->isEnabled());
        QVERIFY(window.OwnAction(QStringLiteral("importProject"))->isEnabled());
        QVERIFY(window.OwnAction(QStringLiteral("about"))->isEnabled());
        QVERIFY(!window.Action(CommandId::SaveSourceAs)->isEnabled());
        QVERIFY(window.Action(CommandId::ExportToFile)->isEnabled());
        QVERIFY(window.Action(CommandId::ShowPreferences)->isEnabled());
        QVERIFY(window.Action(CommandId::ShowMayaTools)->isEnabled());
        QVERIFY(window.Action(CommandId::ActivatePencil)->isEnabled());
        window.Manager()->AddTimeline(QStringLiteral("cut"), QUuid());
        window.OwnAction(QStringLiteral("recentCommandsList"))->trigger();
        auto* steps = window.findChild<QUndoView*>();
        QVERIFY(steps && steps->isVisible());
        QCOMPARE(steps->model()->rowCount(), 2); // the clean state, and the step
        QCOMPARE(steps->model()->index(1, 0).data().toString(), QStringLiteral("AddTimeline"));

        // The wipe's snapping choices are settings with check marks.
        QAction* snap = window.Action(CommandId::ToggleABWipeSnap);
        QVERIFY(snap->isEnabled() && snap->isChecked());
        snap->trigger();
        QVERIFY(!Settings::Get().wipeSnapEnabled);
        QVERIFY(!snap->isChecked());
        window.Action(CommandId::ToggleABWipeSnapGuides)->trigger();
        QVERIFY(!Settings::Get().wipeSnapGuidesEnabled);
        // Ctrl+Alt+O imports the most recent file again.
        Settings::Get().recentFiles = {TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"))};
        window.Action(CommandId::ImportRecentFile)->trigger();
        QTRY_COMPARE(window.Sources().size(), 1);

        // Help: the keys of every command, and the documentation handed to the desktop.
        QMenu* help = window.menuBar()->actions().last()->menu();
        QCOMPARE(help->title(), QStringLiteral("Help"));
        help->actions().at(1)->trigger();
        QVERIFY(window.ShortcutsWindow()->isVisible());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenUrl");
        m_opened.clear();
        help->actions().at(0)->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_opened.first().toLocalFile().endsWith(QStringLiteral("/README.md")));
        QVERIFY(QFileInfo::exists(m_opened.first().toLocalFile()));
        Settings::Get().confirmOnClose = 2;
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // The side bar's project tree: a source dragged onto the viewer shows there; a rename and
    // a delete in the tree undo and redo; Del reaches the tree when it has the focus.
    void projectTree()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        Settings::Get().autoPlayEnabled = false;
        const QString first = TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"));
        const QString second = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        PlovexX window({first});
        QTRY_VERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0), 20000);
        QList<QUuid> ids = window.Manager()->ImportFiles({second}, {});
        QCOMPARE(ids.size(), 1);
        ProjectTreeWidget* tree = window.ProjectTree();
        QTRY_VERIFY(tree->ItemFor(ids.first()));
        QTreeWidgetItem* item = tree->ItemFor(ids.first());
        QCOMPARE(item->text(0), QStringLiteral("clip_rotated.mp4"));
        QCOMPARE(item->parent()->text(0), QStringLiteral("SOURCES"));

        // Dragged onto the viewer.
        QMimeData* mime = tree->model()->mimeData({tree->indexFromItem(item)});
        QVERIFY(mime->hasFormat(ProjectMimeTypes::Timelines));
        const QPoint centre = window.View()->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.View(), &enter);
        QDropEvent drop(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.View(), &drop);
        delete mime;
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->PrimaryTimeline()
                                     && window.View()->PrimaryTimeline()->GetSource()->Path() == second, 20000);

        // Renamed in place, then undone and redone. The drop rebuilt the tree: its rows are new.
        item = tree->ItemFor(ids.first());
        QVERIFY(item);
        item->setText(0, QStringLiteral("hero"));
        QCOMPARE(window.GetProject()->Item(ids.first())->Name(), QStringLiteral("hero"));
        window.Manager()->UndoStack()->undo();
        QCOMPARE(window.GetProject()->Item(ids.first())->Name(), QStringLiteral("clip_rotated.mp4"));
        QTRY_COMPARE(tree->ItemFor(ids.first())->text(0), QStringLiteral("clip_rotated.mp4"));
        window.Manager()->UndoStack()->redo();
        QTRY_COMPARE(tree->ItemFor(ids.first())->text(0), QStringLiteral("hero"));

        // F2 while a name is edited belongs to the editor, not to its command.
        tree->editItem(tree->ItemFor(ids.first()));
        QTRY_VERIFY(tree->IsEditing());
        auto* editor = tree->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        QKeyEvent f2(QEvent::ShortcutOverride, Qt::Key_F2, Qt::NoModifier);
        QCoreApplication::sendEvent(editor, &f2);
        QVERIFY(f2.isAccepted());
        QKeyEvent f3(QEvent::ShortcutOverride, Qt::Key_F3, Qt::NoModifier);
        QCoreApplication::sendEvent(editor, &f3);
        QVERIFY(!f3.isAccepted());
        // A change of the project while the name is edited leaves the editor open; an empty
        // name is refused and the old one shown again.
        const QUuid busy = window.Manager()->AddFolder(QStringLiteral("busy"), QUuid());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(tree->IsEditing());
        QCOMPARE(tree->viewport()->findChild<QLineEdit*>(), editor);
        editor->clear();
        QKeyEvent commit(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier); // the editor's own Return
        QCoreApplication::sendEvent(editor, &commit);
        QTRY_VERIFY(!tree->IsEditing());
        QCOMPARE(window.GetProject()->Item(ids.first())->Name(), QStringLiteral("hero"));
        QTRY_COMPARE(tree->ItemFor(ids.first())->text(0), QStringLiteral("hero"));
        QTRY_VERIFY(tree->ItemFor(busy)); // the folder added meanwhile is listed
        QKeyEvent later(QEvent::ShortcutOverride, Qt::Key_F2, Qt::NoModifier);
        QCoreApplication::sendEvent(tree, &later);
        QVERIFY(!later.isAccepted());

        // A new timeline selected in the tree shows in the panel below; the source dragged
        // from the tree into it becomes a clip; Del with the panel focused takes it out.
        tree->clearSelection();
        const QList<QUuid> before = window.GetProject()->Timelines().keys();
        tree->AddTimeline();
        QUuid edit;
        for (const QUuid& id : window.GetProject()->Timelines().keys())
            if (!before.contains(id))
                edit = id;
        TimelinePanelWidget* panel = window.TimelinePanel();
        QTRY_COMPARE(panel->TimelineId(), edit); // selected once listed
        QCOMPARE(tree->SelectedIds(), QList<QUuid>{edit});
        QMimeData* source = tree->model()->mimeData({tree->indexFromItem(tree->ItemFor(ids.first()))});
        QDragEnterEvent into(QPoint(5, 5), Qt::CopyAction, source, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(panel->viewport(), &into);
        QVERIFY(into.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, source, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(panel->viewport(), &dropped);
        delete source;
        QTRY_COMPARE(panel->count(), 1);
        QVERIFY(panel->item(0)->text().startsWith(QStringLiteral("hero")));
        panel->item(0)->setSelected(true);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        panel->setFocus();
        QTRY_VERIFY(panel->hasFocus());
        QTest::keyClick(panel, Qt::Key_Delete);
        QCOMPARE(window.Manager()->RegularTimeline(edit)->GetTrack()->ClipCount(), 0);
        QTRY_COMPARE(panel->count(), 0);
        window.Manager()->UndoStack()->undo();
        QTRY_COMPARE(panel->count(), 1);
        // A timeline opened in viewer A shows there; the tree's rebuilds leave it.
        const QUuid other = window.Manager()->AddTimeline(QStringLiteral("other"), QUuid());
        window.Manager()->OpenItemsInViewers({other}, 0, false);
        QTRY_COMPARE(panel->TimelineId(), other);
        window.Manager()->RenameItem(edit, QStringLiteral("edit"));
        QTRY_COMPARE(tree->ItemFor(edit)->text(0), QStringLiteral("edit"));
        QCOMPARE(panel->TimelineId(), other);

        // Deleted with Del in the tree, then back.
        tree->setFocus();
        tree->clearSelection();
        tree->ItemFor(ids.first())->setSelected(true);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        tree->setFocus();
        QTRY_VERIFY(tree->hasFocus());
        QTest::keyClick(tree, Qt::Key_Delete);
        QVERIFY(!window.GetProject()->Item(ids.first()));
        QTRY_VERIFY(!tree->ItemFor(ids.first()));
        QCOMPARE(window.Manager()->UndoStack()->text(window.Manager()->UndoStack()->index() - 1), QStringLiteral("DeleteProjectItems"));
        window.Manager()->UndoStack()->undo();
        QVERIFY(window.GetProject()->Item(ids.first()));
        QTRY_VERIFY(tree->ItemFor(ids.first()));
        window.Manager()->UndoStack()->redo();
        QVERIFY(!window.GetProject()->Item(ids.first()));
        Settings::Get().confirmOnClose = 2;
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // F11 twice gives back the window's place and size and what was visible; a menu bar hidden
    // before stays hidden; Esc leaves full screen too.
    void fullScreenAndBack()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        window.setGeometry(40, 50, 900, 600);
        QTRY_COMPARE(window.geometry(), QRect(40, 50, 900, 600));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(window.menuBar()->isVisible());
        auto* sideBar = window.findChild<QDockWidget*>(QStringLiteral("sidebardock"));
        QVERIFY(sideBar && sideBar->isVisible());
        QCOMPARE(window.dockWidgetArea(sideBar), Qt::LeftDockWidgetArea);
        QCOMPARE(window.Action(CommandId::MoveSideBar)->text(), QStringLiteral("Move Side Bar Right"));
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        QVERIFY(!window.menuBar()->isVisible());
        QVERIFY(!sideBar->isVisible());
        QVERIFY(Settings::Get().menuBarVisible); // the choice is kept
        QVERIFY(window.Action(CommandId::ToggleFullscreen)->isChecked());
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(!window.isFullScreen());
        QTRY_COMPARE(window.geometry(), QRect(40, 50, 900, 600));
        QVERIFY(window.menuBar()->isVisible());
        QVERIFY(sideBar->isVisible());
        window.Action(CommandId::MoveSideBar)->trigger();
        QCOMPARE(window.dockWidgetArea(sideBar), Qt::RightDockWidgetArea);
        QCOMPARE(window.Action(CommandId::MoveSideBar)->text(), QStringLiteral("Move Side Bar Left"));
        QVERIFY(!Settings::Get().sideBarLeft);

        window.Action(CommandId::ToggleMenuBar)->trigger();
        QVERIFY(!window.menuBar()->isVisible());
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        QTest::keyClick(&window, Qt::Key_Escape);
        QTRY_VERIFY(!window.isFullScreen());
        QVERIFY(!window.menuBar()->isVisible());
        QVERIFY(!Settings::Get().menuBarVisible);
        QVERIFY(!window.Action(CommandId::ToggleFullscreen)->isChecked());

        // A side bar hidden before stays hidden; one moved in full screen stays where it went.
        window.Action(CommandId::ToggleSideBar)->trigger();
        QVERIFY(!sideBar->isVisible());
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        window.Action(CommandId::MoveSideBar)->trigger();
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(!window.isFullScreen());
        QVERIFY(!sideBar->isVisible());
        window.Action(CommandId::ToggleSideBar)->trigger();
        QVERIFY(sideBar->isVisible());
        QCOMPARE(window.dockWidgetArea(sideBar), Qt::LeftDockWidgetArea);
        QVERIFY(Settings::Get().sideBarLeft);

        // Full screen left by the window system, not by F11: what was hidden comes back.
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        QVERIFY(!sideBar->isVisible());
        window.showNormal();
        QTRY_VERIFY(!window.isFullScreen());
        QTRY_VERIFY(sideBar->isVisible());
        QVERIFY(!window.Action(CommandId::ToggleFullscreen)->isChecked());
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // While a load blocks input, the side bar and the viewer's drops are off, and a refused
    // click on a checkable item leaves its check as it was.
    void inputBlockedDuringLoads()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        auto* sideBar = window.findChild<QDockWidget*>(QStringLiteral("sidebardock"));
        QAction* onTop = window.Action(CommandId::ToggleAlwaysOnTop);
        QAction* menuBarItem = window.Action(CommandId::ToggleMenuBar);
        QVERIFY(!onTop->isChecked());
        emit window.Manager()->BlockUserInputChanged(true);
        QVERIFY(!sideBar->isEnabled());
        QVERIFY(!window.View()->acceptDrops());
        onTop->trigger();
        menuBarItem->trigger();
        QVERIFY(!onTop->isChecked());
        QVERIFY(!Settings::Get().alwaysOnTopEnabled);
        QVERIFY(menuBarItem->isChecked());
        QVERIFY(window.menuBar()->isVisible());
        emit window.Manager()->BlockUserInputChanged(false);
        QVERIFY(sideBar->isEnabled());
        QVERIFY(window.View()->acceptDrops());
        onTop->trigger();
        QVERIFY(onTop->isChecked());
        QVERIFY(Settings::Get().alwaysOnTopEnabled);
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // Closing with unsaved changes asks when it should: Cancel keeps the window, "Don't Save"
    // closes it; a never-saved project closes without a question under "Saved Project Changes".
    void closeAsksAboutUnsavedChanges()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({});
        QTRY_VERIFY(window.isVisible());
        window.Manager()->AddTimeline(QStringLiteral("cut"), QUuid());
        QVERIFY(!window.Manager()->IsSaved());
        Settings::Get().confirmOnClose = 0; // always
        // Clicks the button with `text` in the box, once it shows.
        auto answer = [](const QString& text) {
            QTimer::singleShot(200, [text] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("Warning: Project Not Saved"));
                QCOMPARE(box->text(), QStringLiteral("Save changes to <b>untitled</b> project?"));
                QStringList texts;
                for (QAbstractButton* button : box->buttons())
                    texts << button->text().remove(QLatin1Char('&'));
                texts.sort();
                QCOMPARE(texts, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Don't Save"), QStringLiteral("Save")}));
                for (QAbstractButton* button : box->buttons())
                    if (button->text().remove(QLatin1Char('&')) == text)
                        button->click();
            });
        };
        answer(QStringLiteral("Cancel"));
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        // Don't Save: the console's place, the bindings and then the settings are written, and
        // the engine has no worker left.
        ConsoleWindow* console = window.Console();
        window.ShowConsoleWindow();
        console->setGeometry(60, 70, 500, 300);
        QTRY_COMPARE(console->geometry().topLeft(), QPoint(60, 70));
        const QByteArray consoleGeometry = console->saveGeometry();
        const QString settingsFile = Settings::SettingsFilePath();
        const QString bindingsFile = Settings::SettingsDirPath() + QStringLiteral("/plovex_bindings.ini");
        QFile::remove(settingsFile);
        QFile::remove(bindingsFile);
        answer(QStringLiteral("Don't Save"));
        QVERIFY(window.close());
        QCOMPARE(window.Engine()->ActiveWorkerCount(), 0);
        QCOMPARE(window.Engine()->ShuttingDownWorkerCount(), 0);
        QVERIFY(QFileInfo::exists(bindingsFile) && QFileInfo::exists(settingsFile));
        QVERIFY(QFileInfo(bindingsFile).lastModified() <= QFileInfo(settingsFile).lastModified());
        {
            QSettings written(settingsFile, QSettings::IniFormat);
            QCOMPARE(written.value(QStringLiteral("main/consoleWindowGeometry")).toByteArray(), consoleGeometry);
            QVERIFY(!written.value(QStringLiteral("main/sideBarViewState")).toByteArray().isEmpty());
        }

        PlovexBase second({});
        QTRY_VERIFY(second.isVisible());
        second.Manager()->AddTimeline(QStringLiteral("cut"), QUuid());
        Settings::Get().confirmOnClose = 1; // only a project that has a file
        QVERIFY(second.close());

        // Save on a project never saved asks where, adds the ending, and closes once saved.
        QTemporaryDir folder;
        PlovexBase third({});
        QTRY_VERIFY(third.isVisible());
        third.Manager()->AddTimeline(QStringLiteral("cut"), QUuid());
        Settings::Get().confirmOnClose = 0;
        answer(QStringLiteral("Save"));
        QTimer::singleShot(800, [&folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save Project"));
            // Typed into the dialog's name field, as a user would.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(folder.filePath(QStringLiteral("review")));
            static_cast<QDialog*>(dialog)->accept(); // its own accept(), protected in the subclass
        });
        QVERIFY(third.close());
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("review.plvx2"))));
    }

    // A render finishing over the file shown in viewer A: the viewer lets go of the old source
    // and shows the new one, of the new length.
    void shownFileReloads()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        Settings::Get().autoPlayEnabled = false;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("render.mp4"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_23976.mp4")), path));
        PlovexBase window({path});
        QTRY_VERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->ShownFrame(0) && window.View()->PrimaryTimeline(), 20000);
        const Source* before = window.Sources().value(0);
        QCOMPARE(window.View()->PrimaryTimeline()->FrameCount(), 48);

        const QString temporary = dir.filePath(QStringLiteral("render.tmp"));
        QVERIFY(QFile::copy(TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4")), temporary));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(temporary, path));
        QTRY_VERIFY_WITH_TIMEOUT(window.Sources().size() == 1 && window.Sources().first() != before, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(window.View()->PrimaryTimeline() && window.View()->PrimaryTimeline()->FrameCount() == 75
                                     && window.View()->ShownFrame(0)
                                     && window.View()->ShownFrame(0)->timeline == window.View()->PrimaryTimeline(),
                                 20000);
        QCOMPARE(window.Engine()->PrimaryTimeline(), window.View()->PrimaryTimeline());
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

    // The user's bindings file decides the keys: Space given to pause stays with play/pause
    // (one warning), F10 shows the console, and closing writes the file back. The console's
    // four commands work; other text does nothing.
    void keysAndConsole()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        Settings::Get().consoleShowOnType = 0;
        const QString bindings = Settings::SettingsDirPath() + QStringLiteral("/plovex_bindings.ini");
        QVERIFY(QDir().mkpath(Settings::SettingsDirPath()));
        QFile::remove(bindings);
        {
            QSettings file(bindings, QSettings::IniFormat);
            file.setValue(QStringLiteral("user_bindings/pause"), QStringList{QStringLiteral("Space")});
            file.setValue(QStringLiteral("user_bindings/stepForwards"), QStringList{QStringLiteral("Ctrl+Shift+2")});
        }
        TestSupport::LogCapture log;
        {
            PlovexBase window({TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"))});
            // Every command has its action now: the key given to step forwards is taken from
            // the later "Resize to Double" as well.
            QCOMPARE(log.warnings, (QStringList{QStringLiteral("Duplicate hotkey detected: Pause (Space)"),
                                                QStringLiteral("Duplicate hotkey detected: Resize to Double (Ctrl+Shift+2)")}));
            QTRY_VERIFY(window.isVisible());
            window.activateWindow(); // no window manager on the test display does it
            QVERIFY(QTest::qWaitForWindowActive(&window));
            AvManager* engine = window.Engine();
            QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline() && window.Viewer()->Output(0)->frame, 20000);
            QTest::keyClick(&window, Qt::Key_Space);
            QVERIFY(engine->Clock()->IsPlaying());
            QTest::keyClick(&window, Qt::Key_K);
            QVERIFY(engine->Clock()->IsPlaying()); // pause has no key now
            QTest::keyClick(&window, Qt::Key_Space);
            QVERIFY(!engine->Clock()->IsPlaying());
            const int32_t frame = engine->PrimaryTimeline()->PlaybackFrame();
            QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier | Qt::ShiftModifier);
            QTRY_COMPARE(engine->PrimaryTimeline()->PlaybackFrame(), frame + 1);

            ConsoleWindow* console = window.Console();
            QVERIFY(console->isHidden());
            QTest::keyClick(&window, Qt::Key_F10);
            QVERIFY(console->isVisible());
            auto type = [&](const QString& command) {
                QTest::keyClicks(console->CommandField(), command);
                QTest::keyClick(console->CommandField(), Qt::Key_Return);
                QCoreApplication::processEvents();
                QCoreApplication::processEvents();
            };
            auto text = [&] { return console->OutputPane()->toPlainText(); };
            QTRY_VERIFY(!text().isEmpty());
            type(QStringLiteral("Clear"));
            QVERIFY(!text().isEmpty());
            type(QStringLiteral("clear"));
            QVERIFY(text().isEmpty());
            type(QStringLiteral("about"));
            QVERIFY2(text().startsWith(QStringLiteral("Plovex v")), qPrintable(text()));
            QVERIFY(text().contains(QStringLiteral("\nCache Size: 1024\n")));
            QVERIFY(text().contains(QStringLiteral("\nPort: 18186 (1)\nMaya CommandPort: 20240\n")));
            type(QStringLiteral("cache"));
            QVERIFY(text().contains(QStringLiteral("Cache Info (clip_rotated.mp4)\n\tAudio Frame Count: ")));
            type(QStringLiteral("reset audio"));
            QTRY_VERIFY(text().contains(QStringLiteral("Audio output device reset")));
            const QString before = text();
            type(QStringLiteral("help"));
            QCOMPARE(text(), before);

            window.ShowKeyboardShortcuts();
            KeyboardShortcutsWindow* shortcuts = window.ShortcutsWindow();
            QVERIFY(shortcuts->isVisible());
            QTest::keyClicks(shortcuts->FilterBox(), QStringLiteral("Ctrl+Shift+2"));
            QCOMPARE(shortcuts->VisibleRowCount(), 1); // step forwards: resize to double lost the key to it
            window.close();
        }
        QSettings file(bindings, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("user_bindings/pause")).toStringList(), QStringList{QStringLiteral("Space")});
        QCOMPARE(file.value(QStringLiteral("user_bindings/playPause")).toStringList(), QStringList{QStringLiteral("Space")});
        QCOMPARE(file.value(QStringLiteral("main/version")).toInt(), 1);
    }

    // Where OpenGL is older than 3.3 the viewer says so and stays blank; nothing crashes.
    // Ctrl+E opens the export dialog over the window, through the player panel.
    void exportKeyOpensDialog()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        PlovexBase window({TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"))});
        QTRY_VERIFY(window.isVisible());
        window.activateWindow(); // no window manager on the test display does it
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(!window.Panel()->Exports()->ExistingDialog());
        QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
        ExportDialog* dialog = window.Panel()->Exports()->ExistingDialog();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        dialog->hide();
        window.Engine()->Shutdown(true, 20000);
    }

    void oldOpenGL()
    {
        QTemporaryDir home;
        QProcess player;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MESA_GL_VERSION_OVERRIDE"), QStringLiteral("3.2"));
        environment.insert(QStringLiteral("HOME"), home.path());
        player.setProcessEnvironment(environment);
        player.start(QStringLiteral(PLOVEX_BINARY), {QStringLiteral("--new"), TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"))});
        QVERIFY(player.waitForStarted(10000));
        QByteArray errors;
        QElapsedTimer timer;
        timer.start();
        while (!errors.contains("Minimum required version") && timer.elapsed() < 20000 && player.state() == QProcess::Running) {
            player.waitForReadyRead(200);
            errors += player.readAllStandardError();
        }
        const bool running = player.state() == QProcess::Running;
        player.kill();
        player.waitForFinished(10000);
        if (errors.contains("Failed to get a valid OpenGL context"))
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL on this display at all");
        QVERIFY2(errors.contains("[ERROR] OpenGL verison is too old (3.2). Minimum required version is 3.3."), errors.constData());
        QVERIFY(running);
    }

    // The client API server listens on the configured port when the window starts, and only
    // when `clientApiPortEnabled` is on: with it off, a connection to that port is refused.
    void clientApiListensOnlyWhenEnabled_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("enabled") << true;
        QTest::newRow("disabled") << false;
    }
    void clientApiListensOnlyWhenEnabled()
    {
        QFETCH(bool, enabled);
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        Settings::Get().clientApiPort = port;
        Settings::Get().clientApiPortEnabled = enabled;
        PlovexX window({});
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(window.ClientApiServer() != nullptr, enabled);
        QTcpSocket client;
        bool refused = false;
        connect(&client, &QTcpSocket::errorOccurred, &client,
                [&](QAbstractSocket::SocketError error) { refused = error == QAbstractSocket::ConnectionRefusedError; });
        client.connectToHost(QHostAddress::LocalHost, port);
        if (enabled) {
            QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
            QCOMPARE(window.ClientApiServer()->Port(), port);
        } else {
            QTRY_VERIFY(refused);
            QCOMPARE(client.state(), QAbstractSocket::UnconnectedState);
        }
        client.abort();
        QVERIFY(window.Engine()->Shutdown(true, 20000));
    }

private:
    QList<QUrl> m_opened;
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
