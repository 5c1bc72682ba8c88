#include "ui/PlaybackOptionsWidget.h"

#include "engine/AvManager.h"
#include "playback/LoopState.h"
#include "playback/PlaybackManager.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

QString LoopStateText(int state)
{
    switch (state) {
    case LoopOff:
        return QStringLiteral("Play Once");
    case LoopPingPong:
        return QStringLiteral("Ping Pong");
    default:
        return QStringLiteral("Loop");
    }
}

} // namespace

PlaybackOptionsWidget::PlaybackOptionsWidget(AvManager* engine, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_speedButton = new QToolButton(this);
    m_speedButton->setToolTip(QStringLiteral("Playback speed"));
    m_speedButton->setPopupMode(QToolButton::InstantPopup);
    auto* speeds = new QMenu(m_speedButton);
    const std::pair<const char*, float> choices[] = {{"0.25x", 0.25f}, {"0.5x", 0.5f}, {"1.0x", 1.0f}, {"1.5x", 1.5f}, {"2.0x", 2.0f}};
    for (const auto& [text, speed] : choices)
        connect(speeds->addAction(QString::fromLatin1(text)), &QAction::triggered, this, [this, speed = speed] { SetPlaybackSpeed(speed); });
    connect(speeds->addAction(QStringLiteral("Custom...")), &QAction::triggered, this, [this] {
        bool ok = false;
        const double speed = QInputDialog::getDouble(this, QStringLiteral("Playback Speed"), QStringLiteral("Speed:"), Speed(),
                                                     kMinimumSpeed, kMaximumSpeed, 2, &ok);
        if (ok)
            SetPlaybackSpeed(static_cast<float>(speed));
    });
    m_speedButton->setMenu(speeds);

    m_loopButton = new QToolButton(this);
    m_loopButton->setToolTip(QStringLiteral("Loop mode (click for the next)"));
    connect(m_loopButton, &QToolButton::clicked, this, [this] {
        SetLoopState((m_engine->Clock()->GetLoopState() + 1) % 3);
    });

    layout->addWidget(m_speedButton);
    layout->addWidget(m_loopButton);
    connect(engine, &AvManager::PlaybackSpeedChanged, this, &PlaybackOptionsWidget::ShowSpeed);
    connect(engine, &AvManager::LoopStateChanged, this, [this](LoopState state) { ShowLoopState(state); });
    ShowSpeed(Speed());
    ShowLoopState(engine->Clock()->GetLoopState());
}

float PlaybackOptionsWidget::Speed() const
{
    return m_engine->Clock()->PlaybackSpeed();
}

void PlaybackOptionsWidget::SetPlaybackSpeed(float speed)
{
    if (speed <= 0.0f)
        speed = std::fabs(Speed() - 1.0f) > 1e-4f ? 1.0f : m_lastOtherSpeed;
    speed = std::clamp(speed, kMinimumSpeed, kMaximumSpeed);
    if (std::fabs(speed - Speed()) > 1e-4f) {
        m_engine->SetPlaybackSpeed(speed);
        emit Message(QStringLiteral("Speed %1x").arg(speed, 0, 'f', 2));
    }
}

void PlaybackOptionsWidget::IncreasePlaybackSpeed()
{
    SetPlaybackSpeed(Speed() + kSpeedStep);
}

void PlaybackOptionsWidget::DecreasePlaybackSpeed()
{
    // A step never goes below one step (a slower speed stays where it is).
    if (Speed() - kSpeedStep >= kSpeedStep - 1e-4f)
        SetPlaybackSpeed(Speed() - kSpeedStep);
}

void PlaybackOptionsWidget::SetLoopState(int loopState)
{
    m_engine->SetLoopState(loopState);
}

void PlaybackOptionsWidget::ToggleLoopState()
{
    SetLoopState(m_engine->Clock()->GetLoopState() == LoopOff ? LoopOn : LoopOff);
}

void PlaybackOptionsWidget::ShowSpeed(float speed)
{
    // Every speed the clock takes counts, however it was set.
    if (std::fabs(speed - 1.0f) > 1e-4f)
        m_lastOtherSpeed = speed;
    m_speedButton->setText(QStringLiteral("%1x").arg(speed, 0, 'f', 2));
}

void PlaybackOptionsWidget::ShowLoopState(int loopState)
{
    const QString text = LoopStateText(loopState);
    if (!m_loopButton->text().isEmpty() && m_loopButton->text() != text)
        emit Message(text);
    m_loopButton->setText(text);
}
