#include "media/FrameBufferPool.h"

#include "core/Settings.h"
#include "media/CacheManager.h"

#include <QMutexLocker>

void FrameBufferDeleter::operator()(uint8_t* data) const
{
    if (data)
        FrameBufferPool::Instance().Give(data, size);
}

FrameBufferPool::FrameBufferPool()
    // As much as a backward window may hold, so that a window's frames can be reused.
    : m_idleLimit(static_cast<size_t>(CacheManager::VideoBudget(Settings::Get().cacheSize) / 4))
{
}

FrameBufferPool& FrameBufferPool::Instance()
{
    // Never destroyed: frames may be freed by threads that outlive static destruction.
    static FrameBufferPool* const pool = new FrameBufferPool;
    return *pool;
}

FrameBuffer FrameBufferPool::Acquire(size_t bytes)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_idle.find(bytes);
        if (it != m_idle.end() && !it->second.empty()) {
            uint8_t* data = it->second.back();
            it->second.pop_back();
            m_idleBytes -= bytes;
            return FrameBuffer(data, FrameBufferDeleter{bytes});
        }
    }
    return FrameBuffer(new uint8_t[bytes], FrameBufferDeleter{bytes});
}

void FrameBufferPool::Give(uint8_t* data, size_t size)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_idleBytes + size <= m_idleLimit) {
            m_idle[size].push_back(data);
            m_idleBytes += size;
            return;
        }
    }
    delete[] data;
}

void FrameBufferPool::SetIdleLimit(size_t bytes)
{
    QMutexLocker lock(&m_mutex);
    m_idleLimit = bytes;
}

size_t FrameBufferPool::IdleBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_idleBytes;
}

void FrameBufferPool::Clear()
{
    std::map<size_t, std::vector<uint8_t*>> idle;
    {
        QMutexLocker lock(&m_mutex);
        idle.swap(m_idle);
        m_idleBytes = 0;
    }
    for (auto& [size, buffers] : idle)
        for (uint8_t* data : buffers)
            delete[] data;
}
