#pragma once

#include <QColor>
#include <QDialog>

class MayaSync;
class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

// The small non-modal window that mirrors the player's frame into Maya: the sync options
// (an offset, a multiplier, counting from Maya's range start) and the SYNC button that
// connects or disconnects. The options are stored in their settings as soon as they change
// and the current frame is sent again with them. The sync itself is a MayaSync owned by the
// dialog; closing the window does not disconnect. Main thread only.
class MayaToolsDialog : public QDialog
{
    Q_OBJECT

public:
    static inline const QColor kSyncedColor{12, 60, 156};

    explicit MayaToolsDialog(QWidget* parent = nullptr);

    MayaSync* Sync() const { return m_sync; }
    QSpinBox* OffsetSpinBox() const { return m_offset; }
    QDoubleSpinBox* MultiplierSpinBox() const { return m_multiplier; }
    QCheckBox* FromRangeStartCheckBox() const { return m_fromRangeStart; }
    QPushButton* SyncButton() const { return m_syncButton; }
    QPushButton* CurrentButton() const { return m_currentButton; }
    QPushButton* ResetOffsetButton() const { return m_resetOffsetButton; }
    QPushButton* ResetMultiplierButton() const { return m_resetMultiplierButton; }
    // The SYNC button's colour when the dialog was built.
    QColor DefaultButtonColor() const { return m_defaultButtonColor; }

    // Shows the window at its stored geometry when hidden, else raises and activates it.
    void ShowAndActivate();

public slots:
    void ToggleSync();
    void SetOffset(int value);
    void SetOffsetToCurrent();
    void ResetOffset();
    void OnFromRangeStartToggled(bool checked);
    void SetMultiplier(double value);
    void ResetMultiplier();
    void PauseSyncTemporarily();
    void SetPlaybackFrame(int playbackFrame, int timeControlOffset);

signals:
    // The SYNC button was pressed.
    void ToggleSyncRequested();
    // An option was changed and stored.
    void SyncOptionsChanged();
    // The "Current" button was pressed.
    void SetOffsetToCurrentRequested();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateSyncButton();
    void StoreGeometry();

    MayaSync* m_sync;
    QSpinBox* m_offset;
    QDoubleSpinBox* m_multiplier;
    QCheckBox* m_fromRangeStart;
    QPushButton* m_syncButton;
    QPushButton* m_currentButton;
    QPushButton* m_resetOffsetButton;
    QPushButton* m_resetMultiplierButton;
    QColor m_defaultButtonColor;
};
