#include "app/PlayerWindow.h"

#include "app/SourceReport.h"
#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/RendererInUse.h"
#include "playback/PlaybackManager.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SoftwareViewer.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
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
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_frameLabel = new QLabel(QStringLiteral("No media"), central);
    m_frameLabel->setFont(QFont(QStringLiteral("monospace"), 14));
    auto* splitter = new QSplitter(Qt::Vertical, central);
    QWidget* viewer = nullptr;
    bool hardware = Settings::Get().hardwareRenderingEnabled;
    if (hardware && !OpenGLViewer::CanCreateContext()) {
        Logger::error(QStringLiteral("Failed to get a valid OpenGL context"));
        Logger::warning(QStringLiteral("Pictures are shown by the software renderer."));
        hardware = false;
    }
    // Decoders make frames for the renderer actually shown, not the one the setting asks for.
    RendererInUse::Set(hardware ? RendererInUse::OpenGL : RendererInUse::Software);
    if (hardware) {
        auto* gl = new OpenGLViewer(splitter);
        m_viewer = gl;
        viewer = gl;
    } else {
        auto* software = new SoftwareViewer(splitter);
        m_viewer = software;
        viewer = software;
    }
    viewer->setMinimumSize(320, 180);
    viewer->setFocusPolicy(Qt::NoFocus);
    m_sourceList = new QListWidget(splitter);
    m_log = new QPlainTextEdit(splitter);
    m_log->setReadOnly(true);
    m_log->setFont(QFont(QStringLiteral("monospace")));
    m_sourceList->setFocusPolicy(Qt::NoFocus);
    m_log->setFocusPolicy(Qt::NoFocus);
    splitter->setStretchFactor(0, 6);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 1);
    layout->addWidget(m_frameLabel);
    layout->addWidget(splitter);
    setCentralWidget(central);
    resize(1000, 800);

    Logger* logger = Logger::Instance();
    connect(logger, &Logger::ErrorLogged, this, [this](const QString& text) { m_log->appendPlainText(QStringLiteral("[ERROR] ") + text); });
    connect(logger, &Logger::WarningLogged, this, [this](const QString& text) { m_log->appendPlainText(QStringLiteral("[WARNING] ") + text); });
    connect(logger, &Logger::InfoLogged, m_log, &QPlainTextEdit::appendPlainText);
    connect(logger, &Logger::OutputLogged, m_log, &QPlainTextEdit::appendPlainText);
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
    m_engine.reset();
}

QList<Source*> PlayerWindow::Sources() const
{
    QList<Source*> sources;
    for (Timeline* timeline : m_timelines)
        sources.append(timeline->GetSource());
    return sources;
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
}

void PlayerWindow::ImportFiles(const QStringList& paths, bool detectSequences)
{
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
    for (const QString& name : std::as_const(names)) {
        auto* timeline = new Timeline(name, QString(), QUuid(), this);
        Source* source = timeline->GetSource();
        m_timelines.append(timeline);
        auto* item = new QListWidgetItem(source->Path(), m_sourceList);
        item->setData(Qt::UserRole, source->Id());
        connect(source, &Source::Parsed, this, [this, timeline] { OnSourceParsed(timeline); });
        connect(source, &Source::Updated, this, [this, timeline] { OnSourceParsed(timeline); });
        if (source->FileCount() == 0)
            OnSourceParsed(timeline); // an invalid path: nothing to probe
        else
            m_engine->ParseSource(timeline);
    }
}

void PlayerWindow::OnSourceParsed(Timeline* timeline)
{
    Source* source = timeline->GetSource();
    Logger::info(SourceReport::Summary(*source));
    for (int row = 0; row < m_sourceList->count(); ++row) {
        QListWidgetItem* item = m_sourceList->item(row);
        if (item->data(Qt::UserRole).toUuid() != source->Id())
            continue;
        item->setText(source->HasError() ? QStringLiteral("%1 (%2)").arg(source->Path(), source->StatusText())
                                         : QStringLiteral("%1 (%2, %3 frames at %4 fps)")
                                               .arg(source->Path(), source->DurationText())
                                               .arg(source->FrameCount())
                                               .arg(source->FrameRate()));
    }
    // The latest usable source plays in the viewer.
    if (!source->HasError() && source->FrameCount() > 0) {
        m_engine->DecodeTimeline(timeline, 0, true, true);
        if (Settings::Get().autoPlayEnabled)
            m_engine->Play(true);
    }
    emit SourceParsed(source);
}

void PlayerWindow::OnVideoFrameChanged(int outputId, const std::shared_ptr<VideoFrame>& frame)
{
    if (outputId != 0)
        return;
    m_viewer->SetViewportFrame(0, frame);
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

void PlayerWindow::keyPressEvent(QKeyEvent* event)
{
    Timeline* timeline = m_engine->PrimaryTimeline();
    PlaybackManager* clock = m_engine->Clock();
    switch (event->key()) {
    case Qt::Key_Space:
        m_engine->TogglePlayPause();
        break;
    case Qt::Key_L:
        m_engine->Play(true);
        break;
    case Qt::Key_J:
        m_engine->Play(false);
        break;
    case Qt::Key_K:
        m_engine->Pause();
        break;
    case Qt::Key_Right:
        StepFrames(1);
        break;
    case Qt::Key_Left:
        StepFrames(-1);
        break;
    case Qt::Key_Home:
        if (timeline)
            m_engine->SetPlaybackTime(timeline->RangeStartTime());
        break;
    case Qt::Key_End:
        if (timeline)
            m_engine->SetPlaybackTime(timeline->FrameStartTime(timeline->RangeEndFrame()));
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_engine->SetPlaybackSpeed(clock->PlaybackSpeed() * 2.0f);
        break;
    case Qt::Key_Minus:
        m_engine->SetPlaybackSpeed(clock->PlaybackSpeed() / 2.0f);
        break;
    default:
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool PlayerWindow::HasSourceNamed(const QString& sequencePath) const
{
    return std::any_of(m_timelines.begin(), m_timelines.end(),
                       [&](const Timeline* timeline) { return timeline->GetSource()->Path() == sequencePath; });
}
