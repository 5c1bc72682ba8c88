// libFuzzer harness for the project file reader: any bytes, read as the current format and as
// the older one, must be refused or read into a project, never crash, hang or allocate without
// bound. Sources are taken as parsed at once (nothing is decoded), so the whole reading path
// runs, finalising included.
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

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* path : {"/nonexistent/fuzz.plvx2", "/nonexistent/fuzz.plvx"}) {
        Project project;
        QObject::connect(&project, &Project::ParseSourceRequested, &project,
                         [&project](TimelineItem* item) { project.OnSourceParsed(item->Id()); }, Qt::QueuedConnection);
        ProjectFile::ReadDocument(project, bytes, QString::fromLatin1(path), false);
    }
    return 0;
}
