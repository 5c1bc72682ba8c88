#include "ui/ToolsDisplayWidget.h"

#include "core/TimeControlFont.h"

#include <QHBoxLayout>
#include <QLabel>

ToolsDisplayWidget::ToolsDisplayWidget(QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(QStringLiteral("No media"), this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    m_label->setFont(TimeControlFont());
    m_label->setMinimumWidth(180);
}

QString ToolsDisplayWidget::Text() const
{
    return m_label->text();
}

void ToolsDisplayWidget::SetFrame(int displayFrame, int frameCount, bool noPicture)
{
    if (frameCount <= 0) {
        m_label->setText(QStringLiteral("No media"));
        return;
    }
    m_label->setText(QStringLiteral("Frame %1 of %2%3")
                         .arg(displayFrame)
                         .arg(frameCount)
                         .arg(noPicture ? QStringLiteral(" (no picture)") : QString()));
}
