// The window's collaborators for tests: nothing blocks, nothing is shown, and each wait,
// yield, message box and help start is logged and can be answered by a script.
#pragma once

#include "formservices.h"

#include <QStringList>

#include <functional>

class FakeServices : public FormServices
{
public:
    explicit FakeServices(QStringList &log) : m_log(log) { }

    // Run inside the n-th yield (counted from 1), as a click landing in that yield would.
    std::function<void(int)> onYield;
    std::function<void(const QString &)> onMessage;
    std::function<void(std::chrono::milliseconds)> onSleep;
    bool helpStarts = true;

    QStringList messages() const;
    int yields() const { return m_yields; }
    int paints() const { return m_paints; }

    void sleep(std::chrono::milliseconds duration) override;
    void yield() override;
    void paint() override;
    void message(QWidget *parent, const QString &text) override;
    bool startHelp(QString *command) override;
    void endProgram(int exitCode) override;

private:
    QStringList &m_log;
    int m_yields = 0;
    int m_paints = 0;
};
