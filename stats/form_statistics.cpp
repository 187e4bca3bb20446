// Reading the statistics block and showing its six records.
#include "crtest_form.h"

#include "check.h"
#include "crmodule1.h"
#include "drawerdriver.h"
#include "formservices.h"
#include "statisticsblock.h"

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
    StatisticsBuffer buffer;
    for (const int record : ShownRecords)
        showValue(crTextSValue[record], QString());
    m_services.paint(CountFrame);

    const int32_t result =
            m_driver->retrieveStatistics(StatUnit, StatId, buffer.data(), StatLen[StatId]);
    if (buffer.overrun()) {
        logStatistics({StatisticsResult::Outcome::Overrun, result, {}});
        message(tr("The driver wrote past the statistics buffer; "
                   "the statistics it returned are not shown."));
        return;
    }
    if (result != 0) {
        logStatistics({StatisticsResult::Outcome::Refused, result, {}});
        message(QStringLiteral("CR Retrieve Statistics error !!") + QString::number(result));
        return;
    }

    const std::array<QByteArray, 15> records = cutRecords(buffer);
    for (const int record : ShownRecords) {
        QLineEdit *box = crTextSValue[record];
        const QByteArray &bytes = records[record];
        if (!isCountRecord(record)) {
            showValue(box, recordText(bytes));
            continue;
        }
        // The raw characters stay visible while the count's message box is up; the count
        // itself is decoded from the record's bytes, which a text box could alter.
        showValue(box, QString::fromLatin1(bytes.constData(), bytes.size()));
        m_services.paint(box);
        showValue(box, crModule1::BytesToNumber(bytes, [this](const QString &text) { message(text); }));
    }
    logStatistics({StatisticsResult::Outcome::Shown, result,
                   {crTextSValue[5]->text(), crTextSValue[6]->text(), crTextSValue[7]->text(),
                    crTextSValue[10]->text(), crTextSValue[13]->text(), crTextSValue[14]->text()}});
}
