#pragma once

#include "engine/DecodeManager.h"
#include "media/CacheManager.h"
#include "project/Timeline.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>

namespace Bench {

// Seconds until a decode manager on a thread of its own, started with the playhead at the
// first frame (forwards) or the last (backwards), has cached the whole timeline. The
// timeline's cache is emptied before and after.
inline double SchedulerFillSeconds(Timeline& timeline, bool forward = true)
{
    timeline.ClearCache();
    timeline.SetPlaybackFrame(forward ? 0 : timeline.LastFrame());
    timeline.SetPlaybackState(forward ? Timeline::Stopped : Timeline::PlayingBackward);
    QThread thread;
    auto* manager = new DecodeManager;
    manager->moveToThread(&thread);
    std::atomic<bool> done{false};
    thread.start();
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(manager, [&] {
        manager->StartDecoding(&timeline, DecodeType::Video, false);
        done = true;
    });
    const CacheManager* cache = timeline.Cache();
    const int frames = timeline.FrameCount();
    while (cache->VideoFrameCount() < frames && timer.elapsed() < 600000)
        QThread::msleep(2); // seldom, so as not to take the decoder's processor time
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    QMetaObject::invokeMethod(manager, &DecodeManager::Stop);
    while (!done)
        QThread::msleep(1);
    thread.quit();
    thread.wait();
    delete manager;
    timeline.SetPlaybackState(Timeline::Stopped);
    timeline.ClearCache();
    return seconds;
}

} // namespace Bench
