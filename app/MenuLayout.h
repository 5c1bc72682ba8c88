#pragma once

#include <QHash>
#include <QList>
#include <QString>

class CommandTable;
class QAction;
class QMenuBar;
class QWidget;

// The main window's actions and menus as data: the menu text, checkable flag and value of the
// action of every command, the actions without a command (named by a key of their own), and
// the menu bar's menus with their items, separators and submenus in order. The window builds
// its actions and menus from it; tests compare the built menu bar with it.
namespace MenuLayout {

// An action: a command's (id > 0), or one of the window's own (id 0, named by `key`).
struct Action
{
    int id = 0;
    const char* key = nullptr; // for the window's own actions
    const char* text = "";
    bool checkable = false;
    double value = 0.0; // action data when not 0 (speeds, size factors)
};

// A menu entry: an action (by command id or key), a separator, or a submenu.
struct Entry
{
    enum Kind { ActionEntry, Separator, Submenu };
    Kind kind = ActionEntry;
    int id = 0;
    const char* key = nullptr;
    const char* title = nullptr; // a submenu's
    QList<Entry> entries;        // a submenu's
};

struct Menu
{
    const char* title;
    QList<Entry> entries;
};

// Every action the window makes, commands first in table order.
const QList<Action>& Actions();
// The menu bar, in order. `undoItems`: the Edit menu's "Undo", "Redo" and their separator
// (present only when the project undo history was on at construction).
QList<Menu> Menus(bool undoItems);

// The actions made from Actions(): children of `window` and added to it, so that their keys
// work while the menu bar is hidden; a command's is attached to `commands` (which gives it its
// keys) and has the command's label as its status tip.
struct Built
{
    QHash<int, QAction*> byId;
    QHash<QString, QAction*> byKey;
};
Built CreateActions(QWidget& window, CommandTable& commands);
// Fills `bar` with Menus(undoItems) over the built actions.
void FillMenuBar(QMenuBar& bar, const Built& actions, bool undoItems);

} // namespace MenuLayout
