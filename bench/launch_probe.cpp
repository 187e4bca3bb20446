// Preloaded into a Qt program (LD_PRELOAD) by the launch bench, so the program itself needs
// no measurement hooks. It reports on the file descriptor named by CRBENCH_PROBE_FD:
//   frame <monotonic ns> <peak RSS kB> <window title>
//     when the first top-level window has been painted and handed to the display;
//   settled <monotonic ns> <peak RSS kB> <message boxes answered>
//     the first time the program waits for input with no modal box open.
// CRBENCH_PROBE_MODE=frame ends the process right after the frame line; freeze stops it
// there instead (SIGSTOP), so a screenshot shows what was counted as the first frame;
// settle answers every message box with OK, as a technician would, and lets it run on.
#include "timing.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int reportFd = -1;
enum class Mode { Frame, Freeze, Settle } mode = Mode::Frame;

long peakRssKb()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(status);
    return kb;
}

// On X11 a flush only queues the image; one round trip guarantees the server has drawn
// it. libxcb is already loaded by the platform plugin, so nothing extra is linked.
void waitForX11Server()
{
    // The offscreen plugin answers to the X11 interface too, without a connection.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    void *xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!xcb)
        return;
    struct Cookie { unsigned int sequence; };
    using Request = Cookie (*)(xcb_connection_t *);
    using Reply = void *(*)(xcb_connection_t *, Cookie, void **);
    auto request = reinterpret_cast<Request>(dlsym(xcb, "xcb_get_input_focus"));
    auto reply = reinterpret_cast<Reply>(dlsym(xcb, "xcb_get_input_focus_reply"));
    if (request && reply)
        std::free(reply(x11->connection(), request(x11->connection()), nullptr));
    dlclose(xcb);
}

class Probe : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
            if (m_delivering && watched->isWidgetType())
                m_painted = static_cast<QWidget *>(watched)->window();
            break;
        case QEvent::Show:
            if (mode == Mode::Settle)
                if (auto *box = qobject_cast<QMessageBox *>(watched)) {
                    ++m_answered;
                    QMetaObject::invokeMethod(box, &QDialog::accept, Qt::QueuedConnection);
                }
            break;
        case QEvent::Expose:
        case QEvent::UpdateRequest:
            // A window paints and flushes its backing store synchronously while it handles
            // one of these; delivering it here lets the probe note the moment it returns.
            if (!m_framed && watched->isWindowType() && !m_delivering) {
                m_delivering = true;
                watched->event(event);
                m_delivering = false;
                if (m_painted)
                    frameDone();
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    void frameDone()
    {
        waitForX11Server();
        m_framed = true;
        const QByteArray title = m_painted->windowTitle().toUtf8();
        dprintf(reportFd, "frame %lld %ld %s\n", nanosecondsAt(Clock::now()), peakRssKb(),
                title.constData());
        if (mode == Mode::Frame)
            _exit(0);
        if (mode == Mode::Freeze)
            raise(SIGSTOP);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                this, [this] {
                    if (m_settled || QApplication::activeModalWidget())
                        return;
                    m_settled = true;
                    dprintf(reportFd, "settled %lld %ld %d\n", nanosecondsAt(Clock::now()),
                            peakRssKb(), m_answered);
                });
    }

    bool m_delivering = false;
    bool m_framed = false;
    bool m_settled = false;
    int m_answered = 0;
    QPointer<QWidget> m_painted;
};

void install()
{
    qApp->installEventFilter(new Probe(qApp));
}

// Runs when the library is preloaded, before the program's main().
[[maybe_unused]] const bool installed = [] {
    const char *fd = std::getenv("CRBENCH_PROBE_FD");
    if (!fd)
        return false;
    reportFd = std::atoi(fd);
    const char *name = std::getenv("CRBENCH_PROBE_MODE");
    if (name && std::strcmp(name, "settle") == 0)
        mode = Mode::Settle;
    else if (name && std::strcmp(name, "freeze") == 0)
        mode = Mode::Freeze;
    // The probe watches this process only: what the program starts (the driver's trial
    // helper, the help's editor) starts as it would outside the benchmark, without it.
    for (const char *variable : {"LD_PRELOAD", "CRBENCH_PROBE_FD", "CRBENCH_PROBE_MODE"})
        unsetenv(variable);
    fcntl(reportFd, F_SETFD, FD_CLOEXEC);
    qAddPreRoutine(install);
    return true;
}();

} // namespace
