// libFuzzer harness for the client API: any bytes go through the message framing, and every
// complete body through the command dispatcher of a fresh project manager, before or after
// "initialize" (the first byte's low bit chooses; the second says where the stream is cut in
// two reads). Framing errors, malformed JSON and every command's parameters must give a reply,
// never a crash, hang or unbounded allocation.
//
// Ids: every id a reply names (and the base folders' ids) is remembered in order, and "$0" to
// "$9" in a body stand for the remembered ids (the digit taken modulo their count), so an input
// can add a folder and then move, rename or remove it.
//
// Replies: each complete request gets exactly one reply, or none while an export is flagged
// running. With the first byte's bit 1 set an export asked for by "queue_export" is taken as
// running for the next request, which must then get no reply.
//
// "save_project" is not run: it would write wherever the input says.
#include "core/Logger.h"
#include "project/ClientApiHost.h"
#include "project/ExportStatus.h"
#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectEngine.h"
#include "project/ProjectManager.h"
#include "server/CmdFrameReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Remembered ids are capped: an input cannot grow the list without bound.
constexpr qsizetype kMaxIds = 64;

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
        ++replies;
        last = reply;
    }
    bool initialized = false;
    int replies = 0;
    QString last;
};

void Remember(const QString& text, QStringList& ids)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\{[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\}"));
    for (QRegularExpressionMatchIterator it = pattern.globalMatch(text); it.hasNext() && ids.size() < kMaxIds;) {
        const QString id = it.next().captured(0);
        if (!ids.contains(id))
            ids.append(id);
    }
}

// "$d" becomes the remembered id d (modulo their count).
QString SubstituteIds(const QString& body, const QStringList& ids)
{
    if (ids.isEmpty() || !body.contains(QLatin1Char('$')))
        return body;
    QString out;
    out.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body.at(i) == QLatin1Char('$') && i + 1 < body.size() && body.at(i + 1).isDigit()) {
            out += ids.at(body.at(i + 1).digitValue() % ids.size());
            ++i;
        } else {
            out += body.at(i);
        }
    }
    return out;
}

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
    const bool exportsRun = data[0] & 2;
    ExportStatus::SetRunning(false);
    ProjectManager manager(&engine);
    manager.SetClientApiHost(&host);
    // An export asked for is flagged running, as the player panel would, until one request
    // has been dropped.
    QObject::connect(&manager, &ProjectManager::ExportRequested, &manager, [exportsRun] {
        if (exportsRun)
            ExportStatus::SetRunning(true);
    });
    QStringList ids;
    for (const FolderItem* base : manager.GetProject()->BaseFolders())
        ids.append(base->Id().toString(QUuid::WithBraces));

    CmdFrameReader reader;
    // Fed in two parts, so a message split across reads is exercised too.
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size - 2));
    const qsizetype split = bytes.isEmpty() ? 0 : static_cast<qsizetype>(data[1]) % bytes.size();
    for (const QByteArray& part : {bytes.left(split), bytes.mid(split)}) {
        reader.Append(part);
        QString framed;
        for (;;) {
            if (!reader.Next(framed)) {
                if (reader.LastError() == CmdFrameReader::Error::None || reader.LastError() == CmdFrameReader::Error::TooLarge)
                    break;
                continue; // an invalid header discards what is buffered
            }
            const QString body = SubstituteIds(framed, ids);
            const QJsonObject request = QJsonDocument::fromJson(body.toUtf8()).object();
            if (request.value(QStringLiteral("cmd")).toString() == QLatin1String("save_project"))
                continue;
            const bool running = ExportStatus::Running();
            const int before = host.replies;
            manager.OnExecuteCmd(body);
            // The export a "queue_export" asked for is requested from the event loop.
            QCoreApplication::sendPostedEvents(&manager, QEvent::MetaCall);
            if (host.replies - before != (running ? 0 : 1))
                std::abort(); // a request got no reply, or more than one
            if (running)
                ExportStatus::SetRunning(false); // the export has ended
            else
                Remember(host.last, ids);
        }
    }
    ExportStatus::SetRunning(false);
    // No event loop runs between inputs: what was left to be deleted later goes now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
