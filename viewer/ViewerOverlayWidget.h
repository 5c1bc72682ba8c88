#pragma once

#include <QWidget>

class ViewerOverlay;

// A transparent widget over the software renderer that paints the overlay; mouse events pass
// through it. (The OpenGL renderer paints the overlay itself.)
class ViewerOverlayWidget : public QWidget
{
    Q_OBJECT

public:
    ViewerOverlayWidget(const ViewerOverlay* overlay, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ViewerOverlay* m_overlay;
};
