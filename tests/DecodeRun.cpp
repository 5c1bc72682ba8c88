#include "tests/DecodeRun.h"

#include "engine/DecodeManager.h"
#include "media/CacheManager.h"
#include "media/VideoFrame.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

namespace TestSupport {

DecodeRun::DecodeRun(Timeline* timeline, DecodeType type, bool start)
    : m_timeline(timeline)
    , m_type(type)
{
    m_manager = new DecodeManager;
    m_manager->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_manager, &QObject::deleteLater);
    if (start)
        Start();
}

DecodeRun::~DecodeRun()
{
    Stop();
}

void DecodeRun::Start()
{
    m_thread.start();
    QMetaObject::invokeMethod(m_manager, [this] {
        m_manager->StartDecoding(m_timeline, m_type, false);
        m_opens = m_manager->DecoderOpenCount();
        m_done = true;
    });
}

void DecodeRun::Seek()
{
    QMetaObject::invokeMethod(m_manager, &DecodeManager::Restart);
}

void DecodeRun::UpdateTrack()
{
    QMetaObject::invokeMethod(m_manager, &DecodeManager::UpdateDecodeTrack);
}

bool DecodeRun::Stop()
{
    if (!m_thread.isRunning())
        return m_done;
    QMetaObject::invokeMethod(m_manager, &DecodeManager::Stop);
    QElapsedTimer timer;
    timer.start();
    while (!m_done && timer.elapsed() < 30000)
        QTest::qWait(5);
    m_thread.quit();
    m_thread.wait(10000);
    return m_done;
}

bool WaitForRun(const Timeline& timeline, int first, int last, int timeoutMs)
{
    const CacheManager* cache = timeline.Cache();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (cache->VideoFrameCount() > 0 && cache->FirstTimelineFrame() <= first && cache->LastTimelineFrame() >= last)
            return true;
        QTest::qWait(10);
    }
    return false;
}

void CheckRun(const Timeline& timeline, int first, int last, const std::function<int(int)>& expected)
{
    for (int f = first; f <= last; ++f) {
        std::vector<std::shared_ptr<VideoFrame>> found;
        timeline.GetVideoFrames(timeline.FrameStartTime(f), found);
        QVERIFY2(found.size() == 3 && found[0], qPrintable(QStringLiteral("frame %1 not cached").arg(f)));
        const VideoFrame& frame = *found[0];
        QCOMPARE(frame.timeline, &timeline);
        const int want = expected(f);
        if (want < 0) {
            QVERIFY2(frame.empty, qPrintable(QStringLiteral("frame %1 should show nothing").arg(f)));
            QVERIFY2(frame.firstTimelineFrame <= f && f <= frame.lastTimelineFrame,
                     qPrintable(QStringLiteral("frame %1: the empty frame spans %2-%3")
                                    .arg(f)
                                    .arg(frame.firstTimelineFrame)
                                    .arg(frame.lastTimelineFrame)));
            continue;
        }
        QVERIFY2(!frame.empty, qPrintable(QStringLiteral("frame %1 is empty").arg(f)));
        QCOMPARE(frame.firstTimelineFrame, f);
        QCOMPARE(frame.lastTimelineFrame, f);
        QCOMPARE(frame.timelineFrameStartTime, timeline.FrameStartTime(f));
        QCOMPARE(frame.timelineFrameEndTime.load(), timeline.FrameEndTime(f));
        QCOMPARE(frame.time, timeline.FrameStartTime(f));
        QVERIFY2(PictureNumber(frame) == want,
                 qPrintable(QStringLiteral("frame %1 shows %2, not %3").arg(f).arg(PictureNumber(frame)).arg(want)));
    }
}

} // namespace TestSupport
