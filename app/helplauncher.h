#pragma once

#include <QString>

// Opens the readme in the desktop's text editor without waiting for it. The file name is
// passed as it stands, so the editor finds it in the current directory. Returns false and
// the command line that could not be started when the editor cannot be started.
bool startHelpEditor(QString *command);
