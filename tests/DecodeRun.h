#pragma once

#include "engine/DecodeManager.h"

#include <QThread>

#include <atomic>
#include <functional>

class Timeline;

namespace TestSupport {

// A decode manager filling one timeline's cache on a thread of its own, as the media
// engine runs it.
class DecodeRun
{
public:
    // Without `start`, Start() begins the task.
    explicit DecodeRun(Timeline* timeline, DecodeType type = DecodeType::Video, bool start = true);
    ~DecodeRun();
    DecodeRun(const DecodeRun&) = delete;
    DecodeRun& operator=(const DecodeRun&) = delete;

    void Start();
    // The playhead moved: the manager restarts from it.
    void Seek();
    // The timeline's track changed.
    void UpdateTrack();
    DecodeManager* Manager() { return m_manager; }

    // Ends the task; afterwards the cache may be read from this thread. False when the task
    // did not end in time.
    bool Stop();
    // How many times the task opened a decoder, known once it has ended.
    int Opens() const { return m_opens; }

private:
    Timeline* m_timeline;
    DecodeType m_type;
    QThread m_thread;
    DecodeManager* m_manager = nullptr;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_opens{0};
};

// Waits until the cached run of `timeline` covers timeline frames `first` to `last`.
bool WaitForRun(const Timeline& timeline, int first, int last, int timeoutMs = 60000);

// Every timeline frame from `first` to `last` is in the cache of `timeline`, placed there
// for that timeline, and shows picture `expected(f)` on a frame of its own (first and last
// timeline frame f, timed at the frame's start), or, where `expected(f)` is -1, an empty
// frame whose span covers f. Reports the first mismatch through QTest.
void CheckRun(const Timeline& timeline, int first, int last, const std::function<int(int)>& expected);

} // namespace TestSupport
