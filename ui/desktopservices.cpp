#include "desktopservices.h"

#include "helplauncher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
using namespace std::chrono_literals;
// A window system that has not exposed a new window after this long is not going to; the
// program goes on, and the window is painted when the exposure comes.
constexpr auto ExposeTimeout = 2000ms;
constexpr auto ExposePollInterval = 1ms;
} // namespace

void DesktopServices::sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

void DesktopServices::yield()
{
    QCoreApplication::processEvents();
}

void DesktopServices::show(QWidget *window)
{
    window->show();
    // A window is painted when the window system has exposed it, and that news comes as an
    // event. Until then nothing can have been aimed at the window, so waiting for it while
    // holding back input and timers changes nothing the user sees. What the platform holds
    // back is looked at again only when the event loop is next woken, hence the wake-up.
    QElapsedTimer waited;
    waited.start();
    const QWindow *handle = window->windowHandle();
    while (handle && !handle->isExposed() && waited.elapsed() < ExposeTimeout.count()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents
                                        | QEventLoop::X11ExcludeTimers);
        if (!handle->isExposed())
            std::this_thread::sleep_for(ExposePollInterval);
    }
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

void DesktopServices::paint(QWidget *widget)
{
    // Every change has already asked its window for a repaint, a request that waits in the
    // queue. Delivering that request alone paints and flushes the changes, handles no other
    // event, and leaves alone what the screen already shows: a row that reads as before
    // costs nothing to paint.
    QCoreApplication::sendPostedEvents(widget->window(), QEvent::UpdateRequest);
}

void DesktopServices::message(QWidget *parent, const QString &text)
{
    // No title of our own: the toolkit names the box after the program.
    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    // Driver bytes end up in these texts; they must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    // Some styles decorate dialog buttons with pictures; the box shows words only.
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}

void DesktopServices::startHelp(std::function<void(const QString &why)> failed)
{
#ifdef _WIN32
    std::string command;
    if (!startHelpEditor(&command))
        failed(QStringLiteral("the command \"%1\" could not be started.")
                       .arg(QString::fromStdString(command)));
#else
    startHelpEditor(QCoreApplication::applicationDirPath(), std::move(failed));
#endif
}

void DesktopServices::endProgram(int exitCode)
{
    // Quitting the event loop would close the window and so run the unload handler,
    // which would touch the device a second time; nested loops would also run on.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
