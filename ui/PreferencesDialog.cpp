#include "ui/PreferencesDialog.h"

#include "core/CommandTable.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "ui/KeyboardPreferencesPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <tuple>
#include <utility>

namespace {

using Binding = std::pair<std::function<void()>, std::function<void()>>;

const QStringList kExportFormats{QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("png"),
                                 QStringLiteral("jpg"), QStringLiteral("wav")};
const QString kFfmpegOverrideNote =
    QStringLiteral("** Path set using environment variable: PLVX2_FFMPEG_OVERRIDE_PATH **");

QSpinBox* Spin(QWidget* parent, const QString& key, int minimum, int maximum)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(key);
    spin->setRange(minimum, maximum);
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    return spin;
}

QCheckBox* Check(QWidget* parent, const QString& key, const QString& text)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(key);
    return check;
}

QLineEdit* Path(QWidget* parent, const QString& key)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(key);
    return field;
}

// Radio buttons named after their key and the value each stands for (the index).
QList<QRadioButton*> Radios(QWidget* parent, const QString& key, const QStringList& texts)
{
    QList<QRadioButton*> buttons;
    for (int i = 0; i < texts.size(); ++i) {
        auto* button = new QRadioButton(texts[i], parent);
        button->setObjectName(key + QString::number(i));
        buttons.append(button);
    }
    return buttons;
}

QGroupBox* Group(QWidget* parent, const QString& title, QLayout* layout)
{
    auto* group = new QGroupBox(title, parent);
    group->setLayout(layout);
    return group;
}

QWidget* Row(QWidget* parent, const QList<QWidget*>& widgets, bool stretch = true)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    if (stretch)
        layout->addStretch(1);
    return row;
}

QVBoxLayout* Column(const QList<QWidget*>& widgets)
{
    auto* layout = new QVBoxLayout;
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return layout;
}

// An integer key in a spin box. The spin box may not hold the stored value (a port or a
// width outside its limits): untouched, it leaves the key as it was.
template <typename T>
Binding SpinField(QSpinBox* spin, T Settings::*key)
{
    auto shown = std::make_shared<int>(0);
    return {[=] {
                spin->setValue(static_cast<int>(std::clamp<qint64>(Settings::Get().*key, spin->minimum(), spin->maximum())));
                *shown = spin->value();
            },
            [=] {
                if (spin->value() != *shown)
                    Settings::Get().*key = static_cast<T>(spin->value());
            }};
}

// A double key shown with the spin box's decimals; untouched, it keeps all of its own.
Binding DoubleField(QDoubleSpinBox* spin, double Settings::*key)
{
    auto shown = std::make_shared<double>(0.0);
    return {[=] {
                spin->setValue(Settings::Get().*key);
                *shown = spin->value();
            },
            [=] {
                if (spin->value() != *shown)
                    Settings::Get().*key = spin->value();
            }};
}

// A fraction shown in percent. Rounded, not truncated: 0.53f is 52.999996 %, which must show
// as 53; untouched, the fraction stays exactly as stored.
Binding PercentField(QSpinBox* spin, float Settings::*key)
{
    auto shown = std::make_shared<int>(0);
    return {[=] {
                spin->setValue(qRound(Settings::Get().*key * 100.0f));
                *shown = spin->value();
            },
            [=] {
                if (spin->value() != *shown)
                    Settings::Get().*key = static_cast<float>(spin->value()) / 100.0f;
            }};
}

Binding CheckField(QCheckBox* check, bool Settings::*key, bool inverted = false)
{
    return {[=] { check->setChecked(Settings::Get().*key != inverted); },
            [=] { Settings::Get().*key = check->isChecked() != inverted; }};
}

Binding PathField(QLineEdit* field, QString Settings::*key)
{
    return {[=] { field->setText(Settings::Get().*key); }, [=] { Settings::Get().*key = field->text(); }};
}

// An int key chosen by radio buttons, button i standing for value i; a value no button stands
// for shows `otherwise`, and is kept unless another button is chosen.
Binding RadioField(const QList<QRadioButton*>& buttons, int Settings::*key, int otherwise)
{
    auto shown = std::make_shared<int>(0);
    return {[=] {
                const int value = Settings::Get().*key;
                *shown = value >= 0 && value < buttons.size() ? value : otherwise;
                buttons[*shown]->setChecked(true);
            },
            [=] {
                int chosen = otherwise;
                for (int i = 0; i < buttons.size(); ++i)
                    if (buttons[i]->isChecked())
                        chosen = i;
                if (chosen != *shown)
                    Settings::Get().*key = chosen;
            }};
}

// A bool key chosen by two radio buttons; `trueButton` stands for true.
Binding ChoiceField(QRadioButton* trueButton, QRadioButton* falseButton, bool Settings::*key)
{
    return {[=] { (Settings::Get().*key ? trueButton : falseButton)->setChecked(true); },
            [=] { Settings::Get().*key = trueButton->isChecked(); }};
}

} // namespace

PreferencesDialog::PreferencesDialog(CommandTable& commands, AvManager* engine, QWidget* parent)
    : QDialog(parent)
    , m_commands(commands)
    , m_engine(engine)
{
    setWindowTitle(QStringLiteral("Preferences"));
    resize(638, 709);
    setMaximumSize(2000, 2000);

    m_pageList = new QListWidget(this);
    m_pageList->setObjectName(QStringLiteral("pageList"));
    m_pageList->setMaximumWidth(140);
    m_pages = new QStackedWidget(this);
    m_keyboard = new KeyboardPreferencesPage(this);
    AddPage(QStringLiteral("General"), BuildGeneralPage());
    AddPage(QStringLiteral("Project"), BuildProjectPage());
    AddPage(QStringLiteral("Keyboard"), m_keyboard);
    AddPage(QStringLiteral("Annotation"), BuildAnnotationPage());
    AddPage(QStringLiteral("Export"), BuildExportPage());
    AddPage(QStringLiteral("Network"), BuildNetworkPage());
    AddPage(QStringLiteral("Advanced"), BuildAdvancedPage());
    connect(m_pageList, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);
    m_pageList->setCurrentRow(0);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("ok"));
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto* body = new QHBoxLayout;
    body->addWidget(m_pageList);
    body->addWidget(m_pages, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::AddPage(const QString& name, QWidget* page)
{
    m_pageList->addItem(name);
    m_pages->addWidget(page);
}

void PreferencesDialog::SelectPage(int index)
{
    m_pageList->setCurrentRow(index);
}

QWidget* PreferencesDialog::PathRow(QLineEdit* field, const QString& title, bool file,
                                    const std::function<QString()>& startWhenEmpty)
{
    auto* browse = new QPushButton(QStringLiteral("Browse..."), field->parentWidget());
    browse->setObjectName(field->objectName() + QStringLiteral("Browse"));
    connect(browse, &QPushButton::clicked, this, [this, field, title, file, startWhenEmpty] {
        const QString start = field->text().isEmpty() ? startWhenEmpty() : field->text();
        const QString chosen = file ? QFileDialog::getOpenFileName(this, title, start)
                                    : QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
        if (!chosen.isEmpty())
            field->setText(chosen);
    });
    if (field == m_ffmpegPath)
        m_ffmpegBrowse = browse;
    auto* row = Row(field->parentWidget(), {field, browse}, false);
    return row;
}

QList<QWidget*> PreferencesDialog::AddCheckBoxes(QWidget* page, const QList<CheckOption>& options)
{
    QList<QWidget*> checks;
    for (const auto& [key, text, member] : options) {
        QCheckBox* check = Check(page, QString::fromLatin1(key), QString::fromLatin1(text));
        auto [fill, write] = CheckField(check, member);
        m_fields.push_back({fill, write});
        checks.append(check);
    }
    return checks;
}

QWidget* PreferencesDialog::BuildGeneralPage()
{
    auto* page = new QWidget(this);
    m_tempDir = Path(page, QStringLiteral("tempDirPath"));
    m_fields.push_back({[this] { m_tempDir->setText(Settings::Get().tempDirPath); }, [] {}});
    QWidget* tempRow = PathRow(m_tempDir, QStringLiteral("Select Temp Directory"), false,
                               [] { return Settings::Get().TempDirPath(); });

    QSpinBox* cache = Spin(page, QStringLiteral("cacheSize"), 512, 32768);
    auto [cacheFill, cacheWrite] = SpinField(cache, &Settings::cacheSize);
    m_fields.push_back({cacheFill, cacheWrite});
    auto* cacheForm = new QFormLayout;
    cacheForm->addRow(QStringLiteral("Size:"), Row(page, {cache, new QLabel(QStringLiteral("MB"), page)}));

    QSpinBox* recentFiles = Spin(page, QStringLiteral("numRecentFiles"), 0, 10);
    QSpinBox* recentProjects = Spin(page, QStringLiteral("numRecentProjects"), 0, 10);
    for (const auto& [spin, key] : {std::pair{recentFiles, &Settings::numRecentFiles},
                                    std::pair{recentProjects, &Settings::numRecentProjects}}) {
        auto [fill, write] = SpinField(spin, key);
        m_fields.push_back({fill, write});
    }
    auto* fileForm = new QFormLayout;
    fileForm->addRow(QStringLiteral("Recent Files:"), recentFiles);
    fileForm->addRow(QStringLiteral("Recent Projects:"), recentProjects);

    const QList<QRadioButton*> confirm = Radios(
        page, QStringLiteral("confirmOnClose"),
        {QStringLiteral("Always"), QStringLiteral("Saved Project Changes"), QStringLiteral("Disabled")});
    {
        auto [fill, write] = RadioField(confirm, &Settings::confirmOnClose, 1);
        m_fields.push_back({fill, write});
    }

    const QList<CheckOption> options{
        {"openMediaInNewPlayers", "Open media in new players", &Settings::openMediaInNewPlayers},
        {"resizeToFit", "Resize to fit video", &Settings::resizeToFit},
        {"pausePlaybackOnSeek", "Pause playback on seek", &Settings::pausePlaybackOnSeek},
        {"pausePlaybackOnScrub", "Pause playback on scrub", &Settings::pausePlaybackOnScrub},
        {"endlessMouseScrub", "Endless mouse scrub", &Settings::endlessMouseScrub},
        {"panZoomMouseControls", "Pan/zoom mouse controls enabled", &Settings::panZoomMouseControls},
        {"hideAnnotationToolbarOnLaunch", "Hide annotation toolbar on launch", &Settings::hideAnnotationToolbarOnLaunch},
        {"highlightCurrentSourceInTimelinePanel", "Highlight current source in Timeline Panel",
         &Settings::highlightCurrentSourceInTimelinePanel},
        {"playbackControlsSeekRangeStartEnd", "Playback controls seek range start/end",
         &Settings::playbackControlsSeekRangeStartEnd},
        {"audioOnBackwardsPlayback", "Audio output on backwards playback", &Settings::audioOnBackwardsPlayback},
        {"hideVolumeControl", "Hide volume control (requires restart)", &Settings::hideVolumeControl},
    };
    const QList<QWidget*> checks = AddCheckBoxes(page, options);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("Temp Directory"), Column({tempRow})));
    layout->addWidget(Group(page, QStringLiteral("Cache"), cacheForm));
    layout->addWidget(Group(page, QStringLiteral("File"), fileForm));
    layout->addWidget(Group(page, QStringLiteral("Confirm Close"), Column({confirm[0], confirm[1], confirm[2]})));
    layout->addWidget(Group(page, QStringLiteral("Options"), Column(checks)));
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildProjectPage()
{
    auto* page = new QWidget(this);
    QLineEdit* root = Path(page, QStringLiteral("defaultSourceRootDirPath"));
    root->setPlaceholderText(QStringLiteral("{project_directory}"));
    {
        auto [fill, write] = PathField(root, &Settings::defaultSourceRootDirPath);
        m_fields.push_back({fill, write});
    }
    QWidget* rootRow = PathRow(root, QStringLiteral("Select Source Directory"), false, [] { return QDir::homePath(); });

    auto* rate = new QDoubleSpinBox(page);
    rate->setObjectName(QStringLiteral("defaultImageSequenceFrameRate"));
    rate->setDecimals(3);
    rate->setRange(1.0, 120.0);
    rate->setButtonSymbols(QAbstractSpinBox::NoButtons);
    {
        auto [fill, write] = DoubleField(rate, &Settings::defaultImageSequenceFrameRate);
        m_fields.push_back({fill, write});
    }
    auto* rateForm = new QFormLayout;
    rateForm->addRow(QStringLiteral("Frame Rate:"), rate);

    QSpinBox* offset = Spin(page, QStringLiteral("defaultTimeControlFrameOffset"), 0, 999999);
    {
        auto [fill, write] = SpinField(offset, &Settings::defaultTimeControlFrameOffset);
        m_fields.push_back({fill, write});
    }
    auto* offsetForm = new QFormLayout;
    offsetForm->addRow(QStringLiteral("Time Control Offset:"), offset);

    const QList<CheckOption> options{
        {"addDefaultTimeline", "Add default timeline to new project", &Settings::addDefaultTimeline},
        {"activateDefaultTimeline", "Set default timeline active in new project", &Settings::activateDefaultTimeline},
        {"restorePanZoomOnProjectLoad", "Restore pan/zoom on project load", &Settings::restorePanZoomOnProjectLoad},
        {"restoreHoldAnnotationsOnProjectLoad", "Restore hold annotations on project load",
         &Settings::restoreHoldAnnotationsOnProjectLoad},
    };
    const QList<QWidget*> checks = AddCheckBoxes(page, options);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("Source Root Directory"), Column({rootRow})));
    layout->addWidget(Group(page, QStringLiteral("Image Sequences"), rateForm));
    layout->addWidget(Group(page, QStringLiteral("Frame Numbering"), offsetForm));
    layout->addWidget(Group(page, QStringLiteral("Options"), Column(checks)));
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildAnnotationPage()
{
    auto* page = new QWidget(this);
    QCheckBox* textBox = Check(page, QStringLiteral("showAnnotationTextBox"), QString());
    QSpinBox* width = Spin(page, QStringLiteral("annotationTextBoxWidthScaler"), 10, 100);
    QSpinBox* height = Spin(page, QStringLiteral("annotationTextBoxHeightScaler"), 5, 100);
    width->setSuffix(QStringLiteral("%"));
    height->setSuffix(QStringLiteral("%"));
    QCheckBox* arrow = Check(page, QStringLiteral("annotationDrawArrowTipToBase"), QStringLiteral("Draw arrow tip to base"));
    for (const Binding& binding :
         {CheckField(textBox, &Settings::showAnnotationTextBox), PercentField(width, &Settings::annotationTextBoxWidthScaler),
          PercentField(height, &Settings::annotationTextBoxHeightScaler),
          CheckField(arrow, &Settings::annotationDrawArrowTipToBase)})
        m_fields.push_back({binding.first, binding.second});

    auto* textForm = new QFormLayout;
    textForm->addRow(QStringLiteral("Enable Text Dialog:"), textBox);
    textForm->addRow(QStringLiteral("Text Dialog Size:"), Row(page, {width, new QLabel(QStringLiteral("x"), page), height}));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("Text Tool"), textForm));
    layout->addWidget(Group(page, QStringLiteral("Options"), Column({arrow})));
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildExportPage()
{
    auto* page = new QWidget(this);
    m_ffmpegPath = Path(page, QStringLiteral("ffmpegExePath"));
    QWidget* ffmpegRow = PathRow(m_ffmpegPath, QStringLiteral("Select ffmpeg Executable"), true, [] { return QDir::homePath(); });
    m_ffmpegNote = new QLabel(kFfmpegOverrideNote, page);
    m_ffmpegNote->setObjectName(QStringLiteral("ffmpegOverrideNote"));
    // While the environment names the executable, the field shows that path and is not the
    // user's to change: it is not written back.
    m_fields.push_back({[this] {
                            const bool overridden = Settings::Get().ffmpegExePathOverridden;
                            m_ffmpegPath->setText(Settings::Get().ffmpegExePath);
                            m_ffmpegPath->setEnabled(!overridden);
                            m_ffmpegBrowse->setEnabled(!overridden);
                            m_ffmpegNote->setVisible(overridden);
                        },
                        [this] {
                            if (!Settings::Get().ffmpegExePathOverridden)
                                Settings::Get().ffmpegExePath = m_ffmpegPath->text();
                        }});

    QLineEdit* directory = Path(page, QStringLiteral("exportDirPath"));
    {
        auto [fill, write] = PathField(directory, &Settings::exportDirPath);
        m_fields.push_back({fill, write});
    }
    QWidget* directoryRow = PathRow(directory, QStringLiteral("Select Export Directory"), false,
                                    [] { return Settings::Get().DefaultExportDirPath(); });

    m_format = new QComboBox(page);
    m_format->setObjectName(QStringLiteral("exportFileFormat"));
    m_format->addItems(kExportFormats);
    m_codec = new QComboBox(page);
    m_codec->setObjectName(QStringLiteral("exportCodec"));
    m_codec->addItem(QStringLiteral("h264"));
    auto* formatSettings = new QPushButton(QStringLiteral("Settings..."), page);
    formatSettings->setObjectName(QStringLiteral("exportFormatSettings"));
    connect(formatSettings, &QPushButton::clicked, this, &PreferencesDialog::OpenFormatSettings);
    {
        auto shown = std::make_shared<int>(-1);
        m_fields.push_back({[this, shown] {
                                *shown = m_format->findText(Settings::Get().exportFileFormat);
                                m_format->setCurrentIndex(std::max(*shown, 0));
                            },
                            [this, shown] {
                                if (m_format->currentIndex() != *shown)
                                    Settings::Get().exportFileFormat = m_format->currentText();
                            }});
    }

    auto* outputForm = new QFormLayout;
    outputForm->addRow(QStringLiteral("Directory:"), directoryRow);
    outputForm->addRow(QStringLiteral("Format"), Row(page, {m_format, m_codec, formatSettings}));

    QSpinBox* width = Spin(page, QStringLiteral("exportGlobalWidth"), 240, 4096);
    QSpinBox* height = Spin(page, QStringLiteral("exportGlobalHeight"), 240, 4096);
    for (const auto& [spin, key] :
         {std::pair{width, &Settings::exportGlobalWidth}, std::pair{height, &Settings::exportGlobalHeight}}) {
        auto [fill, write] = SpinField(spin, key);
        m_fields.push_back({fill, write});
    }
    const QList<QRadioButton*> input =
        Radios(page, QStringLiteral("exportViewer"), {QStringLiteral("Timeline Sources"), QStringLiteral("Viewer Capture")});
    {
        auto [fill, write] = ChoiceField(input[1], input[0], &Settings::exportViewer);
        m_fields.push_back({fill, write});
    }
    const QList<CheckOption> options{
        {"exportIgnoreRange", "Ignore Range", &Settings::exportIgnoreRange},
        {"exportExcludeAudio", "Exclude Audio", &Settings::exportExcludeAudio},
        {"exportUseFrameNumbering", "Frame Numbering", &Settings::exportUseFrameNumbering},
        {"exportAnnotations", "Exclude Annotations", &Settings::exportAnnotations},
        {"exportForceOverwrite", "Force Overwrite", &Settings::exportForceOverwrite},
    };
    const QList<QWidget*> checks = AddCheckBoxes(page, options);
    auto* optionsForm = new QFormLayout;
    optionsForm->addRow(QStringLiteral("Resolution:"), Row(page, {width, new QLabel(QStringLiteral("x"), page), height}));
    optionsForm->addRow(QStringLiteral("Video Input:"), Row(page, {input[0], input[1]}));
    auto* checkGrid = new QWidget(page);
    checkGrid->setLayout(Column(checks));
    optionsForm->addRow(checkGrid);

    auto* ffmpegColumn = Column({ffmpegRow, m_ffmpegNote});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("FFmpeg Path (ffmpeg.exe)"), ffmpegColumn));
    layout->addWidget(Group(page, QStringLiteral("Output"), outputForm));
    layout->addWidget(Group(page, QStringLiteral("Options"), optionsForm));
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildNetworkPage()
{
    auto* page = new QWidget(this);
    QSpinBox* apiPort = Spin(page, QStringLiteral("clientApiPort"), 0, 65535);
    const QList<QRadioButton*> apiEnabled =
        Radios(page, QStringLiteral("clientApiPortEnabled"), {QStringLiteral("Enabled"), QStringLiteral("Disabled")});
    QSpinBox* mayaPort = Spin(page, QStringLiteral("mayaCommandPort"), 0, 65535);
    QSpinBox* mayaTimeout = Spin(page, QStringLiteral("mayaSyncTimeout"), 0, 65535);
    for (const Binding& binding :
         {SpinField(apiPort, &Settings::clientApiPort), ChoiceField(apiEnabled[0], apiEnabled[1], &Settings::clientApiPortEnabled),
          SpinField(mayaPort, &Settings::mayaCommandPort), SpinField(mayaTimeout, &Settings::mayaSyncTimeout)})
        m_fields.push_back({binding.first, binding.second});

    auto* apiForm = new QFormLayout;
    apiForm->addRow(QStringLiteral("Port:"), apiPort);
    apiForm->addRow(Row(page, {apiEnabled[0], apiEnabled[1]}));
    auto* mayaForm = new QFormLayout;
    mayaForm->addRow(QStringLiteral("CommandPort:"), mayaPort);
    mayaForm->addRow(QStringLiteral("Timeout (ms):"), mayaTimeout);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("Client API (restart required)"), apiForm));
    layout->addWidget(Group(page, QStringLiteral("Maya Tools"), mayaForm));
    layout->addStretch(1);
    return page;
}

QWidget* PreferencesDialog::BuildAdvancedPage()
{
    auto* page = new QWidget(this);
    QSpinBox* scrub = Spin(page, QStringLiteral("scrubFrameInterval"), 1, 200);
    QSpinBox* scrubAlt = Spin(page, QStringLiteral("scrubFrameIntervalAlt"), 1, 200);
    QSpinBox* scrubShift = Spin(page, QStringLiteral("scrubFrameIntervalShift"), 1, 200);
    QSpinBox* threads = Spin(page, QStringLiteral("imageSequenceThreadCount"), 2, 32);
    const QList<QRadioButton*> audioOnScrub =
        Radios(page, QStringLiteral("audioOnScrubType"),
               {QStringLiteral("All"), QStringLiteral("Viewer Scrub/Frame Step"), QStringLiteral("Time Control Scrub")});
    QSpinBox* buffer = Spin(page, QStringLiteral("audioOutputBufferSize"), 10000, 100000);
    QCheckBox* undo = Check(page, QStringLiteral("projectUndoEnabled"), QStringLiteral("Project Undo/Redo"));
    QCheckBox* menuBar = Check(page, QStringLiteral("showMenuBarOnLaunch"), QStringLiteral("Show menu bar on launch"));
    QCheckBox* software =
        Check(page, QStringLiteral("hardwareRenderingEnabled"), QStringLiteral("Software renderer (experimental)"));
    for (const Binding& binding :
         {SpinField(scrub, &Settings::scrubFrameInterval), SpinField(scrubAlt, &Settings::scrubFrameIntervalAlt),
          SpinField(scrubShift, &Settings::scrubFrameIntervalShift), SpinField(threads, &Settings::imageSequenceThreadCount),
          RadioField(audioOnScrub, &Settings::audioOnScrubType, 0), SpinField(buffer, &Settings::audioOutputBufferSize),
          CheckField(undo, &Settings::projectUndoEnabled), CheckField(menuBar, &Settings::showMenuBarOnLaunch),
          CheckField(software, &Settings::hardwareRenderingEnabled, true)})
        m_fields.push_back({binding.first, binding.second});

    auto* scrubForm = new QFormLayout;
    scrubForm->addRow(QStringLiteral("No Modifiers"), scrub);
    scrubForm->addRow(QStringLiteral("Alt Modifier"), scrubAlt);
    scrubForm->addRow(QStringLiteral("Shift Modifier"), scrubShift);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(page, QStringLiteral("Viewer Scrub Speed (pixels per frame)"), scrubForm));
    layout->addWidget(Group(page, QStringLiteral("Image Sequence Thread Count (requires restart)"),
                            Column({Row(page, {threads, new QLabel(QStringLiteral("(default: 4)"), page)})})));
    layout->addWidget(Group(page, QStringLiteral("Audio on Scrub"), Column({audioOnScrub[0], audioOnScrub[1], audioOnScrub[2]})));
    layout->addWidget(Group(page, QStringLiteral("Audio Output Buffer Size (requires restart)"),
                            Column({Row(page, {buffer, new QLabel(QStringLiteral("(default: 10000)"), page)})})));
    layout->addWidget(Group(page, QStringLiteral("Options (requires restat)"), Column({undo, menuBar, software})));
    layout->addStretch(1);
    return page;
}

void PreferencesDialog::showEvent(QShowEvent* event)
{
    // A show by the program (not the window system restoring a minimised window) starts a
    // fresh edit from what is stored.
    if (!event->spontaneous())
        FillAll();
    QDialog::showEvent(event);
}

void PreferencesDialog::FillAll()
{
    const Settings& settings = Settings::Get();
    for (const Field& field : m_fields)
        field.fill();
    m_h264Quality = settings.h264Quality;
    m_h264Preset = settings.h264Preset;
    m_imagePadding = settings.exportImagePadding;
    m_imageNumberingType = settings.exportImageNumberingType;
    m_cacheSizeAtShow = settings.cacheSize;
    // Afresh at every show, so that bindings edited and then cancelled never come back.
    m_keyboard->SetCommands(m_commands.EditableCopy());
}

void PreferencesDialog::OpenFormatSettings()
{
    const QString format = m_format->currentText();
    if (format == QLatin1String("png") || format == QLatin1String("jpg"))
        OpenImageSequenceSettings();
    else if (format == QLatin1String("mp4") || format == QLatin1String("mov"))
        OpenCodecSettings();
}

void PreferencesDialog::OpenImageSequenceSettings()
{
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("imageSequenceSettings"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Image Sequence Settings"));
    dialog->setMinimumWidth(220);
    const QList<QRadioButton*> numbering =
        Radios(dialog, QStringLiteral("exportImageNumberingType"),
               {QStringLiteral("Zero Based"), QStringLiteral("One Based"), QStringLiteral("Match Frame")});
    if (m_imageNumberingType >= 0 && m_imageNumberingType < numbering.size())
        numbering[m_imageNumberingType]->setChecked(true);
    QSpinBox* padding = Spin(dialog, QStringLiteral("exportImagePadding"), 1, 6);
    padding->setValue(m_imagePadding);
    auto* form = new QFormLayout(dialog);
    form->setContentsMargins(6, 6, 6, 10);
    auto* numberingColumn = new QWidget(dialog);
    numberingColumn->setLayout(Column({numbering[0], numbering[1], numbering[2]}));
    form->addRow(QStringLiteral("Numbering:"), numberingColumn);
    form->addRow(QStringLiteral("Padding:"), padding);
    // However it closes (the window's button included), its values are kept until OK.
    connect(dialog, &QDialog::finished, this, [this, numbering, padding] {
        m_imagePadding = padding->value();
        m_imageNumberingType = numbering[1]->isChecked() ? 1 : numbering[2]->isChecked() ? 2 : 0;
    });
    dialog->open();
}

void PreferencesDialog::OpenCodecSettings()
{
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("codecSettings"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Codec Settings (%1)").arg(m_codec->currentText()));
    auto* quality = new QComboBox(dialog);
    quality->setObjectName(QStringLiteral("h264Quality"));
    const QStringList qualities{QStringLiteral("Very High  "), QStringLiteral("High"), QStringLiteral("Medium"),
                                QStringLiteral("Low")};
    for (int i = 0; i < qualities.size(); ++i)
        quality->addItem(qualities[i], i);
    auto* preset = new QComboBox(dialog);
    preset->setObjectName(QStringLiteral("h264Preset"));
    const QStringList presets{QStringLiteral("Very Slow"), QStringLiteral("Slow"), QStringLiteral("Medium"),
                              QStringLiteral("Fast"), QStringLiteral("Very Fast"), QStringLiteral("Ultra Fast")};
    for (int i = 0; i < presets.size(); ++i)
        preset->addItem(presets[i], i);
    quality->setCurrentIndex(quality->findData(m_h264Quality));
    preset->setCurrentIndex(preset->findData(m_h264Preset));
    auto* form = new QFormLayout(dialog);
    form->addRow(QStringLiteral("Quality:"), quality);
    form->addRow(QStringLiteral("Preset:"), preset);
    connect(dialog, &QDialog::finished, this, [this, quality, preset] {
        if (quality->currentIndex() >= 0)
            m_h264Quality = quality->currentData().toInt();
        if (preset->currentIndex() >= 0)
            m_h264Preset = preset->currentData().toInt();
    });
    dialog->open();
}

void PreferencesDialog::accept()
{
    Settings& settings = Settings::Get();
    m_commands.ReplaceFromCopy(m_keyboard->Commands());
    settings.SetTempDirPath(m_tempDir->text());
    for (const Field& field : m_fields)
        field.write();
    settings.h264Quality = m_h264Quality;
    settings.h264Preset = m_h264Preset;
    settings.exportImagePadding = m_imagePadding;
    settings.exportImageNumberingType = m_imageNumberingType;
    settings.Save();
    if (settings.cacheSize != m_cacheSizeAtShow && m_engine)
        m_engine->RefreshCache();
    QDialog::accept();
}
