// The window's collaborators for tests: nothing blocks, nothing is shown, and each wait,
// yield, message box, help start and end of the program is logged and can be scripted.
#pragma once

#include "formservices.h"

#include <QRegularExpression>
#include <QStringList>

#include <functional>

struct FakeServices : FormServices
{
    explicit FakeServices(QStringList &log) : log(log) { }

    QStringList &log;
    // Gets the yield's number, counted from 1.
    std::function<void(int)> onYield;
    std::function<void(const QString &)> onMessage;
    std::function<void()> onSleep;
    bool helpStarts = true;
    int yields = 0;
    int paints = 0;

    QStringList messages() const
    {
        const QRegularExpression prefix("^Message:");
        return log.filter(prefix).replaceInStrings(prefix, QString());
    }
    template <typename Script, typename... Args>
    void note(const QString &entry, const Script &script, Args... args)
    {
        log << entry;
        if (script)
            script(args...);
    }
    void sleep(std::chrono::milliseconds time) override
    {
        note(QString("Sleep(%1)").arg(time.count()), onSleep);
    }
    void yield() override { note("Yield", onYield, ++yields); }
    void paint() override { ++paints; }
    void message(QWidget *, const QString &text) override
    {
        note("Message:" + text, onMessage, text);
    }
    bool startHelp(QString *command) override
    {
        log << "Help";
        *command = "xdg-open Readme.Txt";
        return helpStarts;
    }
    void endProgram(int exitCode) override { log << QString("End(%1)").arg(exitCode); }
};
