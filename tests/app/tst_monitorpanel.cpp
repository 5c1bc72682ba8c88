// The player panel in the real window: the speed, loop, step, seek, volume and bar commands
// from their keys, and the places of the time bars.
#include "app/PlovexX.h"
#include "core/CommandId.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "engine/AvWorker.h"
#include "maya/MayaSync.h"
#include "maya/MayaToolsDialog.h"
#include "playback/AudioOutput.h"
#include "playback/AudioOutputManager.h"
#include "playback/LoopState.h"
#include "playback/PlaybackManager.h"
#include "project/AnnotationStroke.h"
#include "project/FrameBookmark.h"
#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "tests/TestSupport.h"
#include "ui/AnnotationOptionsWidget.h"
#include "ui/AnnotationToolsWidget.h"
#include "ui/GlobalTimeControlWidget.h"
#include "ui/MonitorPanel.h"
#include "ui/PlaybackOptionsWidget.h"
#include "ui/RangeTimeControlWidget.h"
#include "ui/ToolsDisplayWidget.h"
#include "viewer/AnnotationTypes.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/SurfaceFormat.h"
#include "viewer/TextToolPopup.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerWidget.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QMenu>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A window showing the 2-second 23.976 fps test clip (48 frames), active so that its keys
// work, paused at frame 0.
struct Player
{
    PlovexX window{{TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"))}};

    bool Open()
    {
        // The window shows itself on the first turn of the event loop.
        if (!QTest::qWaitFor([this] { return window.isVisible(); }) || !QTest::qWaitForWindowExposed(&window))
            return false;
        window.activateWindow(); // no window manager on the test display does it
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        return QTest::qWaitFor([this] { return Timeline() && Timeline()->FrameCount() == 48; }, 20000);
    }
    ::Timeline* Timeline() const { return window.Engine()->PrimaryTimeline(); }
    QUuid TimelineId() const { return window.Manager()->ItemInViewer(0)->Id(); }
    MonitorPanel* Panel() const { return window.Panel(); }
    float Speed() const { return window.Engine()->Clock()->PlaybackSpeed(); }
    int Frame() const { return Timeline()->PlaybackFrame(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(&window, key, modifiers); }
    ~Player()
    {
        Settings::Get().confirmOnClose = 2;
        window.Engine()->Shutdown(true, 20000);
    }
};

} // namespace

class TestMonitorPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
    }

    // 9, "=", Ctrl+0 twice: half speed, a step up, back to normal, and back to the last other
    // speed; the viewer says so. Ctrl+L turns looping off and on again.
    void speedAndLoopKeys()
    {
        Player player;
        QVERIFY(player.Open());
        player.Key(Qt::Key_0, Qt::ControlModifier); // from 1.0 before any other speed: half
        QCOMPARE(player.Speed(), 0.5f);
        player.Key(Qt::Key_0);
        QCOMPARE(player.Speed(), 1.0f);
        player.Key(Qt::Key_9);
        QCOMPARE(player.Speed(), 0.5f);
        QCOMPARE(player.Panel()->View()->Overlay()->Message(), QStringLiteral("Speed 0.50x"));
        player.Key(Qt::Key_Equal);
        QCOMPARE(player.Speed(), 0.75f);
        player.Key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(player.Speed(), 1.0f);
        player.Key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(player.Speed(), 0.75f);
        player.Key(Qt::Key_Minus);
        player.Key(Qt::Key_Minus);
        player.Key(Qt::Key_Minus);
        QCOMPARE(player.Speed(), 0.25f); // never below a quarter

        QCOMPARE(player.window.Engine()->Clock()->GetLoopState(), LoopOn);
        player.Key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(player.window.Engine()->Clock()->GetLoopState(), LoopOff);
        QCOMPARE(player.Panel()->View()->Overlay()->Message(), QStringLiteral("Play Once"));
        player.Key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(player.window.Engine()->Clock()->GetLoopState(), LoopOn);
    }

    // Home goes to frame 0, Ctrl+Left and Ctrl+Right to the range's ends; Right at the range
    // end wraps to its start while loop-on-step is on, and stops there when it is off; Left
    // likewise at the start; Alt+Right steps ten frames.
    void stepsAndSeeks()
    {
        Player player;
        QVERIFY(player.Open());
        player.window.Manager()->SetPlaybackRangeByFrame(player.TimelineId(), 10, 20);
        QTRY_COMPARE(player.Timeline()->RangeEndFrame(), 20);
        player.Key(Qt::Key_Right, Qt::ControlModifier);
        QTRY_COMPARE(player.Frame(), 20);
        QTRY_COMPARE(player.Panel()->ToolsDisplay()->Text(), QStringLiteral("Frame 21 of 48")); // frames count from 1
        player.Key(Qt::Key_Right);
        QTRY_COMPARE(player.Frame(), 10);
        player.Key(Qt::Key_Left);
        QTRY_COMPARE(player.Frame(), 20);
        // Without wrapping, Right at the end stays there: the Left after it lands one before.
        Settings::Get().loopOnStepScrub = false;
        player.Key(Qt::Key_Right);
        player.Key(Qt::Key_Left);
        QTRY_COMPARE(player.Frame(), 19);
        player.Key(Qt::Key_Home);
        QTRY_COMPARE(player.Frame(), 0);
        player.Key(Qt::Key_Right); // from outside the range into it
        QTRY_COMPARE(player.Frame(), 10);
        player.Key(Qt::Key_Home);
        QTRY_COMPARE(player.Frame(), 0);
        player.Key(Qt::Key_Left, Qt::ControlModifier);
        QTRY_COMPARE(player.Frame(), 10);
        player.Key(Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE(player.Frame(), 20); // ten on
        player.Key(Qt::Key_Right, Qt::AltModifier);
        player.Key(Qt::Key_Left);
        QTRY_COMPARE(player.Frame(), 19); // no further than the range
        // Outside the range with neither range choice, steps cover the whole timeline.
        Settings::Get().loopStepScrubToRange = false;
        Settings::Get().lockStepScrubToRange = false;
        player.Key(Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE(player.Frame(), 29);
        player.Key(Qt::Key_End);
        QTRY_COMPARE(player.Frame(), 47);
    }

    // The range bar next to the picture and the global bar outside it, in all four
    // arrangements; F2 and F3 hide and show them and store it.
    void timeBarPlaces()
    {
        Player player;
        QVERIFY(player.Open());
        MonitorPanel* panel = player.Panel();
        QWidget* view = panel->View();
        QWidget* global = panel->GlobalTimeControl();
        QWidget* range = panel->RangeTimeControl();
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{range, view, global})); // the defaults
        panel->ToggleTimeControlPosition(panel->RangeTimeControl());
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{view, range, global}));
        panel->SwapTimeControls();
        QVERIFY(Settings::Get().globalTimeControlPositionTop && Settings::Get().rangeTimeControlPositionTop);
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{global, range, view}));
        // Each bar knows where it now is: its menu offers the other side, and taking it moves it.
        QVERIFY(panel->GlobalTimeControl()->PositionTop());
        const std::unique_ptr<QMenu> menu = panel->GlobalTimeControl()->CreateContextMenu(QPoint(10, 10));
        QAction* move = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().startsWith(QStringLiteral("Move to ")))
                move = action;
        QVERIFY(move);
        QCOMPARE(move->text(), QStringLiteral("Move to Bottom"));
        move->trigger();
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{range, view, global}));
        panel->ToggleTimeControlPosition(panel->GlobalTimeControl());
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{global, range, view}));
        panel->ToggleTimeControlPosition(panel->RangeTimeControl());
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{global, view, range}));
        panel->SwapTimeControls();
        QCOMPARE(panel->ViewerColumn(), (QList<QWidget*>{range, view, global}));

        player.Key(Qt::Key_F2);
        QVERIFY(global->isHidden());
        QVERIFY(!Settings::Get().globalTimeControlVisible);
        player.Key(Qt::Key_F3);
        QVERIFY(range->isHidden());
        QVERIFY(!Settings::Get().rangeTimeControlVisible);
        player.Key(Qt::Key_F2);
        player.Key(Qt::Key_F3);
        QVERIFY(global->isVisible() && range->isVisible());
        QVERIFY(Settings::Get().globalTimeControlVisible && Settings::Get().rangeTimeControlVisible);
        player.Key(Qt::Key_F4);
        QVERIFY(!Settings::Get().playbackControlsVisible);
        player.Key(Qt::Key_F5);
        QVERIFY(!Settings::Get().viewerControlsVisible);
    }

    // The drawing commands from their keys: F8 shows the tools, a tool's key takes it up and
    // puts it down again, Esc puts it down, H and G hold and ghost, the Annotations choices
    // keep one check; Del clears the frame's drawing as one step that Undo Annotation undoes.
    void annotationKeys()
    {
        Player player;
        QVERIFY(player.Open());
        MonitorPanel* panel = player.Panel();
        AnnotationToolsWidget* tools = panel->AnnotationTools();
        QVERIFY(tools->isHidden()); // hidden at launch by default
        player.Key(Qt::Key_F8);
        QVERIFY(tools->isVisible() && panel->AnnotationOptions()->isVisible());
        QVERIFY(Settings::Get().annotationToolsVisible);

        player.Key(Qt::Key_P);
        QCOMPARE(panel->View()->AnnotationTool(), int(AnnotationToolPencil));
        QVERIFY(tools->ToolButton(AnnotationToolPencil)->isChecked());
        player.Key(Qt::Key_P);
        QCOMPARE(panel->View()->AnnotationTool(), -1);
        QVERIFY(!tools->ToolButton(AnnotationToolPencil)->isChecked());
        player.Key(Qt::Key_A);
        QCOMPARE(panel->View()->AnnotationTool(), int(AnnotationToolArrow));
        player.Key(Qt::Key_Escape);
        QCOMPARE(panel->View()->AnnotationTool(), -1);
        tools->ToolButton(AnnotationToolEllipse)->click();
        QCOMPARE(panel->View()->AnnotationTool(), int(AnnotationToolEllipse));

        AnnotationsOverlay* overlay = panel->View()->Annotations();
        player.Key(Qt::Key_H);
        QVERIFY(overlay->HoldFrames());
        QVERIFY(tools->Button(QStringLiteral("hold"))->isChecked());
        player.Key(Qt::Key_G);
        QVERIFY(overlay->Ghosting());
        QVERIFY(tools->Button(QStringLiteral("ghosting"))->isChecked());

        player.window.Action(CommandId::AnnotationsOff)->trigger();
        QCOMPARE(overlay->Visibility(), int(AnnotationVisibilityOff));
        QVERIFY(!player.window.Action(CommandId::AnnotationsOn)->isChecked());
        QVERIFY(player.window.Action(CommandId::AnnotationsOff)->isChecked());
        player.window.Action(CommandId::AnnotationsOn)->trigger();
        QCOMPARE(overlay->Visibility(), int(AnnotationVisibilityOn));
        QVERIFY(!player.window.Action(CommandId::AnnotationsOff)->isChecked());

        // A dot in the middle of the picture with the pencil, then Del and Undo Annotation.
        player.Key(Qt::Key_P);
        const QPointF middle = QRectF(panel->View()->rect()).center();
        QTRY_VERIFY(overlay->CanBeginStroke(middle));
        QVERIFY(overlay->BeginStroke(middle));
        overlay->EndStroke();
        const FrameBookmark* drawing = player.Timeline()->FrameBookmarkAt(player.Frame());
        QVERIFY(drawing);
        QCOMPARE(drawing->Strokes().size(), 1);
        player.Key(Qt::Key_Delete);
        QCOMPARE(drawing->Strokes().size(), 0);
        player.window.OwnAction(QStringLiteral("undoAnnotation"))->trigger();
        QCOMPARE(drawing->Strokes().size(), 1);

        // On the background layer Del clears the background, and Undo Annotation brings it
        // back; the frame's own drawing is left alone.
        tools->Button(QStringLiteral("background"))->click();
        QVERIFY(overlay->BeginStroke(middle + QPointF(20, 20)));
        overlay->EndStroke();
        const FrameBookmark* background = player.Timeline()->BackgroundAnnotations();
        QVERIFY(background);
        QCOMPARE(background->Strokes().size(), 1);
        player.Key(Qt::Key_Delete);
        QCOMPARE(background->Strokes().size(), 0);
        QCOMPARE(drawing->Strokes().size(), 1);
        player.window.OwnAction(QStringLiteral("undoAnnotation"))->trigger();
        QCOMPARE(background->Strokes().size(), 1);
        QCOMPARE(drawing->Strokes().size(), 1);
        tools->Button(QStringLiteral("background"))->click();

        // A press on the picture while a text is being typed keeps that text.
        player.Key(Qt::Key_T);
        QWidget* view = panel->View();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, middle.toPoint() + QPoint(-40, 30));
        QTRY_VERIFY(panel->View()->TextPopup()->isVisible());
        panel->View()->TextPopup()->Editor()->setText(QStringLiteral("keep me"));
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, middle.toPoint() + QPoint(40, 60));
        bool kept = false;
        for (const AnnotationStroke& stroke : drawing->Strokes())
            kept = kept || stroke.text == QStringLiteral("keep me");
        QVERIFY(kept);
        panel->View()->TextPopup()->Commit();

        // A stroke whose release never came (a menu opened mid-drag) ends at the next move.
        player.Key(Qt::Key_P);
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, middle.toPoint() + QPoint(-60, -20));
        QVERIFY(overlay->IsDrawing());
        QMouseEvent moved(QEvent::MouseMove, middle + QPointF(-50, -20), view->mapToGlobal(middle + QPointF(-50, -20)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &moved);
        QVERIFY(!overlay->IsDrawing());
    }

    // Ctrl+Alt+M opens the Maya Tools dialog, made once and kept: it starts from the global
    // bar's frame and frame offset, follows the bar, and holds its frames back after a frame
    // change asked for through the client API.
    void mayaToolsKey()
    {
        Player player;
        QVERIFY(player.Open());
        player.window.Manager()->SetTimeControlFrameOffset(1001);
        QTRY_COMPARE(player.Timeline()->TimeControlFrameOffset(), 1001);
        player.Key(Qt::Key_Right);
        player.Key(Qt::Key_Right);
        QTRY_COMPARE(player.Panel()->GlobalTimeControl()->CurrentFrame(), 2);
        QVERIFY(!player.Panel()->MayaTools());
        player.Key(Qt::Key_M, Qt::ControlModifier | Qt::AltModifier);
        MayaToolsDialog* dialog = player.Panel()->MayaTools();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QCOMPARE(dialog->Sync()->PlaybackFrame(), 2);
        QCOMPARE(dialog->Sync()->TimeControlOffset(), 1001);
        player.Panel()->FrameStepForward();
        QTRY_COMPARE(dialog->Sync()->PlaybackFrame(), 3);
        QVERIFY(!dialog->Sync()->Paused());
        emit player.window.Manager()->ClientApiFrameChangeRequested();
        QVERIFY(dialog->Sync()->Paused());
        player.window.Action(CommandId::ShowMayaTools)->trigger();
        QCOMPARE(player.Panel()->MayaTools(), dialog);
        QVERIFY(dialog->isVisible());
    }

    // Ctrl+C puts the view on the clipboard; Ctrl+Shift+C asks where ("Snapshot") and saves
    // it there, as PNG unless JPG is asked for.
    void snapshotKeys()
    {
        Player player;
        QVERIFY(player.Open());
        QTRY_VERIFY(player.Panel()->View()->ShownFrame(0));
        QGuiApplication::clipboard()->clear();
        player.Key(Qt::Key_C, Qt::ControlModifier);
        QTRY_VERIFY(!QGuiApplication::clipboard()->image().isNull());

        QTemporaryDir folder;
        QTimer::singleShot(500, [&folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Snapshot"));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(folder.filePath(QStringLiteral("still")));
            static_cast<QDialog*>(dialog)->accept();
        });
        player.Key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("still.png"))));
        const QImage saved(folder.filePath(QStringLiteral("still.png")));
        QVERIFY(!saved.isNull());
        QVERIFY(saved.width() >= 320);
    }

    // Shift+Up and Shift+Down step the volume by ten; Ctrl+M mutes. The audio output's own
    // copy follows at once, on its thread.
    void volumeReachesTheOutput()
    {
        Player player;
        QVERIFY(player.Open());
        AudioOutputManager* output = player.window.Engine()->AudioOutputWorker()->AudioOutput();
        auto outputSettings = [output] {
            AudioOutputSettings copy;
            QMetaObject::invokeMethod(output, [&] { copy = output->OutputSettings(); }, Qt::BlockingQueuedConnection);
            return copy;
        };
        player.Key(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(Settings::Get().volume, 110);
        QTRY_COMPARE(outputSettings().volume, 110);
        player.Key(Qt::Key_Down, Qt::ShiftModifier);
        player.Key(Qt::Key_Down, Qt::ShiftModifier);
        QTRY_COMPARE(outputSettings().volume, 90);
        // Playing, the device itself goes silent on mute and comes back.
        AudioOutput* device = output->Output();
        auto sinkVolume = [output, device] {
            double volume = -1.0;
            QMetaObject::invokeMethod(output, [&] { volume = device->SinkVolume(); }, Qt::BlockingQueuedConnection);
            return volume;
        };
        player.Key(Qt::Key_L);
        QTRY_VERIFY_WITH_TIMEOUT(sinkVolume() > 0.0, 20000);
        player.Key(Qt::Key_M, Qt::ControlModifier);
        QVERIFY(Settings::Get().muted);
        QTRY_VERIFY(outputSettings().muted);
        QTRY_COMPARE(sinkVolume(), 0.0);
        player.Key(Qt::Key_K);
        QCOMPARE(player.Panel()->View()->Overlay()->Message(), QStringLiteral("Muted"));
        for (int i = 0; i < 20; ++i)
            player.Key(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(Settings::Get().volume, 0);
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    TestMonitorPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_monitorpanel.moc"
