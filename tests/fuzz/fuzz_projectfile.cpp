// libFuzzer harness for the project file reader: any bytes, read as the current format or as
// the older one, imported or opened (the first byte's two low bits choose), must be refused or
// read into a project, never crash, hang or allocate without bound. Sources are taken as parsed
// at once (nothing is decoded), so the whole reading path runs, finalising included.
#include "core/Logger.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/TimelineItem.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_projectfile";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = [] {
        Logger::SetStandardErrorEcho(false);
        return new QCoreApplication(argc, argv);
    }();
    (void)application;

    if (size == 0)
        return 0;
    const bool older = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    Project project;
    // Parsed as soon as asked: the load never waits, so every input runs in well under a
    // millisecond instead of the blocking load's 10 ms turns.
    QObject::connect(&project, &Project::ParseSourceRequested, &project,
                     [&project](TimelineItem* item) { project.OnSourceParsed(item->Id()); });
    const bool open = data[0] & 2;
    ProjectFile::ReadDocument(project, bytes, older ? QStringLiteral("/nonexistent/fuzz.plvx") : QStringLiteral("/nonexistent/fuzz.plvx2"),
                              open);
    return 0;
}
