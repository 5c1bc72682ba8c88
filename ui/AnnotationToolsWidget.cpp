#include "ui/AnnotationToolsWidget.h"

#include "viewer/AnnotationTypes.h"

#include <QButtonGroup>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

struct ToolButtonSpec
{
    int tool;
    const char* text;
    const char* tip; // with the key of its command
};

constexpr ToolButtonSpec kTools[] = {
    {AnnotationToolPencil, "\u270E", "Pencil (P)"},
    {AnnotationToolLaserPointer, "\u25C9", "Laser Pointer (B)"},
    {AnnotationToolEraser, "\u232B", "Eraser (E)"},
    {AnnotationToolText, "T", "Text (T)"},
    {AnnotationToolArrow, "\u2197", "Arrow (A)"},
    {AnnotationToolEllipse, "\u25EF", "Ellipse (O)"},
    {AnnotationToolRectangle, "\u25AD", "Rectangle (U)"},
};

} // namespace

AnnotationToolsWidget::AnnotationToolsWidget(QWidget* parent)
    : QWidget(parent)
    , m_tools(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    m_tools->setExclusive(false); // a click on the chosen tool puts it down
    for (const ToolButtonSpec& spec : kTools) {
        QToolButton* button = AddButton(QStringLiteral("tool%1").arg(spec.tool), QString::fromUtf8(spec.text),
                                        QString::fromUtf8(spec.tip), true);
        m_tools->addButton(button, spec.tool);
    }
    connect(m_tools, &QButtonGroup::idClicked, this, [this](int tool) {
        const int wanted = tool == m_tool ? -1 : tool;
        SetTool(m_tool); // shows what is in force until the panel says otherwise
        emit ToolRequested(wanted);
    });
    layout->addSpacing(8);
    QToolButton* background = AddButton(QStringLiteral("background"), QStringLiteral("BG"),
                                        QStringLiteral("Draw on every frame (the background)"), true);
    connect(background, &QToolButton::clicked, this, [this](bool checked) {
        emit LayerRequested(checked ? AnnotationLayerBackground : AnnotationLayerForeground);
    });
    connect(AddButton(QStringLiteral("hold"), QStringLiteral("H"), QStringLiteral("Hold Annotations (H)"), true),
            &QToolButton::clicked, this, &AnnotationToolsWidget::HoldToggleRequested);
    connect(AddButton(QStringLiteral("ghosting"), QStringLiteral("G"), QStringLiteral("Ghosting (G)"), true),
            &QToolButton::clicked, this, &AnnotationToolsWidget::GhostingToggleRequested);
    layout->addSpacing(8);
    connect(AddButton(QStringLiteral("clear"), QStringLiteral("\u2715"), QStringLiteral("Clear this frame's drawing (Del)"), false),
            &QToolButton::clicked, this, &AnnotationToolsWidget::ClearRequested);
    connect(AddButton(QStringLiteral("undo"), QStringLiteral("\u21B6"), QStringLiteral("Undo Annotation"), false),
            &QToolButton::clicked, this, &AnnotationToolsWidget::UndoRequested);
    connect(AddButton(QStringLiteral("redo"), QStringLiteral("\u21B7"), QStringLiteral("Redo Annotation"), false),
            &QToolButton::clicked, this, &AnnotationToolsWidget::RedoRequested);
    layout->addStretch(1);
}

QToolButton* AnnotationToolsWidget::AddButton(const QString& name, const QString& text, const QString& tip, bool checkable)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setFixedSize(30, 30);
    button->setFocusPolicy(Qt::NoFocus); // the keys stay with the window's commands
    layout()->addWidget(button);
    return button;
}

QToolButton* AnnotationToolsWidget::ToolButton(int tool) const
{
    return qobject_cast<QToolButton*>(m_tools->button(tool));
}

QToolButton* AnnotationToolsWidget::Button(const QString& name) const
{
    return findChild<QToolButton*>(name);
}

void AnnotationToolsWidget::SetTool(int tool)
{
    m_tool = tool;
    for (QAbstractButton* button : m_tools->buttons()) {
        const QSignalBlocker blocker(button);
        button->setChecked(m_tools->id(button) == tool);
    }
}

void AnnotationToolsWidget::SetBackgroundLayer(bool background)
{
    Button(QStringLiteral("background"))->setChecked(background);
}

void AnnotationToolsWidget::SetHold(bool hold)
{
    Button(QStringLiteral("hold"))->setChecked(hold);
}

void AnnotationToolsWidget::SetGhosting(bool ghosting)
{
    Button(QStringLiteral("ghosting"))->setChecked(ghosting);
}
