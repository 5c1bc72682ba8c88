#pragma once

class QApplication;

// The program's look: the Fusion style with a dark palette, the style sheet of the
// ":/stylesheets/fusiondark.qss" resource (left out when the resource is missing, the palette
// and style staying), and the preferred fonts when they are installed ("Consolas" for fixed
// pitch, "Segoe UI" for everything else). Main thread, once the application object exists.
namespace ApplicationLook {

void Apply(QApplication& application);

} // namespace ApplicationLook
