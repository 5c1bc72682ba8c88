#pragma once

class AvManager;

// Gives the media engine the export passes (audio and video) it runs for
// AvManager::StartTimelineExport. Main thread; calling it again changes nothing.
void InstallExportPasses(AvManager* engine);
