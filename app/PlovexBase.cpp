#include "app/PlovexBase.h"

#include "app/SourceReport.h"
#include "core/CommandId.h"
#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Platform.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/RendererInUse.h"
#include "playback/PlaybackManager.h"
#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "server/CmdServer.h"
#include "project/Source.h"
#include "project/TimelineItem.h"
#include "project/Timeline.h"
#include "media/CacheManager.h"
#include "ui/ConsoleWindow.h"
#include "ui/KeyboardShortcutsWindow.h"
#include "ui/MonitorPanel.h"
#include "ui/PreferencesDialog.h"
#include "ui/ViewerControlsWidget.h"
#include "ui/ProjectTreeWidget.h"
#include "ui/TimelinePanelWidget.h"
#include "viewer/AnnotationTypes.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SoftwareViewer.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalBlocker>
#include <QShowEvent>
#include <QSplitter>
#include <QSurfaceFormat>
#include <QSysInfo>
#include <QTextStream>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

PlovexBase::PlovexBase(const QStringList& startupFiles, QWidget* parent)
    : QMainWindow(parent)
    , m_startupFiles(startupFiles)
    , m_engine(std::make_unique<AvManager>())
{
    qRegisterMetaType<Source*>();
    setWindowTitle(QStringLiteral("Plovex"));
    // First, so that everything the window logs while it is built reaches it.
    m_console = new ConsoleWindow(this);
    connect(m_console, &ConsoleWindow::CommandExecuted, this, &PlovexBase::ExecuteConsoleCommand);
    bool hardware = Settings::Get().hardwareRenderingEnabled;
    if (hardware && !OpenGLViewer::CanCreateContext()) {
        Logger::error(QStringLiteral("Failed to get a valid OpenGL context"));
        Logger::warning(QStringLiteral("Pictures are shown by the software renderer."));
        hardware = false;
    }
    // Decoders make frames for the renderer actually shown, not the one the setting asks for.
    RendererInUse::Set(hardware ? RendererInUse::OpenGL : RendererInUse::Software);
    m_manager = std::make_unique<ProjectManager>(m_engine.get());
    if (Settings::Get().clientApiPortEnabled) {
        m_cmdServer = std::make_unique<CmdServer>();
        m_cmdServer->Attach(m_manager.get());
        m_cmdServer->ListenOnConfiguredPort(Settings::Get().clientApiPort);
    }
    // The player, in a box without margins.
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    m_panel = new MonitorPanel(m_engine.get(), m_manager.get(), hardware, central);
    layout->addWidget(m_panel);
    m_view = m_panel->View();
    m_viewer = m_view->Renderer();
    connect(m_view, &ViewerWidget::OpenUrlsInViewerRequested, this, &PlovexBase::OpenUrlsInViewer);
    connect(m_view, &ViewerWidget::OpenProjectRequested, this, &PlovexBase::OpenProject);
    connect(m_panel, &MonitorPanel::ViewerResizeRequested, this, &PlovexBase::ResizeViewer);
    setCentralWidget(central);

    // The side bar: a dock on the left or the right, fixed there, without a title bar.
    m_sideBar = new QDockWidget(QStringLiteral("SideBar Dock Title"), this);
    m_sideBar->setObjectName(QStringLiteral("sidebardock"));
    m_sideBar->setMinimumWidth(260);
    m_sideBar->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_sideBar->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_sideBar->setTitleBarWidget(new QWidget(m_sideBar));
    m_sideBarSplitter = new QSplitter(Qt::Vertical, m_sideBar);
    m_sideBar->setWidget(m_sideBarSplitter);
    addDockWidget(Settings::Get().sideBarLeft ? Qt::LeftDockWidgetArea : Qt::RightDockWidgetArea, m_sideBar);
    resize(1000, 800);

    m_projectTree = new ProjectTreeWidget(m_manager.get(), m_sideBarSplitter);
    // Below the tree, the clips of the timeline last selected there or opened in viewer A.
    auto* timelineSection = new QWidget(m_sideBarSplitter);
    auto* timelineLayout = new QVBoxLayout(timelineSection);
    timelineLayout->setContentsMargins(0, 0, 0, 0);
    auto* timelineTitle = new QLabel(timelineSection);
    m_timelinePanel = new TimelinePanelWidget(m_manager.get(), timelineSection);
    timelineLayout->addWidget(timelineTitle);
    timelineLayout->addWidget(m_timelinePanel, 1);
    connect(m_timelinePanel, &TimelinePanelWidget::TitleChanged, timelineTitle, [timelineTitle](const QString& name) {
        timelineTitle->setText(name.isEmpty() ? QStringLiteral("No timeline selected") : QStringLiteral("Timeline: %1").arg(name));
    });
    m_timelinePanel->SetTimeline({});
    connect(m_projectTree, &ProjectTreeWidget::TimelineSelected, m_timelinePanel, &TimelinePanelWidget::SetTimeline);
    m_sideBarSplitter->setStretchFactor(0, 3);
    m_sideBarSplitter->setStretchFactor(1, 2);
    m_sideBarSplitter->restoreState(Settings::Get().sideBarViewState); // nothing when empty
    connect(m_view, &ViewerWidget::OpenTimelinesInViewerRequested, this,
            [this](const QList<QUuid>& ids, int viewport, int, bool autoPlay) { m_manager->OpenItemsInViewers(ids, viewport, autoPlay); });
    connect(m_view, &ViewerWidget::OpenFolderInViewerRequested, this, [this](const QUuid& id, int viewport, int, bool autoPlay) {
        QList<QUuid> ids;
        if (const FolderItem* folder = GetProject()->Folder(id))
            for (const ProjectItem* child : folder->Children())
                if (child->ItemKind() != ProjectItem::FolderKind)
                    ids.append(child->Id());
        m_manager->OpenItemsInViewers(ids, viewport, autoPlay);
    });
    // A blocking load runs the event loop: nothing may edit the project or open files meanwhile.
    connect(m_manager.get(), &ProjectManager::BlockUserInputChanged, this, [this](bool blocked) {
        m_inputBlocked = blocked;
        m_sideBar->setEnabled(!blocked);
        m_view->setAcceptDrops(!blocked);
    });
    connect(m_engine.get(), &AvManager::UpdateAudioOverrideRequested, m_manager.get(), &ProjectManager::ResolveAudioOverride);
    connect(m_engine.get(), &AvManager::PrimaryTimelineChanged, this, [this](Timeline* timeline, bool) {
        m_view->SetPrimaryTimeline(timeline);
        for (const TimelineItem* item : GetProject()->Timelines())
            if (timeline && item->GetTimeline() == timeline)
                m_timelinePanel->SetTimeline(item->Id());
        UpdateTimelineName();
    });
    connect(m_engine.get(), &AvManager::PlaybackFrameChanged, this, [this](int frame) {
        const Timeline* timeline = m_engine->PrimaryTimeline();
        SetDisplayFrame(frame + (timeline ? timeline->TimeControlFrameOffset() : 0));
        if (const TimelineItem* item = m_manager->ItemInViewer(0))
            m_timelinePanel->SetCurrentFrame(item->Id(), frame);
    });
    connect(m_manager.get(), &ProjectManager::UndoCleanChanged, this, &PlovexBase::RefreshTitle);
    // Exports asked for through the client API run as the dialog's do.
    connect(m_manager.get(), &ProjectManager::ExportRequested, m_panel, &MonitorPanel::ExportToFile);
    connect(m_manager.get(), &ProjectManager::ViewerLayoutChangeRequested, m_view, &ViewerWidget::SetViewerLayout);
    // A rename of the timeline shown, or a project read in, changes the title too.
    connect(m_manager.get(), &ProjectManager::TimelineUpdated, this, &PlovexBase::UpdateTimelineName);
    connect(m_manager.get(), &ProjectManager::ProjectUpdated, this, &PlovexBase::UpdateTimelineName);
    connect(m_manager->UndoStack(), &QUndoStack::indexChanged, this, &PlovexBase::RefreshTitle);
    m_shortcutsWindow = new KeyboardShortcutsWindow(m_commands, this);
    CreateActions();
    m_commands.LoadBindings();
    connect(m_engine.get(), &AvManager::LoopStateChanged, this, &PlovexBase::UpdateLoopActions);
    connect(m_view, &ViewerWidget::ViewerLayoutChanged, this, &PlovexBase::UpdateVideoActions);
    connect(m_view, &ViewerWidget::ViewerOverlayDrawableChanged, this, &PlovexBase::UpdateVideoActions);
    // The choices that are not signalled (flips, media info) are checked when a menu opens.
    for (QAction* top : menuBar()->actions())
        connect(top->menu(), &QMenu::aboutToShow, this, [this] {
            UpdateLoopActions();
            UpdateVideoActions();
            UpdatePlaybackActions();
            UpdateToolsActions();
        });
    // A click on a choice already checked would uncheck it: the set is checked again from the
    // state after every click.
    for (const int id : {CommandId::ToggleViewerAOverB, CommandId::ToggleViewerHorizontal, CommandId::ToggleViewerVertical,
                         CommandId::ToggleViewerGrid, CommandId::OverlayOff, CommandId::OverlaySafeArea, CommandId::OverlayGrid,
                         CommandId::OverlayCenter, CommandId::FlipHorizontal, CommandId::FlipVertical, CommandId::ToggleMediaInfo})
        connect(Action(id), &QAction::triggered, this, &PlovexBase::UpdateVideoActions);
    // Flips are not signalled by the viewer: its controls look again after each.
    for (const int id : {CommandId::FlipHorizontal, CommandId::FlipVertical, CommandId::ResetFlipRotate})
        connect(Action(id), &QAction::triggered, m_panel->ViewerControls(), &ViewerControlsWidget::Refresh);
    UpdateLoopActions();
    UpdateVideoActions();
    UpdatePlaybackActions();
    UpdateToolsActions();
    {
        Settings& settings = Settings::Get();
        SetMenuBarVisible(settings.showMenuBarOnLaunch || settings.menuBarVisible);
        SetSideBarVisible(settings.sideBarVisible);
        SetSideBarLeft(settings.sideBarLeft);
    }
    UpdateRecentFilesSubMenu();
    UpdateRecentProjectsSubMenu();
    RefreshTitle();

    Logger::output(QStringLiteral("%1 v%2\n").arg(QStringLiteral("Plovex"), QCoreApplication::applicationVersion()));
    QTimer::singleShot(0, this, [this] {
        if (!m_closing) // a window that handed its files to another start is never shown
            show();
    });
}

PlovexBase::~PlovexBase()
{
    // The shutdown below runs the event loop: a show or start-up import still queued (a window
    // that handed its files to another instance) must not start now.
    m_closing = true;
    // The preferences dialog refers to the engine and the command table: it goes before both,
    // and before the shutdown below runs the event loop, where its OK could still be pressed.
    delete m_preferences;
    m_preferences = nullptr;
    // No client request runs against a window being taken down.
    m_cmdServer.reset();
    // Engine threads hold the timelines: they end before the timelines go.
    m_engine->Shutdown(true, 10000);
    // The manager's and the engine's last signals (the stack cleared, the timelines released)
    // find no window to update.
    m_engine->disconnect(this);
    m_manager->UndoStack()->disconnect(this);
    m_manager->disconnect(this);
    m_manager.reset(); // its timelines, now that no engine thread holds them
    m_engine.reset();
    delete m_shortcutsWindow;
    delete m_console;
}

QAction* PlovexBase::AddCommand(int commandId, const std::function<void()>& handler)
{
    return Handle(m_actions.byId.value(commandId), handler);
}

QAction* PlovexBase::AddOwn(const QString& key, const std::function<void()>& handler)
{
    return Handle(m_actions.byKey.value(key), handler);
}

QAction* PlovexBase::Handle(QAction* action, const std::function<void()>& handler)
{
    if (!action)
        return nullptr;
    // While a project or an import loads, the event loop runs: the keys wait until it is done.
    connect(action, &QAction::triggered, this, [this, action, handler] {
        if (!m_inputBlocked) {
            handler();
        } else if (action->isCheckable()) {
            // Qt has already flipped the check mark of the click it refused.
            const QSignalBlocker blocker(action);
            action->setChecked(!action->isChecked());
        }
    });
    m_handled.insert(action);
    return action;
}

void PlovexBase::UpdateActionAvailability()
{
    for (QAction* action : m_actions.byId)
        action->setEnabled(m_handled.contains(action));
    for (QAction* action : m_actions.byKey)
        action->setEnabled(m_handled.contains(action));
}

QAction* PlovexBase::Action(int commandId) const
{
    return m_actions.byId.value(commandId);
}

void PlovexBase::CreateActions()
{
    // Every action, in every menu, added to the window so that its keys work with the menu bar
    // hidden; those whose part of the program is not there yet are disabled.
    m_actions = MenuLayout::CreateActions(*this, m_commands);
    MenuLayout::FillMenuBar(*menuBar(), m_actions, Settings::Get().projectUndoEnabled);
    MonitorPanel* panel = m_panel;
    // Playback, seeking and range: the player panel.
    const QList<QPair<int, void (MonitorPanel::*)()>> panelCommands{
        {CommandId::PlayPause, &MonitorPanel::TogglePlayPause},
        {CommandId::PlayPauseBookmarksOnly, &MonitorPanel::TogglePlayPauseBookmarksOnly},
        {CommandId::PlayForwards, &MonitorPanel::PlayForwards},
        {CommandId::PlayBackwards, &MonitorPanel::PlayBackwards},
        {CommandId::Pause, &MonitorPanel::Pause},
        {CommandId::StepForwards, &MonitorPanel::FrameStepForward},
        {CommandId::StepBackwards, &MonitorPanel::FrameStepBackward},
        {CommandId::MultiStepForwards, &MonitorPanel::MultiFrameStepForward},
        {CommandId::MultiStepBackwards, &MonitorPanel::MultiFrameStepBackward},
        {CommandId::SeekStart, &MonitorPanel::SeekTimelineStart},
        {CommandId::SeekEnd, &MonitorPanel::SeekTimelineEnd},
        {CommandId::SeekRangeStart, &MonitorPanel::SeekRangeStart},
        {CommandId::SeekRangeEnd, &MonitorPanel::SeekRangeEnd},
        {CommandId::SeekPreviousEdit, &MonitorPanel::SeekPreviousEdit},
        {CommandId::SeekNextEdit, &MonitorPanel::SeekNextEdit},
        {CommandId::RangeStartToCurrent, &MonitorPanel::RangeStartToCurrent},
        {CommandId::RangeEndToCurrent, &MonitorPanel::RangeEndToCurrent},
        {CommandId::ResetRange, &MonitorPanel::ResetRange},
        {CommandId::IncreasePlaybackSpeed, &MonitorPanel::IncreasePlaybackSpeed},
        {CommandId::DecreasePlaybackSpeed, &MonitorPanel::DecreasePlaybackSpeed},
        {CommandId::ToggleLoop, &MonitorPanel::ToggleLoopState},
        {CommandId::IncreaseVolume, &MonitorPanel::IncreaseVolume},
        {CommandId::DecreaseVolume, &MonitorPanel::DecreaseVolume},
        {CommandId::ToggleMute, &MonitorPanel::ToggleMute},
        {CommandId::ToggleBookmark, &MonitorPanel::ToggleBookmark},
        {CommandId::ToggleRangeBookmark, &MonitorPanel::ToggleRangeBoomark},
        {CommandId::RemoveBookmarks, &MonitorPanel::RemoveBookmarks},
        {CommandId::RemoveBookmarksInRange, &MonitorPanel::RemoveBookmarksInRange},
        {CommandId::RemoveRangeBookmarks, &MonitorPanel::RemoveRangeBookmarks},
        {CommandId::ClearAllBookmarks, &MonitorPanel::ClearAllBookmarks},
        {CommandId::PreviousBookmark, &MonitorPanel::SeekPreviousBookmark},
        {CommandId::NextBookmark, &MonitorPanel::SeekNextBookmark},
        {CommandId::PreviousRangeBookmark, &MonitorPanel::SetRangeToPreviousRangeBookmark},
        {CommandId::NextRangeBookmark, &MonitorPanel::SetRangeToNextRangeBookmark},
        {CommandId::SwapTimeControls, &MonitorPanel::SwapTimeControls},
        {CommandId::ToggleGlobalTimeControl, &MonitorPanel::ToggleGlobalTimeControlVisible},
        {CommandId::ToggleRangeTimeControl, &MonitorPanel::ToggleRangeTimeControlVisible},
        {CommandId::TogglePlaybackControls, &MonitorPanel::TogglePlaybackControlsVisible},
        {CommandId::ToggleViewerControls, &MonitorPanel::ToggleViewerControlsVisibility},
        {CommandId::ToggleMediaInfo, &MonitorPanel::ToggleMediaInfoVisibility},
    };
    for (const auto& [id, slot] : panelCommands)
        AddCommand(id, [panel, slot = slot] { (panel->*slot)(); });
    // The speeds and sizes carry their value; "Toggle Last" asks for the speed 0.
    for (const int id : {CommandId::PlaybackSpeedNormal, CommandId::PlaybackSpeedHalf, CommandId::PlaybackSpeedQuarter})
        AddCommand(id, [panel, action = Action(id)] { panel->SetPlaybackSpeed(action->data().toFloat()); });
    AddCommand(CommandId::TogglePlaybackSpeed, [panel] { panel->SetPlaybackSpeed(0.0f); });
    for (const int id : {CommandId::ResizeToOriginal, CommandId::ResizeToHalf, CommandId::ResizeToQuarter, CommandId::ResizeToDouble})
        AddCommand(id, [panel, action = Action(id)] { panel->ResizeViewer(action->data().toDouble()); });
    // The stepping and scrubbing choices and audio scrub are settings, checked in their menus.
    const QList<QPair<int, bool Settings::*>> stepChoices{
        {CommandId::ToggleLoopOnStepScrub, &Settings::loopOnStepScrub},
        {CommandId::ToggleLoopStepScrubToRange, &Settings::loopStepScrubToRange},
        {CommandId::ToggleLockStepScrubToRange, &Settings::lockStepScrubToRange},
    };
    for (const auto& [id, flag] : stepChoices)
        AddCommand(id, [this, flag = flag] {
            Settings::Get().*flag = !(Settings::Get().*flag);
            UpdatePlaybackActions();
        });
    AddCommand(CommandId::ToggleAudioScrub, [this] {
        m_engine->SetAudioScrubEnabled(!Settings::Get().audioScrubEnabled);
        UpdatePlaybackActions();
    });
    AddCommand(CommandId::OpenNewInstance, [this] { OpenNewInstance(); });
    AddCommand(CommandId::ImportFile, [this] { ImportFromDialog(); });
    AddCommand(CommandId::OpenProject, [this] { OpenProjectFromDialog(); });
    AddCommand(CommandId::Undo, [this] { m_manager->UndoStack()->undo(); });
    AddCommand(CommandId::Redo, [this] { m_manager->UndoStack()->redo(); });
    AddCommand(CommandId::SaveProject, [this] { SaveProject(); });
    AddCommand(CommandId::SaveProjectAs, [this] { SaveProjectAs(); });
    AddCommand(CommandId::Exit, [this] { close(); });
    AddCommand(CommandId::ToggleViewerAOverB, [this] { m_view->ToggleViewerLayoutTo(ViewerLayoutAB); });
    AddCommand(CommandId::ToggleViewerHorizontal, [this] { m_view->ToggleViewerLayoutTo(ViewerLayoutHorizontal); });
    AddCommand(CommandId::ToggleViewerVertical, [this] { m_view->ToggleViewerLayoutTo(ViewerLayoutVertical); });
    AddCommand(CommandId::ToggleViewerGrid, [this] { m_view->ToggleViewerLayoutTo(ViewerLayoutGrid); });
    AddCommand(CommandId::ToggleABWipe, [this] { m_view->ToggleWipe(); });
    AddCommand(CommandId::ResetABWipe, [this] { m_view->ResetWipePositionAndRotation(); });
    AddCommand(CommandId::OverlayOff, [this] { m_view->SetViewerOverlayDrawable(OverlayOff); });
    AddCommand(CommandId::OverlaySafeArea, [this] { m_view->SetViewerOverlayDrawable(OverlaySafeArea); });
    AddCommand(CommandId::OverlayGrid, [this] { m_view->SetViewerOverlayDrawable(OverlayGrid); });
    AddCommand(CommandId::OverlayCenter, [this] { m_view->SetViewerOverlayDrawable(OverlayCenter); });
    AddCommand(CommandId::TogglePanZoom, [this] { m_view->TogglePanAndZoom(); });
    AddCommand(CommandId::ResetPanZoom, [this] { m_view->ResetPanAndZoom(true); });
    AddCommand(CommandId::ZoomIn, [this] { m_view->ZoomIn(); });
    AddCommand(CommandId::ZoomOut, [this] { m_view->ZoomOut(); });
    AddCommand(CommandId::FlipHorizontal, [this] { m_view->SetHorizontalFlipEnabled(!m_viewer->FlipHorizontal()); });
    AddCommand(CommandId::FlipVertical, [this] { m_view->SetVerticalFlipEnabled(!m_viewer->FlipVertical()); });
    AddCommand(CommandId::RotateCW, [this] { m_view->RotateClockwise(); });
    AddCommand(CommandId::RotateCCW, [this] { m_view->RotateCounterClockwise(); });
    AddCommand(CommandId::ResetFlipRotate, [this] { m_view->ResetFlipAndRotate(); });
    AddCommand(CommandId::ActivateEyedropper, [this] { m_view->SetEyeDropperEnabled(!m_view->EyeDropperEnabled()); });
    AddCommand(CommandId::ToggleConsole, [this] { ShowConsoleWindow(); });
    AddCommand(CommandId::ShowMayaTools, [this] { ShowMayaToolsDialog(); });
    AddCommand(CommandId::ToggleAlwaysOnTop, [this] { SetAlwaysOnTopEnabled(!Settings::Get().alwaysOnTopEnabled); });
    AddCommand(CommandId::ToggleFullscreen, [this] { ToggleFullscreen(); });
    AddCommand(CommandId::ToggleMenuBar, [this] { SetMenuBarVisible(!menuBar()->isVisible()); });
    AddCommand(CommandId::ApplicationEsc, [this] { ApplicationEscape(); });
    // Del: the focused side-bar item, else the drawing on the frame shown.
    AddCommand(CommandId::ApplicationDel, [this] {
        if (m_projectTree->hasFocus() && !m_projectTree->IsEditing())
            m_projectTree->DeleteSelected();
        else if (m_timelinePanel->hasFocus())
            m_timelinePanel->DeleteSelected();
        else if (!m_projectTree->IsEditing())
            m_panel->ClearCurrentFrameAnnotation();
    });
    // The drawing tools: their key again puts the tool down.
    const QList<QPair<int, int>> tools{{CommandId::ActivatePencil, AnnotationToolPencil},
                                       {CommandId::ActivateLaserPointer, AnnotationToolLaserPointer},
                                       {CommandId::ActivateEraser, AnnotationToolEraser},
                                       {CommandId::ActivateText, AnnotationToolText},
                                       {CommandId::ActivateArrow, AnnotationToolArrow},
                                       {CommandId::ActivateEllipse, AnnotationToolEllipse},
                                       {CommandId::ActivateRectangle, AnnotationToolRectangle}};
    for (const auto& [id, tool] : tools)
        AddCommand(id, [panel, tool = tool] { panel->ToggleAnnotationTool(tool); });
    const QList<QPair<int, void (MonitorPanel::*)()>> annotationCommands{
        {CommandId::IncreaseToolSize, &MonitorPanel::IncreaseAnnotationToolSize},
        {CommandId::DecreaseToolSize, &MonitorPanel::DecreaseAnnotationToolSize},
        {CommandId::ToggleHoldAnnotations, &MonitorPanel::ToggleHoldAnnotationFrames},
        {CommandId::ToggleGhosting, &MonitorPanel::ToggleGhosting},
        {CommandId::CutBookmark, &MonitorPanel::CutBookmark},
        {CommandId::CopyBookmark, &MonitorPanel::CopyBookmark},
        {CommandId::PasteBookmark, &MonitorPanel::PasteBookmark},
        {CommandId::ToggleAnnotationTools, &MonitorPanel::ToggleAnnotationToolbarVisibility},
    };
    for (const auto& [id, slot] : annotationCommands)
        AddCommand(id, [panel, slot = slot] { (panel->*slot)(); });
    AddCommand(CommandId::CaptureToClipboard, [panel] { panel->SnapshotToClipboard(); });
    AddCommand(CommandId::CaptureToFolder, [panel] { panel->SnapshotToFolder(); });
    AddCommand(CommandId::ExportToFile, [panel] { panel->ShowExportDialog(); });
    AddOwn(QStringLiteral("undoAnnotation"), [panel] { panel->UndoAnnotation(); });
    AddOwn(QStringLiteral("redoAnnotation"), [panel] { panel->RedoAnnotation(); });
    const QList<QPair<int, int>> visibilities{{CommandId::AnnotationsOn, AnnotationVisibilityOn},
                                              {CommandId::AnnotationsOffDuringPlayback, AnnotationVisibilityOffDuringPlayback},
                                              {CommandId::AnnotationsOff, AnnotationVisibilityOff}};
    for (const auto& [id, visibility] : visibilities) {
        AddCommand(id, [panel, visibility = visibility] { panel->SetAnnotationVisibility(visibility); });
        connect(Action(id), &QAction::triggered, this, &PlovexBase::UpdateVideoActions);
    }
    AddCommand(CommandId::ToggleSideBar, [this] { SetSideBarVisible(!m_sideBar->isVisible()); });
    AddCommand(CommandId::MoveSideBar, [this] { SetSideBarLeft(!Settings::Get().sideBarLeft); });
    AddCommand(CommandId::TooglePingPong, [this] {
        m_engine->SetLoopState(m_engine->Clock()->GetLoopState() == LoopPingPong ? LoopOn : LoopPingPong);
    });
    AddCommand(CommandId::ToggleAutoplay, [this] {
        Settings::Get().autoPlayEnabled = !Settings::Get().autoPlayEnabled;
        m_engine->SetAutoPlayEnabled(Settings::Get().autoPlayEnabled);
        UpdatePlaybackActions();
    });
    for (const auto& [key, state] : {std::pair{"playOnce", LoopOff}, std::pair{"loop", LoopOn}, std::pair{"pingPong", LoopPingPong}}) {
        QAction* action = AddOwn(QString::fromLatin1(key), [this, state] { m_engine->SetLoopState(state); });
        // A click never leaves the set without its one check.
        connect(action, &QAction::triggered, this, &PlovexBase::UpdateLoopActions);
    }
    AddCommand(CommandId::NewProject, [this] { m_manager->NewProject(true); });
    AddCommand(CommandId::SwapABTimelines, [this] { m_manager->SwapViewerItems(); });
    AddCommand(CommandId::ClearAllViewerTimelines, [this] { m_manager->ClearViewers(); });
    // The most recent file and project, by key alone.
    AddCommand(CommandId::ImportRecentFile, [this] {
        if (!Settings::Get().recentFiles.isEmpty())
            ImportFiles({Settings::Get().recentFiles.first()}, true);
    });
    AddCommand(CommandId::OpenRecentProject, [this] {
        if (!Settings::Get().recentProjects.isEmpty())
            OpenProject(Settings::Get().recentProjects.first());
    });
    // The file of the source selected in the side bar, else of the one in viewer A.
    AddCommand(CommandId::ShowInFolder, [this] {
        QUuid id;
        for (const QUuid& selected : m_projectTree->SelectedIds())
            if (GetProject()->SourceItem(selected))
                id = selected;
        if (id.isNull())
            if (const TimelineItem* shown = m_manager->ItemInViewer(0); shown && GetProject()->SourceItem(shown->Id()))
                id = shown->Id();
        m_manager->ShowSourceInFileBrowser(id);
    });
    AddOwn(QStringLiteral("keyboardShortcuts"), [this] { ShowKeyboardShortcuts(); });
    AddCommand(CommandId::OpenDocumentation, [this] { OpenDocumentation(); });
    AddCommand(CommandId::ShowPreferences, [this] { ShowPreferencesDialog(); });
    UpdateActionAvailability();
}

void PlovexBase::ShowPreferencesDialog()
{
    if (m_fullscreen || isFullScreen())
        return;
    if (!m_preferences) {
        m_preferences = new PreferencesDialog(m_commands, m_engine.get(), this);
        connect(m_preferences, &QDialog::accepted, this, &PlovexBase::OnPreferencesAccepted);
    }
    m_preferences->show();
}

void PlovexBase::OnPreferencesAccepted()
{
    m_panel->RefreshFromSettings();
    m_timelinePanel->Refresh();
}

void PlovexBase::ShowConsoleWindow()
{
    if (isFullScreen())
        return;
    if (m_console->isVisible()) {
        m_console->activateWindow();
        m_console->raise();
    } else {
        m_console->show();
    }
}

QString PlovexBase::DocumentationPath()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    // Installed (bin/ beside share/), then a build tree inside the source tree (build/app/).
    for (const QString& candidate : {programDir.filePath(QStringLiteral("../share/doc/plovex/README.md")),
                                     programDir.filePath(QStringLiteral("../../README.md"))})
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

void PlovexBase::OpenDocumentation()
{
    const QString path = DocumentationPath();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Logger::error(QStringLiteral("Failed to open the documentation%1.").arg(path.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(path)));
}

void PlovexBase::ShowMayaToolsDialog()
{
    m_panel->ShowMayaToolsDialog();
}

void PlovexBase::ShowKeyboardShortcuts()
{
    m_shortcutsWindow->show();
    m_shortcutsWindow->activateWindow();
    m_shortcutsWindow->raise();
}

void PlovexBase::ExecuteConsoleCommand(const QString& command)
{
    if (command == QLatin1String("clear")) {
        m_console->ClearOutput();
    } else if (command == QLatin1String("about")) {
        m_console->ClearOutput();
        const auto* gl = dynamic_cast<const OpenGLViewer*>(m_viewer);
        m_manager->LogSystemInformation(gl ? gl->RendererInfo() : QString());
    } else if (command == QLatin1String("cache")) {
        PrintCacheInfo();
    } else if (command == QLatin1String("reset audio")) {
        m_engine->ResetAudioOutput();
    }
}

void PlovexBase::PrintCacheInfo()
{
    if (Timeline* timeline = m_engine->PrimaryTimeline())
        Logger::output(timeline->Cache()->CacheInfo(timeline->GetSource() ? timeline->GetSource()->Name() : QString()));
}

QList<Source*> PlovexBase::Sources() const
{
    // In tree order: base folders, then each folder's children depth first.
    QList<Source*> sources;
    std::function<void(const FolderItem*)> walk = [&](const FolderItem* folder) {
        for (const ProjectItem* child : folder->Children()) {
            if (const auto* item = qobject_cast<const TimelineItem*>(child); item && item->IsSource())
                sources.append(item->GetTimeline()->GetSource());
            else if (const auto* sub = qobject_cast<const FolderItem*>(child))
                walk(sub);
        }
    };
    for (const FolderItem* base : GetProject()->BaseFolders())
        walk(base);
    return sources;
}

Project* PlovexBase::GetProject() const
{
    return m_manager->GetProject();
}

bool PlovexBase::OpenProject(const QString& path)
{
    // Not while a project is still loading (the load runs the event loop, so the keys work).
    if (GetProject()->IsLoading())
        return false;
    m_engine->Pause();
    const bool read = m_manager->OpenProject(path);
    if (read)
        m_view->SetViewerLayoutByType(ProjectGlobals::ViewerLayout());
    UpdateRecentProjectsSubMenu();
    RefreshTitle();
    return read;
}

bool PlovexBase::SaveProjectTo(const QString& path)
{
    ProjectGlobals::SetViewerLayout(m_view->LayoutType());
    const bool saved = m_manager->SaveProject(path);
    UpdateRecentProjectsSubMenu();
    RefreshTitle();
    return saved;
}

void PlovexBase::ImportFromDialog()
{
    const QStringList paths = QFileDialog::getOpenFileNames(this, QStringLiteral("Import File(s)"), QString(),
                                                            FileHelpers::MediaFileDialogFilter());
    if (!paths.isEmpty())
        ImportFiles(paths, true);
}

void PlovexBase::OpenProjectFromDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Project"), Settings::Get().DefaultExportDirPath(),
                                                      ProjectFilter());
    if (!path.isEmpty())
        OpenProject(path);
}

void PlovexBase::SaveProject()
{
    if (ProjectGlobals::ProjectPath().isEmpty())
        SaveProjectAs();
    else
        SaveProjectTo(ProjectGlobals::ProjectPath());
}

void PlovexBase::SaveProjectAs()
{
    const QString path = AskProjectSavePath(QStringLiteral("Save Project As"));
    if (!path.isEmpty())
        SaveProjectTo(path);
}

QString PlovexBase::AskProjectSavePath(const QString& title)
{
    QString path = QFileDialog::getSaveFileName(this, title, Settings::Get().DefaultExportDirPath(), ProjectFilter());
    // Saved projects are in the current format: an ending that means another format (or
    // none) gets the current one's.
    const QString suffix = QFileInfo(path).suffix();
    if (!path.isEmpty() && (suffix.isEmpty() || suffix == QLatin1String("plvx") || suffix == QLatin1String("bmk")))
        path += QLatin1Char('.') + ProjectFile::kSuffix;
    return path;
}

QString PlovexBase::ProjectFilter()
{
    return QStringLiteral("Project Files (*.%1);;All Files (*.*)").arg(ProjectFile::kSuffix);
}

bool PlovexBase::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2
        && m_projectTree->IsEditing()) {
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

void PlovexBase::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    setFocus();
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    restoreGeometry(Settings::Get().windowGeometry);
    RestoreDockState(Settings::Get().windowState);
    SetAlwaysOnTopEnabled(Settings::Get().alwaysOnTopEnabled);
    QMetaObject::invokeMethod(this, &PlovexBase::PostShow, Qt::QueuedConnection);
}

void PlovexBase::ProcessMessageFromOtherInstance(const QStringList& arguments)
{
    if (isHidden())
        show();
    else if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    OpenPaths(arguments);
}

void PlovexBase::closeEvent(QCloseEvent* event)
{
    if (!MayClose()) {
        event->ignore();
        return;
    }
    if (m_console->isVisible())
        Settings::Get().consoleWindowGeometry = m_console->saveGeometry();
    m_console->close();
    m_shortcutsWindow->close();
    if (m_preferences)
        m_preferences->close(); // as Cancel: its edits are not among what is saved below
    m_commands.SaveBindings();
    // In full screen, the place and state stored on the way in are the ones to come back to.
    if (!isFullScreen()) {
        Settings::Get().windowGeometry = saveGeometry();
        Settings::Get().windowState = saveState();
    }
    Settings::Get().sideBarViewState = m_sideBarSplitter->saveState();
    Settings::Get().Save();
    m_engine->Shutdown(true, 10000);
    QMainWindow::closeEvent(event);
}

bool PlovexBase::MayClose()
{
    if (m_manager->IsSaved())
        return true;
    const int confirm = Settings::Get().confirmOnClose;
    if (confirm == 2 || (confirm == 1 && ProjectGlobals::ProjectPath().isEmpty()))
        return true; // the changes are dropped
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning: Project Not Saved"),
                    QStringLiteral("Save changes to <b>%1</b> project?").arg(GetProject()->ProjectName()), QMessageBox::NoButton,
                    this);
    QPushButton* save = box.addButton(QMessageBox::Save);
    QPushButton* dontSave = box.addButton(QStringLiteral("Don't Save"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() == dontSave)
        return true;
    if (box.clickedButton() == save) {
        if (ProjectGlobals::ProjectPath().isEmpty()) {
            const QString path = AskProjectSavePath(QStringLiteral("Save Project"));
            if (path.isEmpty() || !SaveProjectTo(path))
                return false;
        } else if (!m_manager->SaveProject()) {
            return false;
        }
        return m_manager->IsSaved();
    }
    return false; // Cancel, or the box closed
}

QString PlovexBase::TitleText() const
{
    QString title = m_timelineName.isEmpty() ? QStringLiteral("Plovex") : m_timelineName;
    if (!m_manager->IsSaved())
        title += QLatin1Char('*');
    const Timeline* timeline = m_engine->PrimaryTimeline();
    if (!m_timelineName.isEmpty() && timeline && timeline->FrameCount() > 0)
        title += QStringLiteral(" - Frame %1").arg(m_displayFrame);
    return title;
}

void PlovexBase::RefreshTitle()
{
    setWindowTitle(TitleText());
}

void PlovexBase::SetTimelineName(const QString& timelineName)
{
    m_timelineName = timelineName;
    RefreshTitle();
}

void PlovexBase::UpdateTimelineName()
{
    const Timeline* shown = m_engine->PrimaryTimeline();
    QString name;
    for (const auto* map : {&GetProject()->Timelines(), &GetProject()->Sources()})
        for (const TimelineItem* item : *map)
            if (shown && item->GetTimeline() == shown)
                name = item->Name();
    if (name != m_timelineName)
        SetTimelineName(name);
    else
        RefreshTitle();
}

void PlovexBase::SetDisplayFrame(int displayFrame)
{
    m_displayFrame = displayFrame;
    if (Settings::Get().displayFrameNumberInTitleBar)
        RefreshTitle();
}

void PlovexBase::SetMenuBarVisible(bool visible)
{
    menuBar()->setVisible(visible);
    Settings::Get().menuBarVisible = visible;
    if (QAction* action = Action(CommandId::ToggleMenuBar))
        action->setChecked(visible);
}

void PlovexBase::SetSideBarVisible(bool visible)
{
    m_sideBar->setVisible(visible);
    Settings::Get().sideBarVisible = visible;
    Action(CommandId::ToggleSideBar)->setChecked(visible);
}

void PlovexBase::SetSideBarLeft(bool left)
{
    const Qt::DockWidgetArea area = left ? Qt::LeftDockWidgetArea : Qt::RightDockWidgetArea;
    if (dockWidgetArea(m_sideBar) != area) {
        removeDockWidget(m_sideBar);
        addDockWidget(area, m_sideBar);
        m_sideBar->setVisible(Settings::Get().sideBarVisible);
    }
    Settings::Get().sideBarLeft = left;
    Action(CommandId::MoveSideBar)->setText(QStringLiteral("Move Side Bar %1").arg(left ? QStringLiteral("Right") : QStringLiteral("Left")));
}

void PlovexBase::RestoreDockState(const QByteArray& state)
{
    restoreState(state);
    // The stored state may be older than the side bar's place and visibility: those win.
    SetSideBarLeft(Settings::Get().sideBarLeft);
    m_sideBar->setVisible(Settings::Get().sideBarVisible);
}

void PlovexBase::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_fullscreen || isFullScreen())
        return;
    // The window system took the window out of full screen: what was hidden for it comes back.
    m_fullscreen = false;
    SetMenuBarVisible(m_menuBarBeforeFullscreen);
    SetSideBarVisible(m_sideBarBeforeFullscreen);
    Action(CommandId::ToggleFullscreen)->setChecked(false);
}

void PlovexBase::SetFullscreenEnabled(bool enabled)
{
    if (enabled == m_fullscreen)
        return;
    m_fullscreen = enabled;
    Settings& settings = Settings::Get();
    if (enabled) {
        settings.windowGeometry = saveGeometry();
        settings.windowState = saveState();
        settings.sideBarViewState = m_sideBarSplitter->saveState();
        m_menuBarBeforeFullscreen = menuBar()->isVisible();
        m_sideBarBeforeFullscreen = m_sideBar->isVisible();
        m_viewerControlsBeforeFullscreen = Settings::Get().viewerControlsVisible;
        // The stored choices stay.
        if (m_menuBarBeforeFullscreen)
            menuBar()->setVisible(false);
        if (m_sideBarBeforeFullscreen)
            m_sideBar->setVisible(false);
        if (m_viewerControlsBeforeFullscreen) {
            m_panel->SetViewerControlsVisible(false);
            settings.viewerControlsVisible = true; // hidden for now, not by choice
        }
        showFullScreen();
    } else {
        RestoreDockState(settings.windowState);
        showNormal();
        restoreGeometry(settings.windowGeometry);
        m_sideBarSplitter->restoreState(settings.sideBarViewState);
        SetMenuBarVisible(m_menuBarBeforeFullscreen);
        SetSideBarVisible(m_sideBarBeforeFullscreen);
        m_panel->SetViewerControlsVisible(m_viewerControlsBeforeFullscreen);
    }
    if (QAction* action = Action(CommandId::ToggleFullscreen))
        action->setChecked(enabled);
    // Some window systems leave the picture half drawn after the change.
    QTimer::singleShot(1000, this, [this] {
        update();
        m_view->update();
    });
}

void PlovexBase::UpdateLoopActions()
{
    const LoopState state = m_engine->Clock()->GetLoopState();
    OwnAction(QStringLiteral("playOnce"))->setChecked(state == LoopOff);
    OwnAction(QStringLiteral("loop"))->setChecked(state == LoopOn);
    OwnAction(QStringLiteral("pingPong"))->setChecked(state == LoopPingPong);
}

void PlovexBase::UpdateVideoActions()
{
    const int layout = m_view->LayoutType();
    const QList<QPair<int, int>> layouts{{CommandId::ToggleViewerAOverB, ViewerLayoutAB},
                                         {CommandId::ToggleViewerHorizontal, ViewerLayoutHorizontal},
                                         {CommandId::ToggleViewerVertical, ViewerLayoutVertical},
                                         {CommandId::ToggleViewerGrid, ViewerLayoutGrid}};
    for (const auto& [id, type] : layouts)
        Action(id)->setChecked(layout == type);
    const int overlay = m_view->Overlay()->Drawable();
    const QList<QPair<int, int>> overlays{{CommandId::OverlayOff, OverlayOff},
                                          {CommandId::OverlaySafeArea, OverlaySafeArea},
                                          {CommandId::OverlayGrid, OverlayGrid},
                                          {CommandId::OverlayCenter, OverlayCenter}};
    for (const auto& [id, drawable] : overlays)
        Action(id)->setChecked(overlay == drawable);
    Action(CommandId::FlipHorizontal)->setChecked(m_viewer->FlipHorizontal());
    Action(CommandId::FlipVertical)->setChecked(m_viewer->FlipVertical());
    Action(CommandId::ToggleMediaInfo)->setChecked(m_view->Overlay()->MediaInfoEnabled());
    const int visibility = m_view->Annotations()->Visibility();
    Action(CommandId::AnnotationsOn)->setChecked(visibility == AnnotationVisibilityOn);
    Action(CommandId::AnnotationsOffDuringPlayback)->setChecked(visibility == AnnotationVisibilityOffDuringPlayback);
    Action(CommandId::AnnotationsOff)->setChecked(visibility == AnnotationVisibilityOff);
    Action(CommandId::ToggleABWipeSnap)->setChecked(Settings::Get().wipeSnapEnabled);
    Action(CommandId::ToggleABWipeSnapGuides)->setChecked(Settings::Get().wipeSnapGuidesEnabled);
}

void PlovexBase::UpdatePlaybackActions()
{
    const Settings& settings = Settings::Get();
    Action(CommandId::ToggleAutoplay)->setChecked(settings.autoPlayEnabled);
    Action(CommandId::ToggleLoopOnStepScrub)->setChecked(settings.loopOnStepScrub);
    Action(CommandId::ToggleLoopStepScrubToRange)->setChecked(settings.loopStepScrubToRange);
    Action(CommandId::ToggleLockStepScrubToRange)->setChecked(settings.lockStepScrubToRange);
    Action(CommandId::ToggleAudioScrub)->setChecked(settings.audioScrubEnabled);
}

void PlovexBase::UpdateToolsActions()
{
    const Settings& settings = Settings::Get();
    Action(CommandId::ToggleGlobalTimeControl)->setChecked(settings.globalTimeControlVisible);
    Action(CommandId::ToggleRangeTimeControl)->setChecked(settings.rangeTimeControlVisible);
    Action(CommandId::TogglePlaybackControls)->setChecked(settings.playbackControlsVisible);
    Action(CommandId::ToggleViewerControls)->setChecked(settings.viewerControlsVisible);
    Action(CommandId::ToggleMenuBar)->setChecked(menuBar()->isVisible());
    Action(CommandId::ToggleSideBar)->setChecked(m_sideBar->isVisible());
    Action(CommandId::ToggleAnnotationTools)->setChecked(settings.annotationToolsVisible);
}

void PlovexBase::ResizeViewer(int width, int height)
{
    if (isFullScreen() || width < 1 || height < 1)
        return;
    if (isMaximized())
        showNormal();
    QSize size = this->size() + QSize(width, height) - m_view->size();
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
}

void PlovexBase::ApplicationEscape()
{
    if (m_fullscreen)
        SetFullscreenEnabled(false);
    else if (m_view->AnnotationTool() >= 0)
        m_panel->SetAnnotationTool(-1);
}

void PlovexBase::SetAlwaysOnTopEnabled(bool enabled)
{
    Settings::Get().alwaysOnTopEnabled = enabled;
    if (QAction* action = Action(CommandId::ToggleAlwaysOnTop))
        action->setChecked(enabled);
    if (windowHandle())
        Platform::SetAlwaysOnTop(windowHandle(), enabled);
}

QMenu* PlovexBase::SubMenu(const QString& menu, const QString& title) const
{
    for (const QAction* top : menuBar()->actions())
        if (top->menu() && top->menu()->title() == menu)
            for (const QAction* item : top->menu()->actions())
                if (item->menu() && item->menu()->title() == title)
                    return item->menu();
    return nullptr;
}

void PlovexBase::FillRecentMenu(QMenu* menu, const QStringList& paths, int count, const std::function<void(const QString&)>& open,
                                const std::function<void()>& clear)
{
    if (!menu)
        return;
    menu->clear();
    // Queued: what they do rebuilds this menu, which must not delete the action still firing.
    for (const QString& path : paths.mid(0, std::clamp(count, 0, 10))) {
        QAction* action = menu->addAction(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, [open, path] { open(path); }, Qt::QueuedConnection);
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Clear All")), &QAction::triggered, this, clear, Qt::QueuedConnection);
}

void PlovexBase::UpdateRecentFilesSubMenu()
{
    FillRecentMenu(SubMenu(QStringLiteral("File"), QStringLiteral("Recent Files")), Settings::Get().recentFiles,
                   Settings::Get().numRecentFiles, [this](const QString& path) { ImportFiles({path}, true); },
                   [this] { ClearRecentFiles(); });
}

void PlovexBase::UpdateRecentProjectsSubMenu()
{
    FillRecentMenu(SubMenu(QStringLiteral("File"), QStringLiteral("Recent Projects")), Settings::Get().recentProjects,
                   Settings::Get().numRecentProjects, [this](const QString& path) { OpenProject(path); },
                   [this] { ClearRecentProjects(); });
}

void PlovexBase::ClearRecentFiles()
{
    Settings::Get().ClearRecentFiles();
    UpdateRecentFilesSubMenu();
}

void PlovexBase::ClearRecentProjects()
{
    Settings::Get().ClearRecentProjects();
    UpdateRecentProjectsSubMenu();
}

void PlovexBase::PostShow()
{
    if (m_closing)
        return;
    Settings::CheckConfigDir();
    QDir().mkpath(Settings::Get().TempDirPath());
    OpenPaths(m_startupFiles);
}

void PlovexBase::OpenNewInstance()
{
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {QStringLiteral("--new")}, QString()))
        Logger::error(QStringLiteral("Failed to launch new instance."));
}

void PlovexBase::OpenPaths(const QStringList& arguments)
{
    QStringList entries;
    for (const QString& argument : arguments)
        if (!argument.isEmpty())
            entries.append(argument);
    bool detectSequences = true;
    if (entries.size() == 1) {
        const QString& only = entries.first();
        if (FileHelpers::IsProjectFile(only)) {
            OpenProject(only);
            return;
        }
        if (only.endsWith(QLatin1String(".txt"))) {
            entries.clear();
            QFile list(only);
            if (list.open(QIODevice::ReadOnly | QIODevice::Text)) {
                QTextStream stream(&list);
                while (!stream.atEnd()) {
                    const QString line = stream.readLine().trimmed();
                    if (!line.isEmpty())
                        entries.append(line);
                }
            }
            detectSequences = false;
        } else if (only == QLatin1String("noargs")) {
            return;
        }
    }

    QStringList media;
    for (const QString& entry : std::as_const(entries))
        if (FileHelpers::IsMediaFile(entry))
            media.append(entry);
    // One batch, so that the members of a sequence (a shell glob) list their folder once.
    const QStringList names = detectSequences ? FileHelpers::ResolveSequencePaths(media) : media;
    QStringList imports;
    QSet<QString> known;
    for (const QString& name : names) {
        if (entries.size() == 1 && HasSourceNamed(name))
            continue;
        const QString checked = name + QLatin1Char('@');
        if (!known.contains(checked)) {
            known.insert(checked);
            imports.append(checked);
        }
    }
    ImportFiles(imports, detectSequences);
    if (imports.size() >= 2) {
        m_view->SetViewerLayoutByType(ViewerLayoutAB);
        m_view->SetWipeEnabled(true);
    }
}

void PlovexBase::OpenUrlsInViewer(const QList<QUrl>& urls, int viewportIndex, int viewportCount, bool)
{
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths.append(url.toLocalFile() + QLatin1Char('@'));
    if (paths.isEmpty())
        return;
    // Viewers A and B only, until the window can fill more.
    if (viewportCount > 1 && paths.size() >= 2)
        ImportFiles(paths.mid(0, 2), false);
    else
        ImportFiles(paths.mid(0, 1), false, viewportIndex == 1 ? 1 : 0);
}

void PlovexBase::ImportFiles(const QStringList& paths, bool detectSequences, int firstViewer)
{
    if (m_inputBlocked || m_closing)
        return;
    // The given order, for the viewers: a checked name as it is, others as they are grouped.
    QStringList given;
    for (const QString& path : paths)
        given.append(path.endsWith(QLatin1Char('@')) ? path.chopped(1) : FileHelpers::ResolveSequencePath(path));
    QUndoStack* stack = m_manager->UndoStack();
    stack->beginMacro(QStringLiteral("AddSources"));
    ProjectManager::ImportOptions options;
    options.detectSequences = detectSequences;
    const QList<QUuid> ids = m_manager->ImportFiles(paths, options);
    QList<QUuid> shown;
    for (const QString& name : std::as_const(given))
        for (const QUuid& id : ids)
            if (const Timeline* timeline = m_manager->AnyTimeline(id); timeline && timeline->GetSource()->Path() == name
                && !shown.contains(id) && shown.size() < 2 && !timeline->GetSource()->HasError() && timeline->FrameCount() > 0)
                shown.append(id);
    m_manager->OpenItemsInViewers(shown, firstViewer, Settings::Get().autoPlayEnabled);
    stack->endMacro();
    for (const QUuid& id : ids) {
        Source* source = m_manager->AnyTimeline(id)->GetSource();
        Logger::info(SourceReport::Summary(*source));
        if (!source->HasError())
            Settings::Get().AddRecentFile(source->Path());
        emit SourceParsed(source);
    }
    UpdateRecentFilesSubMenu();
}

bool PlovexBase::HasSourceNamed(const QString& sequencePath) const
{
    const QList<Source*> sources = Sources();
    return std::any_of(sources.begin(), sources.end(), [&](const Source* source) { return source->Path() == sequencePath; });
}
