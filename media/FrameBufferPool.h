#pragma once

#include <QMutex>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Returns a frame buffer to the pool it came from.
struct FrameBufferDeleter
{
    size_t size = 0;
    void operator()(uint8_t* data) const;
};

// Picture memory owned by one frame; goes back to the pool when the frame is freed.
using FrameBuffer = std::unique_ptr<uint8_t[], FrameBufferDeleter>;

// Recycles picture buffers between frames. Decoding allocates a few megabytes per frame and
// the cache frees as many; handing the memory straight back to the system would make every
// new frame fault its pages in again, which costs as much as decoding it. Buffers of the same
// size are reused; idle memory beyond a limit is freed.
// Thread-safe: decode threads acquire, any thread (the main thread's deferred release among
// them) gives back.
class FrameBufferPool
{
public:
    static FrameBufferPool& Instance();

    // Uninitialised memory of `bytes` bytes.
    FrameBuffer Acquire(size_t bytes);

    void SetIdleLimit(size_t bytes);
    size_t IdleBytes() const;
    void Clear();

private:
    FrameBufferPool();
    friend struct FrameBufferDeleter;
    void Give(uint8_t* data, size_t size);

    mutable QMutex m_mutex;
    std::map<size_t, std::vector<uint8_t*>> m_idle;
    size_t m_idleBytes = 0;
    size_t m_idleLimit; // bytes; a quarter of the cache budget unless set
};
