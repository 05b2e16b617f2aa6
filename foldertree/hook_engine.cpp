// The message hook: entries, before/after lists and the dispatch order.
#include "hook_engine.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QMoveEvent>

#include <algorithm>
#include <stdexcept>

namespace kestova {

WindowMessage::WindowMessage(QWidget *window, quint32 message, QVariant wParam, QVariant lParam)
    : QEvent(EventType()), window(window), message(message), wParam(std::move(wParam)), lParam(std::move(lParam))
{
}

QEvent::Type WindowMessage::EventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

namespace {

// A slot holding 0 is a free slot, not a message.
bool Listed(const std::vector<quint32> &list, quint32 uMsg)
{
    return uMsg != 0 && std::find(list.begin(), list.end(), uMsg) != list.end();
}

void AddToList(std::vector<quint32> &list, quint32 uMsg)
{
    for (quint32 &slot : list) {
        if (slot == 0) {
            slot = uMsg;
            return;
        }
        if (slot == uMsg)
            return;
    }
    list.push_back(uMsg);
}

bool Translate(QEvent *event, quint32 &uMsg, QVariant &wParam, QVariant &lParam)
{
    switch (event->type()) {
    case QEvent::Move:
        uMsg = MsgMove;
        lParam = static_cast<QMoveEvent *>(event)->pos();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // Qt delivers the second press of a double click as the double-click
        // event itself, so both are presses.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        uMsg = MsgRightButtonDown;
        wParam = int(mouse->buttons());
        lParam = mouse->position().toPoint();
        return true;
    }
    default:
        return false;
    }
}

} // namespace

// What one dispatch works on; the parameters point into the WindowMessage
// when there is one, so that changes made by a before call reach the widget.
struct HookEngine::Delivery
{
    QObject *watched;
    QEvent *event;
    QWidget **hWnd;
    quint32 *uMsg;
    QVariant *wParam;
    QVariant *lParam;
    bool stopped = false;
};

HookEngine::HookEngine(HookClient &client, QObject *parent) : QObject(parent), m_client(client) {}

HookEngine::~HookEngine()
{
    UnhookAll();
}

int HookEngine::HookWindow(QWidget *window)
{
    if (!window)
        throw std::invalid_argument("HookWindow: no widget");
    int index = -1;
    for (int i = int(m_entries.size()) - 1; i >= 0 && index < 0; --i) {
        if (!m_entries[size_t(i)].window)
            index = i;
    }
    if (index < 0) {
        m_entries.emplace_back();
        index = int(m_entries.size()) - 1;
    }
    Entry &entry = m_entries[size_t(index)];
    entry = Entry{};
    entry.window = window;
    entry.serial = m_nextSerial++;
    window->installEventFilter(this);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(window)) {
        entry.viewport = area->viewport();
        entry.viewport->installEventFilter(this);
    }
    return index;
}

void HookEngine::HookMessage(QWidget *window, quint32 uMsg, int timing)
{
    const int index = FindEntry(window);
    if (index < 0)
        throw std::invalid_argument("HookMessage: the widget is not hooked");
    Entry &entry = m_entries[size_t(index)];
    if (timing & HookBefore)
        AddToList(entry.before, uMsg);
    if (timing & HookAfter)
        AddToList(entry.after, uMsg);
}

void HookEngine::UnhookWindow(QWidget *window)
{
    const int index = FindEntry(window);
    if (index < 0)
        throw std::invalid_argument("UnhookWindow: the widget is not hooked");
    Release(m_entries[size_t(index)]);
}

void HookEngine::UnhookAll()
{
    for (int i = int(m_entries.size()) - 1; i >= 0; --i) {
        if (m_entries[size_t(i)].window)
            Release(m_entries[size_t(i)]);
    }
}

QWidget *HookEngine::EntryWindow(int index) const
{
    return m_entries.at(size_t(index)).window;
}

QList<quint32> HookEngine::BeforeList(int index) const
{
    const Entry &entry = m_entries.at(size_t(index));
    return entry.window ? QList<quint32>(entry.before.begin(), entry.before.end()) : QList<quint32>();
}

QList<quint32> HookEngine::AfterList(int index) const
{
    const Entry &entry = m_entries.at(size_t(index));
    return entry.window ? QList<quint32>(entry.after.begin(), entry.after.end()) : QList<quint32>();
}

int HookEngine::FindEntry(const QWidget *window) const
{
    if (!window)
        return -1;
    for (int i = int(m_entries.size()) - 1; i >= 0; --i) {
        if (m_entries[size_t(i)].window == window)
            return i;
    }
    return -1;
}

void HookEngine::Release(Entry &entry)
{
    QWidget *window = entry.window;
    QWidget *viewport = entry.viewport;
    entry.window = nullptr;
    entry.viewport = nullptr;
    entry.before.clear();
    entry.after.clear();
    if (FindEntry(window) >= 0)
        return;  // another entry still hooks the widget
    if (window)
        window->removeEventFilter(this);
    if (viewport)
        viewport->removeEventFilter(this);
    m_stoppedRightPresses.removeAll(window);
    m_stoppedRightPresses.removeAll(viewport);
}

bool HookEngine::StillHooked(int index, quint64 serial) const
{
    return size_t(index) < m_entries.size() && m_entries[size_t(index)].window
           && m_entries[size_t(index)].serial == serial;
}

std::vector<int> HookEngine::Chain(const QObject *watched, QWidget **window) const
{
    std::vector<int> chain;
    for (int i = 0; i < int(m_entries.size()); ++i) {
        const Entry &entry = m_entries[size_t(i)];
        if (entry.window && (entry.window == watched || entry.viewport == watched)) {
            chain.push_back(i);
            *window = entry.window;
        }
    }
    std::sort(chain.begin(), chain.end(),
              [this](int a, int b) { return m_entries[size_t(a)].serial > m_entries[size_t(b)].serial; });
    return chain;
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
        && m_stoppedRightPresses.contains(watched)) {
        event->accept();
        return true;
    }

    quint32 uMsg = 0;
    QVariant wParam, lParam;
    auto *message = event->type() == WindowMessage::EventType() ? static_cast<WindowMessage *>(event) : nullptr;
    if (!message && !Translate(event, uMsg, wParam, lParam))
        return false;

    QWidget *window = nullptr;
    const std::vector<int> chain = Chain(watched, &window);
    const quint32 number = message ? message->message : uMsg;
    const bool listed = std::any_of(chain.begin(), chain.end(), [&](int i) {
        return Listed(m_entries[size_t(i)].before, number) || Listed(m_entries[size_t(i)].after, number);
    });
    if (!listed)
        return false;

    QWidget *hWnd = window;
    Delivery d{watched, event, &hWnd, &uMsg, &wParam, &lParam};
    if (message) {
        if (!message->window)
            message->window = window;
        d.hWnd = &message->window;
        d.uMsg = &message->message;
        d.wParam = &message->wParam;
        d.lParam = &message->lParam;
    }
    const bool rightPress = !message && uMsg == MsgRightButtonDown;
    if (rightPress)
        m_stoppedRightPresses.removeAll(watched);
    const QPointer<QObject> alive(watched);
    const qint32 result = Dispatch(chain, 0, d);
    if (message)
        message->result = result;
    if (rightPress && d.stopped && alive)
        m_stoppedRightPresses.append(watched);
    // A stopped message must not travel on to the parents, and a delivered
    // one has already been offered to them by its own delivery.
    event->accept();
    return true;
}

qint32 HookEngine::Dispatch(const std::vector<int> &chain, size_t level, Delivery &d)
{
    if (level == chain.size())
        return OwnHandling(d);
    const int index = chain[level];
    const quint64 serial = m_entries[size_t(index)].serial;
    qint32 lReturn = 0;
    bool bHandled = false;
    if (Listed(m_entries[size_t(index)].before, *d.uMsg)) {
        m_client.zSubclass_Proc(true, bHandled, lReturn, *d.hWnd, *d.uMsg, *d.wParam, *d.lParam);
        if (bHandled) {
            d.stopped = true;
            return lReturn;
        }
    }
    lReturn = Dispatch(chain, level + 1, d);
    // The entry may have been unhooked (or even reused) by a callback.
    if (StillHooked(index, serial) && Listed(m_entries[size_t(index)].after, *d.uMsg))
        m_client.zSubclass_Proc(false, bHandled, lReturn, *d.hWnd, *d.uMsg, *d.wParam, *d.lParam);
    return lReturn;
}

qint32 HookEngine::OwnHandling(Delivery &d)
{
    // notify() rather than sendEvent(): it runs the remaining filters and the
    // widget's event() without touching the event's spontaneous flag.
    m_delivering.append(d.event);
    const bool handled = QCoreApplication::instance()->notify(d.watched, d.event);
    m_delivering.removeOne(d.event);
    return handled ? 1 : 0;
}

} // namespace kestova
