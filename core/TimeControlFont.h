#pragma once

#include <QFont>

// The one application-wide font the time controls paint their text with. Set at start-up,
// read by the time controls; main thread only.
inline QFont& TimeControlFont()
{
    static QFont font;
    return font;
}
