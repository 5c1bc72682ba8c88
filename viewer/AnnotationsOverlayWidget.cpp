#include "viewer/AnnotationsOverlayWidget.h"

#include "viewer/AnnotationsOverlay.h"

#include <QPainter>

AnnotationsOverlayWidget::AnnotationsOverlayWidget(AnnotationsOverlay* overlay, QWidget* parent)
    : QWidget(parent)
    , m_overlay(overlay)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
}

void AnnotationsOverlayWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_overlay->Paint(painter);
}
