#include "eventrules.h"

#include <exception>
#include <utility>

EventRules::EventRules(Hooks hooks)
    : m_hooks(std::move(hooks))
{
}

void EventRules::run(const std::function<void()> &handler)
{
    if (m_ended)
        return;
    ++m_running;
    try {
        handler();
    } catch (const std::exception &error) {
        m_hooks.unexpectedError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        m_hooks.unexpectedError(QStringLiteral("unknown error"));
    }
    --m_running;
    closeIfWaiting();
}

bool EventRules::yield()
{
    ++m_yielding;
    closeIfWaiting();
    // The shut-down handlers yield after the device is closed too: the window still
    // repaints there, while the rules keep every handler out.
    m_hooks.processEvents();
    --m_yielding;
    return !m_ended;
}

EventRules::CloseAnswer EventRules::requestClose()
{
    if (m_ended)
        return CloseAnswer::Close;
    if (!mayStartHandler()) {
        m_closeWaiting = true;
        return CloseAnswer::Wait;
    }
    return CloseAnswer::RunUnload;
}

void EventRules::closeIfWaiting()
{
    if (!m_closeWaiting || !mayStartHandler())
        return;
    m_closeWaiting = false;
    if (!m_ended)
        m_hooks.closeWindow();
}
