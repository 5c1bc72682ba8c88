#pragma once

#include "project/ExportProperties.h"

#include <QByteArray>
#include <QDialog>
#include <QSize>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTimer;

// Where the user picks the output (a movie or audio file, or an image-sequence pattern), the
// resolution, the input and the options, starts and stops an export, and follows its progress
// and its three logs (general, audio, video). It checks the output path, builds the request
// and emits it through ExportRequested; the player panel prepares and runs it, tells the
// dialog when exporting begins and ends, and routes the export's log lines to AppendToOutput.
//
// While exporting, the dialog holds a reference to the running request (owned by the panel)
// only to read its progress fields, which the engine's export passes write from their threads.
// Main thread only.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // The image formats: they make an image sequence and are never refused as existing files.
    static bool IsImageFormat(const QString& format);

    // Weights of the three progress percentages in the bar (0..1000).
    struct ProgressWeights
    {
        float audio = 0.0f;
        float video = 0.0f;
        float finalize = 0.0f;
    };
    // The weights for a prepared request: audio only, video only, or both (noAudio and noVideo
    // say what the export produces after preparation).
    static ProgressWeights WeightsFor(const ExportProperties& request);
    // round((audio × a + video × v + finalize × f) × 10), capped at 1000: the weights for both
    // streams add up to 1.16, and a bar leaves its value unchanged for one beyond its maximum.
    static int ProgressValue(const ExportProperties& request, const ProgressWeights& weights);

    explicit ExportDialog(QWidget* parent = nullptr);
    ~ExportDialog() override;

    // The output file, or for image formats the pattern "folder/name.####.png"; empty when no
    // folder could be determined, relative when the default export folder is relative.
    QString ResolvedOutputPath() const;
    // The folder the output goes to: the folder field, taken relative to the default export
    // folder when it is relative, or the default export folder when it is empty.
    QString OutputDirPath() const;
    QString FileName() const; // the name field, or its placeholder "output" when empty
    QString Format() const;

    // The size the "Timeline" button sets (the player panel passes its timeline's picture size).
    void SetTimelineResolution(const QSize& size) { m_timelineResolution = size; }
    void SetProgressWeights(const ProgressWeights& weights) { m_weights = weights; }
    ProgressWeights Weights() const { return m_weights; }

    // Exporting began with `request` (the request the panel runs) or ended.
    void BeginExport(std::shared_ptr<const ExportProperties> request);
    void EndExport();
    bool IsExporting() const { return m_exporting; }

    // The text of one log: ExportLogGeneral, ExportLogAudio or ExportLogVideo.
    QString LogText(int msgType) const;
    // The log shown: ExportLogGeneral, ExportLogAudio or ExportLogVideo.
    int ShownLog() const;
    // Writes the three logs to `path`; false, with the error in the general log, when the file
    // cannot be opened.
    bool WriteOutputLog(const QString& path);

    // The controls, for the player panel and the tests.
    QLineEdit* OutputDirEdit() const { return m_outputDir; }
    QLineEdit* FileNameEdit() const { return m_fileName; }
    QComboBox* FormatCombo() const { return m_format; }
    QComboBox* PaddingCombo() const { return m_padding; }
    QCheckBox* ForceOverwriteCheck() const { return m_forceOverwrite; }
    QLabel* ResolvedPathLabel() const { return m_resolvedPath; }
    QSpinBox* WidthSpin() const { return m_width; }
    QSpinBox* HeightSpin() const { return m_height; }
    QRadioButton* TimelineSourcesRadio() const { return m_timelineSources; }
    QRadioButton* ViewerCaptureRadio() const { return m_viewerCapture; }
    QRadioButton* AllFramesRadio() const { return m_allFrames; }
    QRadioButton* SteppedBookmarksRadio() const { return m_steppedBookmarks; }
    QRadioButton* OnlyBookmarksRadio() const { return m_onlyBookmarks; }
    QCheckBox* IgnoreRangeCheck() const { return m_ignoreRange; }
    QCheckBox* ExcludeAudioCheck() const { return m_excludeAudio; }
    QCheckBox* ExcludeAnnotationsCheck() const { return m_excludeAnnotations; }
    QComboBox* LogCombo() const { return m_logChoice; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QPushButton* ExportButton() const { return m_exportButton; }
    QPushButton* CloseButton() const { return m_closeButton; }

public slots:
    // Checks the output and emits ExportRequested; ignored while exporting.
    void Export();
    // "Close", or while exporting "Stop": asks "Stop the export process?" and on Yes emits
    // CancelRequested.
    void Cancel();
    void SelectOutputDir();
    void SelectOutputFilePath();
    void ShowInFolder();
    void UpdateOutputPath();
    void MatchTimelineResolution();
    void MatchGlobalResolution();
    // Appends `text` to the audio log (channel 1), the video log (2) or the general log
    // (anything else); errors are written "[ERROR] text", and an error in the general log
    // shows that log.
    void AppendToOutput(const QString& text, int msgType, bool isErrorMsg);
    void ClearOutputText();
    void OnOutputDisplayTypeChanged(int index);
    void SaveOutputLog();
    // Enables the controls as the exporting state allows.
    void RefreshUi();
    void UpdateProgress();

signals:
    void ExportRequested(const ExportProperties& properties);
    void CancelRequested();

protected:
    // The folder an empty or relative output folder refers to (the default export folder).
    virtual QString DefaultOutputDirPath() const;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The choices kept in the export settings (format, padding, force overwrite, resolution,
    // input and the three options): set from them when the dialog is made and each time it is
    // shown, written back when an export is asked for and when the dialog hides. The folder
    // field is not one of them: the export folder setting is the default it falls back to.
    void LoadSettings();
    void StoreSettings() const;
    void ReportError(const QString& text);
    // Asks whether to stop the running export; on Yes emits CancelRequested.
    void AskToStop();
    void CheckFfmpegPath();

    QLineEdit* m_outputDir = nullptr;
    QLineEdit* m_fileName = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_padding = nullptr;
    QPushButton* m_selectDir = nullptr;
    QPushButton* m_setFilePath = nullptr;
    QPushButton* m_showInFolder = nullptr;
    QCheckBox* m_forceOverwrite = nullptr;
    QLabel* m_resolvedPath = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QPushButton* m_matchTimeline = nullptr;
    QPushButton* m_matchDefault = nullptr;
    QRadioButton* m_timelineSources = nullptr;
    QRadioButton* m_viewerCapture = nullptr;
    QRadioButton* m_allFrames = nullptr;
    QRadioButton* m_steppedBookmarks = nullptr;
    QRadioButton* m_onlyBookmarks = nullptr;
    QCheckBox* m_ignoreRange = nullptr;
    QCheckBox* m_excludeAudio = nullptr;
    QCheckBox* m_excludeAnnotations = nullptr;
    QComboBox* m_logChoice = nullptr;
    QStackedWidget* m_logs = nullptr;
    QPlainTextEdit* m_logText[3] = {};
    QProgressBar* m_progress = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QWidget* m_inputControls = nullptr;  // disabled while exporting
    QWidget* m_outputControls = nullptr; // disabled while exporting
    QTimer* m_progressTimer = nullptr;

    bool m_exporting = false;
    std::shared_ptr<const ExportProperties> m_request; // the running export, read for progress
    ProgressWeights m_weights;
    QSize m_timelineResolution;
    QByteArray m_geometry; // saved when the dialog hides, restored when it shows
};
