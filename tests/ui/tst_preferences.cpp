// The preferences dialog, alone and in the real main window: every control has the page, group,
// label, text and limits of the preferences' tables, and so have the dialog and its sub-dialogs;
// each check box and radio button stores its own key and no other; what OK stores survives a
// restart (settings and bindings read back from their files), OK without edits rewrites both
// files byte for byte, Cancel drops every edit (Restore Defaults' included), a new cache size
// reaches a clip being decoded while an unchanged one leaves its share alone, a stored size below
// the default shows as stored, Remove takes the shortcut shown, "Shortcut currently used by:"
// follows every edit, the keys of permanent commands and an environment-set ffmpeg path cannot be
// edited (nor does OK write the field over it), and the dialog closes with the main window and is
// deleted before the engine.
#include "app/PlovexX.h"
#include "core/CommandId.h"
#include "core/CommandTable.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/CacheManager.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"
#include "ui/KeyboardPreferencesPage.h"
#include "ui/PreferencesDialog.h"
#include "viewer/SurfaceFormat.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// A main window, shown and active so that its keys work.
struct Window
{
    explicit Window(const QStringList& files = {})
        : window(files)
    {
    }
    ~Window()
    {
        Settings::Get().confirmOnClose = 2;
        window.Engine()->Shutdown(true, 20000);
    }
    bool Open()
    {
        if (!QTest::qWaitFor([this] { return window.isVisible(); }) || !QTest::qWaitForWindowExposed(&window))
            return false;
        window.activateWindow(); // no window manager on the test display does it
        return QTest::qWaitForWindowActive(&window);
    }
    // Ctrl+Shift+P, as a user opens the preferences, in the main window made active again (no
    // window manager gives it back when a dialog or a message box closes).
    PreferencesDialog* ShowPreferences()
    {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return nullptr;
        QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        PreferencesDialog* dialog = window.Preferences();
        return dialog && QTest::qWaitFor([dialog] { return dialog->isVisible(); }) ? dialog : nullptr;
    }
    PlovexX window;
};

template <typename T>
T* Control(QWidget* dialog, const QString& name)
{
    T* control = dialog->findChild<T*>(name);
    if (!control)
        qWarning("no control named %s", qPrintable(name));
    return control;
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString BindingsPath()
{
    return Settings::SettingsDirPath() + QStringLiteral("/plovex_bindings.ini");
}

QStringList Keys(const CommandTable& table, int id)
{
    QStringList keys;
    for (const QKeySequence& sequence : table.Find(id)->currentShortcuts)
        keys.append(sequence.toString(QKeySequence::PortableText));
    return keys;
}

// Types a key into the keyboard page's capture field.
void Capture(PreferencesDialog* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    auto* capture = Control<QKeySequenceEdit>(dialog, QStringLiteral("keyboardCapture"));
    capture->clear();
    QTest::keyClick(capture, key, modifiers);
}

// Answers the next question box with `button`, from a timer polling the top-level widgets:
// the box runs its own event loop inside the click that asks. Records what the box showed.
// Stops polling when it goes, so a box that never came leaves nothing behind.
class QuestionAnswer
{
public:
    explicit QuestionAnswer(QMessageBox::StandardButton button)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible())
                    continue;
                m_timer.stop();
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                defaultButton = box->standardButton(box->defaultButton());
                if (QAbstractButton* answer = box->button(button)) {
                    QTest::mouseClick(answer, Qt::LeftButton);
                    answered = true;
                } else {
                    box->reject();
                }
                return;
            }
        });
        m_timer.start(10);
    }

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool answered = false;

private:
    QTimer m_timer;
};

// Presses "Restore Defaults" on the keyboard page and answers its question with `button`.
void RestoreDefaults(PreferencesDialog* dialog, QMessageBox::StandardButton button)
{
    QuestionAnswer answer(button);
    QTest::mouseClick(Control<QPushButton>(dialog, "keyboardRestoreDefaults"), Qt::LeftButton);
    QVERIFY(answer.answered);
    QCOMPARE(answer.title, QStringLiteral("Plovex"));
    QCOMPARE(answer.text, QStringLiteral("Keyboard mappings will reset to their default values. Continue?"));
    QCOMPARE(answer.icon, QMessageBox::Warning);
    QCOMPARE(answer.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answer.defaultButton, QMessageBox::Yes);
}

// The title of the group box around `widget`, or a null string when there is none.
QString GroupTitle(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* group = qobject_cast<QGroupBox*>(w))
            return group->title();
    return QString();
}

// The text of the form label of the row that holds `widget` (directly or inside a row of
// widgets), or a null string.
QString RowLabel(QWidget* widget)
{
    for (QWidget* w = widget; w && w->parentWidget() && !qobject_cast<QGroupBox*>(w); w = w->parentWidget())
        if (auto* form = qobject_cast<QFormLayout*>(w->parentWidget()->layout()))
            if (auto* label = qobject_cast<QLabel*>(form->labelForField(w)))
                return label->text();
    return QString();
}

// The text of the label that follows `widget` in its row ("MB", "x", "(default: 4)"), or a
// null string.
QString LabelAfter(QWidget* widget)
{
    QLayout* layout = widget->parentWidget() ? widget->parentWidget()->layout() : nullptr;
    if (!layout)
        return QString();
    const int index = layout->indexOf(widget);
    if (index < 0 || index + 1 >= layout->count())
        return QString();
    auto* label = qobject_cast<QLabel*>(layout->itemAt(index + 1)->widget());
    return label ? label->text() : QString();
}

// The index of the page of `stack` that holds `widget`, or -1.
int PageOf(QWidget* widget, QStackedWidget* stack)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (w->parentWidget() == stack)
            return stack->indexOf(w);
    return -1;
}

// What a file dialog opened by a click showed; it is rejected as soon as it is seen.
struct FileDialogSeen
{
    bool seen = false;
    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool dirsOnly = false;
};

FileDialogSeen ClickAndCancelFileDialog(QAbstractButton* button)
{
    FileDialogSeen result;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            timer.stop();
            result.seen = true;
            result.title = dialog->windowTitle();
            result.mode = dialog->fileMode();
            result.dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
            dialog->reject();
            return;
        }
    });
    timer.start(10);
    QTest::mouseClick(button, Qt::LeftButton);
    return result;
}

// A bool or int key edited by a check box or a radio button, as the design names them: the
// control's object name, the key, and the value the control gives it when chosen (check
// boxes: checked).
struct ChoiceKey
{
    const char* control;
    std::function<void(Settings&)> expect; // sets the key to the value the control stands for
    bool uncheck = false;                  // a check box to clear rather than tick
};

// Every check box and every radio button that stands for a value other than the key's
// default, with the key and value it must store: written by hand from the tables of the
// preferences, not from the dialog's code.
const std::vector<ChoiceKey>& ChoiceKeys()
{
    static const std::vector<ChoiceKey> keys{
        // General
        {"confirmOnClose0", [](Settings& s) { s.confirmOnClose = 0; }},
        {"confirmOnClose2", [](Settings& s) { s.confirmOnClose = 2; }},
        {"openMediaInNewPlayers", [](Settings& s) { s.openMediaInNewPlayers = true; }},
        {"resizeToFit", [](Settings& s) { s.resizeToFit = true; }},
        {"pausePlaybackOnSeek", [](Settings& s) { s.pausePlaybackOnSeek = true; }},
        {"pausePlaybackOnScrub", [](Settings& s) { s.pausePlaybackOnScrub = true; }},
        {"endlessMouseScrub", [](Settings& s) { s.endlessMouseScrub = false; }, true},
        {"panZoomMouseControls", [](Settings& s) { s.panZoomMouseControls = false; }, true},
        {"hideAnnotationToolbarOnLaunch", [](Settings& s) { s.hideAnnotationToolbarOnLaunch = false; }, true},
        {"highlightCurrentSourceInTimelinePanel",
         [](Settings& s) { s.highlightCurrentSourceInTimelinePanel = false; }, true},
        {"playbackControlsSeekRangeStartEnd", [](Settings& s) { s.playbackControlsSeekRangeStartEnd = false; }, true},
        {"audioOnBackwardsPlayback", [](Settings& s) { s.audioOnBackwardsPlayback = true; }},
        {"hideVolumeControl", [](Settings& s) { s.hideVolumeControl = true; }},
        // Project
        {"addDefaultTimeline", [](Settings& s) { s.addDefaultTimeline = false; }, true},
        {"activateDefaultTimeline", [](Settings& s) { s.activateDefaultTimeline = false; }, true},
        {"restorePanZoomOnProjectLoad", [](Settings& s) { s.restorePanZoomOnProjectLoad = false; }, true},
        {"restoreHoldAnnotationsOnProjectLoad", [](Settings& s) { s.restoreHoldAnnotationsOnProjectLoad = false; }, true},
        // Annotation
        {"showAnnotationTextBox", [](Settings& s) { s.showAnnotationTextBox = true; }},
        {"annotationDrawArrowTipToBase", [](Settings& s) { s.annotationDrawArrowTipToBase = true; }},
        // Export
        {"exportViewer1", [](Settings& s) { s.exportViewer = true; }},
        {"exportIgnoreRange", [](Settings& s) { s.exportIgnoreRange = true; }},
        {"exportExcludeAudio", [](Settings& s) { s.exportExcludeAudio = true; }},
        {"exportUseFrameNumbering", [](Settings& s) { s.exportUseFrameNumbering = true; }},
        {"exportAnnotations", [](Settings& s) { s.exportAnnotations = true; }},
        {"exportForceOverwrite", [](Settings& s) { s.exportForceOverwrite = true; }},
        // Network
        {"clientApiPortEnabled1", [](Settings& s) { s.clientApiPortEnabled = false; }},
        // Advanced
        {"audioOnScrubType1", [](Settings& s) { s.audioOnScrubType = 1; }},
        {"audioOnScrubType2", [](Settings& s) { s.audioOnScrubType = 2; }},
        {"projectUndoEnabled", [](Settings& s) { s.projectUndoEnabled = false; }, true},
        {"showMenuBarOnLaunch", [](Settings& s) { s.showMenuBarOnLaunch = false; }, true},
        // "Software renderer (experimental)", ticked: the OpenGL viewer off.
        {"hardwareRenderingEnabled", [](Settings& s) { s.hardwareRenderingEnabled = false; }},
    };
    return keys;
}

// Chooses the control: ticks (or clears) a check box, checks a radio button.
void Choose(QWidget* dialog, const ChoiceKey& key)
{
    const QString name = QString::fromLatin1(key.control);
    if (auto* radio = dialog->findChild<QRadioButton*>(name)) {
        radio->setChecked(true);
    } else if (auto* check = Control<QCheckBox>(dialog, name)) {
        check->setChecked(!key.uncheck);
    }
}

// Changes one or more values on every page, each away from the defaults: every check box
// flipped, every group of radio buttons away from its default. Gives Toggle Mute the extra
// key Y.
void EditEveryPage(PreferencesDialog* d)
{
    // General
    Control<QLineEdit>(d, "tempDirPath")->setText(QStringLiteral("/tmp/plovex-prefs-temp"));
    Control<QSpinBox>(d, "cacheSize")->setValue(2048);
    Control<QSpinBox>(d, "numRecentFiles")->setValue(7);
    Control<QSpinBox>(d, "numRecentProjects")->setValue(2);
    Control<QRadioButton>(d, "confirmOnClose0")->setChecked(true);
    // Project
    Control<QLineEdit>(d, "defaultSourceRootDirPath")->setText(QStringLiteral("/media/shots"));
    Control<QDoubleSpinBox>(d, "defaultImageSequenceFrameRate")->setValue(29.97);
    Control<QSpinBox>(d, "defaultTimeControlFrameOffset")->setValue(1001);
    // Keyboard
    d->SelectPage(2);
    d->KeyboardPage()->Select(CommandId::ToggleMute);
    Capture(d, Qt::Key_Y);
    QTest::mouseClick(Control<QPushButton>(d, "keyboardAssign"), Qt::LeftButton);
    // Annotation
    Control<QSpinBox>(d, "annotationTextBoxWidthScaler")->setValue(50);
    Control<QSpinBox>(d, "annotationTextBoxHeightScaler")->setValue(25);
    // Export, with both sub-dialogs: the codec one accepted, the image one closed by its window
    // button.
    Control<QLineEdit>(d, "ffmpegExePath")->setText(QStringLiteral("/opt/ffmpeg/bin/ffmpeg"));
    Control<QLineEdit>(d, "exportDirPath")->setText(QStringLiteral("/tmp/plovex-exports"));
    auto* format = Control<QComboBox>(d, "exportFileFormat");
    format->setCurrentText(QStringLiteral("mov"));
    QTest::mouseClick(Control<QPushButton>(d, "exportFormatSettings"), Qt::LeftButton);
    auto* codec = Control<QDialog>(d, "codecSettings");
    QVERIFY(codec);
    QCOMPARE(codec->windowTitle(), QStringLiteral("Codec Settings (h264)"));
    Control<QComboBox>(codec, "h264Quality")->setCurrentIndex(3);
    Control<QComboBox>(codec, "h264Preset")->setCurrentIndex(5);
    codec->accept();
    QTRY_VERIFY(!d->findChild<QDialog*>(QStringLiteral("codecSettings")));
    format->setCurrentText(QStringLiteral("png"));
    QTest::mouseClick(Control<QPushButton>(d, "exportFormatSettings"), Qt::LeftButton);
    auto* images = Control<QDialog>(d, "imageSequenceSettings");
    QVERIFY(images);
    Control<QSpinBox>(images, "exportImagePadding")->setValue(6);
    Control<QRadioButton>(images, "exportImageNumberingType2")->setChecked(true);
    images->close();
    QTRY_VERIFY(!d->findChild<QDialog*>(QStringLiteral("imageSequenceSettings")));
    Control<QSpinBox>(d, "exportGlobalWidth")->setValue(1280);
    Control<QSpinBox>(d, "exportGlobalHeight")->setValue(720);
    Control<QRadioButton>(d, "exportViewer1")->setChecked(true);
    // Network
    Control<QSpinBox>(d, "clientApiPort")->setValue(18200);
    Control<QRadioButton>(d, "clientApiPortEnabled1")->setChecked(true);
    Control<QSpinBox>(d, "mayaCommandPort")->setValue(20300);
    Control<QSpinBox>(d, "mayaSyncTimeout")->setValue(2500);
    // Advanced
    Control<QSpinBox>(d, "scrubFrameInterval")->setValue(10);
    Control<QSpinBox>(d, "scrubFrameIntervalAlt")->setValue(7);
    Control<QSpinBox>(d, "scrubFrameIntervalShift")->setValue(60);
    Control<QSpinBox>(d, "imageSequenceThreadCount")->setValue(8);
    Control<QRadioButton>(d, "audioOnScrubType1")->setChecked(true);
    Control<QSpinBox>(d, "audioOutputBufferSize")->setValue(20000);
    // Every check box of every page, "Software renderer (experimental)" included.
    const QList<QCheckBox*> checks = d->findChildren<QCheckBox*>();
    QCOMPARE(checks.size(), 11 + 4 + 2 + 5 + 3);
    for (QCheckBox* check : checks)
        check->setChecked(!check->isChecked());
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    // Every test starts from the defaults, with no settings or bindings file, rendering in
    // software (no OpenGL needed for what is tested here).
    void init()
    {
        QFile::remove(Settings::SettingsFilePath());
        QFile::remove(BindingsPath());
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
    }

    // Every control of every page against the tables of the preferences, by object name: its
    // page, group and form label, its text, limits, decimals, suffix and the label after it;
    // spin boxes without arrow buttons; each "Browse..." opens a chooser with its own title.
    void controlsAsDesigned_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("label");     // null: none checked
        QTest::addColumn<QString>("text");      // check box, radio button, button or label text;
                                                // a path field's placeholder; a drop-down's items
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("after");     // the label after the control in its row, or null
        QTest::addColumn<QString>("browseTitle");
        QTest::addColumn<bool>("browseFolders");

        const QString none;
        const auto spin = [&](const char* name, int page, const QString& group, const QString& label, double minimum,
                              double maximum, const QString& suffix = QString(), const QString& after = QString()) {
            QTest::newRow(name) << QStringLiteral("spin") << page << group << label << none << minimum << maximum << 0
                                << suffix << after << none << false;
        };
        const auto check = [&](const char* name, int page, const QString& group, const QString& text,
                               const QString& label = QString()) {
            QTest::newRow(name) << QStringLiteral("check") << page << group << label << text << 0.0 << 0.0 << 0 << none
                                << none << none << false;
        };
        const auto radio = [&](const char* name, int page, const QString& group, const QString& text,
                               const QString& label = QString()) {
            QTest::newRow(name) << QStringLiteral("radio") << page << group << label << text << 0.0 << 0.0 << 0 << none
                                << none << none << false;
        };
        const auto path = [&](const char* name, int page, const QString& group, const QString& label,
                              const QString& placeholder, const QString& title, bool folders) {
            QTest::newRow(name) << QStringLiteral("path") << page << group << label << placeholder << 0.0 << 0.0 << 0
                                << none << none << title << folders;
        };
        const auto other = [&](const char* name, const char* kind, int page, const QString& group, const QString& label,
                               const QString& text) {
            QTest::newRow(name) << QString::fromLatin1(kind) << page << group << label << text << 0.0 << 0.0 << 0
                                << none << none << none << false;
        };
        const QString empty = QStringLiteral("");

        // General
        const QString options = QStringLiteral("Options");
        path("tempDirPath", 0, QStringLiteral("Temp Directory"), none, empty, QStringLiteral("Select Temp Directory"), true);
        other("tempDirPathBrowse", "button", 0, QStringLiteral("Temp Directory"), none, QStringLiteral("Browse..."));
        spin("cacheSize", 0, QStringLiteral("Cache"), QStringLiteral("Size:"), 512, 32768, empty, QStringLiteral("MB"));
        spin("numRecentFiles", 0, QStringLiteral("File"), QStringLiteral("Recent Files:"), 0, 10);
        spin("numRecentProjects", 0, QStringLiteral("File"), QStringLiteral("Recent Projects:"), 0, 10);
        radio("confirmOnClose0", 0, QStringLiteral("Confirm Close"), QStringLiteral("Always"));
        radio("confirmOnClose1", 0, QStringLiteral("Confirm Close"), QStringLiteral("Saved Project Changes"));
        radio("confirmOnClose2", 0, QStringLiteral("Confirm Close"), QStringLiteral("Disabled"));
        check("openMediaInNewPlayers", 0, options, QStringLiteral("Open media in new players"));
        check("resizeToFit", 0, options, QStringLiteral("Resize to fit video"));
        check("pausePlaybackOnSeek", 0, options, QStringLiteral("Pause playback on seek"));
        check("pausePlaybackOnScrub", 0, options, QStringLiteral("Pause playback on scrub"));
        check("endlessMouseScrub", 0, options, QStringLiteral("Endless mouse scrub"));
        check("panZoomMouseControls", 0, options, QStringLiteral("Pan/zoom mouse controls enabled"));
        check("hideAnnotationToolbarOnLaunch", 0, options, QStringLiteral("Hide annotation toolbar on launch"));
        check("highlightCurrentSourceInTimelinePanel", 0, options,
              QStringLiteral("Highlight current source in Timeline Panel"));
        check("playbackControlsSeekRangeStartEnd", 0, options, QStringLiteral("Playback controls seek range start/end"));
        check("audioOnBackwardsPlayback", 0, options, QStringLiteral("Audio output on backwards playback"));
        check("hideVolumeControl", 0, options, QStringLiteral("Hide volume control (requires restart)"));
        // Project
        path("defaultSourceRootDirPath", 1, QStringLiteral("Source Root Directory"), none,
             QStringLiteral("{project_directory}"), QStringLiteral("Select Source Directory"), true);
        other("defaultSourceRootDirPathBrowse", "button", 1, QStringLiteral("Source Root Directory"), none,
              QStringLiteral("Browse..."));
        QTest::newRow("defaultImageSequenceFrameRate")
            << QStringLiteral("double") << 1 << QStringLiteral("Image Sequences") << QStringLiteral("Frame Rate:") << none
            << 1.0 << 120.0 << 3 << empty << none << none << false;
        spin("defaultTimeControlFrameOffset", 1, QStringLiteral("Frame Numbering"), QStringLiteral("Time Control Offset:"),
             0, 999999);
        check("addDefaultTimeline", 1, options, QStringLiteral("Add default timeline to new project"));
        check("activateDefaultTimeline", 1, options, QStringLiteral("Set default timeline active in new project"));
        check("restorePanZoomOnProjectLoad", 1, options, QStringLiteral("Restore pan/zoom on project load"));
        check("restoreHoldAnnotationsOnProjectLoad", 1, options, QStringLiteral("Restore hold annotations on project load"));
        // Keyboard
        other("keyboardRemove", "button", 2, none, none, QStringLiteral("Remove"));
        other("keyboardAssign", "button", 2, none, none, QStringLiteral("Assign"));
        other("keyboardRestoreDefaults", "button", 2, none, none, QStringLiteral("Restore Defaults"));
        // Annotation
        check("showAnnotationTextBox", 3, QStringLiteral("Text Tool"), none, QStringLiteral("Enable Text Dialog:"));
        spin("annotationTextBoxWidthScaler", 3, QStringLiteral("Text Tool"), QStringLiteral("Text Dialog Size:"), 10, 100,
             QStringLiteral("%"), QStringLiteral("x"));
        spin("annotationTextBoxHeightScaler", 3, QStringLiteral("Text Tool"), QStringLiteral("Text Dialog Size:"), 5, 100,
             QStringLiteral("%"));
        check("annotationDrawArrowTipToBase", 3, options, QStringLiteral("Draw arrow tip to base"));
        // Export
        const QString output = QStringLiteral("Output");
        path("ffmpegExePath", 4, QStringLiteral("FFmpeg Path (ffmpeg.exe)"), none, empty,
             QStringLiteral("Select ffmpeg Executable"), false);
        other("ffmpegExePathBrowse", "button", 4, QStringLiteral("FFmpeg Path (ffmpeg.exe)"), none,
              QStringLiteral("Browse..."));
        other("ffmpegOverrideNote", "label", 4, QStringLiteral("FFmpeg Path (ffmpeg.exe)"), none,
              QStringLiteral("** Path set using environment variable: PLVX2_FFMPEG_OVERRIDE_PATH **"));
        path("exportDirPath", 4, output, QStringLiteral("Directory:"), empty, QStringLiteral("Select Export Directory"),
             true);
        other("exportDirPathBrowse", "button", 4, output, QStringLiteral("Directory:"), QStringLiteral("Browse..."));
        other("exportFileFormat", "combo", 4, output, QStringLiteral("Format"), QStringLiteral("mp4|mov|png|jpg|wav"));
        other("exportCodec", "combo", 4, output, QStringLiteral("Format"), QStringLiteral("h264"));
        other("exportFormatSettings", "button", 4, output, QStringLiteral("Format"), QStringLiteral("Settings..."));
        spin("exportGlobalWidth", 4, options, QStringLiteral("Resolution:"), 240, 4096, empty, QStringLiteral("x"));
        spin("exportGlobalHeight", 4, options, QStringLiteral("Resolution:"), 240, 4096);
        radio("exportViewer0", 4, options, QStringLiteral("Timeline Sources"), QStringLiteral("Video Input:"));
        radio("exportViewer1", 4, options, QStringLiteral("Viewer Capture"), QStringLiteral("Video Input:"));
        check("exportIgnoreRange", 4, options, QStringLiteral("Ignore Range"));
        check("exportExcludeAudio", 4, options, QStringLiteral("Exclude Audio"));
        check("exportUseFrameNumbering", 4, options, QStringLiteral("Frame Numbering"));
        check("exportAnnotations", 4, options, QStringLiteral("Exclude Annotations"));
        check("exportForceOverwrite", 4, options, QStringLiteral("Force Overwrite"));
        // Network
        const QString api = QStringLiteral("Client API (restart required)");
        spin("clientApiPort", 5, api, QStringLiteral("Port:"), 0, 65535);
        radio("clientApiPortEnabled0", 5, api, QStringLiteral("Enabled"));
        radio("clientApiPortEnabled1", 5, api, QStringLiteral("Disabled"));
        spin("mayaCommandPort", 5, QStringLiteral("Maya Tools"), QStringLiteral("CommandPort:"), 0, 65535);
        spin("mayaSyncTimeout", 5, QStringLiteral("Maya Tools"), QStringLiteral("Timeout (ms):"), 0, 65535);
        // Advanced
        const QString scrub = QStringLiteral("Viewer Scrub Speed (pixels per frame)");
        spin("scrubFrameInterval", 6, scrub, QStringLiteral("No Modifiers"), 1, 200);
        spin("scrubFrameIntervalAlt", 6, scrub, QStringLiteral("Alt Modifier"), 1, 200);
        spin("scrubFrameIntervalShift", 6, scrub, QStringLiteral("Shift Modifier"), 1, 200);
        spin("imageSequenceThreadCount", 6, QStringLiteral("Image Sequence Thread Count (requires restart)"), none, 2, 32,
             empty, QStringLiteral("(default: 4)"));
        radio("audioOnScrubType0", 6, QStringLiteral("Audio on Scrub"), QStringLiteral("All"));
        radio("audioOnScrubType1", 6, QStringLiteral("Audio on Scrub"), QStringLiteral("Viewer Scrub/Frame Step"));
        radio("audioOnScrubType2", 6, QStringLiteral("Audio on Scrub"), QStringLiteral("Time Control Scrub"));
        spin("audioOutputBufferSize", 6, QStringLiteral("Audio Output Buffer Size (requires restart)"), none, 10000,
             100000, empty, QStringLiteral("(default: 10000)"));
        const QString restat = QStringLiteral("Options (requires restat)");
        check("projectUndoEnabled", 6, restat, QStringLiteral("Project Undo/Redo"));
        check("showMenuBarOnLaunch", 6, restat, QStringLiteral("Show menu bar on launch"));
        check("hardwareRenderingEnabled", 6, restat, QStringLiteral("Software renderer (experimental)"));
    }

    void controlsAsDesigned()
    {
        QFETCH(QString, kind);
        QFETCH(int, page);
        QFETCH(QString, group);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(int, decimals);
        QFETCH(QString, suffix);
        QFETCH(QString, after);
        QFETCH(QString, browseTitle);
        QFETCH(bool, browseFolders);

        Settings::Get().hardwareRenderingEnabled = true;
        CommandTable commands(BindingsPath());
        PreferencesDialog dialog(commands, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QWidget* control = dialog.findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        auto* stack = dialog.findChild<QStackedWidget*>();
        QVERIFY(stack);
        QCOMPARE(PageOf(control, stack), page);
        if (!group.isNull())
            QCOMPARE(GroupTitle(control), group);
        if (!label.isNull())
            QCOMPARE(RowLabel(control), label);
        if (!after.isNull())
            QCOMPARE(LabelAfter(control), after);

        if (kind == QLatin1String("spin")) {
            auto* spin = qobject_cast<QSpinBox*>(control);
            QVERIFY(spin);
            QCOMPARE(spin->minimum(), int(minimum));
            QCOMPARE(spin->maximum(), int(maximum));
            QCOMPARE(spin->buttonSymbols(), QAbstractSpinBox::NoButtons);
            if (!suffix.isNull())
                QCOMPARE(spin->suffix(), suffix);
        } else if (kind == QLatin1String("double")) {
            auto* spin = qobject_cast<QDoubleSpinBox*>(control);
            QVERIFY(spin);
            QCOMPARE(spin->minimum(), minimum);
            QCOMPARE(spin->maximum(), maximum);
            QCOMPARE(spin->decimals(), decimals);
            QCOMPARE(spin->buttonSymbols(), QAbstractSpinBox::NoButtons);
            QCOMPARE(spin->suffix(), suffix);
        } else if (kind == QLatin1String("check")) {
            QVERIFY(qobject_cast<QCheckBox*>(control));
            if (!text.isNull())
                QCOMPARE(static_cast<QCheckBox*>(control)->text(), text);
        } else if (kind == QLatin1String("radio")) {
            QVERIFY(qobject_cast<QRadioButton*>(control));
            QCOMPARE(static_cast<QRadioButton*>(control)->text(), text);
        } else if (kind == QLatin1String("button")) {
            QVERIFY(qobject_cast<QPushButton*>(control));
            QCOMPARE(static_cast<QPushButton*>(control)->text(), text);
        } else if (kind == QLatin1String("label")) {
            QVERIFY(qobject_cast<QLabel*>(control));
            QCOMPARE(static_cast<QLabel*>(control)->text(), text);
        } else if (kind == QLatin1String("combo")) {
            auto* combo = qobject_cast<QComboBox*>(control);
            QVERIFY(combo);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items.append(combo->itemText(i));
            QCOMPARE(items.join(QLatin1Char('|')), text);
        } else if (kind == QLatin1String("path")) {
            auto* field = qobject_cast<QLineEdit*>(control);
            QVERIFY(field);
            QCOMPARE(field->placeholderText(), text);
            auto* browse = Control<QPushButton>(&dialog, name + QStringLiteral("Browse"));
            QVERIFY(browse);
            dialog.SelectPage(page);
            // A chooser cancelled leaves the field as it was.
            field->setText(QStringLiteral("/tmp"));
            const FileDialogSeen seen = ClickAndCancelFileDialog(browse);
            QVERIFY(seen.seen);
            QCOMPARE(seen.title, browseTitle);
            QCOMPARE(seen.mode == QFileDialog::Directory, browseFolders);
            QCOMPARE(seen.dirsOnly, browseFolders);
            QCOMPARE(field->text(), QStringLiteral("/tmp"));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown kind ") + kind));
        }
    }

    // The dialog itself, the keyboard page's labels and the two sub-dialogs of the export page.
    void dialogAndSubDialogsAsDesigned()
    {
        CommandTable commands(BindingsPath());
        PreferencesDialog dialog(commands, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(dialog.size(), QSize(638, 709));
        QCOMPARE(dialog.maximumSize(), QSize(2000, 2000));
        auto* list = Control<QListWidget>(&dialog, "pageList");
        QVERIFY(list);
        QStringList pages;
        for (int row = 0; row < list->count(); ++row)
            pages.append(list->item(row)->text());
        QCOMPARE(pages, QStringList({"General", "Project", "Keyboard", "Annotation", "Export", "Network", "Advanced"}));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(dialog.findChild<QStackedWidget*>()->currentIndex(), 0);
        QStringList okCancel;
        for (const char* button : {"ok", "cancel"})
            okCancel.append(Control<QPushButton>(&dialog, QString::fromLatin1(button))->text());
        QCOMPARE(okCancel, QStringList({"OK", "Cancel"}));

        QStringList keyboardLabels;
        for (QLabel* label : dialog.KeyboardPage()->findChildren<QLabel*>())
            keyboardLabels.append(label->text());
        for (const char* text : {"Assigned Shortcut:", "Press Shortcut Keys:", "Shortcut currently used by:"})
            QVERIFY2(keyboardLabels.contains(QString::fromLatin1(text)), text);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.SelectPage(4);
        auto* format = Control<QComboBox>(&dialog, "exportFileFormat");
        auto* settings = Control<QPushButton>(&dialog, "exportFormatSettings");

        format->setCurrentText(QStringLiteral("mp4"));
        QTest::mouseClick(settings, Qt::LeftButton);
        auto* codec = Control<QDialog>(&dialog, "codecSettings");
        QVERIFY(codec);
        QCOMPARE(codec->windowTitle(), QStringLiteral("Codec Settings (h264)"));
        auto* quality = Control<QComboBox>(codec, "h264Quality");
        auto* preset = Control<QComboBox>(codec, "h264Preset");
        QVERIFY(quality && preset);
        const auto items = [](QComboBox* combo) {
            QStringList texts;
            for (int i = 0; i < combo->count(); ++i) {
                texts.append(combo->itemText(i));
                if (combo->itemData(i) != QVariant(i))
                    texts.append(QStringLiteral("(data %1)").arg(combo->itemData(i).toString()));
            }
            return texts;
        };
        QCOMPARE(items(quality), QStringList({"Very High  ", "High", "Medium", "Low"}));
        QCOMPARE(items(preset), QStringList({"Very Slow", "Slow", "Medium", "Fast", "Very Fast", "Ultra Fast"}));
        QCOMPARE(RowLabel(quality), QStringLiteral("Quality:"));
        QCOMPARE(RowLabel(preset), QStringLiteral("Preset:"));
        codec->reject();
        QTRY_VERIFY(!dialog.findChild<QDialog*>(QStringLiteral("codecSettings")));

        format->setCurrentText(QStringLiteral("jpg"));
        QTest::mouseClick(settings, Qt::LeftButton);
        auto* images = Control<QDialog>(&dialog, "imageSequenceSettings");
        QVERIFY(images);
        QCOMPARE(images->windowTitle(), QStringLiteral("Image Sequence Settings"));
        QCOMPARE(images->minimumWidth(), 220);
        auto* form = qobject_cast<QFormLayout*>(images->layout());
        QVERIFY(form);
        QCOMPARE(form->contentsMargins(), QMargins(6, 6, 6, 10));
        QStringList numbering;
        for (int i = 0; i < 3; ++i) {
            auto* radio = Control<QRadioButton>(images, QStringLiteral("exportImageNumberingType%1").arg(i));
            QVERIFY(radio);
            numbering.append(radio->text());
        }
        QCOMPARE(numbering, QStringList({"Zero Based", "One Based", "Match Frame"}));
        QCOMPARE(RowLabel(Control<QRadioButton>(images, "exportImageNumberingType0")), QStringLiteral("Numbering:"));
        auto* padding = Control<QSpinBox>(images, "exportImagePadding");
        QVERIFY(padding);
        QCOMPARE(RowLabel(padding), QStringLiteral("Padding:"));
        QCOMPARE(padding->minimum(), 1);
        QCOMPARE(padding->maximum(), 6);
        QCOMPARE(padding->buttonSymbols(), QAbstractSpinBox::NoButtons);
        images->reject();
        QTRY_VERIFY(!dialog.findChild<QDialog*>(QStringLiteral("imageSequenceSettings")));

        // Any other format has no settings.
        format->setCurrentText(QStringLiteral("wav"));
        QTest::mouseClick(settings, Qt::LeftButton);
        QVERIFY(!dialog.findChild<QDialog*>());
    }

    // Each check box and radio button, chosen alone, stores its own key and only that one (read
    // back from the file): two controls bound to each other's keys are caught even where the
    // keys have the same default.
    void eachChoiceStoresItsOwnKey_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(ChoiceKeys().size()); ++i)
            QTest::newRow(ChoiceKeys()[size_t(i)].control) << i;
    }

    void eachChoiceStoresItsOwnKey()
    {
        QFETCH(int, index);
        const ChoiceKey& key = ChoiceKeys()[size_t(index)];
        Settings::ResetToDefaults();
        QVERIFY(Settings::Get().Save());
        Settings expected;
        expected.Load(Settings::SettingsFilePath(), QString(), QString());
        key.expect(expected);
        expected.hideVolumeControlAtStart = expected.hideVolumeControl; // the run-time copy a load takes

        CommandTable commands(BindingsPath());
        PreferencesDialog dialog(commands, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Choose(&dialog, key);
        QTest::mouseClick(Control<QPushButton>(&dialog, "ok"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());

        Settings stored;
        stored.Load(Settings::SettingsFilePath(), QString(), QString());
        QVERIFY(stored == expected);
    }

    // OK while the environment names the ffmpeg executable: the field, which cannot be edited,
    // is not written over the key; the key keeps the environment's path, and the settings file
    // holds the value as it is held (the stored form of the override, as every other value).
    void okWithTheFfmpegOverrideKeepsTheOverride()
    {
        {
            QFile file(Settings::SettingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[preferences]\nffmpegExePath=/stored/ffmpeg\n");
        }
        Settings::ResetToDefaults();
        Settings::Get().Load(Settings::SettingsFilePath(), QString(), QStringLiteral("/env/ffmpeg"));
        QVERIFY(Settings::Get().ffmpegExePathOverridden);
        CommandTable commands(BindingsPath());
        PreferencesDialog dialog(commands, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* field = Control<QLineEdit>(&dialog, "ffmpegExePath");
        QCOMPARE(field->text(), QStringLiteral("/env/ffmpeg"));
        QVERIFY(!field->isEnabled());
        field->setText(QStringLiteral("/typed/ffmpeg")); // behind the disabled field's back
        QTest::mouseClick(Control<QPushButton>(&dialog, "ok"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(Settings::Get().ffmpegExePath, QStringLiteral("/env/ffmpeg"));
        QVERIFY(Settings::Get().ffmpegExePathOverridden);

        Settings stored;
        stored.Load(Settings::SettingsFilePath(), QString(), QString());
        QCOMPARE(stored.ffmpegExePath, QStringLiteral("/env/ffmpeg"));
    }

    void okStoresEveryPageAcrossRestart()
    {
        {
            Window main;
            QVERIFY(main.Open());
            PreferencesDialog* dialog = main.ShowPreferences();
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Preferences"));
            QCOMPARE(Control<QCheckBox>(dialog, "hardwareRenderingEnabled")->isChecked(), true); // inverted
            EditEveryPage(dialog);
            QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
            // Not stored, but in force for the rest of this run.
            QCOMPARE(Settings::Get().imageSequenceThreadCount, 8);
            // The running window took the key at once.
            QVERIFY(main.window.Action(CommandId::ToggleMute)->shortcuts().contains(QKeySequence(Qt::Key_Y)));
        }

        // A restart: the settings and the bindings read back from their files.
        Settings::ResetToDefaults();
        Settings::Get().Load(Settings::SettingsFilePath(), QString(), QString());
        const Settings& s = Settings::Get();
        QCOMPARE(s.tempDirPath, QStringLiteral("/tmp/plovex-prefs-temp"));
        QCOMPARE(s.cacheSize, 2048);
        QCOMPARE(s.numRecentFiles, 7);
        QCOMPARE(s.numRecentProjects, 2);
        QCOMPARE(s.confirmOnClose, 0);
        QCOMPARE(s.openMediaInNewPlayers, true);
        QCOMPARE(s.resizeToFit, true);
        QCOMPARE(s.pausePlaybackOnSeek, true);
        QCOMPARE(s.pausePlaybackOnScrub, true);
        QCOMPARE(s.endlessMouseScrub, false);
        QCOMPARE(s.panZoomMouseControls, false);
        QCOMPARE(s.hideAnnotationToolbarOnLaunch, false);
        QCOMPARE(s.highlightCurrentSourceInTimelinePanel, false);
        QCOMPARE(s.playbackControlsSeekRangeStartEnd, false);
        QCOMPARE(s.audioOnBackwardsPlayback, true);
        QCOMPARE(s.hideVolumeControl, true);
        QCOMPARE(s.defaultSourceRootDirPath, QStringLiteral("/media/shots"));
        QCOMPARE(s.defaultImageSequenceFrameRate, 29.97);
        QCOMPARE(s.defaultTimeControlFrameOffset, 1001);
        QCOMPARE(s.addDefaultTimeline, false);
        QCOMPARE(s.activateDefaultTimeline, false);
        QCOMPARE(s.restorePanZoomOnProjectLoad, false);
        QCOMPARE(s.restoreHoldAnnotationsOnProjectLoad, false);
        QCOMPARE(s.showAnnotationTextBox, true);
        QCOMPARE(s.annotationTextBoxWidthScaler, 0.5f);
        QCOMPARE(s.annotationTextBoxHeightScaler, 0.25f);
        QCOMPARE(s.annotationDrawArrowTipToBase, true);
        QCOMPARE(s.ffmpegExePath, QStringLiteral("/opt/ffmpeg/bin/ffmpeg"));
        QCOMPARE(s.exportDirPath, QStringLiteral("/tmp/plovex-exports"));
        QCOMPARE(s.exportFileFormat, QStringLiteral("png"));
        QCOMPARE(s.h264Quality, 3);
        QCOMPARE(s.h264Preset, 5);
        QCOMPARE(s.exportImagePadding, 6);
        QCOMPARE(s.exportImageNumberingType, 2);
        QCOMPARE(s.exportGlobalWidth, 1280);
        QCOMPARE(s.exportGlobalHeight, 720);
        QCOMPARE(s.exportViewer, true);
        QVERIFY(s.exportIgnoreRange && s.exportExcludeAudio && s.exportUseFrameNumbering && s.exportAnnotations
                && s.exportForceOverwrite);
        QCOMPARE(s.clientApiPort, 18200);
        QCOMPARE(s.clientApiPortEnabled, false);
        QCOMPARE(s.mayaCommandPort, quint16(20300));
        QCOMPARE(s.mayaSyncTimeout, 2500);
        QCOMPARE(s.scrubFrameInterval, 10);
        QCOMPARE(s.scrubFrameIntervalAlt, 7);
        QCOMPARE(s.scrubFrameIntervalShift, 60);
        QCOMPARE(s.audioOnScrubType, 1);
        QCOMPARE(s.audioOutputBufferSize, 20000);
        QCOMPARE(s.projectUndoEnabled, false);
        QCOMPARE(s.showMenuBarOnLaunch, false);
        QCOMPARE(s.hardwareRenderingEnabled, true);
        CommandTable table(BindingsPath());
        table.LoadBindings();
        QCOMPARE(Keys(table, CommandId::ToggleMute), QStringList({QStringLiteral("Ctrl+M"), QStringLiteral("Y")}));

        // The new key works in a main window started on those files.
        Settings::Get().hardwareRenderingEnabled = false;
        Window next;
        QVERIFY(next.Open());
        const bool muted = Settings::Get().muted;
        QTest::keyClick(&next.window, Qt::Key_Y);
        QCOMPARE(Settings::Get().muted, !muted);
    }

    // Values the controls cannot show as stored (a fraction whose percent is not a whole float,
    // more decimals than shown, numbers beyond the controls' limits) survive OK untouched.
    void okWithoutEditsRewritesTheSameBytes()
    {
        Settings& s = Settings::Get();
        s.annotationTextBoxWidthScaler = 0.53f;   // 52.999996 %
        s.annotationTextBoxHeightScaler = 0.59f;  // 58.999996 %
        s.defaultImageSequenceFrameRate = 23.976023976;
        s.exportGlobalWidth = 200;                // the dialog's limit is 240
        s.mayaSyncTimeout = 70000;                // beyond 65535
        s.clientApiPort = 70000;
        Window main;
        QVERIFY(main.Open());
        QVERIFY(Settings::Get().Save());
        QVERIFY(main.window.Commands().SaveBindings());
        const Settings before = Settings::Get();
        const QByteArray settingsBytes = Bytes(Settings::SettingsFilePath());
        const QByteArray bindingsBytes = Bytes(BindingsPath());
        QVERIFY(!settingsBytes.isEmpty() && !bindingsBytes.isEmpty());
        for (int round = 0; round < 2; ++round) {
            PreferencesDialog* dialog = main.ShowPreferences();
            QVERIFY(dialog);
            QCOMPARE(Control<QSpinBox>(dialog, "annotationTextBoxWidthScaler")->value(), 53);
            QCOMPARE(Control<QSpinBox>(dialog, "annotationTextBoxHeightScaler")->value(), 59);
            QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
            QVERIFY(Settings::Get() == before);
            QCOMPARE(Bytes(Settings::SettingsFilePath()), settingsBytes);
            QCOMPARE(Bytes(BindingsPath()), bindingsBytes);
        }
    }

    void cancelDropsEveryEdit()
    {
        Window main;
        QVERIFY(main.Open());
        QVERIFY(Settings::Get().Save());
        QVERIFY(main.window.Commands().SaveBindings());
        const Settings before = Settings::Get();
        const QByteArray settingsBytes = Bytes(Settings::SettingsFilePath());
        const QByteArray bindingsBytes = Bytes(BindingsPath());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        EditEveryPage(dialog);
        QTest::mouseClick(Control<QPushButton>(dialog, "cancel"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QVERIFY(Settings::Get() == before);
        QCOMPARE(Bytes(Settings::SettingsFilePath()), settingsBytes);
        QCOMPARE(Bytes(BindingsPath()), bindingsBytes);
        QCOMPARE(Keys(main.window.Commands(), CommandId::ToggleMute), QStringList(QStringLiteral("Ctrl+M")));

        // The next show displays what is stored, the keyboard page included ...
        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        QCOMPARE(Control<QSpinBox>(dialog, "cacheSize")->value(), 1024);
        QVERIFY(Control<QRadioButton>(dialog, "confirmOnClose1")->isChecked());
        QCOMPARE(Control<QDoubleSpinBox>(dialog, "defaultImageSequenceFrameRate")->value(), 24.0);
        QCOMPARE(Control<QSpinBox>(dialog, "annotationTextBoxWidthScaler")->value(), 30);
        QCOMPARE(Control<QComboBox>(dialog, "exportFileFormat")->currentText(), QStringLiteral("mp4"));
        QCOMPARE(Control<QSpinBox>(dialog, "clientApiPort")->value(), 18186);
        QVERIFY(Control<QRadioButton>(dialog, "audioOnScrubType0")->isChecked());
        QVERIFY(Control<QCheckBox>(dialog, "hardwareRenderingEnabled")->isChecked());
        QCOMPARE(Control<QSpinBox>(dialog, "imageSequenceThreadCount")->value(), 4);
        QCOMPARE(Keys(dialog->KeyboardPage()->Commands(), CommandId::ToggleMute), QStringList(QStringLiteral("Ctrl+M")));
        // ... so that an OK now brings none of the cancelled edits back, the sub-dialogs' included.
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QVERIFY(Settings::Get() == before);
        QCOMPARE(Keys(main.window.Commands(), CommandId::ToggleMute), QStringList(QStringLiteral("Ctrl+M")));
        QCOMPARE(Bytes(Settings::SettingsFilePath()), settingsBytes);
    }

    void cacheSizeReachesTheClipBeingDecoded()
    {
        Window main({TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"))});
        QVERIFY(main.Open());
        AvManager* engine = main.window.Engine();
        QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline(), 20000);
        CacheManager* cache = engine->PrimaryTimeline()->Cache();
        QTRY_COMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(1024));
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        Control<QSpinBox>(dialog, "cacheSize")->setValue(3000);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QCOMPARE(Settings::Get().cacheSize, 3000);
        QTRY_COMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(3000));
        // Smaller again: the decoding task trims to the new limit.
        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        Control<QSpinBox>(dialog, "cacheSize")->setValue(512);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QTRY_COMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(512));
    }

    void ffmpegFieldFollowsTheEnvironmentOverride()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        auto* field = Control<QLineEdit>(dialog, "ffmpegExePath");
        auto* browse = Control<QPushButton>(dialog, "ffmpegExePathBrowse");
        auto* note = Control<QLabel>(dialog, "ffmpegOverrideNote");
        dialog->SelectPage(4);
        QVERIFY(field->isEnabled() && browse->isEnabled());
        QVERIFY(note->isHidden());
        dialog->reject();

        // A restart with the variable set.
        QVERIFY(Settings::Get().Save());
        Settings::ResetToDefaults();
        Settings::Get().Load(Settings::SettingsFilePath(), QString(), QStringLiteral("/env/ffmpeg"));
        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        QCOMPARE(field->text(), QStringLiteral("/env/ffmpeg"));
        QVERIFY(!field->isEnabled());
        QVERIFY(!browse->isEnabled());
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("** Path set using environment variable: PLVX2_FFMPEG_OVERRIDE_PATH **"));
    }

    void permanentKeysAreRefusedAndOthersMove()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        dialog->SelectPage(2);
        KeyboardPreferencesPage* page = dialog->KeyboardPage();
        auto* list = Control<QListWidget>(dialog, "keyboardCommands");
        // The fixed commands are not listed.
        QVERIFY(list->findItems(QStringLiteral("Application"), Qt::MatchExactly).isEmpty());
        QVERIFY(!list->findItems(QStringLiteral("Pause"), Qt::MatchExactly).isEmpty());
        page->Select(CommandId::Pause);
        auto* usedBy = Control<QLineEdit>(dialog, "keyboardUsedBy");
        auto* assign = Control<QPushButton>(dialog, "keyboardAssign");
        Capture(dialog, Qt::Key_Delete);
        // The field takes up to four chords and finishes a second after the last one.
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Application (Permanent)"));
        QVERIFY(!assign->isEnabled());
        // Even a click that gets through (the button enabled behind the page's back) takes nothing.
        assign->setEnabled(true);
        QTest::mouseClick(assign, Qt::LeftButton);
        QCOMPARE(Keys(page->Commands(), CommandId::ApplicationDel), QStringList(QStringLiteral("Del")));
        QVERIFY(!Keys(page->Commands(), CommandId::Pause).contains(QStringLiteral("Del")));

        // A key another bindable command holds moves to the selected one.
        Capture(dialog, Qt::Key_Space);
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Play/Pause"));
        QVERIFY(assign->isEnabled());
        QTest::mouseClick(assign, Qt::LeftButton);
        QCOMPARE(Control<QComboBox>(dialog, "keyboardAssigned")->currentText(), QStringLiteral("Space"));
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        const CommandTable& table = main.window.Commands();
        QCOMPARE(Keys(table, CommandId::Pause), QStringList({QStringLiteral("K"), QStringLiteral("Space")}));
        QVERIFY(!Keys(table, CommandId::PlayPause).contains(QStringLiteral("Space")));
        QCOMPARE(Keys(table, CommandId::ApplicationDel), QStringList(QStringLiteral("Del")));
        QVERIFY(main.window.Action(CommandId::ApplicationDel)->shortcuts().contains(QKeySequence(Qt::Key_Delete)));
        QVERIFY(main.window.Action(CommandId::Pause)->shortcuts().contains(QKeySequence(Qt::Key_Space)));
    }

    // The settings file may hold a size below the default but within the limits: it shows as
    // stored, and the spin box still goes no lower than 512.
    void storedCacheSizeBelowTheDefaultShowsAsStored()
    {
        {
            QFile file(Settings::SettingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[preferences]\ncacheSize=600\n");
        }
        Settings::Get().Load(Settings::SettingsFilePath(), QString(), QString());
        QCOMPARE(Settings::Get().cacheSize, 600);
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        auto* cache = Control<QSpinBox>(dialog, "cacheSize");
        QCOMPARE(cache->value(), 600);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QCOMPARE(Settings::Get().cacheSize, 600);

        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        QCOMPARE(cache->value(), 600);
        cache->setValue(100);
        QCOMPARE(cache->value(), 512);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QCOMPARE(Settings::Get().cacheSize, 512);
    }

    // OK shares the cache again only for a new size: a share set by other means (here by hand,
    // to a size no sharing would give) stays, whether the size was never touched or changed
    // and put back.
    void okWithTheSameCacheSizeLeavesTheShare()
    {
        Window main({TestSupport::MediaPath(QStringLiteral("clip_23976.mp4"))});
        QVERIFY(main.Open());
        AvManager* engine = main.window.Engine();
        QTRY_VERIFY_WITH_TIMEOUT(engine->PrimaryTimeline(), 20000);
        CacheManager* cache = engine->PrimaryTimeline()->Cache();
        QTRY_COMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(1024));
        cache->SetCacheSize(777);
        QCOMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(777));

        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(777));

        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        Control<QSpinBox>(dialog, "cacheSize")->setValue(2000);
        Control<QSpinBox>(dialog, "cacheSize")->setValue(1024);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(cache->VideoMaximumSize(), CacheManager::VideoBudget(777));
    }

    void removeTakesTheShownShortcut()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        dialog->SelectPage(2);
        KeyboardPreferencesPage* page = dialog->KeyboardPage();
        page->Select(CommandId::IncreasePlaybackSpeed);
        auto* assigned = Control<QComboBox>(dialog, "keyboardAssigned");
        QCOMPARE(assigned->count(), 2);
        QCOMPARE(assigned->itemText(0), QStringLiteral("+"));
        QCOMPARE(assigned->itemText(1), QStringLiteral("="));
        assigned->setCurrentIndex(1); // the second one, not the first
        QTest::mouseClick(Control<QPushButton>(dialog, "keyboardRemove"), Qt::LeftButton);
        QCOMPARE(assigned->count(), 1);
        QCOMPARE(assigned->itemText(0), QStringLiteral("+"));
        QCOMPARE(Keys(page->Commands(), CommandId::IncreasePlaybackSpeed), QStringList(QStringLiteral("+")));
        // Only the copy so far.
        QCOMPARE(Keys(main.window.Commands(), CommandId::IncreasePlaybackSpeed),
                 QStringList({QStringLiteral("+"), QStringLiteral("=")}));
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        QCOMPARE(Keys(main.window.Commands(), CommandId::IncreasePlaybackSpeed), QStringList(QStringLiteral("+")));
        QVERIFY(!main.window.Action(CommandId::IncreasePlaybackSpeed)->shortcuts().contains(QKeySequence(Qt::Key_Equal)));
    }

    // Restore Defaults edits only the copy: Cancel after it leaves the bindings, their file and
    // the next show as they were. "No" to its question changes not even the copy.
    void restoreDefaultsThenCancelChangesNothing()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        dialog->SelectPage(2);
        KeyboardPreferencesPage* page = dialog->KeyboardPage();
        page->Select(CommandId::ToggleMute);
        Capture(dialog, Qt::Key_Y);
        QTest::mouseClick(Control<QPushButton>(dialog, "keyboardAssign"), Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(dialog, "ok"), Qt::LeftButton);
        const QStringList edited({QStringLiteral("Ctrl+M"), QStringLiteral("Y")});
        QCOMPARE(Keys(main.window.Commands(), CommandId::ToggleMute), edited);
        const QByteArray settingsBytes = Bytes(Settings::SettingsFilePath());
        const QByteArray bindingsBytes = Bytes(BindingsPath());
        QVERIFY(!bindingsBytes.isEmpty());

        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        dialog->SelectPage(2);
        RestoreDefaults(dialog, QMessageBox::No);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Keys(page->Commands(), CommandId::ToggleMute), edited);
        RestoreDefaults(dialog, QMessageBox::Yes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Keys(page->Commands(), CommandId::ToggleMute), QStringList(QStringLiteral("Ctrl+M")));
        QTest::mouseClick(Control<QPushButton>(dialog, "cancel"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Keys(main.window.Commands(), CommandId::ToggleMute), edited);
        QVERIFY(main.window.Action(CommandId::ToggleMute)->shortcuts().contains(QKeySequence(Qt::Key_Y)));
        QCOMPARE(Bytes(Settings::SettingsFilePath()), settingsBytes);
        QCOMPARE(Bytes(BindingsPath()), bindingsBytes);

        dialog = main.ShowPreferences();
        QVERIFY(dialog);
        QCOMPARE(Keys(page->Commands(), CommandId::ToggleMute), edited);
    }

    // "Shortcut currently used by:" follows the copy after Remove and Restore Defaults too: it
    // never names a command that no longer has the key in the capture field.
    void usedByFollowsEveryEdit()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        dialog->SelectPage(2);
        KeyboardPreferencesPage* page = dialog->KeyboardPage();
        auto* usedBy = Control<QLineEdit>(dialog, "keyboardUsedBy");
        auto* assign = Control<QPushButton>(dialog, "keyboardAssign");
        auto* assigned = Control<QComboBox>(dialog, "keyboardAssigned");

        page->Select(CommandId::PlayPause);
        Capture(dialog, Qt::Key_Space);
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Play/Pause"));
        assigned->setCurrentIndex(assigned->findText(QStringLiteral("Space")));
        QCOMPARE(assigned->currentText(), QStringLiteral("Space"));
        QTest::mouseClick(Control<QPushButton>(dialog, "keyboardRemove"), Qt::LeftButton);
        QVERIFY(!Keys(page->Commands(), CommandId::PlayPause).contains(QStringLiteral("Space")));
        QCOMPARE(usedBy->text(), QString());
        QVERIFY(assign->isEnabled());

        // Space back with the defaults, while the capture field still holds it.
        RestoreDefaults(dialog, QMessageBox::Yes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(usedBy->text(), QStringLiteral("Play/Pause"));

        // Moved to Pause, then given back by the defaults.
        page->Select(CommandId::Pause);
        Capture(dialog, Qt::Key_Space);
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Play/Pause"));
        QTest::mouseClick(assign, Qt::LeftButton);
        Capture(dialog, Qt::Key_Space);
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Pause"));
        RestoreDefaults(dialog, QMessageBox::Yes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(usedBy->text(), QStringLiteral("Play/Pause"));
        QVERIFY(assign->isEnabled());

        // A permanent key stays refused across both.
        Capture(dialog, Qt::Key_Delete);
        QTRY_COMPARE(usedBy->text(), QStringLiteral("Application (Permanent)"));
        QTest::mouseClick(Control<QPushButton>(dialog, "keyboardRemove"), Qt::LeftButton);
        RestoreDefaults(dialog, QMessageBox::Yes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(usedBy->text(), QStringLiteral("Application (Permanent)"));
        QVERIFY(!assign->isEnabled());
    }

    // Closing the main window closes an open preferences dialog as Cancel would: its edits are
    // not stored by the settings that the closing window saves.
    void closingTheWindowClosesThePreferences()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        Control<QSpinBox>(dialog, "cacheSize")->setValue(3000);
        Settings::Get().confirmOnClose = 2;
        QVERIFY(main.window.close());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Settings::Get().cacheSize, 1024);
        Settings::ResetToDefaults();
        Settings::Get().Load(Settings::SettingsFilePath(), QString(), QString());
        QCOMPARE(Settings::Get().cacheSize, 1024);
    }

    // The dialog uses the engine: it goes before the engine when the window is destroyed.
    void dialogGoesBeforeTheEngine()
    {
        QStringList gone;
        {
            Window main;
            QVERIFY(main.Open());
            PreferencesDialog* dialog = main.ShowPreferences();
            QVERIFY(dialog);
            QObject::connect(dialog, &QObject::destroyed, [&gone] { gone.append(QStringLiteral("dialog")); });
            QObject::connect(main.window.Engine(), &QObject::destroyed, [&gone] { gone.append(QStringLiteral("engine")); });
        }
        QCOMPARE(gone, QStringList({QStringLiteral("dialog"), QStringLiteral("engine")}));
    }

    void filterNarrowsByLabelOrKey()
    {
        Window main;
        QVERIFY(main.Open());
        PreferencesDialog* dialog = main.ShowPreferences();
        QVERIFY(dialog);
        auto* list = Control<QListWidget>(dialog, "keyboardCommands");
        auto* filter = Control<QLineEdit>(dialog, "keyboardFilter");
        const auto shown = [list] {
            QStringList labels;
            for (int row = 0; row < list->count(); ++row)
                if (!list->item(row)->isHidden())
                    labels.append(list->item(row)->text());
            return labels;
        };
        QVERIFY(shown().size() > 100);
        filter->setText(QStringLiteral("mute"));
        QCOMPARE(shown(), QStringList(QStringLiteral("Toggle Mute")));
        filter->setText(QStringLiteral("ctrl+shift+l"));
        QCOMPARE(shown(), QStringList(QStringLiteral("Toggle Ping Pong")));
        filter->clear();
        QCOMPARE(shown().size(), list->count());
    }

    void refusedInFullScreen()
    {
        Window main;
        QVERIFY(main.Open());
        main.window.SetFullscreenEnabled(true);
        QTRY_VERIFY(main.window.isFullScreen());
        main.window.Action(CommandId::ShowPreferences)->trigger();
        QVERIFY(!main.window.Preferences() || !main.window.Preferences()->isVisible());
        main.window.SetFullscreenEnabled(false);
        QTRY_VERIFY(!main.window.isFullScreen());
        main.window.Action(CommandId::ShowPreferences)->trigger();
        QVERIFY(main.window.Preferences() && main.window.Preferences()->isVisible());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    // The file choosers are Qt's own, so that a test can see and cancel them.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    TestPreferences test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preferences.moc"
