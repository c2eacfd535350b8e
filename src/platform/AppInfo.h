#pragma once

#include <QString>

namespace platform {

// Names derived from the running executable. The application title is the
// executable's file name without folder and extension; it names the settings
// store and the side files, so a renamed copy keeps its own settings.
QString ExecutablePath();
QString ExecutableFolder(); // with a trailing '/'
QString ApplicationTitle();

// Tests pretend to be another executable (a renamed copy).
void SetExecutablePathForTests(const QString& path);

} // namespace platform
