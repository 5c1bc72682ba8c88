#include "ui/TimeControlBaseWidget.h"

#include "core/TimeControlFont.h"
#include "engine/AvManager.h"
#include "media/CacheManager.h"
#include "media/VideoFrame.h"
#include "playback/PlaybackManager.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "project/Track.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

using namespace TimeControlFormat;

namespace {

const QColor kBackground(32, 32, 32);
const QColor kTrack(44, 44, 44);
const QColor kClipEdge(80, 80, 80);
const QColor kText(140, 140, 140);
const QColor kLightText(200, 200, 200);
const QColor kPlayhead(230, 230, 230);
const QColor kFrameBookmark(70, 160, 255);
const QColor kRangeBookmark(230, 140, 40);
const QColor kCache(60, 170, 90);

// The time-control font, or the system's fixed-pitch font where it is not installed.
QFont ResolveFont()
{
    QFont font = TimeControlFont();
    const QString family = font.family();
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    return font;
}

// The int a menu action carries in its data (a frame, a display format).
std::optional<int> SenderInt(QObject* sender)
{
    const auto* action = qobject_cast<QAction*>(sender);
    if (!action || !action->data().isValid())
        return std::nullopt;
    return action->data().toInt();
}

} // namespace

TimeControlBaseWidget::TimeControlBaseWidget(AvManager* engine, ProjectManager* manager, const SettingKeys& keys,
                                             QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_manager(manager)
    , m_keys(keys)
    , m_font(ResolveFont())
{
    setFixedHeight(kHeight);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    const Settings& settings = Settings::Get();
    m_displayFormat = ValidDisplayFormat(settings.*m_keys.displayFormat);
    m_frameBookmarksVisible = settings.*m_keys.frameBookmarksVisible;
    m_rangeBookmarksVisible = m_keys.rangeBookmarksVisible ? settings.*m_keys.rangeBookmarksVisible : true;
    m_cacheVisible = settings.*m_keys.cacheVisible;

    m_fpsClock.start();
    m_cacheTimer.setInterval(200);
    connect(&m_cacheTimer, &QTimer::timeout, this, &TimeControlBaseWidget::UpdateCache);
    ConnectEngine();
}

TimeControlBaseWidget::~TimeControlBaseWidget() = default;

void TimeControlBaseWidget::ConnectEngine()
{
    if (!m_engine)
        return;
    connect(m_engine, &AvManager::PrimaryTimelineChanged, this, &TimeControlBaseWidget::OnPrimaryTimelineChanged);
    connect(m_engine, &AvManager::PlaybackFrameChanged, this, &TimeControlBaseWidget::OnPlaybackFrameChanged);
    connect(m_engine, &AvManager::PlaybackRangeChanged, this, &TimeControlBaseWidget::OnPlaybackRangeChanged);
    connect(m_engine, &AvManager::PlaybackEndTimeChanged, this, &TimeControlBaseWidget::OnPlaybackEndTimeChanged);
    connect(m_engine, &AvManager::PlaybackStateChanged, this, &TimeControlBaseWidget::OnPlaybackStateChanged);
    connect(m_engine, &AvManager::PlaybackSpeedChanged, this, &TimeControlBaseWidget::OnPlaybackSpeedChanged);
    connect(m_engine, &AvManager::VideoFrameChanged, this,
            [this](int outputId, std::shared_ptr<VideoFrame> frame) { OnVideoFrameChanged(outputId, std::move(frame)); });
    m_playing = m_engine->Clock()->IsPlaying();
    if (Timeline* primary = m_engine->PrimaryTimeline())
        OnPrimaryTimelineChanged(primary, false);
}

Timeline* TimeControlBaseWidget::GetTimeline() const
{
    return m_timeline;
}

QUuid TimeControlBaseWidget::TimelineId() const
{
    return m_manager && m_timeline ? m_manager->IdOf(m_timeline) : QUuid();
}

FrameMapping TimeControlBaseWidget::Mapping() const
{
    const QRect track = TrackRect();
    FrameMapping mapping;
    mapping.first = FirstVisibleFrame();
    mapping.last = LastVisibleFrame();
    mapping.x = track.x();
    mapping.width = track.width();
    if (!m_timeline)
        mapping.last = mapping.first - 1;
    return mapping;
}

QString TimeControlBaseWidget::FrameLabel(int frame, bool withOffset) const
{
    if (!m_timeline)
        return {};
    return TimeControlFormat::FrameLabel(m_displayFormat,
                                         LabelInputFor(*m_timeline, frame, m_currentFrame, withOffset, m_rangeStart));
}

QString TimeControlBaseWidget::ToolTipText(const QPoint& position) const
{
    if (!TrackRect().contains(position))
        return {};
    const std::optional<int> frame = FrameAt(position.x());
    return frame ? FrameLabel(*frame) : QString();
}

double TimeControlBaseWidget::MeasuredFps() const
{
    if (m_frameTimes.size() < 2)
        return 0.0;
    const qint64 span = m_frameTimes.back() - m_frameTimes.front();
    return span > 0 ? static_cast<double>(m_frameTimes.size() - 1) * 1000.0 / static_cast<double>(span) : 0.0;
}

std::pair<QString, bool> TimeControlBaseWidget::PlaybackRateText() const
{
    const PlaybackManager* clock = m_engine ? m_engine->Clock() : nullptr;
    if (clock && clock->IsPlaying() && clock->LoopStartOverrideActive())
        return {QStringLiteral("Stepped"), true};
    const float speed = clock ? clock->PlaybackSpeed() : 1.0f;
    if (speed == 1.0f)
        return {QString::number(MeasuredFps(), 'f', 1) + QStringLiteral("fps"), false};
    return {QStringLiteral("%1x").arg(QString::number(static_cast<double>(speed), 'f', 2)), true};
}

// --- following the engine and the timeline -----------------------------------------------

void TimeControlBaseWidget::OnPrimaryTimelineChanged(Timeline* timeline, bool primaryTimelineCleared)
{
    Q_UNUSED(primaryTimelineCleared);
    if (m_dragged != Part::None) {
        m_resumePlayback = false; // the playback suspended was the old timeline's
        EndGesture();
    }
    for (const QMetaObject::Connection& connection : std::as_const(m_timelineConnections))
        disconnect(connection);
    m_timelineConnections.clear();
    m_timeline = timeline;
    m_frameTimes.clear();
    if (timeline) {
        m_timelineConnections << connect(timeline, &Timeline::TimelineUpdated, this, &TimeControlBaseWidget::OnTimelineUpdated);
        m_timelineConnections << connect(timeline, &Timeline::BookmarksChanged, this, &TimeControlBaseWidget::UpdateBookmarks);
        m_timelineConnections << connect(timeline, &Timeline::PlaybackRangeChanged, this,
                                         &TimeControlBaseWidget::OnPlaybackRangeChanged);
        m_timelineConnections << connect(timeline, &Timeline::EndTimeChanged, this,
                                         &TimeControlBaseWidget::OnPlaybackEndTimeChanged);
        m_timelineConnections << connect(timeline, &Timeline::TimeControlFrameOffsetChanged, this,
                                         &TimeControlBaseWidget::Refresh);
        m_currentFrame = std::max(0, timeline->PlaybackFrame());
    } else {
        m_currentFrame = 0;
    }
    OnTimelineUpdated();
    UpdateCacheTimer();
}

void TimeControlBaseWidget::OnTimelineUpdated()
{
    m_lastFrame = m_timeline ? m_timeline->FrameCount() - 1 : -1;
    ReadRange();
    UpdateClipFrameRanges();
    UpdateBookmarks();
    UpdateCache();
    Refresh();
}

void TimeControlBaseWidget::ReadRange()
{
    // A range being dragged belongs to the bar until the release records it.
    if (m_dragged == Part::RangeBar || m_dragged == Part::RangeStartHandle || m_dragged == Part::RangeEndHandle)
        return;
    if (!m_timeline || m_lastFrame < 0) {
        m_rangeStart = 0;
        m_rangeEnd = m_lastFrame;
        return;
    }
    m_rangeStart = std::clamp(m_timeline->RangeStartFrame(), 0, m_lastFrame);
    m_rangeEnd = std::clamp(m_timeline->RangeEndFrame(), m_rangeStart, m_lastFrame);
}

void TimeControlBaseWidget::OnPlaybackFrameChanged(int playbackFrame)
{
    if (!m_timeline)
        return;
    m_currentFrame = std::max(0, playbackFrame);
    if (m_playing) {
        const qint64 now = m_fpsClock.elapsed();
        m_frameTimes.push_back(now);
        while (m_frameTimes.size() > 1 && now - m_frameTimes.front() > 1000)
            m_frameTimes.pop_front();
    }
    emit PlaybackFrameChanged(m_currentFrame, m_timeline->TimeControlFrameOffset());
    Refresh();
}

void TimeControlBaseWidget::OnPlaybackEndTimeChanged(int64_t endTime)
{
    Q_UNUSED(endTime);
    const int last = m_timeline ? m_timeline->FrameCount() - 1 : -1;
    if (last == m_lastFrame)
        return;
    m_lastFrame = last;
    ReadRange();
    UpdateClipFrameRanges();
    Refresh();
}

void TimeControlBaseWidget::OnPlaybackRangeChanged(int64_t rangeStartTime, int64_t rangeEndTime)
{
    Q_UNUSED(rangeStartTime);
    Q_UNUSED(rangeEndTime);
    const std::pair<int, int> before{m_rangeStart, m_rangeEnd};
    ReadRange();
    if (before != std::pair<int, int>{m_rangeStart, m_rangeEnd})
        Refresh();
}

void TimeControlBaseWidget::OnPlaybackStateChanged(bool playing, bool playForward)
{
    Q_UNUSED(playForward);
    m_playing = playing;
    m_frameTimes.clear();
    Refresh();
}

void TimeControlBaseWidget::OnPlaybackSpeedChanged(float playbackSpeed)
{
    Q_UNUSED(playbackSpeed);
    m_frameTimes.clear();
    Refresh();
}

void TimeControlBaseWidget::OnVideoFrameChanged(int viewportIndex, std::shared_ptr<VideoFrame> videoFrame)
{
    Q_UNUSED(viewportIndex);
    Q_UNUSED(videoFrame);
    if (m_cacheVisible)
        UpdateCache();
}

void TimeControlBaseWidget::UpdateClipFrameRanges()
{
    m_clipStarts.clear();
    if (!m_timeline)
        return;
    const Track* track = m_timeline->GetTrack();
    for (int i = 1; i < track->ClipCount(); ++i)
        m_clipStarts.push_back(track->ClipAt(i)->StartFrame());
}

void TimeControlBaseWidget::UpdateBookmarks()
{
    m_frameBookmarks.clear();
    m_rangeBookmarks.clear();
    if (m_timeline) {
        for (const FrameBookmark* bookmark : m_timeline->FrameBookmarks())
            if (bookmark->TimelineFrame() >= 0)
                m_frameBookmarks.push_back(bookmark->TimelineFrame());
        std::sort(m_frameBookmarks.begin(), m_frameBookmarks.end());
        for (const RangeBookmark& bookmark : m_timeline->RangeBookmarks())
            m_rangeBookmarks.emplace_back(bookmark.startFrame, bookmark.endFrame);
        std::sort(m_rangeBookmarks.begin(), m_rangeBookmarks.end());
    }
    Refresh();
}

void TimeControlBaseWidget::UpdateCache()
{
    int first = -1;
    int last = -1;
    if (m_timeline && m_timeline->Cache()->VideoFrameCount() > 0) {
        first = m_timeline->Cache()->FirstTimelineFrame();
        last = m_timeline->Cache()->LastTimelineFrame();
    }
    if (first == m_cacheFirst && last == m_cacheLast)
        return;
    m_cacheFirst = first;
    m_cacheLast = last;
    if (m_cacheVisible)
        Refresh();
}

void TimeControlBaseWidget::UpdateCacheTimer()
{
    // Frames are cached ahead while nothing else moves: the run is looked at now and then.
    if (m_cacheVisible && m_timeline)
        m_cacheTimer.start();
    else
        m_cacheTimer.stop();
}

void TimeControlBaseWidget::Refresh()
{
    if (isVisible())
        update();
    else
        emit UpdateRequested();
}

// --- range, bookmarks and choices ----------------------------------------------------------

void TimeControlBaseWidget::CommitRange(int start, int end)
{
    if (!m_timeline || m_lastFrame < 0)
        return;
    start = std::clamp(start, 0, m_lastFrame);
    end = std::clamp(end, start, m_lastFrame);
    if (start == m_timeline->RangeStartFrame() && end == m_timeline->RangeEndFrame())
        return;
    const int stored = end >= m_lastFrame ? -1 : end;
    const QUuid id = TimelineId();
    if (id.isNull() || !m_manager)
        m_timeline->SetPlaybackRange(start, stored); // a timeline outside the project: no undo
    else
        m_manager->SetPlaybackRangeByFrame(id, start, stored);
}

void TimeControlBaseWidget::RangeStartToCurrent()
{
    CommitRange(m_currentFrame, std::max(m_rangeEnd, m_currentFrame));
}

void TimeControlBaseWidget::RangeEndToCurrent()
{
    CommitRange(std::min(m_rangeStart, m_currentFrame), m_currentFrame);
}

void TimeControlBaseWidget::SetRangeStartFromSender()
{
    if (const std::optional<int> frame = SenderInt(sender()))
        CommitRange(*frame, std::max(m_rangeEnd, *frame));
}

void TimeControlBaseWidget::SetRangeEndFromSender()
{
    if (const std::optional<int> frame = SenderInt(sender()))
        CommitRange(std::min(m_rangeStart, *frame), *frame);
}

void TimeControlBaseWidget::SetRangeToPreviousRangeBookmark()
{
    const std::pair<int, int> range{m_rangeStart, m_rangeEnd};
    const auto it = std::lower_bound(m_rangeBookmarks.begin(), m_rangeBookmarks.end(), range);
    if (it != m_rangeBookmarks.begin())
        CommitRange(std::prev(it)->first, std::prev(it)->second);
}

void TimeControlBaseWidget::SetRangeToNextRangeBookmark()
{
    const std::pair<int, int> range{m_rangeStart, m_rangeEnd};
    const auto it = std::upper_bound(m_rangeBookmarks.begin(), m_rangeBookmarks.end(), range);
    if (it != m_rangeBookmarks.end())
        CommitRange(it->first, it->second);
}

void TimeControlBaseWidget::ResetRange()
{
    if (!m_timeline || (m_timeline->RangeStartFrame() == 0 && m_timeline->StoredRangeEndFrame() < 0))
        return;
    const QUuid id = TimelineId();
    if (id.isNull() || !m_manager)
        m_timeline->SetPlaybackRange(0, -1);
    else
        m_manager->SetPlaybackRangeByFrame(id, 0, -1);
}

void TimeControlBaseWidget::ToggleFrameBookmark()
{
    if (m_manager && m_timeline)
        m_manager->ToggleFrameBookmark(TimelineId(), m_currentFrame);
}

void TimeControlBaseWidget::ToggleRangeBookmark()
{
    if (m_manager && m_timeline && m_lastFrame >= 0)
        m_manager->ToggleRangeBookmark(TimelineId(), m_rangeStart, m_rangeEnd);
}

void TimeControlBaseWidget::RemoveBookmarks(bool frameBookmarks, bool rangeBookmarks, bool inRange,
                                            const QString& undoCmdName)
{
    const QUuid id = TimelineId();
    if (!m_manager || id.isNull())
        return;
    const auto within = [&](int first, int last) { return !inRange || (first >= m_rangeStart && last <= m_rangeEnd); };
    std::vector<int> frames;
    if (frameBookmarks)
        for (int frame : m_frameBookmarks)
            if (within(frame, frame))
                frames.push_back(frame);
    std::vector<std::pair<int, int>> ranges;
    if (rangeBookmarks)
        for (const auto& range : m_rangeBookmarks)
            if (within(range.first, range.second))
                ranges.push_back(range);
    if (frames.empty() && ranges.empty())
        return;
    QUndoStack* stack = m_manager->UndoStack();
    stack->beginMacro(undoCmdName);
    // Each toggle removes a bookmark that is there.
    for (int frame : frames)
        m_manager->ToggleFrameBookmark(id, frame);
    for (const auto& range : ranges)
        m_manager->ToggleRangeBookmark(id, range.first, range.second);
    stack->endMacro();
}

void TimeControlBaseWidget::SetDisplayFormat(int displayFormat)
{
    m_displayFormat = ValidDisplayFormat(displayFormat);
    Settings::Get().*m_keys.displayFormat = m_displayFormat;
    Refresh();
}

void TimeControlBaseWidget::SetDisplayTypeFromSender()
{
    if (const std::optional<int> format = SenderInt(sender()))
        SetDisplayFormat(*format);
}

void TimeControlBaseWidget::StoreBool(bool Settings::*key, bool value)
{
    if (key)
        Settings::Get().*key = value;
}

void TimeControlBaseWidget::TogglePosition()
{
    StoreBool(m_keys.positionTop, !PositionTop());
    emit TogglePositionRequested(this);
}

void TimeControlBaseWidget::ToggleFrameBookmarkVisibility()
{
    m_frameBookmarksVisible = !m_frameBookmarksVisible;
    StoreBool(m_keys.frameBookmarksVisible, m_frameBookmarksVisible);
    Refresh();
}

void TimeControlBaseWidget::ToggleRangeBookmarkVisibility()
{
    m_rangeBookmarksVisible = !m_rangeBookmarksVisible;
    StoreBool(m_keys.rangeBookmarksVisible, m_rangeBookmarksVisible);
    Refresh();
}

void TimeControlBaseWidget::ToggleCacheVisibility()
{
    m_cacheVisible = !m_cacheVisible;
    StoreBool(m_keys.cacheVisible, m_cacheVisible);
    UpdateCacheTimer();
    UpdateCache();
    Refresh();
}

// --- context menu ----------------------------------------------------------------------------

std::unique_ptr<QMenu> TimeControlBaseWidget::CreateContextMenu(const QPoint& position)
{
    auto menu = std::make_unique<QMenu>(this);
    const bool haveFrames = m_timeline && m_lastFrame >= 0;
    if (haveFrames) {
        if (const std::optional<int> frame = FrameAt(position.x())) {
            QAction* start = menu->addAction(QStringLiteral("Range Start to ") + FrameLabel(*frame), this,
                                             &TimeControlBaseWidget::SetRangeStartFromSender);
            start->setData(*frame);
            QAction* end = menu->addAction(QStringLiteral("Range End to ") + FrameLabel(*frame), this,
                                           &TimeControlBaseWidget::SetRangeEndFromSender);
            end->setData(*frame);
        }
    }
    menu->addAction(QStringLiteral("Range Start to Current"), this, &TimeControlBaseWidget::RangeStartToCurrent)
        ->setEnabled(haveFrames);
    menu->addAction(QStringLiteral("Range End to Current"), this, &TimeControlBaseWidget::RangeEndToCurrent)
        ->setEnabled(haveFrames);
    menu->addAction(QStringLiteral("Reset Playback Range"), this, &TimeControlBaseWidget::ResetRange)
        ->setEnabled(haveFrames);
    menu->addSeparator();

    auto* formats = new QActionGroup(menu.get());
    for (int format : {FrameNumbersGlobal, FrameNumbersRange, FrameNumbersImage, TimeCode, Seconds}) {
        QAction* action = menu->addAction(DisplayFormatName(format), this, &TimeControlBaseWidget::SetDisplayTypeFromSender);
        action->setCheckable(true);
        action->setChecked(format == m_displayFormat);
        action->setData(format);
        formats->addAction(action);
    }
    menu->addSeparator();

    const auto showOrHide = [](bool visible) { return visible ? QStringLiteral("Hide") : QStringLiteral("Show"); };
    menu->addAction(QStringLiteral("Move to %1").arg(PositionTop() ? QStringLiteral("Bottom") : QStringLiteral("Top")),
                    this, &TimeControlBaseWidget::TogglePosition);
    menu->addAction(QStringLiteral("%1 Frame Bookmarks").arg(showOrHide(m_frameBookmarksVisible)), this,
                    &TimeControlBaseWidget::ToggleFrameBookmarkVisibility);
    menu->addAction(QStringLiteral("%1 Range Bookmarks").arg(showOrHide(m_rangeBookmarksVisible)), this,
                    &TimeControlBaseWidget::ToggleRangeBookmarkVisibility);
    menu->addAction(QStringLiteral("%1 Cache").arg(showOrHide(m_cacheVisible)), this,
                    &TimeControlBaseWidget::ToggleCacheVisibility);
    return menu;
}

void TimeControlBaseWidget::ShowContextMenu(const QPoint& position)
{
    const std::unique_ptr<QMenu> menu = CreateContextMenu(position);
    menu->exec(mapToGlobal(position));
}

void TimeControlBaseWidget::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_dragged != Part::None)
        return;
    ShowContextMenu(event->pos());
    event->accept();
}

bool TimeControlBaseWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipText(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

// --- mouse -----------------------------------------------------------------------------------

void TimeControlBaseWidget::Seek(int frame, bool audioScrub)
{
    if (!m_timeline || !m_engine || m_lastFrame < 0)
        return;
    frame = std::clamp(frame, 0, m_lastFrame);
    const bool forward = frame >= m_currentFrame;
    m_currentFrame = frame;
    m_engine->SetPlaybackTime(m_timeline->FrameStartTime(frame), audioScrub, false, false, forward);
    Refresh();
}

void TimeControlBaseWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_dragged != Part::None || !m_timeline || !Mapping().IsMapped()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    const Part part = HitTest(position);
    if (part == Part::None && (position.x() < TrackRect().left() || position.x() > TrackRect().right())) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragged = part == Part::None ? Part::Scrub : part;
    m_pressPosition = position;
    m_pressFrame = FrameAt(position.x()).value_or(m_currentFrame);
    m_pressRange = {m_rangeStart, m_rangeEnd};

    PlaybackManager* clock = m_engine ? m_engine->Clock() : nullptr;
    if (clock && clock->IsPlaying()) {
        m_resumeForward = clock->PlayForward();
        m_resumeStepped = clock->LoopStartOverrideActive();
        m_resumePlayback = !Settings::Get().pausePlaybackOnSeek;
        m_engine->Pause();
    }
    switch (m_dragged) {
    case Part::RangeStartHandle:
        Seek(m_rangeStart, false);
        break;
    case Part::RangeEndHandle:
        Seek(m_rangeEnd, false);
        break;
    default:
        Seek(m_dragged == Part::Scrub ? ScrubFrame(m_pressFrame) : m_pressFrame, m_dragged == Part::Scrub);
        break;
    }
    event->accept();
}

void TimeControlBaseWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_dragged == Part::None) {
        UpdateHover(position);
        return;
    }
    if (!m_timeline)
        return;
    if (m_dragged == Part::Scrub) {
        if (const std::optional<int> frame = FrameAt(position.x()); frame && ScrubFrame(*frame) != m_currentFrame)
            Seek(ScrubFrame(*frame), true);
    } else {
        const std::optional<int> follow = DragRange(m_dragged, position, event->modifiers());
        if (follow && *follow != m_currentFrame)
            Seek(*follow, false);
        Refresh();
    }
    event->accept();
}

void TimeControlBaseWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_dragged == Part::None) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool rangeDrag = m_dragged != Part::Scrub;
    const std::pair<int, int> range{m_rangeStart, m_rangeEnd};
    EndGesture();
    if (rangeDrag && range != m_pressRange)
        CommitRange(range.first, range.second);
    ReadRange();
    UpdateHover(event->position().toPoint());
    Refresh();
    event->accept();
}

int TimeControlBaseWidget::ScrubFrame(int frame) const
{
    if (!Settings::Get().lockStepScrubToRange || m_rangeEnd < m_rangeStart)
        return frame;
    return std::clamp(frame, m_rangeStart, m_rangeEnd);
}

void TimeControlBaseWidget::EndGesture()
{
    m_dragged = Part::None;
    if (m_resumePlayback && m_engine)
        m_engine->Play(m_resumeForward, m_resumeStepped);
    m_resumePlayback = false;
}

void TimeControlBaseWidget::UpdateHover(const QPoint& position)
{
    const Part part = m_timeline && Mapping().IsMapped() ? HitTest(position) : Part::None;
    if (part != m_hovered) {
        m_hovered = part;
        Refresh();
    }
}

void TimeControlBaseWidget::leaveEvent(QEvent* event)
{
    if (m_dragged == Part::None && m_hovered != Part::None) {
        m_hovered = Part::None;
        Refresh();
    }
    QWidget::leaveEvent(event);
}

// --- painting --------------------------------------------------------------------------------

QImage TimeControlBaseWidget::Picture()
{
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(kBackground);
    render(&image);
    return image;
}

void TimeControlBaseWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const FrameMapping mapping = Mapping();
    const QRect track = TrackRect();
    if (!mapping.IsMapped()) {
        PaintExtras(painter);
        return;
    }
    const float p = mapping.PixelsPerFrame();
    const int frameWidth = std::max(1, static_cast<int>(std::ceil(p)));
    const auto xOf = [&mapping](int frame) { return *mapping.XOf(frame); };
    const int trackTop = kBookmarkTop - 1;
    painter.fillRect(QRect(track.left(), trackTop, track.width(), height() - trackTop), kTrack);

    // Where one clip ends and the next begins.
    int lastX = -1;
    for (int frame : m_clipStarts) {
        if (frame <= mapping.first || frame > mapping.last)
            continue;
        const int x = xOf(frame);
        if (x != lastX)
            painter.fillRect(QRect(x, trackTop, 1, kBandTop - trackTop), kClipEdge);
        lastX = x;
    }

    if (m_rangeBookmarksVisible) {
        for (const auto& [first, last] : m_rangeBookmarks) {
            if (last < mapping.first || first > mapping.last)
                continue;
            const int left = xOf(std::max(first, mapping.first));
            const int right = xOf(std::min(last, mapping.last) + 1);
            painter.fillRect(QRect(left, kBookmarkTop, std::max(1, right - left), 3), kRangeBookmark);
        }
    }

    if (m_frameBookmarksVisible) {
        // At most one mark per pixel column, however many bookmarks share it.
        auto it = std::lower_bound(m_frameBookmarks.begin(), m_frameBookmarks.end(), mapping.first);
        lastX = -1;
        for (; it != m_frameBookmarks.end() && *it <= mapping.last; ++it) {
            const int x = xOf(*it);
            if (x == lastX)
                continue;
            painter.fillRect(QRect(x, kBookmarkTop + 4, frameWidth, kCacheTop - kBookmarkTop - 5), kFrameBookmark);
            lastX = x;
        }
    }

    if (m_cacheVisible && m_cacheFirst >= 0 && m_cacheLast >= m_cacheFirst && m_cacheLast >= mapping.first
        && m_cacheFirst <= mapping.last) {
        const int left = xOf(std::max(m_cacheFirst, mapping.first));
        const int right = xOf(std::min(m_cacheLast, mapping.last) + 1);
        painter.fillRect(QRect(left, kCacheTop, std::max(1, right - left), 2), kCache);
    }

    PaintRange(painter);

    if (m_currentFrame >= mapping.first && m_currentFrame <= mapping.last)
        painter.fillRect(QRect(xOf(m_currentFrame), trackTop, frameWidth, height() - trackTop), kPlayhead);

    PaintLabels(painter, mapping);
    PaintExtras(painter);
}

void TimeControlBaseWidget::PaintLabels(QPainter& painter, const FrameMapping& mapping)
{
    painter.setFont(m_font);
    const QFontMetrics metrics(m_font);
    const QRect track = TrackRect();
    const int textTop = 1;
    const int textHeight = kLabelBottom - textTop;

    // The current frame in a box at the playhead, kept inside the track.
    QRect current;
    if (m_currentFrame >= mapping.first && m_currentFrame <= mapping.last) {
        const QString text = FrameLabel(m_currentFrame);
        const int width = metrics.horizontalAdvance(text) + 8;
        int left = *mapping.XOf(m_currentFrame) - width / 2;
        left = std::clamp(left, track.left(), std::max(track.left(), track.right() + 1 - width));
        current = QRect(left, textTop, width, textHeight);
        painter.fillRect(current, QColor(64, 64, 64));
        painter.setPen(kLightText);
        painter.drawText(current, Qt::AlignCenter, text);
    }

    painter.setPen(kText);
    const QString firstText = FrameLabel(mapping.first);
    const QRect firstRect(track.left(), textTop, metrics.horizontalAdvance(firstText) + 2, textHeight);
    if (!firstRect.intersects(current))
        painter.drawText(firstRect, Qt::AlignLeft | Qt::AlignVCenter, firstText);
    const QString lastText = FrameLabel(mapping.last);
    const int lastWidth = metrics.horizontalAdvance(lastText) + 2;
    const QRect lastRect(track.right() + 1 - lastWidth, textTop, lastWidth, textHeight);
    if (!lastRect.intersects(current) && !lastRect.intersects(firstRect))
        painter.drawText(lastRect, Qt::AlignRight | Qt::AlignVCenter, lastText);
}
