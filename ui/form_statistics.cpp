// Reading the statistics block and showing its six records.
#include "crtest_form.h"

#include "crmodule1.h"
#include "formservices.h"

#include <QLineEdit>

namespace {

// Some values are longer than their box (a serial number of 14 characters): the box shows
// their beginning, as a technician reads them, and its tooltip the whole text.
void showValue(QLineEdit *box, const QString &text)
{
    box->setText(text);
    box->setCursorPosition(0);
    box->setToolTip(text);
}

} // namespace

void CRTEST_Form::ShowStatistics()
{
    for (const ShownStatistic &shown : ShownStatistics)
        showValue(crTextSValue[shown.record], QString());
    m_services.paint(CountFrame);

    // A copy: the message boxes below run an event loop of their own.
    const StatisticsResult result = m_controller.readStatistics();
    if (result.outcome == StatisticsResult::Outcome::Overrun) {
        message(tr("The driver wrote past the statistics buffer; "
                   "the statistics it returned are not shown."));
        return;
    }
    if (result.outcome != StatisticsResult::Outcome::Read) {
        message(QStringLiteral("CR Retrieve Statistics error !!") + QString::number(result.status));
        return;
    }

    for (int i = 0; i < ShownStatisticCount; ++i) {
        QLineEdit *box = crTextSValue[ShownStatistics[i].record];
        if (!ShownStatistics[i].count) {
            showValue(box, result.values[i]);
            continue;
        }
        // The raw characters stay visible while the count's message box is up.
        const QByteArray &raw = result.raw[i];
        showValue(box, QString::fromLatin1(raw.constData(), raw.size()));
        m_services.paint(box);
        message(crModule1::countMessage(raw, result.values[i]));
        showValue(box, result.values[i]);
    }
}
