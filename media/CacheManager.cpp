#include "media/CacheManager.h"

#include "core/Logger.h"
#include "core/Settings.h"

#include <QMutexLocker>

#include <algorithm>
#include <limits>

CacheManager::CacheManager(QObject* parent)
    : QObject(parent)
{
    SetCacheSize(Settings::Get().cacheSize);
}

void CacheManager::SetCacheSize(int megabytes)
{
    const int64_t video = VideoBudget(megabytes);
    m_videoMaximumSize = video;
    m_audioMaximumSize = static_cast<int64_t>(static_cast<float>(video) * 0.012f);
}

AudioFramePtr CacheManager::MakeSilence(int64_t from, int64_t to)
{
    auto frame = std::make_shared<AudioFrame>();
    frame->flag = true;
    frame->startTime = from;
    frame->endTime = to;
    frame->size = AudioFormat::BytesForDuration(to - from + 1);
    // Over 12 hours of silence has more samples than the count can hold; readers go by size.
    frame->sampleCount = static_cast<int32_t>(
        std::min<int64_t>(frame->size / AudioFormat::kBytesPerFrame, std::numeric_limits<int32_t>::max()));
    return frame;
}

void CacheManager::CacheAudioFrame(const AudioFramePtr& frame)
{
    if (!frame)
        return;
    QMutexLocker lock(&m_mutex);
    InsertAudioLocked(frame);
}

void CacheManager::InsertAudioLocked(const AudioFramePtr& frame)
{
    if (!m_audioFrames.empty() && frame->startTime < m_audioStartTime) {
        m_audioFrames.push_front(frame);
        m_audioStartTime = frame->startTime;
        m_audioSize += frame->HeldBytes();
        if (m_audioCursor >= 0)
            ++m_audioCursor;
        return;
    }
    if (!m_audioFrames.empty() && frame->startTime <= m_audioFrames.back()->startTime)
        return; // already covered
    if (!m_audioFrames.empty())
        m_audioFrames.back()->endTime = frame->startTime - 1;
    else
        m_audioStartTime = frame->startTime;
    m_audioFrames.push_back(frame);
    m_audioEndTime = frame->endTime.load();
    m_audioSize += frame->HeldBytes();
}

void CacheManager::AppendSilence(int64_t from, int64_t to)
{
    QMutexLocker lock(&m_mutex);
    if (!m_audioFrames.empty())
        from = m_audioEndTime + 1;
    if (to - from + 1 >= 1)
        InsertAudioLocked(MakeSilence(from, to));
}

void CacheManager::PrependSilence(int64_t from, int64_t to)
{
    QMutexLocker lock(&m_mutex);
    if (!m_audioFrames.empty())
        to = m_audioStartTime - 1;
    if (to - from >= 1)
        InsertAudioLocked(MakeSilence(from, to));
}

void CacheManager::CacheVideoFrame(const VideoFramePtr& frame)
{
    if (!frame)
        return;
    if (!m_videoFrames.empty() && frame->time < m_videoStartTime) {
        frame->endTime = m_videoStartTime - 1;
        frame->timelineFrameEndTime = m_videoTimelineStartTime - 1;
        m_videoStartTime = frame->time;
        m_videoTimelineStartTime = frame->timelineFrameStartTime;
        m_firstTimelineFrame = frame->firstTimelineFrame;
        m_videoSize += frame->ByteSize();
        m_videoFrames.push_front(frame);
        m_videoCount = static_cast<int32_t>(m_videoFrames.size());
        return;
    }
    if (!m_videoFrames.empty() && frame->time <= m_videoFrames.back()->time)
        return; // already covered
    if (!m_videoFrames.empty()) {
        const VideoFramePtr& last = m_videoFrames.back();
        last->endTime = frame->time - 1;
        last->timelineFrameEndTime = frame->timelineFrameStartTime - 1;
    } else {
        m_videoStartTime = frame->time;
        m_videoTimelineStartTime = frame->timelineFrameStartTime;
        m_firstTimelineFrame = frame->firstTimelineFrame;
    }
    m_videoEndTime = frame->endTime.load();
    m_videoTimelineEndTime = frame->timelineFrameEndTime.load();
    m_lastTimelineFrame = frame->lastTimelineFrame;
    m_videoSize += frame->ByteSize();
    m_videoFrames.push_back(frame);
    m_videoCount = static_cast<int32_t>(m_videoFrames.size());
}

namespace {

// Share of `frames`' bytes that lies behind `t`: frames ending at or before it, counted from
// the front up to the first frame that ends after it.
template <typename Frames>
double BehindShare(const Frames& frames, int64_t t, int64_t totalBytes)
{
    int64_t behind = 0;
    for (const auto& frame : frames) {
        if (frame->endTime > t)
            break;
        if constexpr (std::is_same_v<typename Frames::value_type, AudioFramePtr>)
            behind += frame->HeldBytes();
        else
            behind += frame->ByteSize();
    }
    return totalBytes > 0 ? static_cast<double>(behind) / static_cast<double>(totalBytes) : 0.0;
}

} // namespace

void CacheManager::TrimVideo(int64_t t, bool forward, double bias)
{
    if (m_videoFrames.empty() || m_videoSize < m_videoMaximumSize)
        return;
    const double ahead = 1.0 - BehindShare(m_videoFrames, t, m_videoSize);
    if (m_videoFrames.back()->timelineFrameStartTime < t)
        RemoveFirstVideo();
    else if (forward && 1.0 - ahead > 1.0 - bias)
        RemoveFirstVideo();
    else if (!forward && ahead > bias)
        RemoveLastVideo();
}

void CacheManager::RemoveFirstVideo()
{
    m_videoSize -= m_videoFrames.front()->ByteSize();
    m_videoFrames.pop_front();
    m_videoCount = static_cast<int32_t>(m_videoFrames.size());
    if (m_videoFrames.empty()) {
        ClearVideoFields();
        return;
    }
    const VideoFramePtr& first = m_videoFrames.front();
    m_videoStartTime = first->time;
    m_videoTimelineStartTime = first->timelineFrameStartTime;
    m_firstTimelineFrame = first->firstTimelineFrame;
}

void CacheManager::RemoveLastVideo()
{
    m_videoSize -= m_videoFrames.back()->ByteSize();
    m_videoFrames.pop_back();
    m_videoCount = static_cast<int32_t>(m_videoFrames.size());
    if (m_videoFrames.empty()) {
        ClearVideoFields();
        return;
    }
    const VideoFramePtr& last = m_videoFrames.back();
    m_videoEndTime = last->endTime.load();
    m_videoTimelineEndTime = last->timelineFrameEndTime.load();
    m_lastTimelineFrame = last->lastTimelineFrame;
}

void CacheManager::ClearVideoFields()
{
    m_videoStartTime = 0;
    m_videoEndTime = 0;
    m_videoTimelineStartTime = 0;
    m_videoTimelineEndTime = 0;
    m_firstTimelineFrame = 0;
    m_lastTimelineFrame = 0;
    m_videoSize = 0;
    m_videoCount = 0;
}

void CacheManager::TrimAudio(int64_t t, bool forward, double bias)
{
    QMutexLocker lock(&m_mutex);
    if (m_audioFrames.empty() || m_audioSize < m_audioMaximumSize)
        return;
    const double ahead = 1.0 - BehindShare(m_audioFrames, t, m_audioSize);
    bool removeFirst = false;
    if (m_audioFrames.back()->startTime < t)
        removeFirst = true;
    else if (forward && 1.0 - ahead > 1.0 - bias)
        removeFirst = true;
    else if (forward || ahead <= bias)
        return;
    if (removeFirst) {
        m_audioSize -= m_audioFrames.front()->HeldBytes();
        m_audioFrames.pop_front();
        // A cursor on the removed block points nowhere until the next look-up by time.
        m_audioCursor = m_audioCursor > 0 ? m_audioCursor - 1 : kLostCursor;
        if (!m_audioFrames.empty())
            m_audioStartTime = m_audioFrames.front()->startTime;
    } else {
        m_audioSize -= m_audioFrames.back()->HeldBytes();
        m_audioFrames.pop_back();
        if (m_audioCursor >= static_cast<int64_t>(m_audioFrames.size()))
            m_audioCursor = kLostCursor;
        if (!m_audioFrames.empty())
            m_audioEndTime = m_audioFrames.back()->endTime.load();
    }
    if (m_audioFrames.empty())
        ClearAudioLocked(false);
}

void CacheManager::GetVideoFrames(int64_t t, std::vector<VideoFramePtr>& out) const
{
    if (m_videoFrames.empty() || t < m_videoTimelineStartTime || t > m_videoTimelineEndTime) {
        out.insert(out.end(), 3, nullptr);
        return;
    }
    // The last frame whose timeline span starts at or before t.
    auto it = std::upper_bound(m_videoFrames.begin(), m_videoFrames.end(), t,
                               [](int64_t time, const VideoFramePtr& f) { return time < f->timelineFrameStartTime; });
    if (it == m_videoFrames.begin() || t > (*std::prev(it))->timelineFrameEndTime) {
        Logger::warning(QStringLiteral("Video frame not found in cache!!!"));
        return;
    }
    --it;
    out.push_back(*it);
    out.push_back(it == m_videoFrames.begin() ? nullptr : *std::prev(it));
    out.push_back(std::next(it) == m_videoFrames.end() ? nullptr : *std::next(it));
}

AudioFramePtr CacheManager::GetAudioFrame(int64_t t, bool setCursor)
{
    QMutexLocker lock(&m_mutex);
    int64_t found = -1;
    if (!m_audioFrames.empty() && t >= m_audioStartTime && t <= m_audioEndTime) {
        auto it = std::upper_bound(m_audioFrames.begin(), m_audioFrames.end(), t,
                                   [](int64_t time, const AudioFramePtr& f) { return time < f->startTime; });
        if (it != m_audioFrames.begin() && t <= (*std::prev(it))->endTime)
            found = std::prev(it) - m_audioFrames.begin();
    }
    if (setCursor)
        m_audioCursor = found;
    return found >= 0 ? m_audioFrames[static_cast<size_t>(found)] : nullptr;
}

AudioFramePtr CacheManager::CurrentAudioFrame()
{
    QMutexLocker lock(&m_mutex);
    if (m_audioCursor < 0 || m_audioCursor >= static_cast<int64_t>(m_audioFrames.size()))
        return nullptr;
    return m_audioFrames[static_cast<size_t>(m_audioCursor)];
}

AudioFramePtr CacheManager::StepAudioFrame(bool forward)
{
    QMutexLocker lock(&m_mutex);
    m_audioCursor += forward ? 1 : -1;
    if (m_audioCursor < 0 || m_audioCursor >= static_cast<int64_t>(m_audioFrames.size()))
        return nullptr;
    return m_audioFrames[static_cast<size_t>(m_audioCursor)];
}

void CacheManager::ExtendVideoEnd(int64_t t)
{
    if (m_videoFrames.empty())
        return;
    const VideoFramePtr& last = m_videoFrames.back();
    if (last->endTime < t) {
        last->endTime = t;
        m_videoEndTime = t;
    }
    if (last->timelineFrameEndTime < t) {
        last->timelineFrameEndTime = t;
        m_videoTimelineEndTime = t;
    }
}

void CacheManager::Clear(bool deferRelease)
{
    ClearVideo(deferRelease);
    ClearAudio(deferRelease);
}

void CacheManager::ClearVideo(bool deferRelease)
{
    if (deferRelease) {
        QMutexLocker lock(&m_mutex);
        m_releasedVideo.insert(m_releasedVideo.end(), std::make_move_iterator(m_videoFrames.begin()),
                               std::make_move_iterator(m_videoFrames.end()));
    }
    m_videoFrames.clear();
    ClearVideoFields();
}

void CacheManager::ClearAudio(bool deferRelease)
{
    QMutexLocker lock(&m_mutex);
    ClearAudioLocked(deferRelease);
}

void CacheManager::ClearAudioLocked(bool deferRelease)
{
    if (deferRelease)
        m_releasedAudio.insert(m_releasedAudio.end(), std::make_move_iterator(m_audioFrames.begin()),
                               std::make_move_iterator(m_audioFrames.end()));
    m_audioFrames.clear();
    m_audioStartTime = 0;
    m_audioEndTime = 0;
    m_audioSize = 0;
    m_audioCursor = -1;
}

std::vector<VideoFramePtr> CacheManager::TakeReleasedVideoFrames()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_releasedVideo, {});
}

std::vector<AudioFramePtr> CacheManager::TakeReleasedAudioFrames()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_releasedAudio, {});
}

int CacheManager::AudioFrameCount() const
{
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_audioFrames.size());
}

QString CacheManager::CacheInfo(const QString& title) const
{
    auto time = [](int64_t us) {
        return QStringLiteral("%1 (%2)").arg(QString::number(static_cast<double>(us) / 1'000'000.0)).arg(us);
    };
    auto megabytes = [](int64_t bytes) { return QString::number(static_cast<double>(bytes) / kBytesPerMegabyte); };
    QString text;
    text += QStringLiteral("--------------------\n");
    text += QStringLiteral("Cache Info (%1)\n").arg(title);
    text += QStringLiteral("\tAudio Frame Count: %1\n").arg(AudioFrameCount());
    text += QStringLiteral("\tAudio Start Time: %1\n").arg(time(m_audioStartTime));
    text += QStringLiteral("\tAudio End Time: %1\n").arg(time(m_audioEndTime));
    text += QStringLiteral("\tAudio Size: %1 MB\n").arg(megabytes(m_audioSize));
    text += QStringLiteral("\tAudio Maximum Size: %1 MB\n\n").arg(megabytes(m_audioMaximumSize));
    text += QStringLiteral("\tVideo Frame Count: %1\n").arg(VideoFrameCount());
    text += QStringLiteral("\tVideo Start Time: %1\n").arg(time(m_videoStartTime));
    text += QStringLiteral("\tVideo End Time: %1\n").arg(time(m_videoEndTime));
    text += QStringLiteral("\tVideo Size: %1 MB\n").arg(megabytes(m_videoSize));
    text += QStringLiteral("\tVideo Maximum Size: %1 MB\n").arg(megabytes(m_videoMaximumSize));
    text += QStringLiteral("--------------------\n");
    return text;
}
