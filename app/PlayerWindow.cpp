#include "app/PlayerWindow.h"

#include "app/SourceReport.h"
#include "core/CommandId.h"
#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/RendererInUse.h"
#include "playback/PlaybackManager.h"
#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/TimelineItem.h"
#include "project/Timeline.h"
#include "media/CacheManager.h"
#include "ui/ConsoleWindow.h"
#include "ui/KeyboardShortcutsWindow.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SoftwareViewer.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QScreen>
#include <QSurfaceFormat>
#include <QSysInfo>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>
#include <QListWidget>
#include <QProcess>
#include <QSet>
#include <QShowEvent>
#include <QSplitter>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

PlayerWindow::PlayerWindow(const QStringList& startupFiles, QWidget* parent)
    : QMainWindow(parent)
    , m_startupFiles(startupFiles)
    , m_engine(std::make_unique<AvManager>())
{
    qRegisterMetaType<Source*>();
    setWindowTitle(QStringLiteral("Plovex"));
    // First, so that everything the window logs while it is built reaches it.
    m_console = new ConsoleWindow(this);
    connect(m_console, &ConsoleWindow::CommandExecuted, this, &PlayerWindow::ExecuteConsoleCommand);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_frameLabel = new QLabel(QStringLiteral("No media"), central);
    m_frameLabel->setFont(QFont(QStringLiteral("monospace"), 14));
    auto* splitter = new QSplitter(Qt::Vertical, central);
    bool hardware = Settings::Get().hardwareRenderingEnabled;
    if (hardware && !OpenGLViewer::CanCreateContext()) {
        Logger::error(QStringLiteral("Failed to get a valid OpenGL context"));
        Logger::warning(QStringLiteral("Pictures are shown by the software renderer."));
        hardware = false;
    }
    // Decoders make frames for the renderer actually shown, not the one the setting asks for.
    RendererInUse::Set(hardware ? RendererInUse::OpenGL : RendererInUse::Software);
    m_view = new ViewerWidget(m_engine.get(), hardware, splitter);
    m_viewer = m_view->Renderer();
    m_view->setMinimumSize(320, 180);
    m_view->setFocusPolicy(Qt::NoFocus);
    connect(m_view, &ViewerWidget::SeekNextFrameRequested, this, [this] { StepFrames(1); });
    connect(m_view, &ViewerWidget::SeekPreviousFrameRequested, this, [this] { StepFrames(-1); });
    connect(m_view, &ViewerWidget::OpenUrlsInViewerRequested, this, &PlayerWindow::OpenUrlsInViewer);
    connect(m_view, &ViewerWidget::AnnotationToolColorChangeRequested, this, [](const QColor& color) {
        Logger::info(QStringLiteral("Picked colour: %1, %2, %3").arg(color.red()).arg(color.green()).arg(color.blue()));
    });
    m_sourceList = new QListWidget(splitter);
    m_sourceList->setFocusPolicy(Qt::NoFocus);
    splitter->setStretchFactor(0, 6);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(m_frameLabel);
    layout->addWidget(splitter);
    setCentralWidget(central);
    resize(1000, 800);

    m_project = std::make_unique<Project>();
    ConnectProject();
    m_shortcutsWindow = new KeyboardShortcutsWindow(m_commands, this);
    CreateActions();
    m_commands.LoadBindings();
    connect(m_engine.get(), &AvManager::VideoFrameChanged, this,
            [this](int output, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>, std::shared_ptr<VideoFrame>) {
                OnVideoFrameChanged(output, frame);
            });

    Logger::output(QStringLiteral("%1 v%2\n").arg(QStringLiteral("Plovex"), QCoreApplication::applicationVersion()));
    QTimer::singleShot(0, this, &QWidget::show);
}

PlayerWindow::~PlayerWindow()
{
    // Engine threads hold the timelines: they end before the timelines go.
    m_engine->Shutdown(true, 10000);
    m_project.reset(); // its timelines, now that no engine thread holds them
    m_engine.reset();
    delete m_shortcutsWindow;
    delete m_console;
}

QAction* PlayerWindow::AddCommand(int commandId, const std::function<void()>& handler)
{
    const Command* command = m_commands.Find(commandId);
    auto* action = new QAction(command ? command->label : QString(), this);
    connect(action, &QAction::triggered, this, handler);
    addAction(action); // reachable by its keys wherever the focus is in the window
    m_commands.AttachAction(commandId, action);
    m_actions.insert(commandId, action);
    return action;
}

QAction* PlayerWindow::Action(int commandId) const
{
    return m_actions.value(commandId);
}

void PlayerWindow::CreateActions()
{
    AddCommand(CommandId::PlayPause, [this] { m_engine->TogglePlayPause(); });
    AddCommand(CommandId::PlayForwards, [this] { PlayOrPause(true); });
    AddCommand(CommandId::PlayBackwards, [this] { PlayOrPause(false); });
    AddCommand(CommandId::Pause, [this] { m_engine->Pause(); });
    AddCommand(CommandId::StepForwards, [this] { StepFrames(1); });
    AddCommand(CommandId::StepBackwards, [this] { StepFrames(-1); });
    AddCommand(CommandId::SeekStart, [this] { SeekStart(); });
    AddCommand(CommandId::SeekEnd, [this] { SeekEnd(); });
    AddCommand(CommandId::PlaybackSpeedNormal, [this] { m_engine->SetPlaybackSpeed(1.0f); });
    AddCommand(CommandId::IncreasePlaybackSpeed, [this] { ChangeSpeed(2.0f); });
    AddCommand(CommandId::DecreasePlaybackSpeed, [this] { ChangeSpeed(0.5f); });
    AddCommand(CommandId::OpenNewInstance, [this] { OpenNewInstance(); });
    AddCommand(CommandId::OpenProject, [this] { OpenProjectFromDialog(); });
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
    AddCommand(CommandId::ToggleMediaInfo, [this] { m_view->SetMediaInfoVisible(!m_view->Overlay()->MediaInfoEnabled()); });
    QAction* console = AddCommand(CommandId::ToggleConsole, [this] { ShowConsoleWindow(); });
    console->setText(QStringLiteral("Console"));
    QAction* shortcuts = new QAction(QStringLiteral("Keyboard Shortcuts"), this);
    connect(shortcuts, &QAction::triggered, this, &PlayerWindow::ShowKeyboardShortcuts);
    menuBar()->addMenu(QStringLiteral("Tools"))->addAction(console);
    menuBar()->addMenu(QStringLiteral("Help"))->addAction(shortcuts);
}

void PlayerWindow::PlayOrPause(bool forward)
{
    PlaybackManager* clock = m_engine->Clock();
    if (clock->IsPlaying() && clock->PlayForward() == forward)
        m_engine->Pause();
    else
        m_engine->Play(forward);
}

void PlayerWindow::SeekStart()
{
    if (Timeline* timeline = m_engine->PrimaryTimeline())
        m_engine->SetPlaybackTime(timeline->RangeStartTime());
}

void PlayerWindow::SeekEnd()
{
    if (Timeline* timeline = m_engine->PrimaryTimeline())
        m_engine->SetPlaybackTime(timeline->FrameStartTime(timeline->RangeEndFrame()));
}

void PlayerWindow::ChangeSpeed(float factor)
{
    m_engine->SetPlaybackSpeed(m_engine->Clock()->PlaybackSpeed() * factor);
}

void PlayerWindow::ShowConsoleWindow()
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

void PlayerWindow::ShowKeyboardShortcuts()
{
    m_shortcutsWindow->show();
    m_shortcutsWindow->activateWindow();
    m_shortcutsWindow->raise();
}

void PlayerWindow::ExecuteConsoleCommand(const QString& command)
{
    if (command == QLatin1String("clear")) {
        m_console->ClearOutput();
    } else if (command == QLatin1String("about")) {
        m_console->ClearOutput();
        PrintSystemInformation();
    } else if (command == QLatin1String("cache")) {
        PrintCacheInfo();
    } else if (command == QLatin1String("reset audio")) {
        m_engine->ResetAudioOutput();
    }
}

void PlayerWindow::PrintSystemInformation()
{
    const Settings& settings = Settings::Get();
    QStringList monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.append(QStringLiteral("%1x%2 (%3)")
                            .arg(screen->size().width())
                            .arg(screen->size().height())
                            .arg(screen->devicePixelRatio()));
    const QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    Logger::output(QStringLiteral("%1 v%2\n\n").arg(QStringLiteral("Plovex"), QCoreApplication::applicationVersion()));
#ifdef Q_OS_WIN
    const QString system = QStringLiteral("Windows");
#else
    QString system = QSysInfo::productType();
    if (!system.isEmpty())
        system[0] = system[0].toUpper();
#endif
    Logger::output(QStringLiteral("%1 %2\n").arg(system, QSysInfo::productVersion()));
    if (const auto* gl = dynamic_cast<const OpenGLViewer*>(m_viewer); gl && !gl->RendererInfo().isEmpty())
        Logger::output(gl->RendererInfo());
    Logger::output(QStringLiteral("Monitors: %1\n").arg(monitors.join(QStringLiteral(" : "))));
    Logger::output(QStringLiteral("Cache Size: %1\n").arg(settings.cacheSize));
    Logger::output(QStringLiteral("VSync: %1 (%2)\n").arg(format.swapInterval()).arg(static_cast<int>(format.swapBehavior())));
    Logger::output(QStringLiteral("GTC: %1 (%2)\n")
                       .arg(settings.globalTimeControlVisible ? 1 : 0)
                       .arg(settings.globalTimeControlPositionTop ? 1 : 0));
    Logger::output(QStringLiteral("RTC: %1 (%2)\n")
                       .arg(settings.rangeTimeControlVisible ? 1 : 0)
                       .arg(settings.rangeTimeControlPositionTop ? 1 : 0));
    Logger::output(QStringLiteral("Port: %1 (%2)\n").arg(settings.clientApiPort).arg(settings.clientApiPortEnabled ? 1 : 0));
    Logger::output(QStringLiteral("Maya CommandPort: %1\n").arg(settings.mayaCommandPort));
}

void PlayerWindow::PrintCacheInfo()
{
    if (Timeline* timeline = m_engine->PrimaryTimeline())
        Logger::output(timeline->Cache()->CacheInfo(timeline->GetSource() ? timeline->GetSource()->Name() : QString()));
}

QList<Source*> PlayerWindow::Sources() const
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
    for (const FolderItem* base : m_project->BaseFolders())
        walk(base);
    return sources;
}

void PlayerWindow::ConnectProject()
{
    connect(m_project.get(), &Project::ParseSourceRequested, this, [this](TimelineItem* item) {
        Timeline* timeline = item->GetTimeline();
        if (timeline->GetSource()->FileCount() > 0) {
            m_engine->ParseSource(timeline);
            return;
        }
        // An invalid path: nothing to probe, and the queue moves on.
        OnSourceParsed(timeline);
        QMetaObject::invokeMethod(m_project.get(), [project = m_project.get(), id = item->Id()] { project->OnSourceParsed(id); },
                                  Qt::QueuedConnection);
    });
    connect(m_project.get(), &Project::OpenInViewerRequested, this, [this](const QUuid& id, int viewer, bool) {
        TimelineItem* item = m_project->TimelineItemById(id, true);
        if (!item || viewer < 0 || viewer > 1)
            return;
        m_engine->DecodeTimeline(item->GetTimeline(), viewer, viewer == 0, true);
        if (viewer == 0)
            m_view->SetPrimaryTimeline(item->GetTimeline());
    });
    connect(m_project.get(), &Project::PausePlaybackRequested, m_engine.get(), &AvManager::Pause);
    // A source reloaded in place: its viewer lets go of the old one, then shows the new one.
    connect(m_project.get(), &Project::OpenInViewerReplaceRequested, this, [this](const QUuid& id, int viewer) {
        if (viewer < 0 || viewer > 1)
            return;
        TimelineItem* item = m_project->TimelineItemById(id, true);
        if (!item) {
            if (viewer == 0)
                m_view->SetPrimaryTimeline(nullptr);
            m_engine->EndDecodingTask(viewer, true);
            return;
        }
        m_engine->DecodeTimeline(item->GetTimeline(), viewer, viewer == 0, true);
        if (viewer == 0)
            m_view->SetPrimaryTimeline(item->GetTimeline());
    });
    connect(m_project.get(), &Project::ProjectUpdated, this, &PlayerWindow::ScheduleSourceListRefresh);
    connect(m_project.get(), &Project::SourceFinalised, this, &PlayerWindow::ScheduleSourceListRefresh);
}

bool PlayerWindow::OpenProject(const QString& path)
{
    // The open project is given up only for a file that can be read, and not while a project
    // is still loading (the load runs the event loop, so the keys still work).
    if (m_project->IsLoading() || !ProjectFile::CanRead(path))
        return false;
    m_engine->Pause();
    m_view->SetPrimaryTimeline(nullptr);
    for (int viewer = 0; viewer < 2; ++viewer)
        m_engine->EndDecodingTask(viewer, true);
    m_outputFor.clear();
    m_project = std::make_unique<Project>();
    ConnectProject();
    const bool read = ProjectFile::Read(*m_project, path, true);
    m_view->SetViewerLayoutByType(ProjectGlobals::ViewerLayout());
    return read;
}

bool PlayerWindow::SaveProjectTo(const QString& path)
{
    m_project->SetProjectPath(path);
    ProjectGlobals::SetViewerLayout(m_view->LayoutType());
    return ProjectFile::Write(*m_project);
}

void PlayerWindow::OpenProjectFromDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Project"), Settings::Get().DefaultExportDirPath(),
                                                      ProjectFilter());
    if (!path.isEmpty())
        OpenProject(path);
}

void PlayerWindow::SaveProject()
{
    if (ProjectGlobals::ProjectPath().isEmpty())
        SaveProjectAs();
    else
        SaveProjectTo(ProjectGlobals::ProjectPath());
}

void PlayerWindow::SaveProjectAs()
{
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Project As"), Settings::Get().DefaultExportDirPath(),
                                                ProjectFilter());
    if (path.isEmpty())
        return;
    // Saved projects are in the current format: an ending that means another format (or
    // none) gets the current one's.
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty() || suffix == QLatin1String("plvx") || suffix == QLatin1String("bmk"))
        path += QLatin1Char('.') + ProjectFile::kSuffix;
    SaveProjectTo(path);
}

QString PlayerWindow::ProjectFilter()
{
    return QStringLiteral("Project Files (*.%1);;All Files (*.*)").arg(ProjectFile::kSuffix);
}

void PlayerWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    QMetaObject::invokeMethod(this, &PlayerWindow::PostShow, Qt::QueuedConnection);
}

void PlayerWindow::ProcessMessageFromOtherInstance(const QStringList& arguments)
{
    if (isHidden())
        show();
    else if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    OpenPaths(arguments);
}

void PlayerWindow::closeEvent(QCloseEvent* event)
{
    if (m_console->isVisible())
        Settings::Get().consoleWindowGeometry = m_console->saveGeometry();
    m_console->close();
    m_shortcutsWindow->close();
    m_commands.SaveBindings();
    Settings::Get().Save();
    m_engine->Shutdown(true, 10000);
    QMainWindow::closeEvent(event);
}

void PlayerWindow::PostShow()
{
    Settings::CheckConfigDir();
    QDir().mkpath(Settings::Get().TempDirPath());
    OpenPaths(m_startupFiles);
}

void PlayerWindow::OpenNewInstance()
{
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {QStringLiteral("--new")}, QString()))
        Logger::error(QStringLiteral("Failed to launch new instance."));
}

void PlayerWindow::OpenPaths(const QStringList& arguments)
{
    QStringList entries;
    for (const QString& argument : arguments)
        if (!argument.isEmpty())
            entries.append(argument);
    bool detectSequences = true;
    if (entries.size() == 1) {
        const QString& only = entries.first();
        if (FileHelpers::IsProjectFile(only)) {
            Logger::warning(QStringLiteral("Projects cannot be opened in this window yet: %1").arg(only));
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

void PlayerWindow::OpenUrlsInViewer(const QList<QUrl>& urls, int viewportIndex, int viewportCount, bool)
{
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths.append(url.toLocalFile() + QLatin1Char('@'));
    if (paths.isEmpty())
        return;
    // Viewers A and B only, until the window can fill more.
    if (viewportCount > 1 && paths.size() >= 2) {
        ImportFiles(paths.mid(0, 2), false);
        return;
    }
    for (Timeline* timeline : ImportFiles(paths.mid(0, 1), false))
        m_outputFor.insert(timeline->GetSource()->Id(), viewportIndex == 1 ? 1 : 0);
}

QList<Timeline*> PlayerWindow::ImportFiles(const QStringList& paths, bool detectSequences)
{
    QList<Timeline*> imported;
    QStringList checked;
    QStringList unchecked;
    for (const QString& path : paths) {
        if (path.endsWith(QLatin1Char('@')))
            checked.append(path.chopped(1));
        else if (FileHelpers::IsMediaFile(path))
            unchecked.append(path);
    }
    QStringList names = checked + (detectSequences ? FileHelpers::DetectImageSequences(unchecked) : unchecked);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    // The batch's first two files, in the order given, go to viewers A and B.
    QStringList given;
    for (const QString& path : paths)
        given.append(path.endsWith(QLatin1Char('@')) ? path.chopped(1) : path);
    const bool compare = names.size() >= 2;
    for (const QString& name : std::as_const(names)) {
        SourceProperties record;
        record.path = name;
        TimelineItem* projectItem = m_project->CreateSource(record);
        if (!projectItem)
            continue;
        Timeline* timeline = projectItem->GetTimeline();
        imported.append(timeline);
        const qsizetype place = given.indexOf(name);
        m_outputFor.insert(timeline->GetSource()->Id(), compare && (place == 1 || (place < 0 && name == names.at(1))) ? 1 : 0);
        if (compare && place > 1)
            m_outputFor.insert(timeline->GetSource()->Id(), -1);
        Source* source = timeline->GetSource();
        connect(source, &Source::Parsed, this, [this, timeline] { OnSourceParsed(timeline); });
        connect(source, &Source::Updated, this, [this, timeline] { OnSourceParsed(timeline); });
    }
    m_project->QueuePendingSources();
    return imported;
}

void PlayerWindow::ScheduleSourceListRefresh()
{
    if (m_sourceListRefreshPending)
        return;
    m_sourceListRefreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_sourceListRefreshPending = false;
        m_sourceList->clear();
        for (const Source* source : Sources()) {
            QString text = source->Path();
            if (source->IsParsed())
                text = source->HasError() ? QStringLiteral("%1 (%2)").arg(source->Path(), source->StatusText())
                                          : QStringLiteral("%1 (%2, %3 frames at %4 fps)")
                                                .arg(source->Path(), source->DurationText())
                                                .arg(source->FrameCount())
                                                .arg(source->FrameRate());
            new QListWidgetItem(text, m_sourceList);
        }
    });
}

void PlayerWindow::OnSourceParsed(Timeline* timeline)
{
    Source* source = timeline->GetSource();
    Logger::info(SourceReport::Summary(*source));
    ScheduleSourceListRefresh();
    // The latest usable source plays in its viewer: A, or B for the second of a batch.
    if (!source->HasError() && source->FrameCount() > 0) {
        const int output = m_outputFor.value(source->Id(), 0);
        if (output < 0) {
            emit SourceParsed(source);
            return;
        }
        m_engine->DecodeTimeline(timeline, output, output == 0, true);
        if (output == 0)
            m_view->SetPrimaryTimeline(timeline);
        if (Settings::Get().autoPlayEnabled)
            m_engine->Play(true);
    }
    emit SourceParsed(source);
}

void PlayerWindow::OnVideoFrameChanged(int outputId, const std::shared_ptr<VideoFrame>& frame)
{
    if (outputId != 0)
        return;
    Timeline* timeline = m_engine->PrimaryTimeline();
    if (!frame || !timeline) {
        m_frameLabel->setText(QStringLiteral("No media"));
        return;
    }
    m_frameLabel->setText(QStringLiteral("Frame %1 of %2%3")
                              .arg(frame->firstTimelineFrame + timeline->TimeControlFrameOffset())
                              .arg(timeline->FrameCount())
                              .arg(frame->empty ? QStringLiteral(" (no picture)") : QString()));
}

void PlayerWindow::StepFrames(int delta)
{
    Timeline* timeline = m_engine->PrimaryTimeline();
    if (!timeline)
        return;
    m_engine->Pause();
    const int32_t frame = std::clamp(timeline->PlaybackFrame() + delta, 0, timeline->LastFrame());
    m_engine->SetPlaybackTime(timeline->FrameStartTime(frame), true, false, false, delta > 0);
}

bool PlayerWindow::HasSourceNamed(const QString& sequencePath) const
{
    const QList<Source*> sources = Sources();
    return std::any_of(sources.begin(), sources.end(), [&](const Source* source) { return source->Path() == sequencePath; });
}
