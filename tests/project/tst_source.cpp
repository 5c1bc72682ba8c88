#include "core/Logger.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::Touch;

class TestSource : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_movie;

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        QVERIFY(m_dir.isValid());
        m_movie = m_dir.filePath(QStringLiteral("movie.mov"));
        Touch(m_movie);
    }

    void init() { ProjectGlobals::ResetFromSettings(); }

    void identity()
    {
        Source a(m_movie, QString(), QUuid());
        QVERIFY(!a.Id().isNull());
        const QUuid id = QUuid::createUuid();
        Source b(m_movie, QString(), id);
        QCOMPARE(b.Id(), id);
        QCOMPARE(b.Name(), QStringLiteral("movie.mov"));
        QVERIFY(!b.IsImageSequence());
        QCOMPARE(b.FileCount(), 1);
        QCOMPARE(b.Status(), SourceStatus::Ok);
        QVERIFY(b.ContainsFile(m_dir.path() + QStringLiteral("/./movie.mov")));
        QVERIFY(b.HasPath(m_movie));
    }

    void invalidPath()
    {
        TestSupport::LogCapture log;
        Source source(QStringLiteral("no_dot_here"), QString(), QUuid());
        QCOMPARE(source.Status(), SourceStatus::FileNotFound);
        QCOMPARE(source.FileCount(), 0);
        QVERIFY(log.HasError(QStringLiteral("Failed to create source: Invalid file path")));
        QCOMPARE(source.FrameCount(), 0);
        QCOMPARE(source.FileName(0), QString());
        QCOMPARE(source.FileFrameNumber(3), -1);
        QVERIFY(!source.VideoStream(0, 0));
    }

    void statusTexts()
    {
        QCOMPARE(SourceStatusText(SourceStatus::Ok), QString());
        QCOMPARE(SourceStatusText(SourceStatus::FileNotFound), QStringLiteral("File not found"));
        QCOMPARE(SourceStatusText(SourceStatus::MediaParsingFailed), QStringLiteral("Media parsing failed"));
        QCOMPARE(SourceStatusText(SourceStatus::FailedToOpenInput), QStringLiteral("Failed to open input"));
        QCOMPARE(SourceStatusText(SourceStatus::FailedToFindStreamInfo), QStringLiteral("Failed to find stream info"));
    }

    void cutInAndOut()
    {
        Source source(m_movie, QString(), QUuid());
        TestSupport::FakeParsedVideo(source, 100, 25.0);
        QSignalSpy changed(&source, &Source::CutInOutChanged);
        QVERIFY(source.IsUncut());
        QCOMPARE(source.EffectiveCutOutFrame(), 99);
        QCOMPARE(source.CutOutTime(), 3999999);

        source.SetCutInFrame(-5); // stays 0: no change, no signal
        QCOMPARE(source.CutInFrame(), 0);
        QCOMPARE(changed.size(), 0);

        source.SetCutOutFrame(10);
        QCOMPARE(source.CutOutFrame(), 10);
        QCOMPARE(source.CutOutTime(), 439999);
        source.SetCutInFrame(20); // limited to the cut-out
        QCOMPARE(source.CutInFrame(), 10);
        QCOMPARE(source.CutInTime(), 400000);
        QVERIFY(!source.IsUncut());
        source.SetCutOutFrame(5); // below the cut-in: the cut-in frame
        QCOMPARE(source.CutOutFrame(), 10);
        source.SetCutInFrame(3);
        source.SetCutOutFrame(2);
        QCOMPARE(source.CutOutFrame(), 3);
        source.SetCutOutFrame(99); // the last frame or beyond: unset
        QCOMPARE(source.CutOutFrame(), -1);
        QCOMPARE(source.EffectiveCutOutFrame(), 99);
        source.SetCutOutFrame(500);
        QCOMPARE(source.CutOutFrame(), -1);
        source.SetCutOutFrame(-7);
        QCOMPARE(source.CutOutFrame(), -1);
        QCOMPARE(changed.size(), 5);
    }

    void fractionalRateCutTimes()
    {
        Source source(m_movie, QString(), QUuid());
        TestSupport::FakeParsedVideo(source, 1000, 24000.0 / 1001.0);
        source.SetCutInFrame(1);
        source.SetCutOutFrame(1);
        QCOMPARE(source.CutInTime(), 41709);  // ceil(41708.33)
        QCOMPARE(source.CutOutTime(), 83416); // ceil(2 x 41708.33) - 1
    }

    void durationText()
    {
        Source source(m_movie, QString(), QUuid());
        source.ParserSetEndTimes(3725006000);
        QCOMPARE(source.DurationText(), QStringLiteral("01:02:05.01"));
        source.ParserSetEndTimes(3725004999);
        QCOMPARE(source.DurationText(), QStringLiteral("01:02:05.00"));
        source.ParserSetEndTimes(std::numeric_limits<int64_t>::max()); // no overflow
        QVERIFY(!source.DurationText().isEmpty());
    }

    void audioOnlyFramesAtSequenceRate()
    {
        Source source(m_movie, QString(), QUuid());
        AudioStreamInfo& a = source.ParserFileEntry(0)->audioStreams.emplace_back();
        a.valid = true;
        source.ParserFileEntry(0)->parsed = true;
        source.ParserSetEndTimes(9'999'999); // 10 s: the end time is its last microsecond
        QCOMPARE(source.FrameCount(), 240);
        QCOMPARE(source.CutOutTime(), 9'999'999); // the last 42 ms are a frame of their own
        source.ParserSetEndTimes(9'999'998); // the last frame not whole
        QCOMPARE(source.FrameCount(), 239);
        source.ParserSetEndTimes(10'030'000);
        QCOMPARE(source.FrameCount(), 240);
        source.ParserSetEndTimes(41'666); // frame 0 ends at 41,666
        QCOMPARE(source.FrameCount(), 1);
        source.ParserSetEndTimes(41'665);
        QCOMPARE(source.FrameCount(), 0);
        source.ParserSetEndTimes(-1); // not measured
        QCOMPARE(source.FrameCount(), 0);
        source.ParserSetEndTimes(9'999'999);
        ProjectGlobals::SetImageSequenceFrameRate(23.976);
        QCOMPARE(source.FrameCount(), 239); // 239.76 frames in 10 s
        ProjectGlobals::SetImageSequenceFrameRate(25.0);
        QCOMPARE(source.FrameCount(), 250);
        QCOMPARE(source.FrameRate(), 25.0);
    }

    void sequences()
    {
        QDir dir(m_dir.path());
        QVERIFY(dir.mkpath(QStringLiteral("seq")));
        const QString folder = m_dir.filePath(QStringLiteral("seq"));
        Touch(folder + QStringLiteral("/shot.0002.exr"));
        const QString pattern = folder + QStringLiteral("/shot.####.exr 1-48");

        Source source(pattern, QString(), QUuid());
        QVERIFY(source.IsImageSequence());
        QVERIFY(source.IsExr());
        QCOMPARE(source.FileCount(), 48);
        QCOMPARE(source.MissingCount(), 47);
        QCOMPARE(source.Status(), SourceStatus::Ok);
        QCOMPARE(source.FileFrameNumber(0), 1);
        QCOMPARE(source.FileFrameNumber(47), 48);
        QVERIFY(source.FileExists(1) && !source.FileExists(0));
        // 48 files are 48 frames at the sequence rate, whatever the probed streams say.
        SourceFileEntry* second = source.ParserFileEntry(1);
        second->videoStreams.emplace_back().frameCount = 1;
        second->parsed = true;
        QCOMPARE(source.FrameCount(), 48);
        QCOMPARE(source.FrameRate(), 24.0);
        QCOMPARE(source.Duration(), int64_t(41666) * 48);

        Source missing(folder + QStringLiteral("/gone.####.png 1-3"), QString(), QUuid());
        QCOMPARE(missing.Status(), SourceStatus::FileNotFound);
        QCOMPARE(missing.MissingCount(), 3);
        QVERIFY(!missing.IsExr());
    }

    void relativePaths()
    {
        QTemporaryDir root;
        QDir(root.path()).mkpath(QStringLiteral("media"));
        const QString inRoot = root.filePath(QStringLiteral("media/clip.mov"));
        Touch(inRoot);
        ProjectGlobals::SetSourceRootDirPath(root.path());

        // A stored relative path that resolves wins over a stale absolute path.
        Source moved(QStringLiteral("/somewhere/else/clip.mov"), QStringLiteral("media/clip.mov"), QUuid());
        QCOMPARE(moved.Path(), inRoot);
        QCOMPARE(moved.Status(), SourceStatus::Ok);

        Source plain(inRoot, QString(), QUuid());
        QCOMPARE(plain.RelativePath(), QStringLiteral("media/clip.mov"));

        // Without a source root or saved project there is nothing to be relative to.
        ProjectGlobals::SetSourceRootDirPath(QString());
        Source unrooted(inRoot, QString(), QUuid());
        QCOMPARE(unrooted.RelativePath(), QString());
        // A saved project's folder serves as the root.
        ProjectGlobals::SetProjectPath(root.filePath(QStringLiteral("review.plvx2")));
        unrooted.RecomputeRelativePath();
        QCOMPARE(unrooted.RelativePath(), QStringLiteral("media/clip.mov"));
        // A root that does not exist is ignored in favour of the project folder.
        ProjectGlobals::SetSourceRootDirPath(root.filePath(QStringLiteral("missing")));
        QCOMPARE(ProjectGlobals::EffectiveSourceRootDirPath(), root.path());
    }

    void resetMediaInformation()
    {
        Source source(m_movie, QString(), QUuid());
        TestSupport::FakeParsedVideo(source, 10, 25.0);
        source.ResetMediaInformation();
        QCOMPARE(source.FileCount(), 0);
        QCOMPARE(source.EndTime(), -1);
        QVERIFY(!source.IsParsed());
        QCOMPARE(source.FrameCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSource)
#include "tst_source.moc"
