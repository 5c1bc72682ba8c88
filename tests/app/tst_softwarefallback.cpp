// Where the OpenGL viewer is asked for but no OpenGL context can be had (this test runs on
// the offscreen platform, which cannot host one), the window shows pictures with the
// software renderer, and the decoders make their frames for it: packed RGB, with OpenEXR
// values brought to display gamma, the same frames as with the setting off.
#include "app/PlovexBase.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/VideoFrame.h"
#include "tests/TestSupport.h"
#include "viewer/SoftwareViewer.h"
#include "viewer/ViewerBase.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::MediaPath;

namespace {

// What the window showed first: the renderer and a copy of the frame (the frame's stream
// record goes with the window).
struct Shown
{
    bool softwareViewer = false;
    bool frame = false;
    int format = -1;
    std::array<int32_t, 3> lineSizes{};
    QByteArray planes[3];
};

Shown FirstShown(const QString& path, bool hardwareRenderingEnabled)
{
    Settings::ResetToDefaults();
    Settings::Get().hardwareRenderingEnabled = hardwareRenderingEnabled;
    Shown shown;
    PlovexBase window({path});
    shown.softwareViewer = dynamic_cast<SoftwareViewer*>(window.Viewer()) != nullptr;
    const ViewportOutput* output = window.Viewer()->Output(0);
    if (!output || !TestSupport::WaitFor([&] { return output->frame != nullptr; }, 30000))
        return shown;
    const VideoFrame& frame = *output->frame;
    shown.frame = true;
    shown.format = frame.format;
    shown.lineSizes = frame.lineSizes;
    for (size_t i = 0; i < 3; ++i)
        if (frame.planes[i])
            shown.planes[i] = QByteArray(reinterpret_cast<const char*>(frame.planes[i].get()), frame.planeSizes[i]);
    return shown;
}

} // namespace

class TestSoftwareFallback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void framesForTheSoftwareViewer_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addRow("OpenEXR") << MediaPath(QStringLiteral("seq_exr")) + QStringLiteral("/seq.0001.exr");
        QTest::addRow("JPEG (YUV)") << MediaPath(QStringLiteral("seq_jpeg_1001")) + QStringLiteral("/j.0001.jpg");
    }
    void framesForTheSoftwareViewer()
    {
        QFETCH(QString, path);
        const Shown fallback = FirstShown(path, true);
        QVERIFY(fallback.softwareViewer);
        QVERIFY(fallback.frame);
        QCOMPARE(fallback.format, int(VideoFrameFormatRGB));

        const Shown software = FirstShown(path, false);
        QVERIFY(software.softwareViewer);
        QVERIFY(software.frame);
        QCOMPARE(fallback.format, software.format);
        QCOMPARE(fallback.lineSizes, software.lineSizes);
        QVERIFY(!fallback.planes[0].isEmpty());
        QVERIFY2(fallback.planes[0] == software.planes[0], "the frames differ from those made with the setting off");
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestSoftwareFallback test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_softwarefallback.moc"
