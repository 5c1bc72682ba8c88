#pragma once

#include <QWidget>

class QButtonGroup;
class QToolButton;

// The annotation tool bar at the picture's left: one button per drawing tool (a click on the
// chosen one puts it down, giving the left button back to scrubbing), the layer drawn on
// (this frame, or the whole timeline), hold and ghosting, and clear, undo and redo of the
// drawing. It only asks; the player panel does, and shows back what is in force. Main thread
// only.
class AnnotationToolsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit AnnotationToolsWidget(QWidget* parent = nullptr);

    // The button of a tool (AnnotationToolType), or of "hold", "ghosting", "background",
    // "clear", "undo", "redo"; for tests.
    QToolButton* ToolButton(int tool) const;
    QToolButton* Button(const QString& name) const;

public slots:
    // What is in force: the tool (-1 none), the layer, hold and ghosting.
    void SetTool(int tool);
    void SetBackgroundLayer(bool background);
    void SetHold(bool hold);
    void SetGhosting(bool ghosting);

signals:
    void ToolRequested(int tool); // -1: none
    void LayerRequested(int layer);
    void HoldToggleRequested();
    void GhostingToggleRequested();
    void ClearRequested();
    void UndoRequested();
    void RedoRequested();

private:
    QToolButton* AddButton(const QString& name, const QString& text, const QString& tip, bool checkable);

    QButtonGroup* m_tools = nullptr;
    int m_tool = -1;
};
