#pragma once

#include <QDialog>

#include <QList>

#include <functional>
#include <tuple>
#include <vector>

class AvManager;
class CommandTable;
class KeyboardPreferencesPage;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QString;
struct Settings;

// The preferences: most keys of the settings' "preferences" group and the user's key bindings,
// edited in seven pages (General, Project, Keyboard, Annotation, Export, Network, Advanced) and
// written back only on OK.
//
// Every show fills each control from its key, takes a fresh editable copy of the command table
// for the keyboard page, and copies the four values the export page's sub-dialogs edit; Cancel
// (or closing the window) drops all of it. OK, in order: hands the edited bindings to the
// command table (which applies and saves them), sets the temporary folder, writes every control
// to its key, saves the settings file, and, when `cacheSize` changed, has the engine share the
// new cache size among the timelines being decoded; then the dialog closes as accepted.
//
// A control the user did not touch leaves its key exactly as it was, even where the control
// cannot show the stored value (a value outside the control's limits, more decimals than it
// shows): OK without edits changes no setting. Controls are named after their keys
// (QObject::objectName), radio buttons after their key and value ("confirmOnClose2").
//
// Lives on the main thread; `commands` and `engine` outlive it.
class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    PreferencesDialog(CommandTable& commands, AvManager* engine, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    KeyboardPreferencesPage* KeyboardPage() const { return m_keyboard; }
    // Shows the page at `index` of the list (0 General ... 6 Advanced).
    void SelectPage(int index);

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A control and its key: how the control is filled from the key, and how it is written
    // back on OK.
    struct Field
    {
        std::function<void()> fill;
        std::function<void()> write;
    };

    void AddPage(const QString& name, QWidget* page);
    // A check box per option (object name, text, key), each filled from and written to its key.
    using CheckOption = std::tuple<const char*, const char*, bool Settings::*>;
    QList<QWidget*> AddCheckBoxes(QWidget* page, const QList<CheckOption>& options);
    QWidget* BuildGeneralPage();
    QWidget* BuildProjectPage();
    QWidget* BuildAnnotationPage();
    QWidget* BuildExportPage();
    QWidget* BuildNetworkPage();
    QWidget* BuildAdvancedPage();
    // A path field with its "Browse..." button (a folder chooser unless `file`); the button
    // puts the chosen path in the field, cancelling leaves it.
    QWidget* PathRow(QLineEdit* field, const QString& title, bool file, const std::function<QString()>& startWhenEmpty);
    void FillAll();
    void OpenFormatSettings();
    void OpenImageSequenceSettings();
    void OpenCodecSettings();

    CommandTable& m_commands;
    AvManager* m_engine;
    QListWidget* m_pageList = nullptr;
    QStackedWidget* m_pages = nullptr;
    KeyboardPreferencesPage* m_keyboard = nullptr;
    std::vector<Field> m_fields;
    QLineEdit* m_tempDir = nullptr;
    QLineEdit* m_ffmpegPath = nullptr;
    QPushButton* m_ffmpegBrowse = nullptr;
    QLabel* m_ffmpegNote = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_codec = nullptr;
    // The sub-dialogs' values, from their keys at each show, to their keys on OK.
    int m_h264Quality = 1;
    int m_h264Preset = 3;
    int m_imagePadding = 4;
    int m_imageNumberingType = 0;
    int m_cacheSizeAtShow = 0; // MB
};
