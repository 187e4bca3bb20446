// Ctrl+C: the window's report for a support ticket, read from what its controls show.
#include "crtest_form.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>

Report CRTEST_Form::reportOfWhatIsShown() const
{
    Report report;
    report.origin = ReportOrigin::Window;
    report.time = QDateTime::currentSecsSinceEpoch();
    if (!m_driver) {
        report.device = DeviceState::NotBound;
        report.bindError = m_driverError;
    } else {
        report.driverFile = m_driverFile;
        report.device = m_deviceResult == 0 ? DeviceState::Open : DeviceState::DidNotOpen;
        report.openResults = {m_deviceResult};
    }
    for (int n = 0; n < DrawerCount; ++n) {
        const QString letter = Drawer_State[n]->text();
        report.drawers[n] = letter == QLatin1String("O")   ? DrawerReading::Open
                : letter == QLatin1String("C")             ? DrawerReading::Closed
                : letter == QLatin1String("N")             ? DrawerReading::NotPresent
                                                           : DrawerReading::NotRead;
    }
    // The boxes' whole texts: a box may cut a long serial number, the report does not.
    report.statistics.outcome = StatisticsResult::Outcome::Shown;
    report.statistics.values = {crTextSValue[5]->text(),  crTextSValue[6]->text(),
                                crTextSValue[7]->text(),  crTextSValue[10]->text(),
                                crTextSValue[13]->text(), crTextSValue[14]->text()};
    return report;
}

void CRTEST_Form::Copy_Report()
{
    QGuiApplication::clipboard()->setText(reportText(reportOfWhatIsShown()));
}
