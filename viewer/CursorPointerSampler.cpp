#include "viewer/CursorPointerSampler.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>

#include <climits>

namespace {

constexpr int kPollIntervalMs = 1;
constexpr int kShutdownWaitMs = 250;

// Lives on the polling thread; reads the cursor and nothing else.
class CursorPoller : public QObject
{
    Q_OBJECT

public:
    explicit CursorPoller(quint64 generation)
        : m_generation(generation)
    {
    }

    void Begin()
    {
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(kPollIntervalMs);
        connect(m_timer, &QTimer::timeout, this, &CursorPoller::Poll);
        m_timer->start();
        Poll();
    }

signals:
    void Polled(const QPoint& position, quint64 generation);

private:
    void Poll()
    {
        const QPoint position = QCursor::pos();
        if (position == m_last)
            return;
        m_last = position;
        emit Polled(position, m_generation);
    }

    QTimer* m_timer = nullptr;
    QPoint m_last{INT_MIN, INT_MIN};
    const quint64 m_generation;
};

} // namespace

CursorPointerSampler::CursorPointerSampler(QObject* parent)
    : PointerSampler(parent)
{
}

CursorPointerSampler::~CursorPointerSampler()
{
    Stop();
}

void CursorPointerSampler::Start()
{
    Stop();
    ++m_generation;
    m_active = true;
    m_thread = new QThread;
    auto* poller = new CursorPoller(m_generation);
    m_worker = poller;
    poller->moveToThread(m_thread);
    connect(m_thread, &QThread::started, poller, &CursorPoller::Begin);
    connect(m_thread, &QThread::finished, poller, &QObject::deleteLater);
    connect(poller, &CursorPoller::Polled, this, &CursorPointerSampler::OnPolled, Qt::QueuedConnection);
    m_thread->start(QThread::TimeCriticalPriority);
}

void CursorPointerSampler::Stop()
{
    m_active = false;
    if (!m_thread)
        return;
    QThread* thread = m_thread;
    m_thread = nullptr;
    m_worker = nullptr;
    thread->quit();
    if (thread->wait(kShutdownWaitMs)) {
        delete thread; // its poller was deleted as the thread finished
    } else {
        // Still busy after the bounded wait: it deletes itself (and its poller) once it ends.
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
}

void CursorPointerSampler::OnPolled(const QPoint& position, quint64 generation)
{
    if (!m_active || generation != m_generation)
        return;
    emit Sampled(position, QGuiApplication::keyboardModifiers());
}

#include "CursorPointerSampler.moc"
