#pragma once

#include <QWidget>

class QComboBox;
class QToolButton;
class ViewerWidget;

// The viewer's choices in the player's top row: the layout (single, A/B, side by side,
// stacked, grid), the background, the overlay, the wipe, flips, rotation and the reset of
// pan and zoom. It acts on the viewer directly and follows the viewer's own changes (from the
// menus or the keys). Main thread only.
class ViewerControlsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ViewerControlsWidget(ViewerWidget* view, QWidget* parent = nullptr);

    QComboBox* LayoutBox() const { return m_layout; }
    QComboBox* BackgroundBox() const { return m_background; }
    QComboBox* OverlayBox() const { return m_overlay; }

public slots:
    // Shows the viewer's current choices.
    void Refresh();

private:
    QToolButton* AddButton(const QString& text, const QString& tip);

    ViewerWidget* m_view;
    QComboBox* m_layout = nullptr;
    QComboBox* m_background = nullptr;
    QComboBox* m_overlay = nullptr;
    QToolButton* m_wipe = nullptr;
    QToolButton* m_flipHorizontal = nullptr;
    QToolButton* m_flipVertical = nullptr;
};
