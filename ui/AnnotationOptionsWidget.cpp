#include "ui/AnnotationOptionsWidget.h"

#include "core/Settings.h"

#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

namespace {

QIcon Swatch(const QColor& color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

} // namespace

AnnotationOptionsWidget::AnnotationOptionsWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_color = new QToolButton(this);
    m_color->setToolTip(QStringLiteral("Drawing colour"));
    m_color->setPopupMode(QToolButton::InstantPopup);
    m_color->setFocusPolicy(Qt::NoFocus);
    m_color->setMenu(new QMenu(m_color));
    connect(m_color->menu(), &QMenu::aboutToShow, this, &AnnotationOptionsWidget::FillColorMenu);
    layout->addWidget(m_color);

    auto* smaller = new QToolButton(this);
    smaller->setText(QStringLiteral("\u2212"));
    smaller->setToolTip(QStringLiteral("Decrease Tool Size"));
    m_size = new QLabel(this);
    m_size->setMinimumWidth(60);
    m_size->setAlignment(Qt::AlignCenter);
    auto* larger = new QToolButton(this);
    larger->setText(QStringLiteral("+"));
    larger->setToolTip(QStringLiteral("Increase Tool Size"));
    for (QToolButton* button : {smaller, larger}) {
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(smaller, &QToolButton::clicked, this, &AnnotationOptionsWidget::SizeDecreaseRequested);
    connect(larger, &QToolButton::clicked, this, &AnnotationOptionsWidget::SizeIncreaseRequested);
    layout->addWidget(smaller);
    layout->addWidget(m_size);
    layout->addWidget(larger);

    // In the order of the visibility numbers.
    m_visibility = new QComboBox(this);
    m_visibility->setToolTip(QStringLiteral("Annotations"));
    m_visibility->addItems({QStringLiteral("On"), QStringLiteral("Off During Playback"), QStringLiteral("Off")});
    m_visibility->setFocusPolicy(Qt::NoFocus);
    connect(m_visibility, &QComboBox::activated, this, &AnnotationOptionsWidget::VisibilityRequested);
    layout->addWidget(m_visibility);
    layout->addStretch(1);
}

void AnnotationOptionsWidget::FillColorMenu()
{
    QMenu* menu = m_color->menu();
    menu->clear();
    for (const QColor& preset : Settings::Get().annotationColorPresets)
        connect(menu->addAction(Swatch(preset), preset.name()), &QAction::triggered, this,
                [this, preset] { emit ColorRequested(preset); });
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Custom...")), &QAction::triggered, this, [this] {
        const QColor chosen = QColorDialog::getColor(m_current, this, QStringLiteral("Drawing Colour"));
        if (chosen.isValid())
            emit ColorRequested(chosen);
    });
}

QString AnnotationOptionsWidget::SizeText() const
{
    return m_size->text();
}

void AnnotationOptionsWidget::SetColor(const QColor& color)
{
    m_current = color;
    m_color->setIcon(Swatch(color));
}

void AnnotationOptionsWidget::SetToolSize(float size)
{
    m_size->setText(QStringLiteral("Size %1").arg(static_cast<double>(size), 0, 'f', 1));
}

void AnnotationOptionsWidget::SetVisibility(int visibility)
{
    const QSignalBlocker blocker(m_visibility);
    m_visibility->setCurrentIndex(std::clamp(visibility, 0, 2));
}
