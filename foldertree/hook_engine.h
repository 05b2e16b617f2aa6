// The control's message hook: an event filter that shows its client the
// messages listed for a hooked widget before the widget's own handling
// (the before list) and after it (the after list).
//
// Dispatch of one message to a hooked widget:
//   1. lReturn = 0, bHandled = false
//   2. message in the before list: client called with bBefore true
//   3. bHandled true: the message stops here; the widget never sees it
//   4. the widget's own handling (the rest of Qt's delivery) sets lReturn
//   5. message in the after list: client called with bBefore false
//
// The messages are Qt events under the numbers of the window messages with
// the same meaning; the control hooks only the right-button press
// (MsgRightButtonDown), so that no menu opens in its tree.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace kestova {

// Timing of HookMessage: the bit 2 selects the before list, the bit 1 the after list.
enum HookTiming : int { HookAfter = 1, HookBefore = 2, HookBoth = 3 };

inline constexpr quint32 MsgRightButtonDown = 516;  // a right-button press (QEvent::MouseButtonPress or DblClick)

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
    // as the area's); hooking it again keeps its lists.
    void HookWindow(QWidget *window);
    // Adds uMsg to the widget's lists chosen by timing. Throws
    // std::invalid_argument for a widget that is not hooked.
    void HookMessage(QWidget *window, quint32 uMsg, int timing);
    // Safe inside the widget's own dispatch: its after call is then skipped.
    void UnhookWindow(QWidget *window);
    void UnhookAll();

    bool Hooked(const QWidget *window) const { return m_hooks.contains(window); }
    QList<quint32> BeforeList(const QWidget *window) const { return m_hooks.value(window).before; }
    QList<quint32> AfterList(const QWidget *window) const { return m_hooks.value(window).after; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Hook {
        QPointer<QWidget> window;
        QPointer<QWidget> viewport;
        QList<quint32> before;
        QList<quint32> after;
    };
    const QWidget *WindowOf(const QObject *watched) const;

    HookClient &m_client;
    QHash<const QWidget *, Hook> m_hooks;
    QList<QEvent *> m_delivering;        // events handed on to their widget's own handling
    QList<QObject *> m_stoppedPresses;   // widgets whose last right press a hook stopped
};

} // namespace kestova
