#include "desktopservices.h"

#include "helplauncher.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <thread>

void DesktopServices::sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

void DesktopServices::yield()
{
    QCoreApplication::processEvents();
}

void DesktopServices::paint()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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

bool DesktopServices::startHelp(QString *command)
{
    std::string tried;
    const bool started = startHelpEditor(&tried);
    *command = QString::fromStdString(tried);
    return started;
}

void DesktopServices::endProgram(int exitCode)
{
    // Quitting the event loop would close the window and so run the unload handler,
    // which would touch the device a second time; nested loops would also run on.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
