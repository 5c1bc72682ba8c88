#pragma once

#include "core/CommandId.h"

#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QString>

class QAction;

// One keyboard-reachable operation: a fixed id, a stable name (the key in the user's
// bindings file), a label for people, and its shortcuts.
struct Command
{
    int id = 0;
    QString name;
    QString label;
    QList<QKeySequence> defaultShortcuts;
    QList<QKeySequence> currentShortcuts; // in force; start as the defaults
    QPointer<QAction> action;             // the window's action, when it has one
    bool fixed = false;                   // always the defaults; never edited or saved
    bool bindable = true;                 // takes part in applying and saving at all
};

// The program's commands in their fixed order, and the user's key bindings for them.
//
// The window attaches one action per command it implements; Apply() then sets the actions'
// shortcuts. Only what a user may edit is kept in the bindings file ("plovex_bindings.ini" in
// the settings folder), keyed by command name, group "user_bindings": a list of shortcuts in
// portable text, one empty string for none, "UndefinedKey" for the defaults. When two
// commands claim the same key the one earlier in the table keeps it, and the later one loses
// it with the warning "Duplicate hotkey detected: <label> (<key>)"; the fixed commands'
// keys (Esc, Del) are never lost.
//
// The preferences dialog edits a copy (EditableCopy) and hands it back (ReplaceFromCopy).
// Main thread only.
class CommandTable
{
public:
    // The bindings file in the settings folder; none when there is no settings folder.
    CommandTable();
    // The bindings file at `bindingsPath`; an empty path loads and saves nothing.
    explicit CommandTable(const QString& bindingsPath);

    const QList<Command>& Commands() const { return m_commands; }
    const Command* Find(int id) const;
    const Command* FindByName(const QString& name) const;
    QString BindingsPath() const { return m_bindingsPath; }

    // An unknown id is ignored.
    void AttachAction(int id, QAction* action);
    // Reads the bindings file when it exists, then applies.
    void LoadBindings();
    // Gives every attached, bindable action its shortcuts, dropping keys an earlier command
    // already has.
    void Apply();
    // Writes the file; false when it could not be written (or there is no path).
    bool SaveBindings() const;

    // The same commands and shortcuts, without actions: what the preferences dialog edits.
    CommandTable EditableCopy() const;
    // Sets a command's current shortcuts (in a copy being edited). Fixed commands and unknown
    // ids are left alone.
    void SetCurrentShortcuts(int id, const QList<QKeySequence>& shortcuts);
    // Every command's current shortcuts back to its defaults (in a copy being edited).
    void RestoreDefaults();
    // Takes the current shortcuts of `edited`, matched by id, then applies and saves.
    void ReplaceFromCopy(const CommandTable& edited);

    // The saved form of a command's shortcuts, and back (see the class comment).
    static QStringList ToStored(const QList<QKeySequence>& shortcuts);
    static QList<QKeySequence> FromStored(const QStringList& stored, const QList<QKeySequence>& defaults);

private:
    Command* FindMutable(int id);

    QList<Command> m_commands;
    QString m_bindingsPath;
};
