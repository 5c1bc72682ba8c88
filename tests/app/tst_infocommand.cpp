#include "app/InfoCommand.h"
#include "core/FileHelpers.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::MediaPath;

namespace {

struct InfoRun
{
    int exitCode = -1;
    QList<QJsonObject> sources;
    QString errors;
};

InfoRun RunInfo(const QStringList& files)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    static QTemporaryDir home; // no settings file: every default holds
    environment.insert(QStringLiteral("HOME"), home.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PLOVEX_BINARY), QStringList{QStringLiteral("--info")} + files);
    InfoRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return InfoRun{};
        run.sources << document.object();
    }
    return run;
}

} // namespace

class TestInfoCommand : public QObject
{
    Q_OBJECT

private slots:
    void everyFixture()
    {
        const QStringList files = {
            MediaPath("clip_1080p25.mp4"), MediaPath("clip_23976.mp4"), MediaPath("clip_1366.mp4"),
            MediaPath("clip_rotated.mp4"), MediaPath("clip_negative_ts.mts"), MediaPath("clip_bt2020.mp4"),
            MediaPath("clip_rgba.mov"), MediaPath("clip_1x1.mkv"), MediaPath("tone_44100.wav"),
            MediaPath("tone_mono.wav"), MediaPath("tone_51.wav"), MediaPath("truncated.mp4"),
            MediaPath("dir with späces/клип ü.mp4"), MediaPath("corrupt_packets.mp4"), MediaPath("colour_709full.mkv"),
            MediaPath("clip_1080p25_gop250.mp4"), MediaPath("clip_23976_gop250.mp4"), MediaPath("tone_440_6s.wav"),
        };
        const InfoRun run = RunInfo(files);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.sources.size(), files.size());
        for (int i = 0; i < files.size(); ++i) {
            const QJsonObject source = run.sources.at(i);
            QCOMPARE(source.value("path").toString(), files.at(i));
            QCOMPARE(source.value("status").toInt(), 0);
            QCOMPARE(source.value("statusText").toString(), QString());
            QVERIFY(source.value("frameCount").toInt() > 0);
        }
        const QJsonObject hd = run.sources.at(0);
        QCOMPARE(hd.value("frameCount").toInt(), 75);
        QCOMPARE(hd.value("frameRate").toDouble(), 25.0);
        QCOMPARE(hd.value("durationText").toString(), QStringLiteral("00:00:03.00"));
        const QJsonObject video = hd.value("videoStreams").toArray().at(0).toObject();
        QCOMPARE(video.value("width").toInt(), 1920);
        QCOMPARE(video.value("pixelFormatName").toString(), QStringLiteral("yuv420p"));
        QCOMPARE(video.value("rec709").toBool(), true);
        QCOMPARE(video.value("colorSpace").toString(), QStringLiteral("smpte170m"));
        QCOMPARE(hd.value("audioStreams").toArray().at(0).toObject().value("sampleRate").toInt(), 48000);
        QCOMPARE(run.sources.at(1).value("frameRate").toDouble(), 23.976);
        QCOMPARE(run.sources.at(2).value("videoStreams").toArray().at(0).toObject().value("paddedWidth").toInt(), 1368);
        QCOMPARE(run.sources.at(10).value("audioStreams").toArray().at(0).toObject().value("channelCount").toInt(), 6);
    }

    void failuresSetTheExitCode()
    {
        const QString missing = MediaPath("no such file.mp4");
        const InfoRun run = RunInfo({MediaPath("clip_rotated.mp4"), missing, MediaPath("random.mp4")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.sources.size(), 3);
        // Cut short before its index: unreadable. Too large to decode: no error status, but
        // nothing to play either.
        for (const char* name : {"truncated_no_index.mp4", "huge_9000.mkv"}) {
            const InfoRun one = RunInfo({MediaPath(QLatin1String(name))});
            QCOMPARE(one.exitCode, 1);
            QCOMPARE(one.sources.size(), 1);
        }
        QCOMPARE(RunInfo({MediaPath("truncated_no_index.mp4")}).sources.at(0).value("status").toInt(), 3);
        QCOMPARE(run.sources.at(0).value("status").toInt(), 0);
        QCOMPARE(run.sources.at(1).value("status").toInt(), 1);
        QCOMPARE(run.sources.at(1).value("statusText").toString(), QStringLiteral("File not found"));
        QCOMPARE(run.sources.at(2).value("status").toInt(), 3);
        QCOMPARE(run.sources.at(2).value("statusText").toString(), QStringLiteral("Failed to open input"));
        // Errors also reach standard error while no console exists.
        QVERIFY(run.errors.contains(QStringLiteral("[ERROR] File not found: %1").arg(missing)));
        QVERIFY(run.errors.contains(QStringLiteral("[ERROR] Failed to open input for parsing: %1 (").arg(MediaPath("random.mp4"))));
    }

    // A folder's worth of numbered images: one source per pattern, with its runs.
    void sequences()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("renders ü"));
        QDir().mkpath(folder);
        QImage image(32, 16, QImage::Format_RGB888);
        image.fill(Qt::darkCyan);
        QStringList files;
        for (const char* name : {"a.0001.png", "a.0002.png", "a.0004.png", "b_01.png", "b_02.png", "c.png"}) {
            files << folder + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(image.save(files.last()));
        }
        const InfoRun run = RunInfo(files);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.sources.size(), 3);
        const QJsonObject a = run.sources.at(0);
        QCOMPARE(a.value("path").toString(), folder + QStringLiteral("/a.####.png 1-4 (1-2 4)"));
        QCOMPARE(a.value("imageSequence").toBool(), true);
        QCOMPARE(a.value("fileCount").toInt(), 3);
        QCOMPARE(a.value("frameCount").toInt(), 3);
        QCOMPARE(a.value("frameRate").toDouble(), 24.0);
        const QJsonObject stream = a.value("videoStreams").toArray().at(0).toObject();
        QCOMPARE(stream.value("width").toInt(), 32);
        QCOMPARE(stream.value("frameRate").toDouble(), -1.0);
        QCOMPARE(stream.value("paddedWidth").toInt(), 32);
        QCOMPARE(run.sources.at(1).value("path").toString(), folder + QStringLiteral("/b_##.png 1-2"));
        QCOMPARE(run.sources.at(2).value("path").toString(), folder + QStringLiteral("/c.png"));
        QCOMPARE(run.sources.at(2).value("frameCount").toInt(), 1);
    }

    // Members named one by one (a shell glob) make one source and list their folder once.
    void membersListTheirFolderOnce()
    {
        QTemporaryDir dir;
        QStringList files;
        for (int frame = 1; frame <= 50; ++frame) {
            files << dir.filePath(QStringLiteral("m.%1.png").arg(frame, 3, 10, QLatin1Char('0')));
            QFile file(files.last());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString missing = dir.filePath(QStringLiteral("gone.mov"));
        const quint64 before = FileHelpers::FolderListingCount();
        QCOMPARE(InfoSourcePaths(files + QStringList{missing, files.first()}),
                 (QStringList{dir.path() + QStringLiteral("/m.###.png 1-50"), missing}));
        QCOMPARE(FileHelpers::FolderListingCount() - before, quint64(1));
    }

    void optionsThatExit()
    {
        QProcess process;
        process.start(QStringLiteral(PLOVEX_BINARY), {QStringLiteral("--version")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().startsWith("Plovex "));
        process.start(QStringLiteral(PLOVEX_BINARY), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().contains("--info"));
    }
};

QTEST_GUILESS_MAIN(TestInfoCommand)
#include "tst_infocommand.moc"
