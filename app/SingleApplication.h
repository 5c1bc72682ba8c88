#pragma once

#include <QApplication>
#include <QSharedMemory>
#include <QStringList>

class QTimer;

// The application object, and the guard that keeps one instance per user login.
//
// The first instance creates a small named shared-memory segment and polls it every 200 ms;
// a later start finds the segment taken, writes its arguments there as one record and exits.
// The segment holds a run of records (one length byte, 1..255 bytes of UTF-8 text) ended by a
// zero byte; the arguments of one start are joined by "-_???_-", or read "noargs".
// Main thread only; every access to the segment is made between lock() and unlock().
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    static constexpr int kSegmentSize = 4096;
    static inline const QString kSeparator = QStringLiteral("-_???_-");
    static inline const QString kNoArguments = QStringLiteral("noargs");

    SingleApplication(int& argc, char** argv, const QString& key);
    ~SingleApplication() override;

    // True when another instance owned the segment when this one started.
    bool IsRunning() const { return m_running; }

    // Writes one record made of `arguments` (the first entry, the program path, is skipped).
    // Refuses, logging why, a record that is longer than 255 bytes or would not fit in the
    // space left; does nothing when no other instance runs unless `force` is set.
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
