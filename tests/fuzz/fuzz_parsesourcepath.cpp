// libFuzzer harness for the sequence-path parser, the one parser that reads text users and
// project files supply. Any input must either expand to a bounded list of paths or fail
// with a logged message; a crash, hang or runaway allocation is a finding.
#include "core/FileHelpers.h"
#include "core/Logger.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool initialised = [] {
        Logger::SetStandardErrorEcho(false);
        return true;
    }();
    (void)initialised;

    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList paths;
    const bool ok = FileHelpers::ParseSourcePath(input, paths);
    if (!ok && !paths.isEmpty())
        std::abort(); // failures add nothing
    if (paths.size() > FileHelpers::kMaxSequenceFrames)
        std::abort();
    return 0;
}
