// When a handler of the window may run. Everything happens on one thread: a handler runs
// to its end unless it yields, and only at a yield can the toolkit start another handler,
// which then runs to its end inside the first. A close of the window that arrives while a
// handler is busy waits for that handler's next yield or its end, so that nothing closes
// the device under a handler that is talking to it. Once the program has ended (the device
// closed for good) no handler runs any more, and a handler that comes back from a yield is
// told to stop before it calls the device again.
#pragma once

#include <QString>

#include <functional>

class EventRules
{
public:
    struct Hooks
    {
        // Handles the toolkit's pending events, which may start handlers through run().
        std::function<void()> processEvents;
        // Closes the window again, now that a close that had to wait may go ahead.
        std::function<void()> closeWindow;
        // A handler failed in a way nobody foresaw: tell the user, close the device, end.
        std::function<void(const QString &reason)> unexpectedError;
    };

    // What the window does with a request to close it.
    enum class CloseAnswer {
        RunUnload, // run the unload handler now, through run(), then let the window close
        Wait, // keep the window open; it is closed again once that may go ahead
        Close, // the program has already ended: let the window close, run nothing
    };

    explicit EventRules(Hooks hooks);

    // Runs a handler of the window's events. Nothing runs once the program has ended, and no
    // exception leaves a handler: it takes the unexpected-error path instead.
    void run(const std::function<void()> &handler);

    // A yield of the running handler: a close that waited goes ahead first, then the
    // pending events are handled. Returns false once the program has ended, after which the
    // handler must stop without calling the device.
    bool yield();

    CloseAnswer requestClose();

    // The device has been closed for good.
    void end() { m_ended = true; }
    bool ended() const { return m_ended; }

private:
    // True when every running handler waits in a yield (or none runs): the toolkit may
    // start another one.
    bool mayStartHandler() const { return m_running == m_yielding; }
    void closeIfWaiting();

    Hooks m_hooks;
    int m_running = 0;
    int m_yielding = 0;
    bool m_closeWaiting = false;
    bool m_ended = false;
};
