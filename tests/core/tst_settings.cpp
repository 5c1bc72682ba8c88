#include "core/Logger.h"
#include "core/Settings.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

void WriteFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_file;
    QString m_override;

    Settings& s() { return Settings::Get(); }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        m_file = Settings::SettingsFilePath();
        m_override = m_home.filePath(QStringLiteral("override.ini"));
    }

    void init()
    {
        Settings::ResetToDefaults();
        QFile::remove(m_file);
        QFile::remove(m_override);
    }

    void folders()
    {
        const QString app = m_home.path() + QStringLiteral("/Documents/plovex");
        QCOMPARE(Settings::ApplicationDirPath(), app);
        QCOMPARE(Settings::SettingsDirPath(), app + QStringLiteral("/config"));
        QCOMPARE(Settings::SettingsFilePath(), app + QStringLiteral("/config/plovex.ini"));
        QCOMPARE(s().TempDirPath(), app + QStringLiteral("/temp"));
        QCOMPARE(s().DefaultExportDirPath(), app);
        s().SetTempDirPath(QStringLiteral("/scratch"));
        s().exportDirPath = QStringLiteral("/renders");
        QCOMPARE(s().TempDirPath(), QStringLiteral("/scratch"));
        QCOMPARE(s().DefaultExportDirPath(), QStringLiteral("/renders"));
    }

    // Without a settings file nothing else is read, not even the override file.
    void firstStartKeepsDefaults()
    {
        WriteFile(m_override, QStringLiteral("[preferences]\ncacheSize=4096\n"));
        s().Load(m_file, m_override, QStringLiteral("/opt/ffmpeg"));
        QVERIFY(s() == Settings{});
        QCOMPARE(s().cacheSize, 1024);
        QCOMPARE(s().ffmpegExePath, QString());
        QCOMPARE(s().annotationColorPresets.size(), 16);
        QCOMPARE(s().annotationColorPresets.at(1), QColor(0, 255, 255));
        QCOMPARE(s().annotationColorPresets.at(15), QColor(255, 255, 255));
    }

    void rangesAreChecked()
    {
        WriteFile(m_file, QStringLiteral("[preferences]\n"
                                         "cacheSize=100\nnumRecentFiles=-3\nnumRecentProjects=11\nconfirmOnClose=-1\n"
                                         "exportFileFormat=MP4\nh264Preset=9\nh264Quality=2\nscrubFrameIntervalAlt=0\n"
                                         "scrubFrameInterval=201\nscrubFrameIntervalShift=7\n"
                                         "defaultImageSequenceFrameRate=0.5\nsurfaceBufferCountOverride=7\n"
                                         "audioOutputBufferSize=999999\naudioOnScrubType=3\nexportImagePadding=0\n"
                                         "exportImageNumberingType=-1\nexportGlobalWidth=5000\nexportGlobalHeight=10\n"
                                         "annotationTextBoxWidthScaler=2.5\nannotationToolIncrementSize=0.01\n"
                                         "defaultTimeControlFrameOffset=-4\n"
                                         "[overlay]\nviewerOverlayGridRows=1\nviewerOverlayGridColumns=99\n"));
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().cacheSize, 512);
        QCOMPARE(s().numRecentFiles, 0);
        QCOMPARE(s().numRecentProjects, 10);
        QCOMPARE(s().confirmOnClose, 1);
        QCOMPARE(s().exportFileFormat, QStringLiteral("mp4"));
        QCOMPARE(s().h264Preset, 3);
        QCOMPARE(s().h264Quality, 2);
        QCOMPARE(s().scrubFrameIntervalAlt, 20);
        QCOMPARE(s().scrubFrameInterval, 20);
        QCOMPARE(s().scrubFrameIntervalShift, 7);
        QCOMPARE(s().defaultImageSequenceFrameRate, 1.0);
        QCOMPARE(s().surfaceBufferCountOverride, 2);
        QCOMPARE(s().audioOutputBufferSize, 100000);
        QCOMPARE(s().audioOnScrubType, 0);
        QCOMPARE(s().exportImagePadding, 4);
        QCOMPARE(s().exportImageNumberingType, 0);
        QCOMPARE(s().exportGlobalWidth, 4096);
        QCOMPARE(s().exportGlobalHeight, 120);
        QCOMPARE(s().annotationTextBoxWidthScaler, 1.0f);
        QCOMPARE(s().annotationToolIncrementSize, 0.1f);
        QCOMPARE(s().defaultTimeControlFrameOffset, 0);
        QCOMPARE(s().viewerOverlayGridRows, 2);
        QCOMPARE(s().viewerOverlayGridColumns, 10);

        // Corrected values are what the next save writes.
        QVERIFY(s().Save(m_file));
        QSettings file(m_file, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("preferences/cacheSize")).toInt(), 512);
        QCOMPARE(file.value(QStringLiteral("preferences/exportFileFormat")).toString(), QStringLiteral("mp4"));
        QCOMPARE(file.value(QStringLiteral("main/version")).toInt(), 1);

        WriteFile(m_file, QStringLiteral("[preferences]\ncacheSize=100000\ndefaultImageSequenceFrameRate=240\nexportFileFormat=avi\n"));
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().cacheSize, 32768);
        QCOMPARE(s().defaultImageSequenceFrameRate, 120.0);
        QCOMPARE(s().exportFileFormat, QStringLiteral("mp4"));

        // "nan" reads as a number but lies in no range.
        WriteFile(m_file, QStringLiteral("[preferences]\ndefaultImageSequenceFrameRate=nan\n"
                                         "annotationTextBoxHeightScaler=nan\n"));
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().defaultImageSequenceFrameRate, 1.0);
        QCOMPARE(s().annotationTextBoxHeightScaler, 0.1f);
    }

    void wrongTypesConvertThenCheck()
    {
        WriteFile(m_file, QStringLiteral("[preferences]\ncacheSize=lots\nvSyncEnabled=maybe\n"));
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().cacheSize, 512); // reads as 0, then clamped
        QCOMPARE(s().vSyncEnabled, QVariant(QStringLiteral("maybe")).toBool());
    }

    void missingKeysKeepCurrentValues()
    {
        WriteFile(m_file, QStringLiteral("[annotations]\npencilSize=4\n"));
        s().textSize = 7.5f;
        s().ffmpegExePath = QStringLiteral("/held/ffmpeg");
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().textSize, 7.5f);
        QCOMPARE(s().pencilSize, 4.0f);
        // The three path keys read as empty when missing.
        QCOMPARE(s().ffmpegExePath, QString());
        // The background colour is always fully transparent after loading.
        QCOMPARE(s().annotationBackgroundColor.alpha(), 0);
    }

    void ffmpegOverride()
    {
        WriteFile(m_file, QStringLiteral("[preferences]\nffmpegExePath=/usr/bin/ffmpeg\n"));
        s().Load(m_file, QString(), QStringLiteral("/opt/ffmpeg/bin/ffmpeg"));
        QCOMPARE(s().ffmpegExePath, QStringLiteral("/opt/ffmpeg/bin/ffmpeg"));
        QVERIFY(s().ffmpegExePathOverridden);
        // The overriding path is saved like any other value.
        QVERIFY(s().Save(m_file));
        QCOMPARE(QSettings(m_file, QSettings::IniFormat).value(QStringLiteral("preferences/ffmpegExePath")).toString(),
                 QStringLiteral("/opt/ffmpeg/bin/ffmpeg"));
    }

    void configOverrideFile()
    {
        WriteFile(m_file, QStringLiteral("[preferences]\ncacheSize=2048\nffmpegExePath=/usr/bin/ffmpeg\n"
                                         "resizeToFit=true\nexportDirPath=/exports\n"
                                         "[menu]\nvolume=40\n"));
        // Only "preferences" keys of the list are taken; volume and resizeToFit are not.
        WriteFile(m_override, QStringLiteral("[preferences]\ncacheSize=8192\nh264Preset=9\nresizeToFit=false\n"
                                             "[menu]\nvolume=90\n"));
        s().Load(m_file, m_override, QStringLiteral("/env/ffmpeg"));
        QCOMPARE(s().cacheSize, 8192);
        QCOMPARE(s().h264Preset, 3);
        QCOMPARE(s().resizeToFit, true);
        QCOMPARE(s().volume, 40);
        // Without ffmpegExePath the override file clears it, environment or not; same for
        // the other two paths.
        QCOMPARE(s().ffmpegExePath, QString());
        QCOMPARE(s().exportDirPath, QString());

        WriteFile(m_override, QStringLiteral("[preferences]\nffmpegExePath=/studio/ffmpeg\n"));
        s().Load(m_file, m_override, QStringLiteral("/env/ffmpeg"));
        QCOMPARE(s().ffmpegExePath, QStringLiteral("/studio/ffmpeg"));
    }

    void colourPresets()
    {
        WriteFile(m_file, QStringLiteral("[annotations]\nannotationColorPresets=#102030, nonsense, #ffffff00\n"));
        s().Load(m_file, QString(), QString());
        QCOMPARE(s().annotationColorPresets.size(), 16);
        QCOMPARE(s().annotationColorPresets.at(0), QColor(0x10, 0x20, 0x30));
        QCOMPARE(s().annotationColorPresets.at(1), QColor(0, 255, 255)); // invalid: default kept
        QCOMPARE(s().annotationColorPresets.at(3), QColor(255, 0, 255));
    }

    // Whatever Plovex writes reads back to the same values.
    void roundTrip()
    {
        Settings& v = s();
        v.windowGeometry = QByteArray("\x01\x02\x00\xff geometry", 13);
        v.consoleShowOnType = 3;
        v.waitOnStart = true;
        v.sideBarOrder = {QStringLiteral("project"), QStringLiteral("timeline")};
        v.recentFiles = {QStringLiteral("/a/b c.mov"), QStringLiteral("/ü/клип.mp4")};
        v.lastImgCaptureDirPath = QStringLiteral("/captures");
        v.loopState = 2;
        v.volume = 150;
        v.tempDirPath = QStringLiteral("/tmp/plovex scratch");
        v.cacheSize = 4096;
        v.openMediaInNewPlayers = true;
        v.mayaCommandPort = 65000;
        v.mayaSyncMultiplier = 2.5f;
        v.defaultImageSequenceFrameRate = 23.976;
        v.annotationTextBoxWidthScaler = 0.55f;
        v.ffmpegExePath = QStringLiteral("/usr/local/bin/ffmpeg");
        v.exportFileFormat = QStringLiteral("wav");
        v.h264Preset = 5;
        v.rangeTimeControlPositionTop = false;
        v.viewerOverlayLineColor = QColor(10, 20, 30, 200);
        v.annotationBackgroundColor = QColor(1, 2, 3, 0);
        v.annotationColorPresets[5] = QColor(9, 8, 7);
        v.pencilOpacity = 0.25f;
        v.ghostedFramesNextTintColor = QColor(0, 0, 255);
        const Settings written = v;
        QVERIFY(v.Save(m_file));
        Settings::ResetToDefaults();
        s().Load(m_file, QString(), QString());
        QVERIFY(s() == written);
    }

    void recentFiles()
    {
        QDir::setCurrent(m_home.path());
        s().numRecentFiles = 3;
        s().AddRecentFile(QStringLiteral("/m/a.mov"));
        s().AddRecentFile(QStringLiteral("/m/b.mov"));
        s().AddRecentFile(QStringLiteral("/m/c.mov"));
        s().AddRecentFile(QString()); // ignored
        QCOMPARE(s().recentFiles, (QStringList{"/m/c.mov", "/m/b.mov", "/m/a.mov"}));
        s().AddRecentFile(QStringLiteral("/m/a.mov")); // third moves to the front
        QCOMPARE(s().recentFiles, (QStringList{"/m/a.mov", "/m/c.mov", "/m/b.mov"}));
        s().AddRecentFile(QStringLiteral("d.mov")); // made absolute; the oldest drops out
        QCOMPARE(s().recentFiles, (QStringList{m_home.filePath("d.mov"), "/m/a.mov", "/m/c.mov"}));
        // Saved at once.
        QCOMPARE(QSettings(m_file, QSettings::IniFormat).value(QStringLiteral("menu/recentFiles")).toStringList(),
                 s().recentFiles);
        s().AddRecentProject(QStringLiteral("/p/one.plvx2"));
        s().ClearRecentFiles();
        QVERIFY(s().recentFiles.isEmpty());
        QCOMPARE(s().recentProjects, QStringList{QStringLiteral("/p/one.plvx2")});
        s().ClearRecentProjects();
        QVERIFY(QSettings(m_file, QSettings::IniFormat).value(QStringLiteral("menu/recentProjects")).toStringList().isEmpty());
    }

    void recentListsTrimmedAtStart()
    {
        WriteFile(m_file, QStringLiteral("[menu]\nrecentFiles=/1, /2, /3, /4\nrecentProjects=/p1, /p2\n"
                                         "[preferences]\nnumRecentFiles=2\nnumRecentProjects=0\n"));
        s().Load(m_file, QString(), QString());
        s().TrimRecentLists();
        QCOMPARE(s().recentFiles, (QStringList{"/1", "/2"}));
        QVERIFY(s().recentProjects.isEmpty());
    }

    void configDirCheck()
    {
        TestSupport::LogCapture log;
        const QString dir = Settings::SettingsDirPath();
        QDir(dir).removeRecursively();
        QVERIFY(Settings::CheckConfigDir());
        QVERIFY(QFileInfo(dir).isDir());
        QVERIFY(QDir(dir).entryList(QDir::Files).isEmpty()); // the probe file is gone again
        QVERIFY(log.errors.isEmpty());

        // An unwritable folder: read-only permissions, or immutable when running as root.
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        bool immutable = false;
        QFile probe(dir + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir}) == 0;
        }
        QFile again(dir + QStringLiteral("/probe"));
        const bool writable = again.open(QIODevice::WriteOnly);
        if (writable)
            again.remove();
        if (!writable) {
            QVERIFY(!Settings::CheckConfigDir());
            QVERIFY(log.HasError(QStringLiteral("Failed to write to config directory: %1").arg(dir)));
        }
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dir});
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (writable)
            QSKIP("no way to make a folder unwritable here");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
