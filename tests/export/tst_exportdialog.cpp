// The export dialog alone: the resolved output path and the checks before a request, the
// request it builds, its logs and the saved log file, the progress bar and the stop question.
#include "core/Logger.h"
#include "core/Settings.h"
#include "export/ExportDialog.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

// The dialog with the default export folder chosen by the test.
class TestableExportDialog : public ExportDialog
{
public:
    explicit TestableExportDialog(QString defaultDir) : m_defaultDir(std::move(defaultDir)) {}

protected:
    QString DefaultOutputDirPath() const override { return m_defaultDir; }

private:
    QString m_defaultDir;
};

// Answers the next message box with the button reading `button`, recording its title and text.
class BoxAnswer
{
public:
    explicit BoxAnswer(const QString& button)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_timer.stop();
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* candidate : box->buttons())
                if (candidate->text().remove(QLatin1Char('&')) == button)
                    candidate->click();
        });
        m_timer.start();
    }
    QString title;
    QString text;

private:
    QTimer m_timer;
};

} // namespace

class TestExportDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { Settings::ResetToDefaults(); }

    // The controls start from the export settings.
    void startsFromSettings()
    {
        Settings& settings = Settings::Get();
        settings.exportFileFormat = QStringLiteral("wav");
        settings.exportGlobalWidth = 640;
        settings.exportGlobalHeight = 360;
        settings.exportViewer = true;
        settings.exportAnnotations = true;
        settings.exportImagePadding = 3;
        ExportDialog dialog;
        QCOMPARE(dialog.Format(), QStringLiteral("wav"));
        QCOMPARE(dialog.WidthSpin()->value(), 640);
        QCOMPARE(dialog.HeightSpin()->value(), 360);
        QCOMPARE(dialog.WidthSpin()->maximum(), 4096);
        QCOMPARE(dialog.WidthSpin()->minimum(), 120);
        QVERIFY(dialog.ViewerCaptureRadio()->isChecked());
        QVERIFY(dialog.ExcludeAnnotationsCheck()->isChecked());
        QVERIFY(dialog.AllFramesRadio()->isChecked());
        QCOMPARE(dialog.PaddingCombo()->currentText(), QStringLiteral("###"));
        QCOMPARE(dialog.PaddingCombo()->currentData().toInt(), 3);
        QCOMPARE(dialog.OutputDirEdit()->placeholderText(), QStringLiteral("<default>"));
        QCOMPARE(dialog.FileNameEdit()->placeholderText(), QStringLiteral("output"));
        QCOMPARE(dialog.CloseButton()->text(), QStringLiteral("Close"));
    }

    // The choices are written back to the export settings when an export starts and when the
    // dialog closes, and a dialog shown again starts from them. The output folder is not one of
    // them: the export folder setting is the default the field falls back to.
    void remembersChoices()
    {
        QTemporaryDir dir;
        Settings& settings = Settings::Get();
        {
            TestableExportDialog dialog(dir.path());
            dialog.OutputDirEdit()->setText(dir.filePath(QStringLiteral("renders")));
            dialog.FormatCombo()->setCurrentText(QStringLiteral("jpg"));
            dialog.PaddingCombo()->setCurrentIndex(2);
            dialog.ForceOverwriteCheck()->setChecked(true);
            dialog.WidthSpin()->setValue(640);
            dialog.HeightSpin()->setValue(400);
            dialog.ViewerCaptureRadio()->setChecked(true);
            dialog.IgnoreRangeCheck()->setChecked(true);
            dialog.ExcludeAudioCheck()->setChecked(true);
            dialog.ExcludeAnnotationsCheck()->setChecked(true);
            QSignalSpy requests(&dialog, &ExportDialog::ExportRequested);
            dialog.Export();
            QCOMPARE(requests.count(), 1);
            QCOMPARE(settings.exportFileFormat, QStringLiteral("jpg"));
            QCOMPARE(settings.exportImagePadding, 3);
            QVERIFY(settings.exportForceOverwrite);
            QCOMPARE(settings.exportGlobalWidth, 640);
            QCOMPARE(settings.exportGlobalHeight, 400);
            QVERIFY(settings.exportViewer);
            QVERIFY(settings.exportIgnoreRange);
            QVERIFY(settings.exportExcludeAudio);
            QVERIFY(settings.exportAnnotations);
            QVERIFY(settings.exportDirPath.isEmpty());
        }
        {
            TestableExportDialog dialog(dir.path());
            QCOMPARE(dialog.Format(), QStringLiteral("jpg"));
            QCOMPARE(dialog.PaddingCombo()->currentData().toInt(), 3);
            QVERIFY(dialog.ForceOverwriteCheck()->isChecked());
            QCOMPARE(dialog.WidthSpin()->value(), 640);
            QCOMPARE(dialog.HeightSpin()->value(), 400);
            QVERIFY(dialog.ViewerCaptureRadio()->isChecked());
            QVERIFY(dialog.IgnoreRangeCheck()->isChecked());
            QVERIFY(dialog.ExcludeAudioCheck()->isChecked());
            QVERIFY(dialog.ExcludeAnnotationsCheck()->isChecked());

            // Changed and closed without an export: kept all the same.
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.FormatCombo()->setCurrentText(QStringLiteral("mov"));
            dialog.WidthSpin()->setValue(1280);
            dialog.TimelineSourcesRadio()->setChecked(true);
            dialog.ExcludeAudioCheck()->setChecked(false);
            dialog.CloseButton()->click();
            QTRY_VERIFY(!dialog.isVisible());
            QCOMPARE(settings.exportFileFormat, QStringLiteral("mov"));
            QCOMPARE(settings.exportGlobalWidth, 1280);
            QVERIFY(!settings.exportViewer);
            QVERIFY(!settings.exportExcludeAudio);

            // Settings changed elsewhere (the preferences) while it was hidden: shown again, the
            // dialog starts from them.
            settings.exportFileFormat = QStringLiteral("wav");
            settings.exportGlobalHeight = 720;
            settings.exportIgnoreRange = false;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.Format(), QStringLiteral("wav"));
            QCOMPARE(dialog.WidthSpin()->value(), 1280);
            QCOMPARE(dialog.HeightSpin()->value(), 720);
            QVERIFY(!dialog.IgnoreRangeCheck()->isChecked());
            dialog.hide();
        }
    }

    // Each row: the fields, the file present beforehand, and what Export does: the resolved
    // path, and either the request's output path or the error in the general log.
    void resolveAndCheck_data()
    {
        QTest::addColumn<QString>("defaultDir"); // "@" stands for the test's folder
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("padding");
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("existing"); // file made first, relative to the test's folder
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<QString>("error");    // empty: a request is emitted
        QTest::addColumn<bool>("box");

        QTest::newRow("empty folder: the default folder") << "@" << "" << "clip" << "mp4" << 4 << false << ""
                                                          << "@/clip.mp4" << "" << false;
        QTest::newRow("relative folder") << "@" << "sub/dir" << "clip" << "mov" << 4 << false << ""
                                         << "@/sub/dir/clip.mov" << "" << false;
        QTest::newRow("absolute folder") << "/nowhere" << "@/abs" << "clip" << "wav" << 4 << false << ""
                                         << "@/abs/clip.wav" << "" << false;
        QTest::newRow("empty name: output") << "@" << "" << "" << "mp4" << 4 << false << "" << "@/output.mp4" << ""
                                            << false;
        QTest::newRow("png pattern, padding 4") << "@" << "" << "shot" << "png" << 4 << false << ""
                                                << "@/shot.####.png" << "" << false;
        QTest::newRow("jpg pattern, padding 1") << "@" << "seq" << "shot" << "jpg" << 1 << false << ""
                                                << "@/seq/shot.#.jpg" << "" << false;
        QTest::newRow("existing file refused") << "@" << "" << "clip" << "mp4" << 4 << false << "clip.mp4"
                                               << "@/clip.mp4"
                                               << "[ERROR] Export failed. Output file already exists (enable force "
                                                  "overwrite to continue)."
                                               << false;
        QTest::newRow("existing file, force overwrite") << "@" << "" << "clip" << "mp4" << 4 << true << "clip.mp4"
                                                        << "@/clip.mp4" << "" << false;
        QTest::newRow("existing image pattern never refused") << "@" << "" << "shot" << "png" << 6 << false
                                                              << "shot.######.png" << "@/shot.######.png" << ""
                                                              << false;
        QTest::newRow("relative default folder") << "relative/exports" << "" << "clip" << "mp4" << 4 << false << ""
                                                 << "relative/exports/clip.mp4"
                                                 << "[ERROR] Export failed. Invaild Output Path: "
                                                    "relative/exports/clip.mp4"
                                                 << false;
        QTest::newRow("no folder: message box") << "" << "" << "clip" << "mp4" << 4 << false << "" << ""
                                                << "[ERROR] Export failed. The output path is not set." << true;
    }
    void resolveAndCheck()
    {
        QFETCH(QString, defaultDir);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(int, padding);
        QFETCH(bool, force);
        QFETCH(QString, existing);
        QFETCH(QString, resolved);
        QFETCH(QString, error);
        QFETCH(bool, box);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto here = [&dir](QString text) { return text.replace(QLatin1Char('@'), dir.path()); };
        if (!existing.isEmpty())
            TestSupport::Touch(dir.filePath(existing));

        TestableExportDialog dialog(here(defaultDir));
        dialog.OutputDirEdit()->setText(here(folder));
        dialog.FileNameEdit()->setText(QStringLiteral("before")); // so that every row changes the name
        dialog.FileNameEdit()->setText(name);
        dialog.FormatCombo()->setCurrentText(format);
        dialog.PaddingCombo()->setCurrentIndex(padding - 1);
        dialog.ForceOverwriteCheck()->setChecked(force);
        QCOMPARE(dialog.ResolvedOutputPath(), here(resolved));
        QCOMPARE(dialog.ResolvedPathLabel()->text(), here(resolved)); // refreshed by the fields

        dialog.LogCombo()->setCurrentIndex(ExportLogVideo);
        dialog.AppendToOutput(QStringLiteral("left over"), ExportLogAudio, false);
        QSignalSpy requests(&dialog, &ExportDialog::ExportRequested);
        std::optional<BoxAnswer> answer;
        if (box)
            answer.emplace(QStringLiteral("OK"));
        dialog.Export();
        QVERIFY(dialog.LogText(ExportLogAudio).isEmpty()); // every export starts with clear logs
        if (error.isEmpty()) {
            QCOMPARE(requests.count(), 1);
            QCOMPARE(requests.at(0).at(0).value<ExportProperties>().outputPath, here(resolved));
            QVERIFY(dialog.LogText(ExportLogGeneral).isEmpty());
            QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogVideo));
        } else {
            QCOMPARE(requests.count(), 0);
            QCOMPARE(dialog.LogText(ExportLogGeneral), here(error));
            QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogGeneral)); // an error shows the general log
        }
        if (box) {
            QCOMPARE(answer->title, QStringLiteral("Error"));
            QCOMPARE(answer->text, QStringLiteral("The output path is not set."));
        }
    }

    // The request carries the controls' choices and the export settings, everything else at
    // the request's defaults.
    void buildsRequest()
    {
        QTemporaryDir dir;
        Settings& settings = Settings::Get();
        settings.h264Quality = 3;
        settings.h264Preset = 5;
        settings.exportImageNumberingType = ExportNumberingMatchFrame;
        TestableExportDialog dialog(dir.path());
        dialog.FileNameEdit()->setText(QStringLiteral("shot"));
        dialog.FormatCombo()->setCurrentText(QStringLiteral("jpg"));
        dialog.PaddingCombo()->setCurrentIndex(4);
        dialog.WidthSpin()->setValue(320);
        dialog.HeightSpin()->setValue(200);
        dialog.ViewerCaptureRadio()->setChecked(true);
        dialog.SteppedBookmarksRadio()->setChecked(true);
        dialog.ExcludeAudioCheck()->setChecked(true);
        dialog.IgnoreRangeCheck()->setChecked(true);
        dialog.ExcludeAnnotationsCheck()->setChecked(true);
        QSignalSpy requests(&dialog, &ExportDialog::ExportRequested);
        dialog.Export();
        QCOMPARE(requests.count(), 1);
        const auto request = requests.at(0).at(0).value<ExportProperties>();
        QCOMPARE(request.outputPath, dir.path() + QStringLiteral("/shot.#####.jpg"));
        QCOMPARE(request.width, 320);
        QCOMPARE(request.height, 200);
        QVERIFY(request.viewerCapture);
        QCOMPARE(request.frameSelection, static_cast<int>(ExportFramesSteppedBookmarks));
        QVERIFY(request.noAudio);
        QVERIFY(!request.noVideo);
        QVERIFY(request.ignoreRange);
        QVERIFY(request.excludeAnnotations);
        QVERIFY(request.imageSequence);
        QCOMPARE(request.outputDirPath, dir.path());
        QCOMPARE(request.baseName, QStringLiteral("shot"));
        QCOMPARE(request.padding, 5);
        QCOMPARE(request.imageFormat, QStringLiteral("jpg"));
        QCOMPARE(request.numberingType, static_cast<int>(ExportNumberingMatchFrame));
        QCOMPARE(request.quality, 3);
        QCOMPARE(request.preset, 5);
        QCOMPARE(request.frameRate, 25.0f);
        QCOMPARE(request.audioStartFrame, -1);
        QVERIFY(!request.mergeAfterAudio);
        QVERIFY(request.timeline == nullptr);

        // A movie: no sequence fields; "Only Bookmarks" is selection 1.
        dialog.FormatCombo()->setCurrentText(QStringLiteral("mp4"));
        dialog.OnlyBookmarksRadio()->setChecked(true);
        dialog.ExcludeAudioCheck()->setChecked(false);
        dialog.Export();
        QCOMPARE(requests.count(), 2);
        const auto movie = requests.at(1).at(0).value<ExportProperties>();
        QVERIFY(!movie.imageSequence);
        QVERIFY(movie.outputDirPath.isEmpty());
        QVERIFY(movie.imageFormat.isEmpty());
        QVERIFY(!movie.noAudio);
        QCOMPARE(movie.frameSelection, static_cast<int>(ExportFramesOnlyBookmarks));
        QCOMPARE(movie.outputPath, dir.path() + QStringLiteral("/shot.mp4"));
    }

    // Errors are tagged and routed by channel; the saved log lays the three out in order.
    void logsAndSavedLog()
    {
        QTemporaryDir dir;
        TestableExportDialog dialog(dir.path());
        dialog.AppendToOutput(QStringLiteral("general line"), ExportLogGeneral, false);
        dialog.AppendToOutput(QStringLiteral("audio line"), ExportLogAudio, false);
        dialog.AppendToOutput(QStringLiteral("audio broke"), ExportLogAudio, true);
        dialog.AppendToOutput(QStringLiteral("video line"), ExportLogVideo, false);
        dialog.AppendToOutput(QStringLiteral("stray"), 7, false);
        QCOMPARE(dialog.LogText(ExportLogGeneral), QStringLiteral("general line\nstray"));
        QCOMPARE(dialog.LogText(ExportLogAudio), QStringLiteral("audio line\n[ERROR] audio broke"));
        QCOMPARE(dialog.LogText(ExportLogVideo), QStringLiteral("video line"));
        QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogGeneral));
        dialog.LogCombo()->setCurrentIndex(ExportLogAudio);
        QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogAudio));
        dialog.AppendToOutput(QStringLiteral("video broke"), ExportLogVideo, true);
        QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogAudio)); // only general errors switch
        dialog.AppendToOutput(QStringLiteral("general broke"), ExportLogGeneral, true);
        QCOMPARE(dialog.ShownLog(), static_cast<int>(ExportLogGeneral));
        QCOMPARE(dialog.LogCombo()->currentText(), QStringLiteral("General  "));

        const QString path = dir.filePath(QStringLiteral("log.txt"));
        QVERIFY(dialog.WriteOutputLog(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString expected = QStringLiteral(
            "-------------------------\nGENERAL\n-------------------------\n\n"
            "general line\nstray\n[ERROR] general broke\n\n\n"
            "-------------------------\nAUDIO\n-------------------------\n\n"
            "audio line\n[ERROR] audio broke\n\n\n"
            "-------------------------\nVIDEO\n-------------------------\n\n"
            "video line\n[ERROR] video broke\n\n\n");
        QCOMPARE(QString::fromUtf8(file.readAll()), expected);

        QVERIFY(!dialog.WriteOutputLog(dir.filePath(QStringLiteral("missing/log.txt"))));
        QVERIFY(dialog.LogText(ExportLogGeneral)
                    .endsWith(QStringLiteral("[ERROR] Failed to open file for writing: %1")
                                  .arg(dir.filePath(QStringLiteral("missing/log.txt")))));

        dialog.ClearOutputText();
        for (int log : {0, 1, 2})
            QVERIFY(dialog.LogText(log).isEmpty());
    }

    // Weights as the streams say, the value rounded and capped at the bar's maximum.
    void progressWeights()
    {
        ExportProperties request;
        request.noVideo = true;
        ExportDialog::ProgressWeights weights = ExportDialog::WeightsFor(request);
        QCOMPARE(weights.audio, 1.0f);
        QCOMPARE(weights.video, 0.0f);
        QCOMPARE(weights.finalize, 0.0f);
        request.noVideo = false;
        request.noAudio = true;
        weights = ExportDialog::WeightsFor(request);
        QCOMPARE(weights.audio, 0.0f);
        QCOMPARE(weights.video, 0.98f);
        QCOMPARE(weights.finalize, 0.0f);
        request.audioProgress = 50.0f;
        request.videoProgress = 50.0f;
        QCOMPARE(ExportDialog::ProgressValue(request, weights), 490);
        request.noAudio = false;
        weights = ExportDialog::WeightsFor(request);
        QCOMPARE(weights.audio, 0.1f);
        QCOMPARE(weights.video, 0.86f);
        QCOMPARE(weights.finalize, 0.2f);
        QCOMPARE(ExportDialog::ProgressValue(request, weights), 480); // 5 + 43
        request.audioProgress = 100.0f;
        request.videoProgress = 100.0f;
        request.finalizeProgress = 20.0f;
        QCOMPARE(ExportDialog::ProgressValue(request, weights), 1000); // 1000 exactly
        request.finalizeProgress = 100.0f;
        QCOMPARE(ExportDialog::ProgressValue(request, weights), 1000); // 1160, capped

        // While exporting the bar follows the request; controls are locked; Close reads Stop.
        auto running = std::make_shared<ExportProperties>();
        running->noVideo = true;
        ExportDialog dialog;
        dialog.show();
        dialog.SetProgressWeights(ExportDialog::WeightsFor(*running));
        dialog.BeginExport(running);
        QVERIFY(dialog.IsExporting());
        QVERIFY(dialog.ProgressBar()->isVisible());
        QCOMPARE(dialog.ProgressBar()->value(), 0);
        QCOMPARE(dialog.CloseButton()->text(), QStringLiteral("Stop"));
        QVERIFY(!dialog.FileNameEdit()->isEnabled());
        QVERIFY(!dialog.WidthSpin()->isEnabled());
        QVERIFY(!dialog.ViewerCaptureRadio()->isEnabled());
        running->audioProgress = 42.0f;
        QTRY_COMPARE(dialog.ProgressBar()->value(), 420);
        QSignalSpy requests(&dialog, &ExportDialog::ExportRequested);
        dialog.Export(); // ignored while exporting
        QCOMPARE(requests.count(), 0);
        dialog.EndExport();
        QVERIFY(!dialog.IsExporting());
        QVERIFY(!dialog.ProgressBar()->isVisible());
        QCOMPARE(dialog.CloseButton()->text(), QStringLiteral("Close"));
        QVERIFY(dialog.FileNameEdit()->isEnabled());
    }

    // Stop and closing ask first; only Yes cancels; the dialog stays open while exporting.
    void stopAsks()
    {
        ExportDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.BeginExport(std::make_shared<ExportProperties>());
        QSignalSpy cancels(&dialog, &ExportDialog::CancelRequested);
        {
            BoxAnswer answer(QStringLiteral("No"));
            dialog.CloseButton()->click();
            QCOMPARE(answer.title, QStringLiteral("Stop Export"));
            QCOMPARE(answer.text, QStringLiteral("Stop the export process?"));
        }
        QCOMPARE(cancels.count(), 0);
        {
            BoxAnswer answer(QStringLiteral("Yes"));
            dialog.close();
            QCOMPARE(answer.text, QStringLiteral("Stop the export process?"));
        }
        QCOMPARE(cancels.count(), 1);
        QVERIFY(dialog.isVisible());
        dialog.EndExport();
        dialog.CloseButton()->click(); // no question when idle
        QVERIFY(!dialog.isVisible());
        QCOMPARE(cancels.count(), 1);
    }

    // Showing checks the ffmpeg path; Show in Folder wants a folder that exists.
    void showChecks()
    {
        QTemporaryDir dir;
        {
            Settings::Get().ffmpegExePath.clear();
            TestableExportDialog dialog(dir.path());
            dialog.show();
            QCOMPARE(dialog.LogText(ExportLogGeneral),
                     QStringLiteral("[ERROR] The ffmpeg path is not set (Preferences->Export)"));
        }
        {
            const QString missing = dir.filePath(QStringLiteral("no-ffmpeg"));
            Settings::Get().ffmpegExePath = missing;
            TestableExportDialog dialog(dir.path());
            dialog.show();
            QCOMPARE(dialog.LogText(ExportLogGeneral),
                     QStringLiteral("[ERROR] The ffmpeg path does not exist: %1").arg(missing));
            dialog.ClearOutputText();
            dialog.OutputDirEdit()->setText(dir.filePath(QStringLiteral("gone")));
            dialog.ShowInFolder();
            QCOMPARE(dialog.LogText(ExportLogGeneral),
                     QStringLiteral("[ERROR] Output directory does not exist: %1").arg(dir.filePath(QStringLiteral("gone"))));
        }
        {
            TestSupport::Touch(dir.filePath(QStringLiteral("ffmpeg")));
            Settings::Get().ffmpegExePath = dir.filePath(QStringLiteral("ffmpeg"));
            TestableExportDialog dialog(dir.path());
            dialog.show();
            QVERIFY(dialog.LogText(ExportLogGeneral).isEmpty());
        }
    }

    // "Timeline" takes the size the panel gave, "Default" the export settings.
    void resolutionButtons()
    {
        Settings::Get().exportGlobalWidth = 800;
        Settings::Get().exportGlobalHeight = 450;
        ExportDialog dialog;
        dialog.SetTimelineResolution(QSize(1280, 720));
        dialog.MatchTimelineResolution();
        QCOMPARE(dialog.WidthSpin()->value(), 1280);
        QCOMPARE(dialog.HeightSpin()->value(), 720);
        dialog.MatchGlobalResolution();
        QCOMPARE(dialog.WidthSpin()->value(), 800);
        QCOMPARE(dialog.HeightSpin()->value(), 450);
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
