#pragma once

#include "core/CommandTable.h"

#include <QWidget>

class QComboBox;
class QKeySequenceEdit;
class QLineEdit;
class QListWidget;
class QPushButton;

// The keyboard page of the preferences: the user's key bindings edited on a copy of the
// command table, which the dialog hands back to the real table on OK.
//
// The list holds the bindable commands that are not fixed, by label; the fixed ones (Esc,
// Del) are searched when a key is typed, shown as "<label> (Permanent)", and their keys cannot
// be assigned. A filter box narrows the list to the commands whose label or one of whose keys
// holds its text. Every edit (Assign, Remove, Restore Defaults) changes only the copy.
// Main thread only.
class KeyboardPreferencesPage : public QWidget
{
    Q_OBJECT

public:
    explicit KeyboardPreferencesPage(QWidget* parent = nullptr);

    // Replaces the copy being edited (`commands` is an editable copy of the table) and
    // refills the list, keeping the filter.
    void SetCommands(const CommandTable& commands);
    const CommandTable& Commands() const { return m_commands; }

    // The id of the command selected in the list; 0 when none.
    int SelectedId() const;
    // Selects the command `id` in the list, when it is listed and not filtered out.
    void Select(int id);

private:
    // The bindable commands of the copy: those the page shows or searches.
    QList<const Command*> Bindable() const;
    void FillList();
    void ApplyFilter();
    // The drop-down of the selected command's shortcuts, `current` selected when present.
    void FillAssigned(const QString& current = QString());
    void OnSelectionChanged();
    // Shows which command of the copy holds the key in the capture field, and disables Assign
    // when that command is fixed; run again after every edit of the copy.
    void OnCaptureChanged();
    void RemoveShown();
    void AssignCaptured();
    void AskRestoreDefaults();
    // Takes `text` (portable) away from every editable command of the copy.
    void TakeAway(const QString& text);

    CommandTable m_commands{QString()}; // the copy; never loads or saves a file itself
    QLineEdit* m_filter = nullptr;
    QListWidget* m_list = nullptr;
    QComboBox* m_assigned = nullptr;
    QPushButton* m_remove = nullptr;
    QKeySequenceEdit* m_capture = nullptr;
    QPushButton* m_assign = nullptr;
    QLineEdit* m_usedBy = nullptr;
    QPushButton* m_restoreDefaults = nullptr;
};
