#include "app/SingleApplication.h"

#include "core/Logger.h"
#include "core/Platform.h"

#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

// Record lengths are stored least significant byte first, so that writer and reader agree
// whatever the machine; the field may sit at any byte offset.
quint32 ReadLength(const unsigned char* field)
{
    return qFromLittleEndian<quint32>(field);
}

void WriteLength(unsigned char* field, quint32 length)
{
    qToLittleEndian(length, field);
}

// The usable size of the attached segment: never more than we would have created.
qint64 AreaSize(const QSharedMemory& memory)
{
    return std::min<qint64>(memory.size(), SingleApplication::kSegmentSize);
}

} // namespace

SingleApplication::SingleApplication(int& argc, char** argv, const QString& key)
    : QApplication(argc, argv)
{
    m_sharedMemory.setKey(Platform::PerUserKey(key));
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
    WriteLength(static_cast<unsigned char*>(m_sharedMemory.data()), 0);
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
    // One length field for the record and one for the end marker.
    constexpr qint64 maxText = kSegmentSize - 2 * kLengthBytes;
    if (utf8.size() > maxText) {
        Logger::warning(QStringLiteral("The arguments are too long to hand to the running instance (%1 bytes, at most %2).")
                            .arg(utf8.size())
                            .arg(maxText));
        return false;
    }

    m_sharedMemory.lock();
    auto* area = static_cast<unsigned char*>(m_sharedMemory.data());
    const qint64 size = AreaSize(m_sharedMemory);
    qint64 offset = 0;
    while (offset + kLengthBytes <= size) {
        const quint32 length = ReadLength(area + offset);
        if (length == 0)
            break;
        offset += kLengthBytes + static_cast<qint64>(length);
    }
    // The record and the end marker must both fit; a damaged area (a length running past
    // the end) leaves no room.
    const bool fits = offset + kLengthBytes + utf8.size() + kLengthBytes <= size;
    if (fits) {
        WriteLength(area + offset, static_cast<quint32>(utf8.size()));
        std::memcpy(area + offset + kLengthBytes, utf8.constData(), static_cast<size_t>(utf8.size()));
        WriteLength(area + offset + kLengthBytes + utf8.size(), 0);
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
    const qint64 size = AreaSize(m_sharedMemory);
    // Only the last record of a batch counts; a record running past the end (a damaged area)
    // ends the walk.
    qint64 offset = 0;
    qint64 lastText = -1;
    qint64 lastLength = 0;
    while (offset + kLengthBytes <= size) {
        const qint64 length = ReadLength(area + offset);
        if (length == 0 || length > size - offset - kLengthBytes)
            break;
        lastText = offset + kLengthBytes;
        lastLength = length;
        offset += kLengthBytes + length;
    }
    if (lastText >= 0)
        kept = QString::fromUtf8(reinterpret_cast<const char*>(area + lastText), lastLength);
    if (size >= kLengthBytes)
        WriteLength(area, 0);
    m_sharedMemory.unlock();

    const QStringList arguments = kept.split(kSeparator, Qt::SkipEmptyParts);
    if (!arguments.isEmpty())
        emit MessageAvailable(arguments);
}
