#pragma once

#include <string>

// Opens the readme in the desktop's text editor without waiting for it. The file name is
// passed as it stands, so the editor finds it in the current directory. Returns false when
// the editor cannot be started. *command is the command line tried, for the message.
bool startHelpEditor(std::string *command);
