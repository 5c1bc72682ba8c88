#pragma once

#include <QApplication>
#include <QSharedMemory>
#include <QStringList>

class QTimer;

// The application object, and the guard that keeps one instance per user login.
//
// The first instance creates a named shared-memory segment (its key made private to the user)
// and polls it every 200 ms; a later start finds the segment taken, writes its arguments there
// as one record and exits. The segment holds a run of records, each a 4-byte length (unsigned,
// least significant byte first) and that many bytes of UTF-8 text, ended by a zero length; the
// arguments of one start are joined by "-_???_-", or read "noargs". The segment is large
// enough for any argument list a command line can realistically carry (thousands of paths).
// Main thread only; every access to the segment is made between lock() and unlock().
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    static constexpr int kSegmentSize = 4 * 1024 * 1024; // bytes; pages are used only when written
    static constexpr int kLengthBytes = 4;               // width of a record's length field
    static inline const QString kSeparator = QStringLiteral("-_???_-");
    static inline const QString kNoArguments = QStringLiteral("noargs");

    // `key` names the guard; the segment's key is `key` made private to the user.
    SingleApplication(int& argc, char** argv, const QString& key);
    ~SingleApplication() override;

    // The shared-memory key in use.
    QString Key() const { return m_sharedMemory.key(); }

    // True when another instance owned the segment when this one started.
    bool IsRunning() const { return m_running; }

    // Writes one record made of `arguments` (the first entry, the program path, is skipped).
    // Refuses, logging why, a text that could not fit in the area even when empty, or a record
    // that would not fit in the space left; does nothing when no other instance runs unless
    // `force` is set.
    bool SendMessage(const QStringList& arguments, bool force);

    void StartMessagePolling();

public slots:
    void CheckForMessage();

signals:
    void MessageAvailable(const QStringList& arguments);

private:
    bool CreateSegment();

    bool m_running = false;
    QSharedMemory m_sharedMemory;
    QTimer* m_pollTimer = nullptr;
};
