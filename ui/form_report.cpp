// Ctrl+C: the window's report for a support ticket, from what the controller model found.
#include "crtest_form.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>

Report CRTEST_Form::reportOfWhatIsShown() const
{
    Report report;
    report.origin = ReportOrigin::Window;
    report.time = QDateTime::currentSecsSinceEpoch();
    report.found = m_controller.snapshot();
    return report;
}

void CRTEST_Form::Copy_Report()
{
    QGuiApplication::clipboard()->setText(reportText(reportOfWhatIsShown()));
}
