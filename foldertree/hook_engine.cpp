// The message hook: before/after lists and the dispatch order.
#include "hook_engine.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>

#include <stdexcept>

namespace kestova {

HookEngine::HookEngine(HookClient &client, QObject *parent) : QObject(parent), m_client(client) {}

HookEngine::~HookEngine()
{
    UnhookAll();
}

void HookEngine::HookWindow(QWidget *window)
{
    if (!window)
        throw std::invalid_argument("HookWindow: no widget");
    Hook &hook = m_hooks[window];
    hook.window = window;
    window->installEventFilter(this);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(window)) {
        hook.viewport = area->viewport();
        hook.viewport->installEventFilter(this);
    }
}

void HookEngine::HookMessage(QWidget *window, quint32 uMsg, int timing)
{
    const auto hook = m_hooks.find(window);
    if (hook == m_hooks.end())
        throw std::invalid_argument("HookMessage: the widget is not hooked");
    if ((timing & HookBefore) && !hook->before.contains(uMsg))
        hook->before.append(uMsg);
    if ((timing & HookAfter) && !hook->after.contains(uMsg))
        hook->after.append(uMsg);
}

void HookEngine::UnhookWindow(QWidget *window)
{
    const auto hook = m_hooks.find(window);
    if (hook == m_hooks.end())
        throw std::invalid_argument("UnhookWindow: the widget is not hooked");
    for (QWidget *widget : {hook->window.data(), hook->viewport.data()}) {
        if (widget) {
            widget->removeEventFilter(this);
            m_stoppedPresses.removeAll(widget);
        }
    }
    m_hooks.erase(hook);
}

void HookEngine::UnhookAll()
{
    while (!m_hooks.isEmpty())
        UnhookWindow(const_cast<QWidget *>(m_hooks.cbegin().key()));
}

const QWidget *HookEngine::WindowOf(const QObject *watched) const
{
    for (auto it = m_hooks.cbegin(); it != m_hooks.cend(); ++it) {
        if (it->window == watched || (it->viewport && it->viewport == watched))
            return it.key();
    }
    return nullptr;
}

bool HookEngine::eventFilter(QObject *watched, QEvent *event)
{
    if (m_delivering.contains(event))
        return false;  // our own hand-over to the widget's handling
    // A context-menu request made with the mouse belongs to the right-button
    // press Qt makes it from (before or after the press's own event, by
    // platform): it is stopped while that widget's last right press was.
    if (event->type() == QEvent::ContextMenu
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Mouse
        && m_stoppedPresses.contains(watched)) {
        event->accept();
        return true;
    }
    // Qt delivers the second press of a double click as the double-click
    // event itself, so both are presses.
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QWidget *key = WindowOf(watched);
    if (mouse->button() != Qt::RightButton || !key)
        return false;
    const Hook hook = m_hooks.value(key);
    quint32 uMsg = MsgRightButtonDown;
    if (!hook.before.contains(uMsg) && !hook.after.contains(uMsg))
        return false;

    QWidget *hWnd = hook.window;
    QVariant wParam = int(mouse->buttons());
    QVariant lParam = mouse->position().toPoint();
    qint32 lReturn = 0;
    bool bHandled = false;
    m_stoppedPresses.removeAll(watched);
    if (hook.before.contains(uMsg)) {
        m_client.zSubclass_Proc(true, bHandled, lReturn, hWnd, uMsg, wParam, lParam);
        if (bHandled) {
            m_stoppedPresses.append(watched);
            event->accept();
            return true;
        }
    }
    // notify() rather than sendEvent(): it runs the remaining filters and the
    // widget's event() without touching the event's spontaneous flag.
    const QPointer<QObject> alive(watched);
    m_delivering.append(event);
    lReturn = QCoreApplication::instance()->notify(watched, event) ? 1 : 0;
    m_delivering.removeOne(event);
    // The widget may have been unhooked by its own handling.
    if (alive && m_hooks.contains(key) && m_hooks.value(key).after.contains(uMsg))
        m_client.zSubclass_Proc(false, bHandled, lReturn, hWnd, uMsg, wParam, lParam);
    event->accept();
    return true;
}

} // namespace kestova
