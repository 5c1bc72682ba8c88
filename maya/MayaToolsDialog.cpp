#include "maya/MayaToolsDialog.h"

#include "core/Settings.h"
#include "maya/MayaSync.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

constexpr int kSmallButtonWidth = 50;
constexpr int kSyncButtonHeight = 24;

} // namespace

MayaToolsDialog::MayaToolsDialog(QWidget* parent)
    : QDialog(parent)
    , m_sync(new MayaSync(this))
{
    Settings& settings = Settings::Get();
    setWindowTitle(QStringLiteral("Maya Tools"));
    setMinimumWidth(280);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Offset:"), this), 0, 0);
    m_offset = new QSpinBox(this);
    m_offset->setRange(-999999, 999999);
    m_offset->setValue(settings.mayaSyncOffset);
    grid->addWidget(m_offset, 0, 1);
    m_currentButton = new QPushButton(QStringLiteral("Current"), this);
    m_currentButton->setFixedWidth(kSmallButtonWidth);
    grid->addWidget(m_currentButton, 0, 2);
    m_resetOffsetButton = new QPushButton(QStringLiteral("Reset"), this);
    m_resetOffsetButton->setFixedWidth(kSmallButtonWidth);
    grid->addWidget(m_resetOffsetButton, 0, 3);

    grid->addWidget(new QLabel(QStringLiteral("Multiplier:"), this), 1, 0);
    m_multiplier = new QDoubleSpinBox(this);
    m_multiplier->setRange(0.1, 10.0);
    m_multiplier->setSingleStep(0.1);
    m_multiplier->setValue(settings.mayaSyncMultiplier);
    grid->addWidget(m_multiplier, 1, 1);
    m_resetMultiplierButton = new QPushButton(QStringLiteral("Reset"), this);
    m_resetMultiplierButton->setFixedWidth(kSmallButtonWidth);
    grid->addWidget(m_resetMultiplierButton, 1, 3);

    m_fromRangeStart = new QCheckBox(QStringLiteral("From Range Start"), this);
    m_fromRangeStart->setChecked(settings.mayaSyncFromRangeStart);
    grid->addWidget(m_fromRangeStart, 2, 0, 1, 4);

    m_syncButton = new QPushButton(QStringLiteral("SYNC"), this);
    m_syncButton->setObjectName(QStringLiteral("mayaSyncButton"));
    m_syncButton->setStyleSheet(QStringLiteral("#mayaSyncButton {font-weight: bold; color:#ffffff}"));
    m_syncButton->setFixedHeight(kSyncButtonHeight);
    m_syncButton->setCheckable(true);
    m_syncButton->setAutoDefault(false);
    grid->addWidget(m_syncButton, 3, 0, 1, 4);
    m_defaultButtonColor = m_syncButton->palette().color(QPalette::Button);

    // The settings are what the spin boxes hold: a stored value outside their range (or finer
    // than their decimals) was adjusted when filled in, before any change was connected.
    settings.mayaSyncOffset = m_offset->value();
    settings.mayaSyncMultiplier = static_cast<float>(m_multiplier->value());

    connect(m_offset, &QSpinBox::valueChanged, this, &MayaToolsDialog::SetOffset);
    connect(m_multiplier, &QDoubleSpinBox::valueChanged, this, &MayaToolsDialog::SetMultiplier);
    connect(m_fromRangeStart, &QCheckBox::toggled, this, &MayaToolsDialog::OnFromRangeStartToggled);
    connect(m_resetOffsetButton, &QPushButton::clicked, this, &MayaToolsDialog::ResetOffset);
    connect(m_resetMultiplierButton, &QPushButton::clicked, this, &MayaToolsDialog::ResetMultiplier);
    connect(m_currentButton, &QPushButton::clicked, this, &MayaToolsDialog::SetOffsetToCurrentRequested);
    connect(this, &MayaToolsDialog::SetOffsetToCurrentRequested, this, &MayaToolsDialog::SetOffsetToCurrent);
    connect(m_syncButton, &QPushButton::clicked, this, &MayaToolsDialog::ToggleSyncRequested);
    connect(this, &MayaToolsDialog::ToggleSyncRequested, this, &MayaToolsDialog::ToggleSync);
    connect(this, &MayaToolsDialog::SyncOptionsChanged, m_sync, &MayaSync::SendCurrentFrame);
    connect(m_sync, &MayaSync::ConnectionChanged, this, &MayaToolsDialog::UpdateSyncButton);
}

void MayaToolsDialog::ShowAndActivate()
{
    if (isHidden()) {
        restoreGeometry(Settings::Get().mayaToolsGeometry);
        show();
    } else {
        raise();
        activateWindow();
    }
}

void MayaToolsDialog::ToggleSync()
{
    m_sync->ToggleSync();
    UpdateSyncButton();
}

void MayaToolsDialog::SetOffset(int value)
{
    {
        const QSignalBlocker blocker(m_offset);
        m_offset->setValue(value);
    }
    Settings::Get().mayaSyncOffset = m_offset->value();
    emit SyncOptionsChanged();
}

void MayaToolsDialog::SetOffsetToCurrent()
{
    SetOffset(m_sync->PlaybackFrame());
}

void MayaToolsDialog::ResetOffset()
{
    SetOffset(0);
}

void MayaToolsDialog::OnFromRangeStartToggled(bool checked)
{
    {
        const QSignalBlocker blocker(m_fromRangeStart);
        m_fromRangeStart->setChecked(checked);
    }
    Settings::Get().mayaSyncFromRangeStart = checked;
    emit SyncOptionsChanged();
}

void MayaToolsDialog::SetMultiplier(double value)
{
    {
        const QSignalBlocker blocker(m_multiplier);
        m_multiplier->setValue(value);
    }
    Settings::Get().mayaSyncMultiplier = static_cast<float>(m_multiplier->value());
    emit SyncOptionsChanged();
}

void MayaToolsDialog::ResetMultiplier()
{
    SetMultiplier(1.0);
}

void MayaToolsDialog::PauseSyncTemporarily()
{
    m_sync->PauseSyncTemporarily();
}

void MayaToolsDialog::SetPlaybackFrame(int playbackFrame, int timeControlOffset)
{
    m_sync->SetPlaybackFrame(playbackFrame, timeControlOffset);
}

void MayaToolsDialog::UpdateSyncButton()
{
    const bool synced = m_sync->IsConnected();
    m_syncButton->setText(synced ? QStringLiteral("SYNCED") : QStringLiteral("SYNC"));
    m_syncButton->setChecked(synced);
    QPalette palette = m_syncButton->palette();
    palette.setColor(QPalette::All, QPalette::Button, synced ? kSyncedColor : m_defaultButtonColor);
    m_syncButton->setPalette(palette);
}

void MayaToolsDialog::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    StoreGeometry();
}

void MayaToolsDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    StoreGeometry();
}

void MayaToolsDialog::StoreGeometry()
{
    // Hidden, the dialog has no place of its own yet: the stored one stays.
    if (isVisible())
        Settings::Get().mayaToolsGeometry = saveGeometry();
}
