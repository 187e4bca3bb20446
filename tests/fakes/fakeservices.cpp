#include "fakeservices.h"

QStringList FakeServices::messages() const
{
    QStringList texts;
    for (const QString &entry : m_log)
        if (entry.startsWith(QLatin1String("Message:")))
            texts.append(entry.mid(8));
    return texts;
}

void FakeServices::sleep(std::chrono::milliseconds duration)
{
    m_log.append(QStringLiteral("Sleep(%1)").arg(duration.count()));
    if (onSleep)
        onSleep(duration);
}

void FakeServices::yield()
{
    m_log.append(QStringLiteral("Yield"));
    ++m_yields;
    if (onYield)
        onYield(m_yields);
}

void FakeServices::paint()
{
    ++m_paints;
}

void FakeServices::message(QWidget *, const QString &text)
{
    m_log.append(QStringLiteral("Message:") + text);
    if (onMessage)
        onMessage(text);
}

bool FakeServices::startHelp(QString *command)
{
    m_log.append(QStringLiteral("Help"));
    *command = QStringLiteral("xdg-open Readme.Txt");
    return helpStarts;
}

void FakeServices::endProgram(int exitCode)
{
    m_log.append(QStringLiteral("End(%1)").arg(exitCode));
}
