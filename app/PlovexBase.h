#pragma once

#include "app/MenuLayout.h"
#include "core/CommandTable.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class AvManager;
class CmdServer;
class Project;
class ProjectManager;
class ConsoleWindow;
class KeyboardShortcutsWindow;
class PreferencesDialog;
class QAction;
class QDockWidget;
class ProjectTreeWidget;
class TimelinePanelWidget;
class QMenu;
class QSplitter;
class QLabel;
class Source;
class Timeline;
class ViewerBase;
class ViewerWidget;
class MonitorPanel;
struct VideoFrame;

// The program's window until the full interface exists: it takes the start-up files and the
// files forwarded by later starts (a project file opens), imports them through the project
// manager, plays the first in viewer A (the second in B), and shows the sources and the frame
// at the playhead; the log is in the console window. Import, open, save, undo and redo go
// through the project manager. Its keys are the command table's: the
// commands it implements get actions, with the user's bindings. Main thread only.
class PlovexBase : public QMainWindow
{
    Q_OBJECT

public:
    explicit PlovexBase(const QStringList& startupFiles, QWidget* parent = nullptr);
    ~PlovexBase() override;

    QList<Source*> Sources() const; // the project's, in tree order
    Project* GetProject() const;
    ProjectManager* Manager() const { return m_manager.get(); }
    // The project file at `path` replaces the project; false when it could not be read.
    bool OpenProject(const QString& path);
    // Saves the project as `path` (its path from now on).
    bool SaveProjectTo(const QString& path);
    AvManager* Engine() const { return m_engine.get(); }
    ViewerBase* Viewer() const { return m_viewer; }
    ViewerWidget* View() const { return m_view; }
    MonitorPanel* Panel() const { return m_panel; }
    ProjectTreeWidget* ProjectTree() const { return m_projectTree; }
    TimelinePanelWidget* TimelinePanel() const { return m_timelinePanel; }
    const CommandTable& Commands() const { return m_commands; }
    // The action of a command this window implements; null for the others.
    QAction* Action(int commandId) const;
    // One of the window's own actions ("playOnce", "loop", "pingPong", ...); null if none.
    QAction* OwnAction(const QString& key) const { return m_actions.byKey.value(key); }
    ConsoleWindow* Console() const { return m_console; }
    // The client API server, or null when `clientApiPortEnabled` is off.
    CmdServer* ClientApiServer() const { return m_cmdServer.get(); }
    KeyboardShortcutsWindow* ShortcutsWindow() const { return m_shortcutsWindow; }
    // Null until the preferences are first shown.
    PreferencesDialog* Preferences() const { return m_preferences; }

    // The title: the timeline's name (or "Plovex"), "*" while the project has unsaved
    // changes, and " - Frame %1" with the display frame of the last refresh.
    QString TitleText() const;

public slots:
    void SetTimelineName(const QString& timelineName);
    // The name of the timeline shown in viewer A, as the project has it now.
    void UpdateTimelineName();
    void SetDisplayFrame(int displayFrame);
    void SetAlwaysOnTopEnabled(bool enabled);
    void SetMenuBarVisible(bool visible);
    void SetSideBarVisible(bool visible);
    void SetSideBarLeft(bool left);
    // Full screen hides the menu bar (when shown) and gives the whole screen to the picture;
    // leaving it restores the window's state and exactly what was visible before.
    void SetFullscreenEnabled(bool enabled);
    void ToggleFullscreen() { SetFullscreenEnabled(!m_fullscreen); }
    // Esc: leaves full screen.
    void ApplicationEscape();
    // Each choice set has exactly one item checked, from the current state.
    void UpdateLoopActions();
    void UpdateVideoActions();
    void UpdatePlaybackActions();
    // The time bars' and rows' check marks.
    void UpdateToolsActions();
    // Resizes the window so that the viewer gets `width` x `height` (not in full screen, and
    // never beyond the screen).
    void ResizeViewer(int width, int height);
    void UpdateRecentFilesSubMenu();
    void UpdateRecentProjectsSubMenu();
    void ClearRecentFiles();
    void ClearRecentProjects();
    // Arguments forwarded by another start of the program.
    void ProcessMessageFromOtherInstance(const QStringList& arguments);
    // Opens the start-up files once the window has been shown.
    void PostShow();
    void OpenNewInstance();
    // The console's command line: "clear", "about", "cache" and "reset audio"; anything
    // else is ignored.
    void ExecuteConsoleCommand(const QString& command);
    // Shows the console, or raises it when it is shown already.
    void ShowConsoleWindow();
    void ShowKeyboardShortcuts();
    // The player panel's Maya Tools dialog.
    void ShowMayaToolsDialog();
    // Builds the preferences dialog on first use and shows it; nothing in full screen.
    void ShowPreferencesDialog();
    // The player panel and the side bar take up what the preferences changed.
    void OnPreferencesAccepted();
    // Opens the user documentation (the installed README, or the source tree's beside a build
    // tree) with the desktop's viewer; logs an error when there is none or it cannot be opened.
    void OpenDocumentation();

signals:
    // A source finished probing (whatever the outcome).
    void SourceParsed(Source* source);

protected:
    // A shortcut override of F2 that nothing below took while a side-bar item's name is being
    // edited is taken here, so F2 goes to the editor and not to its command.
    bool event(QEvent* event) override;
    // The window system leaving full screen by itself is followed like F11.
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Connects an action (a command's, or one of the window's own by key) to what it does;
    // the input block of a load holds it back. Returns the action, or null when there is none.
    QAction* AddCommand(int commandId, const std::function<void()>& handler);
    QAction* AddOwn(const QString& key, const std::function<void()>& handler);
    // Enables the actions something was connected to, and disables the others.
    void UpdateActionAvailability();
    // The window's folders for dialogs.
    static QString ProjectFilter();
    // The dock and toolbar state, then the side bar's place and visibility from the settings.
    void RestoreDockState(const QByteArray& state);
    // Asks where to save the project (with the current format's ending added when the name has
    // none or an old one); empty when cancelled.
    QString AskProjectSavePath(const QString& title);
    static QString DocumentationPath();

private:
    // Steps shared by forwarded arguments and start-up files.
    void OpenPaths(const QStringList& paths);
    void OpenUrlsInViewer(const QList<QUrl>& urls, int viewportIndex, int viewportCount, bool autoPlay);
    // Imports the paths (a path ending in "@" is a checked source name) as one undoable step;
    // the first two, in the order given, are shown from viewer `firstViewer` on.
    void ImportFiles(const QStringList& paths, bool detectSequences, int firstViewer = 0);
    void ImportFromDialog();
    void RefreshTitle();
    // Whether closing may go on: asks about unsaved changes as `confirmOnClose` says.
    bool MayClose();
    QMenu* SubMenu(const QString& menu, const QString& title) const;
    void FillRecentMenu(QMenu* menu, const QStringList& paths, int count, const std::function<void(const QString&)>& open,
                        const std::function<void()>& clear);
    void OpenProjectFromDialog();
    void SaveProject();
    void SaveProjectAs();
    bool HasSourceNamed(const QString& sequencePath) const;
    void CreateActions();
    QAction* Handle(QAction* action, const std::function<void()>& handler);
    void PrintCacheInfo();

    QStringList m_startupFiles;
    bool m_shownOnce = false;
    MenuLayout::Built m_actions;   // every action, by command id or key
    QSet<QAction*> m_handled;      // those this window acts on; the others are disabled
    std::unique_ptr<AvManager> m_engine;
    std::unique_ptr<ProjectManager> m_manager; // after m_engine: its timelines outlive engine threads
    std::unique_ptr<CmdServer> m_cmdServer; // after m_manager: it detaches from it first; null when disabled
    MonitorPanel* m_panel = nullptr; // the player, the central widget
    ViewerWidget* m_view = nullptr;  // the picture area, a child of the window
    ViewerBase* m_viewer = nullptr;  // its renderer
    bool m_inputBlocked = false; // while a project or import loads
    bool m_closing = false;      // from the destructor on: nothing new starts
    QString m_timelineName;
    bool m_fullscreen = false; // asked for; the window system may lag behind
    bool m_menuBarBeforeFullscreen = true;
    bool m_sideBarBeforeFullscreen = true;
    bool m_viewerControlsBeforeFullscreen = true;
    QDockWidget* m_sideBar = nullptr; // the side bar: the project tree over the timeline panel
    QSplitter* m_sideBarSplitter = nullptr; // its sections; their sizes are the side bar's state
    ProjectTreeWidget* m_projectTree = nullptr;
    TimelinePanelWidget* m_timelinePanel = nullptr; // the clips of one timeline, under the tree
    int m_displayFrame = 0;
    CommandTable m_commands;
    ConsoleWindow* m_console = nullptr; // a window of its own, a child of this one
    KeyboardShortcutsWindow* m_shortcutsWindow = nullptr; // likewise; deleted before m_commands
    PreferencesDialog* m_preferences = nullptr; // likewise; built on first use, deleted before m_engine
};
