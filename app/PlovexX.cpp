#include "app/PlovexX.h"

#include "core/CommandId.h"
#include "core/Settings.h"
#include "project/ProjectManager.h"
#include "viewer/ViewerWidget.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QUndoView>

PlovexX::PlovexX(const QStringList& startupFiles, QWidget* parent)
    : PlovexBase(startupFiles, parent)
{
    AddCommand(CommandId::ImportFolder, [this] { ImportFolderFromDialog(); });
    AddOwn(QStringLiteral("importProject"), [this] { ImportProjectFromDialog(); });
    AddOwn(QStringLiteral("recentCommandsList"), [this] { ShowUndoDialog(); });
    AddOwn(QStringLiteral("about"), [this] { ShowAboutDialog(); });
    AddCommand(CommandId::ToggleABWipeSnap, [this] { ToggleABWipeSnap(); });
    AddCommand(CommandId::ToggleABWipeSnapGuides, [this] { ToggleABWipeSnapGuides(); });
    UpdateActionAvailability();
}

void PlovexX::ImportFolderFromDialog()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Import Folder"));
    if (!folder.isEmpty())
        Manager()->ImportFolder(folder, {});
}

void PlovexX::ImportProjectFromDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Project"), Settings::Get().DefaultExportDirPath(),
                                                      ProjectFilter());
    if (!path.isEmpty())
        Manager()->OpenProject(path, false);
}

void PlovexX::ShowUndoDialog()
{
    if (!m_undoView) {
        m_undoView = new QUndoView(Manager()->UndoStack(), this);
        m_undoView->setWindowFlag(Qt::Window);
        m_undoView->setWindowTitle(QStringLiteral("Recent Commands List"));
        m_undoView->resize(320, 400);
    }
    m_undoView->show();
    m_undoView->raise();
    m_undoView->activateWindow();
}

void PlovexX::ShowAboutDialog()
{
    QMessageBox::about(this, QStringLiteral("About Plovex"),
                       QStringLiteral("<b>Plovex</b> v%1<br>A media player and review tool for animators and editors.")
                           .arg(QCoreApplication::applicationVersion()));
}

void PlovexX::ToggleABWipeSnap()
{
    Settings::Get().wipeSnapEnabled = !Settings::Get().wipeSnapEnabled;
    UpdateVideoActions();
    View()->update();
}

void PlovexX::ToggleABWipeSnapGuides()
{
    Settings::Get().wipeSnapGuidesEnabled = !Settings::Get().wipeSnapGuidesEnabled;
    UpdateVideoActions();
    View()->update();
}
