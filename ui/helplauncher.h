// Opening the readme in the desktop's text editor, without waiting for the editor.
#pragma once

#ifdef _WIN32
#  include <string>

// Starts "NOTEPAD.EXE Readme.Txt": the editor opens beside the utility without taking the
// focus and finds the file in the current directory. Returns false when it cannot be
// started; *command is the command line tried, for the message.
bool startHelpEditor(std::string *command);
#else
#  include <QString>

#  include <functional>

// The readme the help button opens for a program in programDir: the one in the current
// folder, where it has always looked; failing that the copy beside the program (a build
// folder) or the one installed with it (../share/crtest). Failing all three, the plain name,
// so that the editor says what is missing.
QString helpFile(const QString &programDir);

// Starts xdg-open on helpFile(). Whatever goes wrong, at the start or when xdg-open ends
// (for a terminal editor that is when the editor ends), reaches failed later, through the
// event loop, in a technician's words.
void startHelpEditor(const QString &programDir, std::function<void(const QString &)> failed);
#endif
