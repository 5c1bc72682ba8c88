#include "app/MenuLayout.h"

#include "core/CommandId.h"
#include "core/CommandTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace MenuLayout {

namespace {

using namespace CommandId;

Entry Item(int id)
{
    Entry entry;
    entry.id = id;
    return entry;
}

Entry Own(const char* key)
{
    Entry entry;
    entry.key = key;
    return entry;
}

Entry Sep()
{
    Entry entry;
    entry.kind = Entry::Separator;
    return entry;
}

Entry Sub(const char* title, QList<Entry> entries)
{
    Entry entry;
    entry.kind = Entry::Submenu;
    entry.title = title;
    entry.entries = std::move(entries);
    return entry;
}

} // namespace

const QList<Action>& Actions()
{
    static const QList<Action> actions{
        {ImportFile, nullptr, "Import File(s)..."},
        {ImportRecentFile, nullptr, "Import Recent File"},
        {ImportFolder, nullptr, "Import Folder..."},
        {NewProject, nullptr, "New Project"},
        {OpenProject, nullptr, "Open Project..."},
        {OpenRecentProject, nullptr, "Open Recent Project"},
        {SaveProject, nullptr, "Save Project"},
        {SaveProjectAs, nullptr, "Save Project As..."},
        {ExportToFile, nullptr, "Export to File..."},
        {SaveSourceAs, nullptr, "Save Source As"}, // the side bar's, in no menu
        {ReplaceSource, nullptr, "Replace Source"},
        {CaptureToClipboard, nullptr, "To Clipboard"},
        {CaptureToFolder, nullptr, "To Folder..."},
        {ShowInFolder, nullptr, "Show in Folder"},
        {OpenNewInstance, nullptr, "Open New Instance"},
        {Exit, nullptr, "Exit"},
        {Undo, nullptr, "Undo"},
        {Redo, nullptr, "Redo"},
        {RangeStartToCurrent, nullptr, "Range Start to Current"},
        {RangeEndToCurrent, nullptr, "Range End to Current"},
        {ResetRange, nullptr, "Reset Range"},
        {ToggleAlwaysOnTop, nullptr, "Always on Top", true},
        {ShowProjectSettings, nullptr, "Project Settings..."},
        {ShowPreferences, nullptr, "Preferences..."},
        {PlayPause, nullptr, "Play/Pause"},
        {PlayPauseBookmarksOnly, nullptr, "Play/Pause (Bookmarks Only)"},
        {PlayForwards, nullptr, "Play Forwards"},
        {PlayBackwards, nullptr, "Play Backwards"},
        {Pause, nullptr, "Pause"},
        {StepForwards, nullptr, "Step Forwards"},
        {StepBackwards, nullptr, "Step Backwards"},
        {MultiStepForwards, nullptr, "Multi-Step Forwards"},
        {MultiStepBackwards, nullptr, "Multi-Step Backwards"},
        {SeekStart, nullptr, "Go to Start"},
        {SeekEnd, nullptr, "Go to End"},
        {SeekRangeStart, nullptr, "Go to Range Start"},
        {SeekRangeEnd, nullptr, "Go to Range End"},
        {SeekPreviousEdit, nullptr, "Go to Previous Edit"},
        {SeekNextEdit, nullptr, "Go to Next Edit"},
        {ToggleLoop, nullptr, "Toggle"},
        {TooglePingPong, nullptr, "Toggle Ping Pong"}, // by its keys only
        {ToggleLoopOnStepScrub, nullptr, "Loop on Step/Scrub", true},
        {ToggleLoopStepScrubToRange, nullptr, "Loop Step/Scrub to Range", true},
        {ToggleLockStepScrubToRange, nullptr, "Lock Step/Scrub to Range", true},
        {ToggleAutoplay, nullptr, "Autoplay", true},
        {PlaybackSpeedNormal, nullptr, "Normal", false, 1.0},
        {PlaybackSpeedHalf, nullptr, "Half", false, 0.5},
        {PlaybackSpeedQuarter, nullptr, "Quarter", false, 0.25},
        {TogglePlaybackSpeed, nullptr, "Toggle Last"},
        {IncreasePlaybackSpeed, nullptr, "Increase"},
        {DecreasePlaybackSpeed, nullptr, "Decrease"},
        {ToggleAudioScrub, nullptr, "Audio Scrub", true},
        {IncreaseVolume, nullptr, "Increase Volume"},
        {DecreaseVolume, nullptr, "Decrease Volume"},
        {ToggleMute, nullptr, "Mute"},
        {ToggleViewerAOverB, nullptr, "A/B", true},
        {ToggleViewerHorizontal, nullptr, "Horizontal", true},
        {ToggleViewerVertical, nullptr, "Vertical", true},
        {ToggleViewerGrid, nullptr, "Grid", true},
        {AnnotationsOn, nullptr, "On", true},
        {AnnotationsOffDuringPlayback, nullptr, "Off During Playback", true},
        {AnnotationsOff, nullptr, "Off", true},
        {OverlayOff, nullptr, "Off", true},
        {OverlaySafeArea, nullptr, "Safe Area", true},
        {OverlayGrid, nullptr, "Grid", true},
        {OverlayCenter, nullptr, "Center", true},
        {ResizeToOriginal, nullptr, "Original Size", false, 1.0},
        {ResizeToHalf, nullptr, "Half Size", false, 0.5},
        {ResizeToQuarter, nullptr, "Quarter Size", false, 0.25},
        {ResizeToDouble, nullptr, "Double Size", false, 2.0},
        {ToggleFullscreen, nullptr, "Fullscreen", true},
        {ZoomIn, nullptr, "Zoom In"},
        {ZoomOut, nullptr, "Zoom Out"},
        {TogglePanZoom, nullptr, "Toggle Pan/Zoom"},
        {ResetPanZoom, nullptr, "Reset Pan/Zoom"},
        {FlipHorizontal, nullptr, "Flip Horizontal", true},
        {FlipVertical, nullptr, "Flip Vertical", true},
        {RotateCW, nullptr, "Rotate CW"},
        {RotateCCW, nullptr, "Rotate CCW"},
        {ResetFlipRotate, nullptr, "Reset Flip/Rotate"},
        {ToggleABWipe, nullptr, "Toggle A/B Wipe"},
        {ResetABWipe, nullptr, "Reset A/B Wipe"},
        {ToggleABWipeSnap, nullptr, "Snap on Move/Rotate", true},
        {ToggleABWipeSnapGuides, nullptr, "Snap Guides", true},
        {ToggleBookmark, nullptr, "Toggle Bookmark"},
        {ToggleRangeBookmark, nullptr, "Toggle Range Bookmark"},
        {CutBookmark, nullptr, "Cut Bookmark"},
        {CopyBookmark, nullptr, "Copy Bookmark"},
        {PasteBookmark, nullptr, "Paste Bookmark"},
        {RemoveBookmarks, nullptr, "Bookmarks"},
        {RemoveBookmarksInRange, nullptr, "Bookmarks in Range"},
        {RemoveRangeBookmarks, nullptr, "Range Bookmarks"},
        {ClearAllBookmarks, nullptr, "Clear All"},
        {PreviousBookmark, nullptr, "Previous Bookmark"},
        {NextBookmark, nullptr, "Next Bookmark"},
        {PreviousRangeBookmark, nullptr, "Previous Range Bookmark"},
        {NextRangeBookmark, nullptr, "Next Range Bookmark"},
        {SwapABTimelines, nullptr, "Swap A/B Timelines"},
        {ClearAllViewerTimelines, nullptr, "Clear All Viewer Timelines"},
        {SwapTimeControls, nullptr, "Swap Time Controls"},
        {ToggleGlobalTimeControl, nullptr, "Global Time Control", true},
        {ToggleRangeTimeControl, nullptr, "Range Time Control", true},
        {TogglePlaybackControls, nullptr, "Playback Controls", true},
        {ToggleViewerControls, nullptr, "Viewer Controls", true},
        {ToggleMenuBar, nullptr, "Menu Bar", true},
        {ToggleSideBar, nullptr, "Side Bar", true},
        {MoveSideBar, nullptr, "Move Side Bar %1"},
        {ToggleAnnotationTools, nullptr, "Annotation Tools", true},
        {ToggleMediaInfo, nullptr, "Media Info", true},
        {ToggleConsole, nullptr, "Console"},
        {ShowMayaTools, nullptr, "Maya Tools"},
        {ActivatePencil, nullptr, "Activate Pencil"},
        {ActivateLaserPointer, nullptr, "Activate Laser Pointer"},
        {ActivateEraser, nullptr, "Activate Eraser"},
        {ActivateText, nullptr, "Activate Text"},
        {ActivateArrow, nullptr, "Activate Arrow"},
        {ActivateEllipse, nullptr, "Activate Ellipse"},
        {ActivateRectangle, nullptr, "Activate Rectangle"},
        {ActivateEyedropper, nullptr, "Activate Eyedropper"},
        {IncreaseToolSize, nullptr, "Increase Tool Size"},
        {DecreaseToolSize, nullptr, "Decrease Tool Size"},
        {ToggleHoldAnnotations, nullptr, "Hold Annotations"},
        {ToggleGhosting, nullptr, "Ghosting"},
        {OpenDocumentation, nullptr, "Documentation..."},
        {ApplicationEsc, nullptr, "Escape"},
        {ApplicationDel, nullptr, "Delete"},
        // The window's own.
        {0, "importProject", "Import Project..."},
        {0, "recentCommandsList", "Recent Commands List"},
        {0, "playOnce", "Play Once", true},
        {0, "loop", "Loop", true},
        {0, "pingPong", "Ping Pong", true},
        {0, "undoAnnotation", "Undo Annotation"},
        {0, "redoAnnotation", "Redo Annotation"},
        {0, "keyboardShortcuts", "Keyboard Shortcuts"},
        {0, "about", "About..."},
    };
    return actions;
}

QList<Menu> Menus(bool undoItems)
{
    QList<Entry> edit;
    if (undoItems)
        edit << Item(Undo) << Item(Redo) << Sep();
    edit << Item(RangeStartToCurrent) << Item(RangeEndToCurrent) << Item(ResetRange) << Sep() << Item(ToggleAlwaysOnTop) << Sep()
         << Item(ShowProjectSettings) << Item(ShowPreferences);
    return {
        {"File",
         {Item(ImportFile), Item(ImportFolder), Sep(), Item(NewProject), Item(OpenProject), Own("importProject"), Sep(),
          Item(SaveProject), Item(SaveProjectAs), Sep(), Item(ExportToFile),
          Sub("Capture Image", {Item(CaptureToClipboard), Item(CaptureToFolder)}), Sep(), Item(OpenNewInstance), Sep(),
          Sub("Recent Files", {}), Sub("Recent Projects", {}), Sep(), Item(Exit)}},
        {"Edit", edit},
        {"Playback",
         {Sub("Speed", {Item(PlaybackSpeedNormal), Item(PlaybackSpeedHalf), Item(PlaybackSpeedQuarter), Sep(),
                        Item(IncreasePlaybackSpeed), Item(DecreasePlaybackSpeed), Sep(), Item(TogglePlaybackSpeed)}),
          Sep(), Item(PlayPause), Item(PlayPauseBookmarksOnly), Item(PlayForwards), Item(PlayBackwards), Item(Pause), Sep(),
          Sub("Frame Step", {Item(StepForwards), Item(StepBackwards), Item(MultiStepForwards), Item(MultiStepBackwards)}),
          Sep(), Item(SeekStart), Item(SeekEnd), Item(SeekRangeStart), Item(SeekRangeEnd), Item(SeekPreviousEdit),
          Item(SeekNextEdit), Sep(),
          Sub("Looping", {Item(ToggleLoop), Sep(), Own("playOnce"), Own("loop"), Own("pingPong")}), Sep(),
          Sub("Stepping and Scrubbing",
              {Item(ToggleLoopOnStepScrub), Sep(), Item(ToggleLoopStepScrubToRange), Item(ToggleLockStepScrubToRange)}),
          Sep(), Item(ToggleAutoplay)}},
        {"Audio", {Item(IncreaseVolume), Item(DecreaseVolume), Item(ToggleMute), Sep(), Item(ToggleAudioScrub)}},
        {"Video",
         {Sub("Layout", {Item(ToggleViewerAOverB), Item(ToggleViewerHorizontal), Item(ToggleViewerVertical), Item(ToggleViewerGrid)}),
          Sep(), Sub("Annotations", {Item(AnnotationsOn), Item(AnnotationsOffDuringPlayback), Item(AnnotationsOff)}),
          Sub("Overlays", {Item(OverlayOff), Item(OverlaySafeArea), Item(OverlayGrid), Item(OverlayCenter)}),
          Sub("A/B Wipe", {Item(ToggleABWipe), Item(ResetABWipe), Sep(), Item(ToggleABWipeSnap), Item(ToggleABWipeSnapGuides)}),
          Sep(),
          Sub("Size", {Item(ResizeToOriginal), Sep(), Item(ResizeToHalf), Item(ResizeToQuarter), Sep(), Item(ResizeToDouble)}),
          Item(ToggleFullscreen), Sep(),
          Sub("Pan/Zoom", {Item(ZoomIn), Item(ZoomOut), Sep(), Item(TogglePanZoom), Item(ResetPanZoom)}), Sep(),
          Item(RotateCW), Item(RotateCCW), Item(FlipHorizontal), Item(FlipVertical), Item(ResetFlipRotate)}},
        {"Bookmarks",
         {Item(ToggleBookmark), Item(ToggleRangeBookmark), Sep(), Item(CutBookmark), Item(CopyBookmark), Item(PasteBookmark),
          Sep(),
          Sub("Remove", {Item(RemoveBookmarks), Item(RemoveBookmarksInRange), Sep(), Item(RemoveRangeBookmarks), Sep(),
                         Item(ClearAllBookmarks)}),
          Sep(), Item(PreviousBookmark), Item(NextBookmark), Item(PreviousRangeBookmark), Item(NextRangeBookmark)}},
        {"Tools",
         {Item(SwapABTimelines), Item(ClearAllViewerTimelines), Sep(), Item(ToggleGlobalTimeControl),
          Item(ToggleRangeTimeControl), Item(SwapTimeControls), Sep(), Item(TogglePlaybackControls), Item(ToggleViewerControls),
          Item(ToggleMenuBar), Sep(), Item(ToggleSideBar), Item(MoveSideBar), Sep(), Item(ToggleAnnotationTools), Sep(),
          Item(ToggleMediaInfo), Item(ToggleConsole), Sep(), Item(ShowMayaTools)}},
        {"Help", {Item(OpenDocumentation), Own("keyboardShortcuts"), Sep(), Own("about")}},
    };
}

namespace {

void Fill(QMenu& menu, const QList<Entry>& entries, const Built& actions)
{
    for (const Entry& entry : entries) {
        switch (entry.kind) {
        case Entry::Separator:
            menu.addSeparator();
            break;
        case Entry::Submenu:
            Fill(*menu.addMenu(QString::fromLatin1(entry.title)), entry.entries, actions);
            break;
        case Entry::ActionEntry:
            if (QAction* action = entry.key ? actions.byKey.value(QString::fromLatin1(entry.key)) : actions.byId.value(entry.id))
                menu.addAction(action);
            break;
        }
    }
}

} // namespace

Built CreateActions(QWidget& window, CommandTable& commands)
{
    Built built;
    for (const Action& spec : Actions()) {
        auto* action = new QAction(QString::fromLatin1(spec.text), &window);
        action->setCheckable(spec.checkable);
        if (spec.value != 0.0)
            action->setData(spec.value);
        window.addAction(action);
        if (spec.id > 0) {
            if (const Command* command = commands.Find(spec.id))
                action->setStatusTip(command->label);
            commands.AttachAction(spec.id, action);
            built.byId.insert(spec.id, action);
        } else {
            built.byKey.insert(QString::fromLatin1(spec.key), action);
        }
    }
    return built;
}

void FillMenuBar(QMenuBar& bar, const Built& actions, bool undoItems)
{
    for (const Menu& menu : Menus(undoItems))
        Fill(*bar.addMenu(QString::fromLatin1(menu.title)), menu.entries, actions);
}

} // namespace MenuLayout
