#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using TestSupport::Touch;

namespace {

QStringList Parse(const QString& sequencePath, bool* ok = nullptr)
{
    QStringList paths;
    const bool result = FileHelpers::ParseSourcePath(sequencePath, paths);
    if (ok)
        *ok = result;
    return paths;
}

} // namespace

class TestFileHelpers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        QVERIFY(m_dir.isValid());
    }

    void parseSequencePaths()
    {
        QCOMPARE(Parse(QStringLiteral("C:/a/render.####.exr 1-3")),
                 (QStringList{"C:/a/render.0001.exr", "C:/a/render.0002.exr", "C:/a/render.0003.exr"}));
        QCOMPARE(Parse(QStringLiteral("C:/a/render.####.exr 1-5 (1-2 5)")),
                 (QStringList{"C:/a/render.0001.exr", "C:/a/render.0002.exr", "C:/a/render.0005.exr"}));
        // Numbers wider than the padding are not cut.
        QCOMPARE(Parse(QStringLiteral("C:/a/render.##.exr 99-101")),
                 (QStringList{"C:/a/render.99.exr", "C:/a/render.100.exr", "C:/a/render.101.exr"}));
        QCOMPARE(Parse(QStringLiteral("/s/shot#.png 7")), QStringList{"/s/shot7.png"});
        QCOMPARE(Parse(QStringLiteral("/s/shot.###.png 9-3")), QStringList());
        // Only the last dot-separated part decides whether it is a sequence.
        QCOMPARE(Parse(QStringLiteral("clip.mov")), QStringList{"clip.mov"});
        QCOMPARE(Parse(QStringLiteral("  C:/dir name/clip.mov ")), QStringList{"C:/dir name/clip.mov"});
        QCOMPARE(Parse(QStringLiteral("/my shots/take 1.0001.png")), QStringList{"/my shots/take 1.0001.png"});
    }

    void parseFailures_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message");
        QTest::addRow("no dot") << "no_extension" << "Failed to parse source path. Invalid file naming: %1";
        QTest::addRow("dot too early") << "a.b c" << "Failed to parse source path (1): %1";
        QTest::addRow("parentheses") << "/a/s.####.exr 1-5 (1-2) (5)" << "Failed to parse source path (3): %1";
        QTest::addRow("run parts") << "/a/s.####.exr 1-9 (1-2-3 9)" << "Failed to parse source path (4): %1";
        QTest::addRow("run number") << "/a/s.####.exr 1-9 (1-x 9)" << "Failed to parse source path (5): %1";
        QTest::addRow("range number") << "/a/s.####.exr one-two" << "Failed to parse source path (6): %1";
        QTest::addRow("range overflow") << "/a/s.####.exr 1-99999999999" << "Failed to parse source path (6): %1";
        QTest::addRow("huge range") << "/a/s.####.exr 1-2000000000" << "Failed to parse source path (6): %1";
        QTest::addRow("huge runs") << "/a/s.####.exr 1-9 (1-900000 1000000-1999999)" << "Failed to parse source path (5): %1";
    }

    void parseFailures()
    {
        QFETCH(QString, input);
        QFETCH(QString, message);
        TestSupport::LogCapture log;
        QStringList paths{QStringLiteral("kept")};
        QVERIFY(!FileHelpers::ParseSourcePath(input, paths));
        QCOMPARE(paths, QStringList{QStringLiteral("kept")});
        QCOMPARE(log.errors, QStringList{message.arg(input)});
    }

    void detection()
    {
        const QString dir = m_dir.filePath(QStringLiteral("detect"));
        for (const char* name : {"s.0001.png", "s.0002.png", "s.0004.png", "s.10000.png", "notes.txt",
                                 "take 2.0001.jpg", "take 2.0002.jpg", "movie.0001.mov", "S.0003.PNG"})
            Touch(dir + QLatin1Char('/') + QLatin1String(name));
        const QStringList result = FileHelpers::DetectImageSequences(
            {dir + "/notes.txt", dir + "/s.0002.png", dir + "/movie.0001.mov", dir + "/take 2.0001.jpg",
             dir + "/s.0001.png", dir + "/s.10000.png", dir + "/take 2.0002.jpg"});
        QCOMPARE(result, (QStringList{dir + "/notes.txt", dir + "/movie.0001.mov", dir + "/s.####.png 1-4 (1-2 4)",
                                      dir + "/take 2.####.jpg 1-2", dir + "/s.#####.png 10000-10000"}));
    }

    void detectionAcrossFolders()
    {
        const QString a = m_dir.filePath(QStringLiteral("fa")), b = m_dir.filePath(QStringLiteral("fb"));
        Touch(a + "/x.01.tga");
        Touch(b + "/y.wav");
        Touch(b + "/x.01.tga");
        const QStringList result = FileHelpers::DetectImageSequences({b + "/x.01.tga", a + "/x.01.tga", b + "/y.wav", b + "/x.01.tga"});
        QCOMPARE(result, (QStringList{b + "/y.wav", b + "/x.##.tga 1-1", a + "/x.##.tga 1-1"}));
        // A member that has vanished names no sequence.
        QCOMPARE(FileHelpers::DetectImageSequences({a + "/gone.0001.png"}), QStringList());
    }

    // A sequence path built by detection expands to exactly the files on disk.
    void detectThenParseRoundTrip_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QList<int>>("frames");
        QTest::addColumn<int>("padding");
        QTest::addRow("contiguous") << "plain" << "shot." << QList<int>{1001, 1002, 1003, 1004} << 4;
        QTest::addRow("gaps") << "gaps" << "shot_v02." << QList<int>{1, 2, 3, 5, 8, 9, 10, 20} << 4;
        QTest::addRow("unpadded") << "unpadded" << "f" << QList<int>{1, 2, 3, 7, 9} << 0;
        QTest::addRow("spaces and non-ascii") << "dir with späces/ünïcødé кадры" << "my take 1." << QList<int>{0, 1, 2, 4} << 3;
        QTest::addRow("zero") << "zero" << "z_" << QList<int>{0} << 2;
        QTest::addRow("hash in the name") << "hash" << "take#2." << QList<int>{1, 2, 3} << 4;
    }

    void detectThenParseRoundTrip()
    {
        QFETCH(QString, folder);
        QFETCH(QString, stem);
        QFETCH(QList<int>, frames);
        QFETCH(int, padding);
        const QString dir = m_dir.filePath(QStringLiteral("rt/") + folder);
        QStringList files;
        for (int frame : frames) {
            files << QStringLiteral("%1/%2%3.exr").arg(dir, stem).arg(frame, padding, 10, QLatin1Char('0'));
            Touch(files.last());
        }
        const QStringList detected = FileHelpers::DetectImageSequences({files.last()});
        QCOMPARE(detected.size(), 1);
        QCOMPARE(Parse(detected.first()), files);
        QCOMPARE(FileHelpers::ResolveSequencePath(files.first()), detected.first());
    }

    // A shell glob over a long sequence names every member: the folder is listed once for
    // the whole batch, whichever way the members are grouped, and they make one sequence.
    void thousandsOfMembersListTheirFolderOnce()
    {
        const QString dir = m_dir.filePath(QStringLiteral("glob/plates ünï"));
        QStringList members;
        for (int frame = 1001; frame <= 3000; ++frame) {
            members << QStringLiteral("%1/plate v1.%2.exr").arg(dir).arg(frame, 4, 10, QLatin1Char('0'));
            Touch(members.last());
        }
        Touch(dir + "/plate v1.0999.png"); // same name, other suffix: another pattern
        Touch(dir + "/notes.0001.txt");
        const QString sequence = dir + "/plate v1.####.exr 1001-3000";

        quint64 before = FileHelpers::FolderListingCount();
        QCOMPARE(FileHelpers::DetectImageSequences(members), QStringList{sequence});
        QCOMPARE(FileHelpers::FolderListingCount() - before, quint64(1));

        before = FileHelpers::FolderListingCount();
        QCOMPARE(FileHelpers::ResolveSequencePaths(members), QStringList(members.size(), sequence));
        QCOMPARE(FileHelpers::FolderListingCount() - before, quint64(1));

        // Several patterns in one folder and a second folder: one listing per folder.
        const QString other = m_dir.filePath(QStringLiteral("glob/other"));
        Touch(other + "/a_01.tga");
        Touch(other + "/a_03.tga");
        const QStringList mixed = {members.at(5), dir + "/plate v1.0999.png", other + "/a_03.tga",
                                   dir + "/notes.0001.txt", members.at(0), other + "/a_01.tga"};
        before = FileHelpers::FolderListingCount();
        QCOMPARE(FileHelpers::DetectImageSequences(mixed),
                 (QStringList{dir + "/notes.0001.txt", sequence, dir + "/plate v1.####.png 999-999",
                              other + "/a_##.tga 1-3 (1 3)"}));
        QCOMPARE(FileHelpers::FolderListingCount() - before, quint64(2));

        before = FileHelpers::FolderListingCount();
        QCOMPARE(FileHelpers::ResolveSequencePaths(mixed),
                 (QStringList{sequence, dir + "/plate v1.####.png 999-999", other + "/a_##.tga 1-3 (1 3)",
                              dir + "/notes.0001.txt", sequence, other + "/a_##.tga 1-3 (1 3)"}));
        QCOMPARE(FileHelpers::FolderListingCount() - before, quint64(2));

        // Each call looks afresh: a member added since is seen by the next call.
        Touch(dir + "/plate v1.3001.exr");
        QCOMPARE(FileHelpers::ResolveSequencePath(members.first()), dir + "/plate v1.####.exr 1001-3001");
    }

    void resolveHashPattern()
    {
        const QString dir = m_dir.filePath(QStringLiteral("hash"));
        Touch(dir + "/plate.0010.dpx");
        Touch(dir + "/plate.0011.dpx");
        QCOMPARE(FileHelpers::ResolveSequencePath(dir + "/plate.####.dpx"), dir + "/plate.####.dpx 10-11");
        QCOMPARE(FileHelpers::ResolveSequencePath(dir + "/other.####.dpx"), dir + "/other.####.dpx");
        QCOMPARE(FileHelpers::ResolveSequencePath(QStringLiteral("/x/clip.mov")), QStringLiteral("/x/clip.mov"));
    }

    void mediaTypes()
    {
        QVERIFY(FileHelpers::IsImageFile(QStringLiteral("/a/B.EXR")));
        QVERIFY(FileHelpers::IsLinearImageFile(QStringLiteral("b.Exr")));
        QVERIFY(!FileHelpers::IsLinearImageFile(QStringLiteral("b.png")));
        QVERIFY(FileHelpers::IsMediaFile(QStringLiteral("CLIP.MOV")));
        QVERIFY(FileHelpers::IsMediaFile(QStringLiteral("sound.aiff")));
        QVERIFY(!FileHelpers::IsMediaFile(QStringLiteral("list.txt")));
        QVERIFY(!FileHelpers::IsMediaFile(QString()));
        QVERIFY(FileHelpers::IsProjectFile(QStringLiteral("review.PLVX2")));
        QCOMPARE(FileHelpers::FrameNumberFromPath(QStringLiteral("/s/shot.0042.exr")), 42);
        QCOMPARE(FileHelpers::FrameNumberFromPath(QStringLiteral("/s/shot.exr")), 0);
        QCOMPARE(FileHelpers::FrameNumberFromPath(QStringLiteral("/s/clip.0042.mov")), -1);
        QCOMPARE(FileHelpers::FrameNumberFromPath(QStringLiteral("/s/big.99999999999.png")), 0);
    }

    void dialogFilters()
    {
        QCOMPARE(FileHelpers::MediaFileDialogFilter(),
                 QStringLiteral("All Media (*.aif *.aiff *.avi *.dpx *.exr *.f4v *.flv *.jpeg *.jpg *.m4v *.mkv *.mov "
                                "*.mp4 *.mpeg *.mpeg4 *.mpg *.mts *.mxf *.png *.sgi *.tga *.tif *.tiff *.wav *.webm *.wmv);;"
                                "Video Files (*.avi *.f4v *.flv *.m4v *.mkv *.mov *.mp4 *.mpeg *.mpeg4 *.mpg *.mts *.mxf "
                                "*.webm *.wmv);;Image Files (*.dpx *.exr *.jpeg *.jpg *.png *.sgi *.tga *.tif *.tiff);;"
                                "Audio Files (*.aif *.aiff *.wav);;All Files (*.*)"));
        QCOMPARE(FileHelpers::ProjectSaveDialogFilter(), QStringLiteral("Project Files (*.plvx2);;All Files (*.*)"));
        QCOMPARE(FileHelpers::LogFileDialogFilter(), QStringLiteral("Log Files (*.log);;All Files (*.*)"));
    }
};

QTEST_GUILESS_MAIN(TestFileHelpers)
#include "tst_filehelpers.moc"
