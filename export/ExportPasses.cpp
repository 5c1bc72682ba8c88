#include "export/ExportPasses.h"

#include "engine/AvManager.h"
#include "export/TimelineExportPasses.h"

void InstallExportPasses(AvManager* engine)
{
    if (engine && !engine->HasExportPassRunner())
        engine->SetExportPassRunner(std::make_shared<TimelineExportPasses>());
}
