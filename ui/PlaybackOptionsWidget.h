#pragma once

#include <QWidget>

class AvManager;
class QToolButton;

// The playback speed and the loop mode, as two buttons of the player's bottom row, and the
// speed rules the speed commands follow: a speed above 0 is set as it is, within the clock's
// limits; a speed of 0 or less toggles between 1.0 and the last other speed the clock had
// (0.5 before any). Increase and decrease step by 0.25; a decrease never goes below 0.25.
// The clock keeps the speed; this widget shows it. Main thread only.
class PlaybackOptionsWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr float kSpeedStep = 0.25f;
    static constexpr float kMinimumSpeed = 0.1f; // the clock's own limits
    static constexpr float kMaximumSpeed = 4.0f;

    explicit PlaybackOptionsWidget(AvManager* engine, QWidget* parent = nullptr);

    float Speed() const;
    // The speed that "Toggle Last" goes back to from 1.0.
    float LastOtherSpeed() const { return m_lastOtherSpeed; }
    QToolButton* SpeedButton() const { return m_speedButton; }
    QToolButton* LoopButton() const { return m_loopButton; }

public slots:
    void SetPlaybackSpeed(float speed);
    void IncreasePlaybackSpeed();
    void DecreasePlaybackSpeed();
    void SetLoopState(int loopState);
    // Looping on or off: "Play Once" goes to "Loop", "Loop" and "Ping Pong" to "Play Once".
    void ToggleLoopState();

signals:
    // A change the user may want to see on the picture ("Speed 0.50x", "Loop").
    void Message(const QString& text);

private:
    void ShowSpeed(float speed);
    void ShowLoopState(int loopState);

    AvManager* m_engine;
    QToolButton* m_speedButton = nullptr;
    QToolButton* m_loopButton = nullptr;
    float m_lastOtherSpeed = 0.5f;
};
