#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// Mirrors the player's current frame into a running Maya through its commandPort: a TCP
// connection to 127.0.0.1 on `mayaCommandPort` that takes MEL text. Each frame sent is a
// short script that switches the Maya-side script node off, sets Maya's current time and
// switches the node on again, so that Maya does not echo the change back.
//
// Timing. Connecting waits (blocking) up to `mayaSyncTimeout` ms (a negative value counts as
// 0). Sending never waits: the script is written, and a reply timer of the same length is
// armed that any bytes from Maya satisfy (their content is read and discarded). A frame
// arriving while a reply is outstanding is not sent at once; when the reply comes, the newest
// frame is sent, once. When the timer runs out, sync is dropped with an error. After
// PauseSyncTemporarily, frames are not sent for kPauseMs ms, and nothing is sent when the
// pause ends.
//
// The frame and the options are read from the settings (`mayaSyncMultiplier`,
// `mayaSyncOffset`, `mayaSyncFromRangeStart`) at each send. Main thread only.
class MayaSync : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPauseMs = 1000;
    static inline const QString kHost = QStringLiteral("127.0.0.1");
    static inline const QString kScriptNode = QStringLiteral("MayaToPlovexScriptNode");

    explicit MayaSync(QObject* parent = nullptr);
    ~MayaSync() override;

    bool IsConnected() const { return m_socket != nullptr; }
    // A script was sent and Maya has not answered yet.
    bool ReplyPending() const { return m_replyTimer.isActive(); }
    bool Paused() const { return m_pauseTimer.isActive(); }
    int PlaybackFrame() const { return m_playbackFrame; }
    int TimeControlOffset() const { return m_timeControlOffset; }

    // The frame Maya is given for `playbackFrame`: the frame times `multiplier` in single
    // precision, truncated toward zero, plus the time control's offset (unless counting from
    // Maya's range start) plus `syncOffset`.
    static qint64 MayaFrame(int playbackFrame, int timeControlOffset, float multiplier, int syncOffset,
                            bool fromRangeStart);
    // The MEL script that sets Maya's current time to `mayaFrame` (relative to Maya's playback
    // start when `fromRangeStart`).
    static QString Script(qint64 mayaFrame, bool fromRangeStart);

public slots:
    // Connects when not connected, else disconnects.
    void ToggleSync();
    void Connect();
    void Disconnect();
    // Stores the frame and the time control's frame offset, then sends.
    void SetPlaybackFrame(int playbackFrame, int timeControlOffset);
    // Sends the current frame with the current settings (after an option changed); nothing
    // when not connected or paused.
    void SendCurrentFrame();
    void PauseSyncTemporarily();

signals:
    // Connected or not any more (whatever the cause).
    void ConnectionChanged(bool connected);

private:
    void OnReadyRead();
    void OnReplyTimeout();
    void DropSocket();

    QTcpSocket* m_socket = nullptr; // owned; non-null while synced
    int m_playbackFrame = 0;
    int m_timeControlOffset = 0;
    bool m_sendWhenReplied = false; // a frame came while a reply was outstanding
    QTimer m_replyTimer;
    QTimer m_pauseTimer;
};
