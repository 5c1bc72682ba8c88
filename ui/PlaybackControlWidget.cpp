#include "ui/PlaybackControlWidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QTransform>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

PlaybackControlWidget::PlaybackControlWidget(bool volumeControl, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addStretch(1);
    AddButton(QStringLiteral("seekStart"), QStyle::SP_MediaSkipBackward, QStringLiteral("Go to Start"),
              &PlaybackControlWidget::SeekStartRequested);
    AddButton(QStringLiteral("stepBackward"), QStyle::SP_MediaSeekBackward, QStringLiteral("Step Backwards"),
              &PlaybackControlWidget::StepBackwardRequested);
    m_playBackwards = AddButton(QStringLiteral("playBackwards"), QStyle::SP_ArrowLeft, QStringLiteral("Play Backwards"),
                                &PlaybackControlWidget::PlayBackwardsRequested);
    AddButton(QStringLiteral("pause"), QStyle::SP_MediaPause, QStringLiteral("Pause"), &PlaybackControlWidget::PauseRequested);
    m_playForwards = AddButton(QStringLiteral("playForwards"), QStyle::SP_MediaPlay, QStringLiteral("Play Forwards"),
                               &PlaybackControlWidget::PlayForwardsRequested);
    AddButton(QStringLiteral("stepForward"), QStyle::SP_MediaSeekForward, QStringLiteral("Step Forwards"),
              &PlaybackControlWidget::StepForwardRequested);
    AddButton(QStringLiteral("seekEnd"), QStyle::SP_MediaSkipForward, QStringLiteral("Go to End"),
              &PlaybackControlWidget::SeekEndRequested);
    // Play backwards: the play arrow turned round.
    const QPixmap play = style()->standardIcon(QStyle::SP_MediaPlay).pixmap(32, 32);
    m_playBackwards->setIcon(QIcon(play.transformed(QTransform().scale(-1, 1))));
    m_playBackwards->setCheckable(true);
    m_playForwards->setCheckable(true);
    layout->addStretch(1);

    if (volumeControl) {
        m_mute = AddButton(QStringLiteral("mute"), QStyle::SP_MediaVolume, QStringLiteral("Mute"),
                           &PlaybackControlWidget::MuteToggleRequested);
        m_volume = new QSlider(Qt::Horizontal, this);
        m_volume->setObjectName(QStringLiteral("volume"));
        m_volume->setRange(0, kMaximumVolume);
        m_volume->setFixedWidth(90);
        m_volume->setToolTip(QStringLiteral("Volume"));
        connect(m_volume, &QSlider::valueChanged, this, &PlaybackControlWidget::VolumeChangeRequested);
        layout->addWidget(m_volume);
    }
}

QToolButton* PlaybackControlWidget::AddButton(const QString& name, int standardIcon, const QString& tip,
                                              void (PlaybackControlWidget::*signal)())
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(standardIcon)));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the keys stay with the window's commands
    connect(button, &QToolButton::clicked, this, [this, signal] {
        emit(this->*signal)();
        SetPlaybackState(m_playing, m_forward); // a click checks nothing by itself
    });
    layout()->addWidget(button);
    return button;
}

QToolButton* PlaybackControlWidget::Button(const QString& name) const
{
    return findChild<QToolButton*>(name);
}

void PlaybackControlWidget::SetPlaybackState(bool playing, bool forward)
{
    m_playing = playing;
    m_forward = forward;
    m_playForwards->setChecked(playing && forward);
    m_playBackwards->setChecked(playing && !forward);
}

void PlaybackControlWidget::SetVolume(int percent, bool muted)
{
    if (!m_volume)
        return;
    const QSignalBlocker blocker(m_volume);
    m_volume->setValue(percent);
    m_volume->setToolTip(QStringLiteral("Volume %1%").arg(percent));
    m_mute->setIcon(style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    m_mute->setToolTip(muted ? QStringLiteral("Unmute") : QStringLiteral("Mute"));
}
