#include "ui/ViewerControlsWidget.h"

#include "viewer/ViewerBase.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

ViewerControlsWidget::ViewerControlsWidget(ViewerWidget* view, QWidget* parent)
    : QWidget(parent)
    , m_view(view)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addStretch(1);
    auto combo = [&](const QString& tip, const QStringList& items) {
        auto* box = new QComboBox(this);
        box->setToolTip(tip);
        box->addItems(items);
        box->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(box);
        return box;
    };
    // Items in the order of the viewer's layout, background and overlay numbers.
    m_layout = combo(QStringLiteral("Layout"), {QStringLiteral("Single"), QStringLiteral("A/B"), QStringLiteral("H-Split"),
                                                QStringLiteral("V-Split"), QStringLiteral("Grid")});
    m_background = combo(QStringLiteral("Background"), {QStringLiteral("Black"), QStringLiteral("Medium Grey"),
                                                         QStringLiteral("Light Grey"), QStringLiteral("White")});
    m_overlay = combo(QStringLiteral("Overlay"), {QStringLiteral("No Overlay"), QStringLiteral("Safe Area"),
                                                  QStringLiteral("Grid"), QStringLiteral("Center")});
    connect(m_layout, &QComboBox::activated, m_view, &ViewerWidget::SetViewerLayoutByType);
    connect(m_background, &QComboBox::activated, m_view, &ViewerWidget::SetViewerBackground);
    connect(m_overlay, &QComboBox::activated, m_view, &ViewerWidget::SetViewerOverlayDrawable);

    m_wipe = AddButton(QStringLiteral("Wipe"), QStringLiteral("Toggle A/B Wipe"));
    m_wipe->setCheckable(true);
    connect(m_wipe, &QToolButton::clicked, m_view, [this] {
        m_view->ToggleWipe();
        Refresh();
    });
    m_flipHorizontal = AddButton(QStringLiteral("Flip H"), QStringLiteral("Flip Horizontal"));
    m_flipVertical = AddButton(QStringLiteral("Flip V"), QStringLiteral("Flip Vertical"));
    for (QToolButton* flip : {m_flipHorizontal, m_flipVertical}) {
        flip->setCheckable(true);
        connect(flip, &QToolButton::clicked, this, [this, flip] {
            if (flip == m_flipHorizontal)
                m_view->SetHorizontalFlipEnabled(!m_view->Renderer()->FlipHorizontal());
            else
                m_view->SetVerticalFlipEnabled(!m_view->Renderer()->FlipVertical());
            Refresh();
        });
    }
    connect(AddButton(QStringLiteral("\u21BA"), QStringLiteral("Rotate CCW")), &QToolButton::clicked, m_view,
            &ViewerWidget::RotateCounterClockwise);
    connect(AddButton(QStringLiteral("\u21BB"), QStringLiteral("Rotate CW")), &QToolButton::clicked, m_view,
            &ViewerWidget::RotateClockwise);
    connect(AddButton(QStringLiteral("Reset"), QStringLiteral("Reset Flip/Rotate and Pan/Zoom")), &QToolButton::clicked,
            this, [this] {
                m_view->ResetFlipAndRotate();
                m_view->ResetPanAndZoom(true);
                Refresh();
            });

    connect(m_view, &ViewerWidget::ViewerLayoutChanged, this, &ViewerControlsWidget::Refresh);
    connect(m_view, &ViewerWidget::ViewerBackgroundChanged, this, &ViewerControlsWidget::Refresh);
    connect(m_view, &ViewerWidget::ViewerOverlayDrawableChanged, this, &ViewerControlsWidget::Refresh);
    connect(m_view, &ViewerWidget::ViewerWipeStateChanged, this, &ViewerControlsWidget::Refresh);
    Refresh();
}

QToolButton* ViewerControlsWidget::AddButton(const QString& text, const QString& tip)
{
    auto* button = new QToolButton(this);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    layout()->addWidget(button);
    return button;
}

void ViewerControlsWidget::Refresh()
{
    const QSignalBlocker layoutBlocker(m_layout);
    const QSignalBlocker backgroundBlocker(m_background);
    const QSignalBlocker overlayBlocker(m_overlay);
    m_layout->setCurrentIndex(m_view->LayoutType());
    m_background->setCurrentIndex(m_view->Renderer()->BackgroundType());
    m_overlay->setCurrentIndex(m_view->Overlay()->Drawable());
    m_wipe->setChecked(m_view->WipeEnabled());
    m_flipHorizontal->setChecked(m_view->Renderer()->FlipHorizontal());
    m_flipVertical->setChecked(m_view->Renderer()->FlipVertical());
}
