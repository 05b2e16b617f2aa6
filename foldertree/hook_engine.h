// The message hook of the folder tree control: per hooked widget a list of
// message numbers its client sees before the widget's own handling and a
// list it sees after it, built on Qt event filters.
//
// Dispatch of one message to a hooked widget:
//   1. lReturn = 0, bHandled = false
//   2. message in the before list: client called with bBefore true
//   3. bHandled true: the message stops here; the widget never sees it
//   4. the widget's own handling (the rest of Qt's delivery) sets lReturn
//   5. message in the after list: client called with bBefore false
//   6. lReturn goes back to whoever sent the message
// A widget hooked twice has two entries; the newer one's dispatch runs first
// and treats the older one's dispatch as the widget's own handling.
//
// Qt events are translated into the numbers of the window messages with the
// same meaning (see MsgMove, MsgRightButtonDown); anything else reaches a
// hook only when sent as a WindowMessage, which carries its own number.
#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <vector>

namespace kestova {

// Timing of HookMessage: the bit 2 selects the before list, the bit 1 the after list.
enum HookTiming : int { HookAfter = 1, HookBefore = 2, HookBoth = 3 };

inline constexpr quint32 MsgMove = 3;               // QEvent::Move
inline constexpr quint32 MsgRightButtonDown = 516;  // a right-button press (QEvent::MouseButtonPress or DblClick)

// A numbered message sent to a widget with QCoreApplication::sendEvent.
// `window` is what the hook callback gets as its window (null: the receiver);
// `result` is filled with the lReturn of the receiver's dispatch.
class WindowMessage : public QEvent
{
public:
    WindowMessage(QWidget *window, quint32 message, QVariant wParam = {}, QVariant lParam = {});
    static QEvent::Type EventType();

    QWidget *window;
    quint32 message;
    QVariant wParam;
    QVariant lParam;
    qint32 result = 0;
};

// Receives the hooked messages. Changes to lng_hWnd, uMsg, wParam and lParam
// made in a before call are what the widget's own handling gets, for
// messages sent as WindowMessage; a translated Qt event reaches the widget
// as it was.
class HookClient
{
public:
    virtual ~HookClient() = default;
    virtual int zSubclass_Proc(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&lng_hWnd,
                               quint32 &uMsg, QVariant &wParam, QVariant &lParam) = 0;
};

class HookEngine : public QObject
{
public:
    explicit HookEngine(HookClient &client, QObject *parent = nullptr);
    ~HookEngine() override;

    // Hooks the widget (and the viewport of a scroll area, whose events count
    // as the area's) and returns its entry: a free entry, searched from the
    // last, before the array grows by one.
    int HookWindow(QWidget *window);
    // Adds uMsg to the lists chosen by timing of the widget's newest entry.
    // A message already listed, or a slot holding 0 that takes it, leaves the
    // list's length alone. Throws std::invalid_argument for a widget that is
    // not hooked.
    void HookMessage(QWidget *window, quint32 uMsg, int timing);
    // Frees the widget's newest entry. Safe inside the widget's own dispatch:
    // the after call of that dispatch is then skipped. Throws like HookMessage.
    void UnhookWindow(QWidget *window);
    // Frees every entry in use, from the last to the first.
    void UnhookAll();

    // The entry array as it stands. An entry whose widget was unhooked or
    // destroyed is free and has a null window.
    int EntryCount() const { return int(m_entries.size()); }
    QWidget *EntryWindow(int index) const;
    QList<quint32> BeforeList(int index) const;
    QList<quint32> AfterList(int index) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry
    {
        QPointer<QWidget> window;
        QPointer<QWidget> viewport;
        quint64 serial = 0;  // order of hooking, newest highest
        std::vector<quint32> before;
        std::vector<quint32> after;
    };
    struct Delivery;

    int FindEntry(const QWidget *window) const;
    std::vector<int> Chain(const QObject *watched, QWidget **window) const;
    qint32 Dispatch(const std::vector<int> &chain, size_t level, Delivery &d);
    qint32 OwnHandling(Delivery &d);
    void Release(Entry &entry);
    bool StillHooked(int index, quint64 serial) const;

    HookClient &m_client;
    std::vector<Entry> m_entries;
    quint64 m_nextSerial = 1;
    QList<QEvent *> m_delivering;             // events handed on to their widget's own handling
    QList<QObject *> m_stoppedRightPresses;  // widgets whose last right press a hook stopped
};

} // namespace kestova
