#pragma once

#include "app/PlovexBase.h"

class QUndoView;

// The program's window: PlovexBase with the actions of the project's own dialogs (import a
// folder or a project, the list of recent project steps) and the About box. Main thread only.
class PlovexX : public PlovexBase
{
    Q_OBJECT

public:
    explicit PlovexX(const QStringList& startupFiles, QWidget* parent = nullptr);

public slots:
    // The project's undo history, each step by its name; a click goes back or forth to it.
    void ShowUndoDialog();
    void ShowAboutDialog();
    // Whether the A/B wipe snaps to the centre lines and right angles, and shows guides when
    // it does.
    void ToggleABWipeSnap();
    void ToggleABWipeSnapGuides();

private:
    void ImportFolderFromDialog();
    void ImportProjectFromDialog();

    QUndoView* m_undoView = nullptr; // a window of its own, made on first use
};
