#pragma once

#include <QWidget>

class CommandTable;
class QLineEdit;
class QTreeWidget;

// A read-only list of every command with its label, its name (as in the bindings file) and
// the keys it answers to now, narrowed by a filter box that matches any of the three. Filled
// afresh each time it is shown. Main thread only.
class KeyboardShortcutsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit KeyboardShortcutsWindow(const CommandTable& table, QWidget* parent = nullptr);

    QLineEdit* FilterBox() const { return m_filter; }
    QTreeWidget* List() const { return m_list; }
    // Rows not hidden by the filter.
    int VisibleRowCount() const;

public slots:
    void Refresh();
    void ApplyFilter(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    const CommandTable& m_table;
    QLineEdit* m_filter = nullptr;
    QTreeWidget* m_list = nullptr;
};
