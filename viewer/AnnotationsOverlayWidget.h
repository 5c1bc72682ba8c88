#pragma once

#include <QWidget>

class AnnotationsOverlay;

// A transparent widget over the software renderer that paints the drawings; mouse events pass
// through it. (The OpenGL renderer paints them itself.) Main thread only.
class AnnotationsOverlayWidget : public QWidget
{
    Q_OBJECT

public:
    AnnotationsOverlayWidget(AnnotationsOverlay* overlay, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AnnotationsOverlay* m_overlay;
};
