// libFuzzer harness for the client API: any bytes go through the message framing, and every
// complete body through the command dispatcher of a fresh project manager, before or after
// "initialize" (the first byte's low bit chooses; the second says where the stream is cut in
// two reads). Framing errors, malformed JSON and every
// command's parameters must give a reply, never a crash, hang or unbounded allocation.
// "save_project" is not run: it would write wherever the input says.
#include "core/Logger.h"
#include "project/ClientApiHost.h"
#include "project/ProjectEngine.h"
#include "project/ProjectManager.h"
#include "server/CmdFrameReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// No media engine: parses are refused (the project moves on without them), nothing plays.
class NullEngine : public ProjectEngine
{
public:
    bool ParseSource(Timeline*) override { return false; }
    void ShowInViewer(Timeline*, int, bool) override {}
    void PausePlayback() override {}
    Timeline* PrimaryTimeline() const override { return nullptr; }
    void SetPlaying(bool, bool) override {}
    void SeekPlayback(int64_t, bool) override {}
};

class Host : public ClientApiHost
{
public:
    bool IsInitialized() const override { return initialized; }
    void SetInitialized() override { initialized = true; }
    void Write(const QString& reply) override
    {
        if (reply.isEmpty())
            std::abort(); // every reply has a body
    }
    bool initialized = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_cmdserver";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = [] {
        Logger::SetStandardErrorEcho(false);
        // Recent-project lists are saved under the home folder: a scratch one.
        const QString home = QDir::temp().filePath(QStringLiteral("fuzz_cmdserver_home"));
        QDir().mkpath(home);
        qputenv("HOME", home.toLocal8Bit());
        return new QCoreApplication(argc, argv);
    }();
    (void)application;

    if (size < 2)
        return 0;
    NullEngine engine;
    Host host;
    host.initialized = data[0] & 1;
    ProjectManager manager(&engine);
    manager.SetClientApiHost(&host);
    CmdFrameReader reader;
    // Fed in two parts, so a message split across reads is exercised too.
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size - 2));
    const qsizetype split = bytes.isEmpty() ? 0 : static_cast<qsizetype>(data[1]) % bytes.size();
    for (const QByteArray& part : {bytes.left(split), bytes.mid(split)}) {
        reader.Append(part);
        QString body;
        for (;;) {
            if (!reader.Next(body)) {
                if (reader.LastError() == CmdFrameReader::Error::None || reader.LastError() == CmdFrameReader::Error::TooLarge)
                    break;
                continue; // an invalid header discards what is buffered
            }
            const QJsonObject request = QJsonDocument::fromJson(body.toUtf8()).object();
            if (request.value(QStringLiteral("cmd")).toString() == QLatin1String("save_project"))
                continue;
            manager.OnExecuteCmd(body);
        }
    }
    // No event loop runs between inputs: what was left to be deleted later goes now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
