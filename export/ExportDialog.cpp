#include "export/ExportDialog.h"

#include "core/Platform.h"
#include "core/Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QStringList kFormats = {QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("png"),
                              QStringLiteral("jpg"), QStringLiteral("wav")};
constexpr int kMinimumSize = 120;
constexpr int kMaximumSize = 4096;
constexpr int kProgressMaximum = 1000;
constexpr int kProgressIntervalMs = 100;

} // namespace

bool ExportDialog::IsImageFormat(const QString& format)
{
    return format == QLatin1String("png") || format == QLatin1String("jpg");
}

ExportDialog::ProgressWeights ExportDialog::WeightsFor(const ExportProperties& request)
{
    if (request.noVideo)
        return {1.0f, 0.0f, 0.0f};
    if (request.noAudio)
        return {0.0f, 0.98f, 0.0f};
    return {0.1f, 0.86f, 0.2f};
}

int ExportDialog::ProgressValue(const ExportProperties& request, const ProgressWeights& weights)
{
    const float value = (request.audioProgress.Load() * weights.audio + request.videoProgress.Load() * weights.video +
                         request.finalizeProgress.Load() * weights.finalize) * 10.0f;
    return std::clamp(static_cast<int>(std::lround(value)), 0, kProgressMaximum);
}

ExportDialog::ExportDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export"));
    auto* layout = new QVBoxLayout(this);

    // Output: folder, name and format, padding, the resolved path.
    m_outputControls = new QWidget(this);
    auto* output = new QGridLayout(m_outputControls);
    output->setContentsMargins(0, 0, 0, 0);
    m_outputDir = new QLineEdit(m_outputControls);
    m_outputDir->setPlaceholderText(QStringLiteral("<default>"));
    m_selectDir = new QPushButton(QStringLiteral("..."), m_outputControls);
    m_selectDir->setToolTip(QStringLiteral("Select Directory"));
    output->addWidget(new QLabel(QStringLiteral("Output Dir:"), m_outputControls), 0, 0);
    output->addWidget(m_outputDir, 0, 1, 1, 3);
    output->addWidget(m_selectDir, 0, 4);
    m_fileName = new QLineEdit(m_outputControls);
    m_fileName->setPlaceholderText(QStringLiteral("output"));
    m_format = new QComboBox(m_outputControls);
    m_format->addItems(kFormats);
    m_padding = new QComboBox(m_outputControls);
    for (int digits = 1; digits <= 6; ++digits)
        m_padding->addItem(QString(digits, QLatin1Char('#')), digits);
    output->addWidget(new QLabel(QStringLiteral("File Name:"), m_outputControls), 1, 0);
    output->addWidget(m_fileName, 1, 1);
    output->addWidget(new QLabel(QStringLiteral("."), m_outputControls), 1, 2);
    output->addWidget(m_format, 1, 3);
    output->addWidget(m_padding, 1, 4);
    m_setFilePath = new QPushButton(QStringLiteral("Set Output File Path"), m_outputControls);
    m_showInFolder = new QPushButton(QStringLiteral("Show in Folder"), m_outputControls);
    m_forceOverwrite = new QCheckBox(QStringLiteral("Force overwrite"), m_outputControls);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_setFilePath);
    buttons->addWidget(m_showInFolder);
    buttons->addWidget(m_forceOverwrite);
    buttons->addStretch(1);
    output->addLayout(buttons, 2, 0, 1, 5);
    m_resolvedPath = new QLabel(QStringLiteral("<resolved output path>"), m_outputControls);
    m_resolvedPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    output->addWidget(m_resolvedPath, 3, 0, 1, 5);

    // Resolution.
    m_width = new QSpinBox(m_outputControls);
    m_height = new QSpinBox(m_outputControls);
    for (QSpinBox* spin : {m_width, m_height})
        spin->setRange(kMinimumSize, kMaximumSize);
    m_matchTimeline = new QPushButton(QStringLiteral("Timeline"), m_outputControls);
    m_matchDefault = new QPushButton(QStringLiteral("Default"), m_outputControls);
    auto* resolution = new QHBoxLayout;
    resolution->addWidget(m_width);
    resolution->addWidget(new QLabel(QStringLiteral("x"), m_outputControls));
    resolution->addWidget(m_height);
    resolution->addWidget(m_matchTimeline);
    resolution->addWidget(m_matchDefault);
    resolution->addStretch(1);
    output->addWidget(new QLabel(QStringLiteral("Resolution:"), m_outputControls), 4, 0);
    output->addLayout(resolution, 4, 1, 1, 4);
    layout->addWidget(m_outputControls);

    // Input, frames and options.
    m_inputControls = new QWidget(this);
    auto* input = new QGridLayout(m_inputControls);
    input->setContentsMargins(0, 0, 0, 0);
    m_timelineSources = new QRadioButton(QStringLiteral("Timeline Sources"), m_inputControls);
    m_viewerCapture = new QRadioButton(QStringLiteral("Viewer Capture"), m_inputControls);
    auto* inputGroup = new QButtonGroup(m_inputControls);
    inputGroup->addButton(m_timelineSources);
    inputGroup->addButton(m_viewerCapture);
    input->addWidget(new QLabel(QStringLiteral("Input:  "), m_inputControls), 0, 0);
    input->addWidget(m_timelineSources, 0, 1);
    input->addWidget(m_viewerCapture, 0, 2);
    m_allFrames = new QRadioButton(QStringLiteral("All Frames"), m_inputControls);
    m_steppedBookmarks = new QRadioButton(QStringLiteral("Stepped (Bookmarks)"), m_inputControls);
    m_onlyBookmarks = new QRadioButton(QStringLiteral("Only Bookmarks"), m_inputControls);
    auto* framesGroup = new QButtonGroup(m_inputControls);
    for (QRadioButton* radio : {m_allFrames, m_steppedBookmarks, m_onlyBookmarks})
        framesGroup->addButton(radio);
    m_allFrames->setChecked(true);
    input->addWidget(m_allFrames, 1, 1);
    input->addWidget(m_steppedBookmarks, 1, 2);
    input->addWidget(m_onlyBookmarks, 1, 3);
    auto* options = new QGroupBox(QStringLiteral("Options"), m_inputControls);
    auto* optionsLayout = new QHBoxLayout(options);
    m_ignoreRange = new QCheckBox(QStringLiteral("Ignore Range"), options);
    m_excludeAudio = new QCheckBox(QStringLiteral("Exclude Audio"), options);
    m_excludeAnnotations = new QCheckBox(QStringLiteral("Exclude Annotations"), options);
    optionsLayout->addWidget(m_ignoreRange);
    optionsLayout->addWidget(m_excludeAudio);
    optionsLayout->addWidget(m_excludeAnnotations);
    input->addWidget(options, 2, 0, 1, 4);
    layout->addWidget(m_inputControls);

    // The three logs.
    auto* logBox = new QGroupBox(QStringLiteral("Output Log"), this);
    auto* logLayout = new QVBoxLayout(logBox);
    auto* logButtons = new QHBoxLayout;
    m_logChoice = new QComboBox(logBox);
    m_logChoice->addItems({QStringLiteral("General  "), QStringLiteral("Audio"), QStringLiteral("Video")});
    auto* saveLog = new QPushButton(QStringLiteral("Save Output Log"), logBox);
    auto* clearLog = new QPushButton(QStringLiteral("Clear"), logBox);
    logButtons->addWidget(m_logChoice);
    logButtons->addStretch(1);
    logButtons->addWidget(saveLog);
    logButtons->addWidget(clearLog);
    logLayout->addLayout(logButtons);
    m_logs = new QStackedWidget(logBox);
    for (QPlainTextEdit*& log : m_logText) {
        log = new QPlainTextEdit(m_logs);
        log->setReadOnly(true);
        m_logs->addWidget(log);
    }
    logLayout->addWidget(m_logs, 1);
    layout->addWidget(logBox, 1);

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, kProgressMaximum);
    m_progress->setValue(0);
    m_progress->setVisible(false);
    layout->addWidget(m_progress);
    auto* bottom = new QHBoxLayout;
    m_exportButton = new QPushButton(QStringLiteral("Export"), this);
    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_exportButton->setAutoDefault(false);
    m_closeButton->setAutoDefault(false);
    bottom->addStretch(1);
    bottom->addWidget(m_exportButton);
    bottom->addWidget(m_closeButton);
    layout->addLayout(bottom);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &ExportDialog::UpdateProgress);

    connect(m_outputDir, &QLineEdit::textChanged, this, &ExportDialog::UpdateOutputPath);
    connect(m_fileName, &QLineEdit::textChanged, this, &ExportDialog::UpdateOutputPath);
    connect(m_format, &QComboBox::currentIndexChanged, this, &ExportDialog::UpdateOutputPath);
    connect(m_padding, &QComboBox::currentIndexChanged, this, &ExportDialog::UpdateOutputPath);
    connect(m_selectDir, &QPushButton::clicked, this, &ExportDialog::SelectOutputDir);
    connect(m_setFilePath, &QPushButton::clicked, this, &ExportDialog::SelectOutputFilePath);
    connect(m_showInFolder, &QPushButton::clicked, this, &ExportDialog::ShowInFolder);
    connect(m_matchTimeline, &QPushButton::clicked, this, &ExportDialog::MatchTimelineResolution);
    connect(m_matchDefault, &QPushButton::clicked, this, &ExportDialog::MatchGlobalResolution);
    connect(m_logChoice, &QComboBox::currentIndexChanged, this, &ExportDialog::OnOutputDisplayTypeChanged);
    connect(saveLog, &QPushButton::clicked, this, &ExportDialog::SaveOutputLog);
    connect(clearLog, &QPushButton::clicked, this, &ExportDialog::ClearOutputText);
    connect(m_exportButton, &QPushButton::clicked, this, &ExportDialog::Export);
    connect(m_closeButton, &QPushButton::clicked, this, &ExportDialog::Cancel);
    connect(m_viewerCapture, &QRadioButton::toggled, this, &ExportDialog::RefreshUi);
    LoadSettings();
    RefreshUi();
}

void ExportDialog::LoadSettings()
{
    const Settings& settings = Settings::Get();
    m_format->setCurrentIndex(std::max(0, static_cast<int>(kFormats.indexOf(settings.exportFileFormat))));
    m_padding->setCurrentIndex(std::clamp(settings.exportImagePadding, 1, 6) - 1);
    m_forceOverwrite->setChecked(settings.exportForceOverwrite);
    m_width->setValue(settings.exportGlobalWidth);
    m_height->setValue(settings.exportGlobalHeight);
    (settings.exportViewer ? m_viewerCapture : m_timelineSources)->setChecked(true);
    m_ignoreRange->setChecked(settings.exportIgnoreRange);
    m_excludeAudio->setChecked(settings.exportExcludeAudio);
    m_excludeAnnotations->setChecked(settings.exportAnnotations);
    UpdateOutputPath();
}

void ExportDialog::StoreSettings() const
{
    Settings& settings = Settings::Get();
    settings.exportFileFormat = Format();
    settings.exportImagePadding = m_padding->currentData().toInt();
    settings.exportForceOverwrite = m_forceOverwrite->isChecked();
    settings.exportGlobalWidth = m_width->value();
    settings.exportGlobalHeight = m_height->value();
    settings.exportViewer = m_viewerCapture->isChecked();
    settings.exportIgnoreRange = m_ignoreRange->isChecked();
    settings.exportExcludeAudio = m_excludeAudio->isChecked();
    settings.exportAnnotations = m_excludeAnnotations->isChecked();
}

ExportDialog::~ExportDialog() = default;

QString ExportDialog::DefaultOutputDirPath() const
{
    return Settings::Get().DefaultExportDirPath();
}

QString ExportDialog::OutputDirPath() const
{
    const QString field = m_outputDir->text().trimmed();
    const QString defaultDir = DefaultOutputDirPath();
    if (field.isEmpty())
        return defaultDir;
    if (QDir::isRelativePath(field))
        return defaultDir.isEmpty() ? QString() : QStringLiteral("%1/%2").arg(defaultDir, field);
    return field;
}

QString ExportDialog::FileName() const
{
    const QString name = m_fileName->text().trimmed();
    return name.isEmpty() ? m_fileName->placeholderText() : name;
}

QString ExportDialog::Format() const
{
    return m_format->currentText();
}

QString ExportDialog::ResolvedOutputPath() const
{
    const QString folder = OutputDirPath();
    if (folder.isEmpty())
        return QString();
    const QString format = Format();
    const QString path = IsImageFormat(format)
                             ? QStringLiteral("%1/%2.%3.%4").arg(folder, FileName(), m_padding->currentText(), format)
                             : QStringLiteral("%1/%2.%3").arg(folder, FileName(), format);
    // A relative default folder leaves the path relative, which Export refuses; an absolute
    // one is only tidied.
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : path;
}

void ExportDialog::UpdateOutputPath()
{
    m_resolvedPath->setText(ResolvedOutputPath());
    m_padding->setEnabled(!m_exporting && IsImageFormat(Format()));
}

void ExportDialog::ReportError(const QString& text)
{
    AppendToOutput(text, ExportLogGeneral, true);
}

void ExportDialog::Export()
{
    if (m_exporting)
        return;
    StoreSettings();
    ClearOutputText();
    const QString path = ResolvedOutputPath();
    if (path.isEmpty()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("The output path is not set."),
                        QMessageBox::Ok, this);
        box.exec();
        ReportError(QStringLiteral("Export failed. The output path is not set."));
        return;
    }
    if (QDir::isRelativePath(path)) {
        ReportError(QStringLiteral("Export failed. Invaild Output Path: %1").arg(path));
        return;
    }
    const QString format = Format();
    if (QFileInfo::exists(path) && !m_forceOverwrite->isChecked() && !IsImageFormat(format)) {
        ReportError(QStringLiteral("Export failed. Output file already exists (enable force overwrite to continue)."));
        return;
    }

    const Settings& settings = Settings::Get();
    ExportProperties request;
    request.outputPath = path;
    request.width = m_width->value();
    request.height = m_height->value();
    request.noAudio = m_excludeAudio->isChecked();
    request.excludeAnnotations = m_excludeAnnotations->isChecked();
    request.ignoreRange = m_ignoreRange->isChecked();
    request.viewerCapture = m_viewerCapture->isChecked();
    request.frameSelection = m_onlyBookmarks->isChecked()      ? ExportFramesOnlyBookmarks
                             : m_steppedBookmarks->isChecked() ? ExportFramesSteppedBookmarks
                                                               : ExportFramesAll;
    request.imageSequence = IsImageFormat(format);
    if (request.imageSequence) {
        request.outputDirPath = QDir::cleanPath(OutputDirPath());
        request.baseName = FileName();
        request.padding = m_padding->currentData().toInt();
        request.imageFormat = format;
        request.numberingType = settings.exportImageNumberingType;
    }
    request.quality = settings.h264Quality;
    request.preset = settings.h264Preset;
    emit ExportRequested(request);
}

void ExportDialog::Cancel()
{
    if (m_exporting)
        AskToStop();
    else
        close();
}

void ExportDialog::AskToStop()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Stop Export"), QStringLiteral("Stop the export process?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes && m_exporting)
        emit CancelRequested();
}

void ExportDialog::closeEvent(QCloseEvent* event)
{
    if (m_exporting) {
        event->ignore();
        AskToStop();
        return;
    }
    QDialog::closeEvent(event);
}

void ExportDialog::reject()
{
    if (m_exporting) {
        AskToStop();
        return;
    }
    QDialog::reject();
}

void ExportDialog::SelectOutputDir()
{
    const QString start = QFileInfo(OutputDirPath()).isDir() ? OutputDirPath() : DefaultOutputDirPath();
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Directory"), start);
    if (!folder.isEmpty())
        m_outputDir->setText(folder);
}

void ExportDialog::SelectOutputFilePath()
{
    const QString format = Format();
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export File Path"), ResolvedOutputPath(),
                                                      QStringLiteral("%1 (*.%2)").arg(format.toUpper(), format));
    if (path.isEmpty())
        return;
    const QFileInfo file(path);
    m_outputDir->setText(file.absolutePath());
    // "name.####.png" or "name.png" give back "name"; the format stays the combo's.
    QString name = file.fileName();
    if (name.endsWith(QLatin1Char('.') + format))
        name.chop(format.size() + 1);
    if (IsImageFormat(format)) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && name.mid(dot + 1).count(QLatin1Char('#')) == name.size() - dot - 1)
            name.truncate(dot);
    }
    m_fileName->setText(name);
}

void ExportDialog::ShowInFolder()
{
    const QString path = ResolvedOutputPath();
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        Platform::RevealInFileBrowser(path);
        return;
    }
    const QString folder = OutputDirPath();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        Platform::RevealInFileBrowser(folder);
        return;
    }
    ReportError(QStringLiteral("Output directory does not exist: %1").arg(folder));
}

void ExportDialog::MatchTimelineResolution()
{
    if (!m_timelineResolution.isValid())
        return;
    m_width->setValue(m_timelineResolution.width());
    m_height->setValue(m_timelineResolution.height());
}

void ExportDialog::MatchGlobalResolution()
{
    m_width->setValue(Settings::Get().exportGlobalWidth);
    m_height->setValue(Settings::Get().exportGlobalHeight);
}

void ExportDialog::AppendToOutput(const QString& text, int msgType, bool isErrorMsg)
{
    const int log = msgType == ExportLogAudio || msgType == ExportLogVideo ? msgType : ExportLogGeneral;
    m_logText[log]->appendPlainText(isErrorMsg ? QStringLiteral("[ERROR] %1").arg(text) : text);
    if (isErrorMsg && log == ExportLogGeneral)
        m_logChoice->setCurrentIndex(ExportLogGeneral);
}

void ExportDialog::ClearOutputText()
{
    for (QPlainTextEdit* log : m_logText)
        log->clear();
}

void ExportDialog::OnOutputDisplayTypeChanged(int index)
{
    m_logs->setCurrentIndex(std::clamp(index, 0, 2));
}

QString ExportDialog::LogText(int msgType) const
{
    return msgType >= 0 && msgType < 3 ? m_logText[msgType]->toPlainText() : QString();
}

int ExportDialog::ShownLog() const
{
    return m_logs->currentIndex();
}

bool ExportDialog::WriteOutputLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        ReportError(QStringLiteral("Failed to open file for writing: %1").arg(path));
        return false;
    }
    const char* titles[] = {"GENERAL", "AUDIO", "VIDEO"};
    QString text;
    for (int log = 0; log < 3; ++log) {
        text += QStringLiteral("-------------------------\n");
        text += QString::fromLatin1(titles[log]) + QLatin1Char('\n');
        text += QStringLiteral("-------------------------\n\n");
        text += m_logText[log]->toPlainText();
        text += QStringLiteral("\n\n\n");
    }
    file.write(text.toUtf8());
    return true;
}

void ExportDialog::SaveOutputLog()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Output Log"), DefaultOutputDirPath(),
                                                      QStringLiteral("Text (*.txt)"));
    if (!path.isEmpty())
        WriteOutputLog(path);
}

void ExportDialog::BeginExport(std::shared_ptr<const ExportProperties> request)
{
    m_exporting = true;
    m_request = std::move(request);
    m_progress->setValue(0);
    m_progressTimer->start();
    RefreshUi();
}

void ExportDialog::EndExport()
{
    UpdateProgress();
    m_exporting = false;
    m_request.reset();
    m_progressTimer->stop();
    RefreshUi();
}

void ExportDialog::RefreshUi()
{
    m_outputControls->setEnabled(!m_exporting);
    m_inputControls->setEnabled(!m_exporting);
    m_exportButton->setEnabled(!m_exporting);
    m_progress->setVisible(m_exporting);
    m_closeButton->setText(m_exporting ? QStringLiteral("Stop") : QStringLiteral("Close"));
    // The frame choice only matters for a viewer capture.
    const bool viewer = m_viewerCapture->isChecked();
    for (QRadioButton* radio : {m_allFrames, m_steppedBookmarks, m_onlyBookmarks})
        radio->setEnabled(viewer);
    m_excludeAnnotations->setEnabled(viewer);
    UpdateOutputPath();
}

void ExportDialog::UpdateProgress()
{
    if (m_request)
        m_progress->setValue(ProgressValue(*m_request, m_weights));
}

void ExportDialog::CheckFfmpegPath()
{
    const QString ffmpeg = Settings::Get().ffmpegExePath;
    if (ffmpeg.isEmpty())
        ReportError(QStringLiteral("The ffmpeg path is not set (Preferences->Export)"));
    else if (!QFileInfo::exists(ffmpeg))
        ReportError(QStringLiteral("The ffmpeg path does not exist: %1").arg(ffmpeg));
}

void ExportDialog::showEvent(QShowEvent* event)
{
    if (!m_geometry.isEmpty())
        restoreGeometry(m_geometry);
    if (!m_exporting)
        LoadSettings();
    CheckFfmpegPath();
    QDialog::showEvent(event);
}

void ExportDialog::hideEvent(QHideEvent* event)
{
    m_geometry = saveGeometry();
    StoreSettings();
    QDialog::hideEvent(event);
}
