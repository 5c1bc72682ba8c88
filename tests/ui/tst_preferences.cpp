// The preferences dialog in the real main window: what OK stores survives a restart (settings
// and bindings read back from their files), OK without edits rewrites both files byte for
// byte, Cancel drops every edit (Restore Defaults' included), a new cache size reaches a clip
// being decoded while an unchanged one leaves its share alone, a stored size below the default
// shows as stored, Remove takes the shortcut shown, "Shortcut currently used by:" follows every
// edit, the keys of permanent commands and an environment-set ffmpeg path cannot be edited, and
// the dialog closes with the main window and is deleted before the engine.
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
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

// Changes one or more values on every page, each away from the defaults, and gives Toggle
// Mute the extra key Y.
void EditEveryPage(PreferencesDialog* d)
{
    // General
    Control<QLineEdit>(d, "tempDirPath")->setText(QStringLiteral("/tmp/plovex-prefs-temp"));
    Control<QSpinBox>(d, "cacheSize")->setValue(2048);
    Control<QSpinBox>(d, "numRecentFiles")->setValue(7);
    Control<QSpinBox>(d, "numRecentProjects")->setValue(2);
    Control<QRadioButton>(d, "confirmOnClose2")->setChecked(true);
    Control<QCheckBox>(d, "openMediaInNewPlayers")->setChecked(true);
    Control<QCheckBox>(d, "endlessMouseScrub")->setChecked(false);
    Control<QCheckBox>(d, "hideVolumeControl")->setChecked(true);
    // Project
    Control<QLineEdit>(d, "defaultSourceRootDirPath")->setText(QStringLiteral("/media/shots"));
    Control<QDoubleSpinBox>(d, "defaultImageSequenceFrameRate")->setValue(29.97);
    Control<QSpinBox>(d, "defaultTimeControlFrameOffset")->setValue(1001);
    Control<QCheckBox>(d, "addDefaultTimeline")->setChecked(false);
    Control<QCheckBox>(d, "restoreHoldAnnotationsOnProjectLoad")->setChecked(false);
    // Keyboard
    d->SelectPage(2);
    d->KeyboardPage()->Select(CommandId::ToggleMute);
    Capture(d, Qt::Key_Y);
    QTest::mouseClick(Control<QPushButton>(d, "keyboardAssign"), Qt::LeftButton);
    // Annotation
    Control<QCheckBox>(d, "showAnnotationTextBox")->setChecked(true);
    Control<QSpinBox>(d, "annotationTextBoxWidthScaler")->setValue(50);
    Control<QSpinBox>(d, "annotationTextBoxHeightScaler")->setValue(25);
    Control<QCheckBox>(d, "annotationDrawArrowTipToBase")->setChecked(true);
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
    for (const char* key : {"exportIgnoreRange", "exportExcludeAudio", "exportUseFrameNumbering", "exportAnnotations",
                            "exportForceOverwrite"})
        Control<QCheckBox>(d, QString::fromLatin1(key))->setChecked(true);
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
    Control<QRadioButton>(d, "audioOnScrubType2")->setChecked(true);
    Control<QSpinBox>(d, "audioOutputBufferSize")->setValue(20000);
    Control<QCheckBox>(d, "projectUndoEnabled")->setChecked(false);
    Control<QCheckBox>(d, "showMenuBarOnLaunch")->setChecked(false);
    Control<QCheckBox>(d, "hardwareRenderingEnabled")->setChecked(false); // "Software renderer" unchecked
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
        QCOMPARE(s.confirmOnClose, 2);
        QCOMPARE(s.openMediaInNewPlayers, true);
        QCOMPARE(s.endlessMouseScrub, false);
        QCOMPARE(s.hideVolumeControl, true);
        QCOMPARE(s.defaultSourceRootDirPath, QStringLiteral("/media/shots"));
        QCOMPARE(s.defaultImageSequenceFrameRate, 29.97);
        QCOMPARE(s.defaultTimeControlFrameOffset, 1001);
        QCOMPARE(s.addDefaultTimeline, false);
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
        QCOMPARE(s.audioOnScrubType, 2);
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
    QApplication application(argc, argv);
    TestPreferences test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_preferences.moc"
