// The window's collaborators on a real desktop.
#pragma once

#include "formservices.h"

class DesktopServices final : public FormServices
{
public:
    void sleep(std::chrono::milliseconds duration) override;
    void yield() override;
    void show(QWidget *window) override;
    void paint(QWidget *widget) override;
    void message(QWidget *parent, const QString &text) override;
    void startHelp(std::function<void(const QString &why)> failed) override;
    void endProgram(int exitCode) override;
};
