#include "core/CommandTable.h"

#include "core/Logger.h"
#include "core/Settings.h"

#include <QAction>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

const QString kUndefinedKey = QStringLiteral("UndefinedKey");

enum class CommandFlag { None, Fixed, NotBindable };

struct CommandRow
{
    int id;
    const char* name;
    const char* label;
    QList<QKeySequence> shortcuts;
    CommandFlag flag;
};

// Every binding the platform has for a standard key (Redo is both Ctrl+Shift+Z and Ctrl+Y
// on some).
QList<QKeySequence> Standard(QKeySequence::StandardKey key)
{
    return QKeySequence::keyBindings(key);
}

QKeySequence Text(const char16_t* text)
{
    return QKeySequence(QString::fromUtf16(text));
}

QKeySequence Code(QKeyCombination combination)
{
    return QKeySequence(combination);
}

QKeySequence Code(Qt::Key key)
{
    return QKeySequence(key);
}

// The table in its fixed order; the order decides who keeps a contested key.
QList<CommandRow> Rows()
{
    return {
        {1, "importFile", "Import File", Standard(QKeySequence::Open), CommandFlag::None},
        {2, "importRecentFile", "Import Recent File", {Text(u"Ctrl+Alt+O")}, CommandFlag::None},
        {3, "importFolder", "Import Folder", {}, CommandFlag::None},
        {4, "newProject", "New Project", Standard(QKeySequence::New), CommandFlag::None},
        {5, "openProject", "Open Project", {Text(u"Ctrl+Shift+O")}, CommandFlag::None},
        {6, "openRecentProject", "Open Recent Project", {Text(u"Ctrl+Alt+Shift+O")}, CommandFlag::None},
        {7, "saveProject", "Save Project", Standard(QKeySequence::Save), CommandFlag::None},
        {8, "saveProjectAs", "Save Project As", {Text(u"Ctrl+Shift+S")}, CommandFlag::None},
        {9, "exportToFile", "Export to File", {Text(u"Ctrl+E")}, CommandFlag::None},
        {10, "saveSourceAs", "Save Source As", {Text(u"Ctrl+D")}, CommandFlag::NotBindable},
        {11, "replaceSource", "Replace Source", {}, CommandFlag::NotBindable},
        {12, "captureToClipboard", "Capture to Clipboard", {Text(u"Ctrl+C")}, CommandFlag::None},
        {13, "captureToFolder", "Capture to Folder", {Text(u"Ctrl+Shift+C")}, CommandFlag::None},
        {14, "showInFolder", "Show in Folder", {Text(u"Ctrl+F")}, CommandFlag::NotBindable},
        {15, "openNewInstance", "Open New Instance", {}, CommandFlag::None},
        {16, "exit", "Exit", {Text(u"Alt+F4")}, CommandFlag::None},
        {17, "undo", "Undo", Standard(QKeySequence::Undo), CommandFlag::None},
        {18, "redo", "Redo", Standard(QKeySequence::Redo), CommandFlag::None},
        {19, "rangeStartToCurrent", "Range Start to Current", {Code(Qt::Key_Comma)}, CommandFlag::None},
        {20, "rangeEndToCurrent", "Range End to Current", {Code(Qt::Key_Period)}, CommandFlag::None},
        {21, "resetRange", "Reset Range", {Text(u"Ctrl+P")}, CommandFlag::None},
        {22, "toggleAlwaysOnTop", "Toggle Always on Top", {Text(u"Ctrl+K")}, CommandFlag::None},
        {23, "showProjectSettings", "Show Project Settings", {Text(u"Ctrl+Alt+P")}, CommandFlag::None},
        {24, "showPreferences", "Show Preferences", {Text(u"Ctrl+Shift+P")}, CommandFlag::None},
        {25, "playPause", "Play/Pause", {Code(Qt::Key_Space)}, CommandFlag::None},
        {26, "playPauseBookmarksOnly", "Play/Pause (Bookmarks Only)", {Code(Qt::CTRL | Qt::Key_Space)}, CommandFlag::None},
        {27, "playForwards", "Play Forwards/Pause", {Code(Qt::Key_L)}, CommandFlag::None},
        {28, "playBackwards", "Play Backwards/Pause", {Code(Qt::Key_J)}, CommandFlag::None},
        {29, "pause", "Pause", {Code(Qt::Key_K)}, CommandFlag::None},
        {30, "stepForwards", "Step Forwards", {Code(Qt::Key_Right)}, CommandFlag::None},
        {31, "stepBackwards", "Step Backwards", {Code(Qt::Key_Left)}, CommandFlag::None},
        {32, "multiStepForwards", "Multi-Step Forwards", {Code(Qt::ALT | Qt::Key_Right)}, CommandFlag::None},
        {33, "multiStepBackwards", "Multi-Step Backwards", {Code(Qt::ALT | Qt::Key_Left)}, CommandFlag::None},
        {34, "seekStart", "Go to Start", {Code(Qt::Key_Home)}, CommandFlag::None},
        {35, "seekEnd", "Go to End", {Code(Qt::Key_End)}, CommandFlag::None},
        {36, "seekRangeStart", "Go to Range Start", {Code(Qt::CTRL | Qt::Key_Left)}, CommandFlag::None},
        {37, "seekRangeEnd", "Go to Range End", {Code(Qt::CTRL | Qt::Key_Right)}, CommandFlag::None},
        {38, "seekPreviousEdit", "Go to Previous Edit", {Code(Qt::SHIFT | Qt::Key_Left)}, CommandFlag::None},
        {39, "seekNextEdit", "Go to Next Edit", {Code(Qt::SHIFT | Qt::Key_Right)}, CommandFlag::None},
        {40, "toggleLoop", "Toggle Loop", {Text(u"Ctrl+L")}, CommandFlag::None},
        {41, "tooglePingPong", "Toggle Ping Pong", {Text(u"Ctrl+Shift+L")}, CommandFlag::None},
        {42, "toggleLoopOnStepScrub", "Toggle Loop on Step/Scrub", {Text(u"Ctrl+Shift+;")}, CommandFlag::None},
        {43, "toggleLoopStepScrubToRange", "Toggle Loop Step/Scrub to Range", {}, CommandFlag::None},
        {44, "toggleLockStepScrubToRange", "Toggle Lock Step/Scrub to Range", {}, CommandFlag::None},
        {45, "toggleAutoplay", "Toggle Autoplay", {Text(u"Ctrl+A")}, CommandFlag::None},
        {46, "playbackSpeedNormal", "Playback Speed Normal", {Code(Qt::Key_0)}, CommandFlag::None},
        {47, "playbackSpeedHalf", "Playback Speed Half", {Code(Qt::Key_9)}, CommandFlag::None},
        {48, "playbackSpeedQuarter", "Playback Speed Quarter", {Code(Qt::Key_8)}, CommandFlag::None},
        {49, "togglePlaybackSpeed", "Toggle Playback Speed", {Code(Qt::CTRL | Qt::Key_0)}, CommandFlag::None},
        {50, "increasePlaybackSpeed", "Increase Playback Speed", {Text(u"+"), Text(u"=")}, CommandFlag::None},
        {51, "decreasePlaybackSpeed", "Decrease Playback Speed", {Text(u"-")}, CommandFlag::None},
        {52, "toggleAudioScrub", "Toggle Audio Scrub", {Text(u"Ctrl+Shift+A")}, CommandFlag::None},
        {53, "increaseVolume", "Increase Volume", {Code(Qt::SHIFT | Qt::Key_Up)}, CommandFlag::None},
        {54, "decreaseVolume", "Decrease Volume", {Code(Qt::SHIFT | Qt::Key_Down)}, CommandFlag::None},
        {55, "toggleMute", "Toggle Mute", {Text(u"Ctrl+M")}, CommandFlag::None},
        {56, "toggleViewerAOverB", "Toggle Viewer A/B", {Text(u"Ctrl+V")}, CommandFlag::None},
        {57, "toggleViewerHorizontal", "Toggle Viewer Horizontal", {Text(u"Ctrl+Shift+V")}, CommandFlag::None},
        {58, "toggleViewerVertical", "Toggle Viewer Vertical", {Text(u"Ctrl+Alt+V")}, CommandFlag::None},
        {59, "toggleViewerGrid", "Toggle Viewer Grid", {}, CommandFlag::None},
        {60, "annotationsOn", "Annotations On", {}, CommandFlag::None},
        {61, "annotationsOffDuringPlayback", "Annoations Off During Playback", {}, CommandFlag::None},
        {62, "annotationsOff", "Annoatations Off", {}, CommandFlag::None},
        {63, "overlayOff", "Overlay Off", {}, CommandFlag::None},
        {64, "overlaySafeArea", "Overlay Safe Area", {}, CommandFlag::None},
        {65, "overlayGrid", "Overlay Grid", {}, CommandFlag::None},
        {66, "overlayCenter", "Overlay Center", {}, CommandFlag::None},
        {67, "resizeToOriginal", "Resize to Original", {Text(u"Ctrl+1")}, CommandFlag::None},
        {68, "resizeToHalf", "Resize to Half", {Text(u"Ctrl+2")}, CommandFlag::None},
        {69, "resizeToQuarter", "Resize to Quarter", {Text(u"Ctrl+3")}, CommandFlag::None},
        {70, "resizeToDouble", "Resize to Double", {Text(u"Ctrl+Shift+2")}, CommandFlag::None},
        {71, "toggleFullscreen", "Toggle Fullscreen", {Code(Qt::Key_F11)}, CommandFlag::None},
        {72, "zoomIn", "Zoom In", {Code(Qt::CTRL | Qt::Key_Plus), Code(Qt::CTRL | Qt::Key_Equal)}, CommandFlag::None},
        {73, "zoomOut", "Zoom Out", {Text(u"Ctrl+-")}, CommandFlag::None},
        {74, "togglePanZoom", "Toggle Pan/Zoom", {Code(Qt::Key_Backslash)}, CommandFlag::None},
        {75, "resetPanZoom", "Reset Pan/Zoom", {Code(Qt::CTRL | Qt::Key_Backslash)}, CommandFlag::None},
        {76, "flipHorizontal", "Flip Horizontal", {Text(u"Ctrl+X")}, CommandFlag::None},
        {77, "flipVertical", "Flip Vertical", {Text(u"Ctrl+Shift+X")}, CommandFlag::None},
        {78, "rotateCW", "Rotate CW", {Text(u"Ctrl+Shift+M")}, CommandFlag::None},
        {79, "rotateCCW", "Rotate CCW", {Text(u"Ctrl+Shift+N")}, CommandFlag::None},
        {80, "resetFlipRotate", "Reset Flip/Rotate", {Text(u"Ctrl+Alt+Shift+X")}, CommandFlag::None},
        {81, "toggleABWipe", "Toggle A/B Wipe", {Code(Qt::Key_W)}, CommandFlag::None},
        {82, "resetABWipe", "Reset A/B Wipe", {Text(u"Ctrl+Shift+W")}, CommandFlag::None},
        {83, "toggleABWipeSnap", "Toggle A/B Wipe Snap", {}, CommandFlag::None},
        {84, "toggleABWipeSnapGuides", "Toggle A/B Wipe Snap Guides", {}, CommandFlag::None},
        {85, "toggleBookmark", "Toggle Bookmark", {Code(Qt::Key_F)}, CommandFlag::None},
        {86, "toggleRangeBookmark", "Toggle Range Bookmark", {Code(Qt::Key_R)}, CommandFlag::None},
        {87, "cutBookmark", "Cut Bookmark", {Text(u"Shift+X")}, CommandFlag::None},
        {88, "copyBookmark", "Copy Bookmark", {Text(u"Shift+C")}, CommandFlag::None},
        {89, "pasteBookmark", "Paste Bookmark", {Text(u"Shift+V")}, CommandFlag::None},
        {90, "removeBookmarks", "Remove Bookmarks", {Text(u"Ctrl+Shift+F")}, CommandFlag::None},
        {91, "removeBookmarksInRange", "Remove Bookmarks in Range", {Text(u"Ctrl+Alt+F")}, CommandFlag::None},
        {92, "removeRangeBookmarks", "Remove Range Bookmarks", {Text(u"Ctrl+Shift+R")}, CommandFlag::None},
        {93, "clearAllBookmarks", "Clear All Bookmarks", {Text(u"Ctrl+Shift+Alt+F")}, CommandFlag::None},
        {94, "previousBookmark", "Previous Bookmark", {Text(u"[")}, CommandFlag::None},
        {95, "nextBookmark", "Next Bookmark", {Text(u"]")}, CommandFlag::None},
        {96, "previousRangeBookmark", "Previous Range Bookmark", {Text(u"Ctrl+[")}, CommandFlag::None},
        {97, "nextRangeBookmark", "Next Range Bookmark", {Text(u"Ctrl+]")}, CommandFlag::None},
        {98, "swapABTimelines", "Swap A/B Timelines", {Text(u"Ctrl+T")}, CommandFlag::None},
        {99, "clearAllViewerTimelines", "Clear All Viewer Timelines", {}, CommandFlag::None},
        {100, "swapTimeControls", "Swap Time Controls", {Text(u"Ctrl+Shift+T")}, CommandFlag::None},
        {101, "toggleGlobalTimeControl", "Toggle Time Control", {Code(Qt::Key_F2)}, CommandFlag::None},
        {102, "toggleRangeTimeControl", "Toggle Range Time Control", {Code(Qt::Key_F3)}, CommandFlag::None},
        {103, "togglePlaybackControls", "Toggle Playback Controls", {Code(Qt::Key_F4)}, CommandFlag::None},
        {104, "toggleViewerControls", "Toggle Viewer Controls", {Code(Qt::Key_F5)}, CommandFlag::None},
        {105, "toggleMenuBar", "Toggle Menu Bar", {Code(Qt::Key_F6)}, CommandFlag::None},
        {106, "toggleSideBar", "Toggle Side Bar", {Code(Qt::CTRL | Qt::Key_B)}, CommandFlag::None},
        {107, "moveSideBar", "Move Side Bar", {}, CommandFlag::None},
        {108, "toggleAnnotationTools", "Toggle Annotation Tools", {Code(Qt::Key_F8)}, CommandFlag::None},
        {109, "toggleMediaInfo", "Toggle Media Info", {Code(Qt::Key_F9)}, CommandFlag::None},
        {110, "toggleConsole", "Toggle Console", {Code(Qt::Key_F10)}, CommandFlag::None},
        {111, "showMayaTools", "Show Maya Tools", {Text(u"Ctrl+Alt+M")}, CommandFlag::None},
        {112, "activatePencil", "Activate Pencil", {Code(Qt::Key_P)}, CommandFlag::None},
        {113, "activateLaserPointer", "Activate Laser Pointer", {Code(Qt::Key_B)}, CommandFlag::None},
        {114, "activateEraser", "Activate Eraser", {Code(Qt::Key_E)}, CommandFlag::None},
        {115, "activateText", "Activate Text", {Code(Qt::Key_T)}, CommandFlag::None},
        {116, "activateArrow", "Activate Arrow", {Code(Qt::Key_A)}, CommandFlag::None},
        {117, "activateEllipse", "Activate Ellipse", {Code(Qt::Key_O)}, CommandFlag::None},
        {118, "activateRectangle", "Activate Rectangle", {Code(Qt::Key_U)}, CommandFlag::None},
        {119, "activateEyedropper", "Activate Eyedropper", {Code(Qt::Key_I)}, CommandFlag::None},
        {120, "increaseToolSize", "Increase Tool Size", {}, CommandFlag::None},
        {121, "decreaseToolSize", "Decrease Tool Size", {}, CommandFlag::None},
        {122, "toggleHoldAnnotations", "Toggle Hold Annotations", {Code(Qt::Key_H)}, CommandFlag::None},
        {123, "toggleGhosting", "Toggle Ghosting", {Code(Qt::Key_G)}, CommandFlag::None},
        {124, "openDocumentation", "Open Documentation", {}, CommandFlag::None},
        {125, "applicationEsc", "Application", {Code(Qt::Key_Escape)}, CommandFlag::Fixed},
        {126, "applicationDel", "Application", {Code(Qt::Key_Delete)}, CommandFlag::Fixed},
    };
}

} // namespace

CommandTable::CommandTable()
    : CommandTable(Settings::SettingsDirPath().isEmpty()
                       ? QString()
                       : QStringLiteral("%1/%2_bindings.ini").arg(Settings::SettingsDirPath(), QStringLiteral("plovex")))
{
}

CommandTable::CommandTable(const QString& bindingsPath)
    : m_bindingsPath(bindingsPath)
{
    const QList<CommandRow> rows = Rows();
    m_commands.reserve(rows.size());
    for (const CommandRow& row : rows) {
        Command command;
        command.id = row.id;
        command.name = QString::fromLatin1(row.name);
        command.label = QString::fromLatin1(row.label);
        command.defaultShortcuts = row.shortcuts;
        command.currentShortcuts = row.shortcuts;
        command.fixed = row.flag == CommandFlag::Fixed;
        command.bindable = row.flag != CommandFlag::NotBindable;
        m_commands.append(command);
    }
}

const Command* CommandTable::Find(int id) const
{
    const auto it = std::find_if(m_commands.cbegin(), m_commands.cend(), [id](const Command& c) { return c.id == id; });
    return it == m_commands.cend() ? nullptr : &*it;
}

Command* CommandTable::FindMutable(int id)
{
    const auto it = std::find_if(m_commands.begin(), m_commands.end(), [id](const Command& c) { return c.id == id; });
    return it == m_commands.end() ? nullptr : &*it;
}

const Command* CommandTable::FindByName(const QString& name) const
{
    const auto it = std::find_if(m_commands.cbegin(), m_commands.cend(), [&](const Command& c) { return c.name == name; });
    return it == m_commands.cend() ? nullptr : &*it;
}

void CommandTable::AttachAction(int id, QAction* action)
{
    if (Command* command = FindMutable(id))
        command->action = action;
}

void CommandTable::LoadBindings()
{
    if (!m_bindingsPath.isEmpty() && QFileInfo::exists(m_bindingsPath)) {
        QSettings file(m_bindingsPath, QSettings::IniFormat);
        file.beginGroup(QStringLiteral("user_bindings"));
        for (Command& command : m_commands) {
            if (!command.bindable || command.fixed)
                continue;
            const QStringList stored = file.value(command.name, QStringList{kUndefinedKey}).toStringList();
            command.currentShortcuts = FromStored(stored, command.defaultShortcuts);
        }
        file.endGroup();
    }
    Apply();
}

void CommandTable::Apply()
{
    // The fixed commands' keys (Esc, Del) are theirs whatever the file gives other commands:
    // they are taken first, and a command later asking for one loses it like any duplicate.
    QList<QKeySequence> used;
    for (const Command& command : std::as_const(m_commands))
        if (command.action && command.bindable && command.fixed)
            used += command.defaultShortcuts;
    for (const Command& command : std::as_const(m_commands)) {
        if (!command.action || !command.bindable)
            continue;
        if (command.fixed) {
            command.action->setShortcuts(command.defaultShortcuts);
            continue;
        }
        QList<QKeySequence> shortcuts = command.currentShortcuts;
        bool removed = false;
        for (qsizetype i = shortcuts.size() - 1; i >= 0; --i) {
            const QKeySequence& sequence = shortcuts.at(i);
            if (sequence.isEmpty() || !used.contains(sequence))
                continue;
            Logger::warning(QStringLiteral("Duplicate hotkey detected: %1 (%2)")
                                .arg(command.label, sequence.toString(QKeySequence::PortableText)));
            shortcuts.removeAt(i);
            removed = true;
        }
        if (removed && shortcuts.isEmpty())
            shortcuts.append(QKeySequence());
        command.action->setShortcuts(shortcuts);
        used += shortcuts;
    }
}

bool CommandTable::SaveBindings() const
{
    if (m_bindingsPath.isEmpty())
        return false;
    QSettings file(m_bindingsPath, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("main"));
    file.setValue(QStringLiteral("version"), 1);
    file.endGroup();
    file.beginGroup(QStringLiteral("user_bindings"));
    for (const Command& command : m_commands)
        if (command.bindable && !command.fixed)
            file.setValue(command.name, ToStored(command.currentShortcuts));
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}

CommandTable CommandTable::EditableCopy() const
{
    CommandTable copy = *this;
    for (Command& command : copy.m_commands)
        command.action = nullptr;
    return copy;
}

void CommandTable::SetCurrentShortcuts(int id, const QList<QKeySequence>& shortcuts)
{
    Command* command = FindMutable(id);
    if (command && !command->fixed)
        command->currentShortcuts = shortcuts;
}

void CommandTable::RestoreDefaults()
{
    for (Command& command : m_commands)
        command.currentShortcuts = command.defaultShortcuts;
}

void CommandTable::ReplaceFromCopy(const CommandTable& edited)
{
    for (const Command& source : edited.m_commands)
        if (Command* command = FindMutable(source.id))
            command->currentShortcuts = source.currentShortcuts;
    Apply();
    SaveBindings();
}

QStringList CommandTable::ToStored(const QList<QKeySequence>& shortcuts)
{
    QStringList stored;
    for (const QKeySequence& sequence : shortcuts)
        if (!sequence.isEmpty())
            stored.append(sequence.toString(QKeySequence::PortableText));
    if (stored.isEmpty())
        stored.append(QString());
    return stored;
}

QList<QKeySequence> CommandTable::FromStored(const QStringList& stored, const QList<QKeySequence>& defaults)
{
    QList<QKeySequence> shortcuts;
    for (const QString& entry : stored) {
        if (entry == kUndefinedKey) {
            shortcuts = defaults;
            continue;
        }
        // An empty or unparsable entry assigns nothing.
        const QKeySequence sequence(entry, QKeySequence::NativeText);
        if (!sequence.isEmpty() && !sequence.toString(QKeySequence::PortableText).isEmpty())
            shortcuts.append(sequence);
    }
    return shortcuts;
}
