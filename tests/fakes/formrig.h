// The real window wired to a scripted driver and scripted services, sharing one log.
#pragma once

#include "crtest_form.h"
#include "fakedriver.h"
#include "fakeservices.h"

#include <QStringList>

#include <memory>

struct FormRig
{
    QStringList log;
    FakeDriver driver{log};
    FakeServices services{log};
    std::unique_ptr<CRTEST_Form> form;

    // Builds the window and raises its load event; driverError simulates an unbound library.
    CRTEST_Form &start(const QString &driverError = QString())
    {
        form = std::make_unique<CRTEST_Form>(driverError.isEmpty() ? &driver : nullptr,
                                             driverError, services);
        form->load();
        return *form;
    }

    QStringList driverCalls() const
    {
        QStringList calls;
        for (const QString &entry : log)
            if (!entry.startsWith(QLatin1String("Sleep")) && entry != QLatin1String("Yield")
                && !entry.startsWith(QLatin1String("Message:")) && entry != QLatin1String("Help")
                && !entry.startsWith(QLatin1String("End(")))
                calls.append(entry);
        return calls;
    }
};
