#include "viewer/ViewerOverlayWidget.h"

#include "viewer/ViewerOverlay.h"

#include <QPainter>

ViewerOverlayWidget::ViewerOverlayWidget(const ViewerOverlay* overlay, QWidget* parent)
    : QWidget(parent)
    , m_overlay(overlay)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ViewerOverlayWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_overlay->Paint(painter);
}
