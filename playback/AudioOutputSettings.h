#pragma once

#include "core/Settings.h"

#include <QMetaType>

// The settings the audio output reads, copied from the process-wide settings on the main
// thread: when its task starts, and again with every playback state update, so that a new
// volume or mute applies from the next update on as it always did. The output's thread never
// reads the settings themselves, which the main thread changes without a lock.
struct AudioOutputSettings
{
    int volume = 100; // percent
    bool muted = false;
    bool audioOnBackwardsPlayback = false;
    int bufferSize = 10000; // bytes asked of the device; taken when the output is made

    static AudioOutputSettings FromSettings() // main thread
    {
        const Settings& settings = Settings::Get();
        return {settings.volume, settings.muted, settings.audioOnBackwardsPlayback, settings.audioOutputBufferSize};
    }
};

Q_DECLARE_METATYPE(AudioOutputSettings)
