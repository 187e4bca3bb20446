// Stands in front of the window's services and writes the text of every message box the
// window shows to crtest.events, so a log says what the technician was told.
#pragma once

#include "formservices.h"
#include "logcategories.h"
#include "report.h"

class LoggingServices final : public FormServices
{
public:
    explicit LoggingServices(FormServices &services) : m_services(services) { }

    void sleep(std::chrono::milliseconds duration) override { m_services.sleep(duration); }
    void yield() override { m_services.yield(); }
    void show(QWidget *window) override { m_services.show(window); }
    void paint(QWidget *widget) override { m_services.paint(widget); }
    void message(QWidget *parent, const QString &text) override
    {
        qCInfo(lcEvents, "Message box: %s", qUtf8Printable(printableText(text)));
        m_services.message(parent, text);
    }
    bool startHelp(QString *command) override { return m_services.startHelp(command); }
    void endProgram(int exitCode) override { m_services.endProgram(exitCode); }

private:
    FormServices &m_services;
};
