#include "SingleApplication.h"

#include "Logger.h"

#include <QTimer>

#include <algorithm>
#include <cstring>

SingleApplication::SingleApplication(int& argc, char** argv, const QString& key)
    : QApplication(argc, argv)
{
    m_sharedMemory.setKey(key);
    if (CreateSegment())
        return;
    // A segment left by an instance that ended abnormally disappears once the last process
    // detaches from it; attaching and detaching clears it if nobody else holds it.
    if (m_sharedMemory.attach(QSharedMemory::ReadWrite))
        m_sharedMemory.detach();
    if (CreateSegment())
        return;
    m_sharedMemory.attach(QSharedMemory::ReadWrite);
    m_running = true;
}

SingleApplication::~SingleApplication() = default;

bool SingleApplication::CreateSegment()
{
    if (!m_sharedMemory.create(kSegmentSize, QSharedMemory::ReadWrite))
        return false;
    m_sharedMemory.lock();
    static_cast<char*>(m_sharedMemory.data())[0] = 0;
    m_sharedMemory.unlock();
    return true;
}

bool SingleApplication::SendMessage(const QStringList& arguments, bool force)
{
    if (!m_running && !force)
        return false;
    if (!m_sharedMemory.isAttached()) {
        Logger::warning(QStringLiteral("Shared memory is not accessible."));
        return false;
    }
    QString text = arguments.mid(1).join(kSeparator);
    if (text.isEmpty())
        text = kNoArguments;
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > 255) {
        Logger::warning(QStringLiteral("Arguments are too long to hand to the running instance (%1 bytes, at most 255).")
                            .arg(utf8.size()));
        return false;
    }

    m_sharedMemory.lock();
    auto* area = static_cast<unsigned char*>(m_sharedMemory.data());
    const int size = std::min<int>(static_cast<int>(m_sharedMemory.size()), kSegmentSize);
    int offset = 0;
    while (offset < size && area[offset] != 0)
        offset += area[offset] + 1;
    // The record, its length byte and the terminating zero must all fit.
    const bool fits = offset + 1 + utf8.size() + 1 <= size;
    if (fits) {
        area[offset] = static_cast<unsigned char>(utf8.size());
        std::memcpy(area + offset + 1, utf8.constData(), static_cast<size_t>(utf8.size()));
        area[offset + 1 + utf8.size()] = 0;
    }
    m_sharedMemory.unlock();
    if (!fits)
        Logger::warning(QStringLiteral("The running instance has no room left for more arguments."));
    return fits;
}

void SingleApplication::StartMessagePolling()
{
    if (!m_sharedMemory.isAttached() || m_pollTimer)
        return;
    m_pollTimer = new QTimer(this);
    connect(m_pollTimer, &QTimer::timeout, this, &SingleApplication::CheckForMessage);
    m_pollTimer->start(200);
}

void SingleApplication::CheckForMessage()
{
    if (!m_sharedMemory.isAttached())
        return;
    QString kept;
    m_sharedMemory.lock();
    auto* area = static_cast<unsigned char*>(m_sharedMemory.data());
    const int size = std::min<int>(static_cast<int>(m_sharedMemory.size()), kSegmentSize);
    int offset = 0;
    // A record running past the end (a damaged area) ends the walk.
    while (offset < size && area[offset] != 0 && offset + 1 + area[offset] <= size) {
        kept = QString::fromUtf8(reinterpret_cast<const char*>(area + offset + 1), area[offset]);
        offset += area[offset] + 1;
    }
    area[0] = 0;
    m_sharedMemory.unlock();

    const QStringList arguments = kept.split(kSeparator, Qt::SkipEmptyParts);
    if (!arguments.isEmpty())
        emit MessageAvailable(arguments);
}
