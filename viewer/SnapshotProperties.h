#pragma once

#include <QString>

// Which frames a capture takes. 1 and 3 span the time control's current start and end frames
// (the whole timeline), 2 and 4 the range control's start and end (the playback range).
enum SnapshotMode : int {
    SnapshotModeCurrentView = 0,     // the view as it is now, one image
    SnapshotModeAllFrames = 1,       // every frame from start to end
    SnapshotModeRangeFrames = 2,     // every frame of the playback range
    SnapshotModeAllBookmarks = 3,    // the frame bookmarks from start to end
    SnapshotModeRangeBookmarks = 4,  // the frame bookmarks within the playback range
};

// What a capture of several frames writes, filled by the player panel or the export dialog.
struct SnapshotProperties
{
    QString folder;          // output directory, created when missing
    QString name;            // base file name
    QString format = "png";  // file extension, which also picks the image format ("png" or "jpg")
    int mode = SnapshotModeCurrentView;
    int frameNumberWidth = 4; // digits of the zero-padded frame number in sequence file names
    // Added to the timeline frame in file names only (a sequence numbered as the time control
    // shows its frames); the frame reported with each image stays the timeline frame.
    int numberOffset = 0;
    // False when the images only go to whoever listens to the frames (an export piping them
    // into an encoder): nothing is written to `folder` then.
    bool writeFiles = true;
};
