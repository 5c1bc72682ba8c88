#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

// The transport buttons of the player's bottom row (to the start, a frame back, play
// backwards, pause, play forwards, a frame on, to the end) and the volume: a mute button and
// a slider in percent (0 to kMaximumVolume; above 100 the sound is amplified). The buttons
// only ask; the player panel does. Shows the play state and the volume it is given. Main
// thread only.
class PlaybackControlWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaximumVolume = 150;

    // `volumeControl`: whether the volume slider and mute button are shown at all.
    explicit PlaybackControlWidget(bool volumeControl, QWidget* parent = nullptr);

    QToolButton* Button(const QString& name) const; // by object name, for tests
    QSlider* VolumeSlider() const { return m_volume; }

public slots:
    void SetPlaybackState(bool playing, bool forward);
    void SetVolume(int percent, bool muted);

signals:
    void SeekStartRequested();
    void StepBackwardRequested();
    void PlayBackwardsRequested();
    void PauseRequested();
    void PlayForwardsRequested();
    void StepForwardRequested();
    void SeekEndRequested();
    void VolumeChangeRequested(int percent);
    void MuteToggleRequested();

private:
    QToolButton* AddButton(const QString& name, int standardIcon, const QString& tip, void (PlaybackControlWidget::*signal)());

    QToolButton* m_playBackwards = nullptr;
    QToolButton* m_playForwards = nullptr;
    QToolButton* m_mute = nullptr;
    QSlider* m_volume = nullptr;
    bool m_playing = false; // the state shown
    bool m_forward = true;
};
