// Everything the window needs from outside itself besides the driver. The desktop
// implementation blocks, yields and shows real message boxes; tests script each one.
#pragma once

#include <QString>

#include <chrono>
#include <functional>

class QWidget;

class FormServices
{
public:
    virtual ~FormServices() = default;

    // A blocking wait: no window events are handled meanwhile.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
    // Handles pending window events, input included, and returns.
    virtual void yield() = 0;
    // Shows the window and returns once it is on the screen, painted, handling no input and
    // no timer meanwhile: the user cannot yet have aimed at a window that was not there.
    virtual void show(QWidget *window) = 0;
    // Puts what changed in widget, and every other change waiting in its window, on the
    // screen at once. Handles no event of any kind: whatever the user does meanwhile waits
    // for the next yield or the end of the handler.
    virtual void paint(QWidget *widget) = 0;
    // A modal box with only an OK button; returns when the user has pressed it.
    virtual void message(QWidget *parent, const QString &text) = 0;
    // Starts the help editor on the readme without waiting for it. Whatever goes wrong,
    // at once or when the editor has ended, is handed to failed in a technician's words.
    virtual void startHelp(std::function<void(const QString &why)> failed) = 0;
    // Ends the process at once, without closing windows. Only a test double returns.
    virtual void endProgram(int exitCode) = 0;
};
