// Tests of the hook engine: entries, before/after lists, dispatch order and
// the translation of Qt events.
#include "hook_engine.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kestova;

namespace {

// A widget that writes its own handling of messages and mouse presses into a log.
class LoggingWidget : public QWidget
{
public:
    explicit LoggingWidget(QStringList &log, QWidget *parent = nullptr) : QWidget(parent), m_log(log) {}

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == WindowMessage::EventType()) {
            const auto *message = static_cast<WindowMessage *>(event);
            m_log << QStringLiteral("own %1 w%2").arg(message->message).arg(message->wParam.toInt());
            return true;
        }
        return QWidget::event(event);
    }
    void mousePressEvent(QMouseEvent *event) override { m_log << QStringLiteral("press %1").arg(event->button()); }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        m_log << QStringLiteral("double %1").arg(event->button());
    }
    void contextMenuEvent(QContextMenuEvent *) override { m_log << QStringLiteral("menu"); }

private:
    QStringList &m_log;
};

// Writes each call into the same log and then runs the test's reaction.
class LoggingClient : public HookClient
{
public:
    explicit LoggingClient(QStringList &log) : m_log(log) {}

    using Reaction = std::function<void(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&lng_hWnd,
                                        quint32 &uMsg, QVariant &wParam)>;
    Reaction react;
    QWidget *lastWindow = nullptr;
    QVariant lastLParam;

    int zSubclass_Proc(bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&lng_hWnd, quint32 &uMsg,
                       QVariant &wParam, QVariant &lParam) override
    {
        m_log << QStringLiteral("%1 %2 w%3").arg(bBefore ? "before" : "after").arg(uMsg).arg(wParam.toInt());
        lastWindow = lng_hWnd;
        lastLParam = lParam;
        if (react)
            react(bBefore, bHandled, lReturn, lng_hWnd, uMsg, wParam);
        return 0;
    }

private:
    QStringList &m_log;
};

class HookEngineTest : public ::testing::Test
{
protected:
    QStringList log;
    LoggingClient client{log};
    HookEngine engine{client};
    LoggingWidget widget{log};

    qint32 Send(QWidget *to, quint32 message, int wParam = 0)
    {
        WindowMessage notice(nullptr, message, wParam);
        QCoreApplication::sendEvent(to, &notice);
        return notice.result;
    }
};

TEST_F(HookEngineTest, MessageInBothListsReachesTheCallbackBeforeAndAfterTheWidget)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    client.react = [](bool bBefore, bool &, qint32 &lReturn, QWidget *&, quint32 &, QVariant &) {
        if (!bBefore)
            lReturn += 41;  // the after call sees and may change the widget's result
    };

    EXPECT_EQ(Send(&widget, 7), 42);
    EXPECT_EQ(log, QStringList({"before 7 w0", "own 7 w0", "after 7 w0"}));
    EXPECT_EQ(client.lastWindow, &widget);
}

TEST_F(HookEngineTest, TimingChoosesTheListsAndUnlistedMessagesPassUntouched)
{
    QStringList afterOnly, beforeOnly, unlisted;
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 5, HookAfter);
    engine.HookMessage(&widget, 6, HookBefore);

    Send(&widget, 5);
    afterOnly.swap(log);
    Send(&widget, 6);
    beforeOnly.swap(log);
    Send(&widget, 8);
    unlisted.swap(log);

    EXPECT_EQ(afterOnly, QStringList({"own 5 w0", "after 5 w0"}));
    EXPECT_EQ(beforeOnly, QStringList({"before 6 w0", "own 6 w0"}));
    EXPECT_EQ(unlisted, QStringList({"own 8 w0"}));
}

TEST_F(HookEngineTest, HandledInTheBeforeCallStopsTheMessage)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    client.react = [](bool bBefore, bool &bHandled, qint32 &lReturn, QWidget *&, quint32 &, QVariant &) {
        if (bBefore) {
            bHandled = true;
            lReturn = 5;
        }
    };

    EXPECT_EQ(Send(&widget, 7), 5);
    EXPECT_EQ(log, QStringList({"before 7 w0"}));
}

TEST_F(HookEngineTest, ParametersChangedBeforeAreWhatTheWidgetGets)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    client.react = [](bool bBefore, bool &, qint32 &, QWidget *&, quint32 &, QVariant &wParam) {
        if (bBefore)
            wParam = 99;
    };

    Send(&widget, 7, 1);
    EXPECT_EQ(log, QStringList({"before 7 w1", "own 7 w99", "after 7 w99"}));
}

TEST_F(HookEngineTest, MessageAddedTwiceIsStoredOnceAndAZeroSlotTakesTheNextMessage)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    engine.HookMessage(&widget, 7, HookBoth);
    EXPECT_EQ(engine.BeforeList(0), QList<quint32>({7}));
    EXPECT_EQ(engine.AfterList(0), QList<quint32>({7}));
    Send(&widget, 7);
    EXPECT_EQ(log.size(), 3);  // before, own, after: once each

    log.clear();
    engine.HookMessage(&widget, 0, HookAfter);
    EXPECT_EQ(engine.AfterList(0), QList<quint32>({7, 0}));
    Send(&widget, 0);
    EXPECT_EQ(log, QStringList({"own 0 w0"}));  // the empty slot matches nothing
    engine.HookMessage(&widget, 9, HookAfter);
    EXPECT_EQ(engine.AfterList(0), QList<quint32>({7, 9}));
}

TEST_F(HookEngineTest, FreedEntriesAreReusedFromTheLastBeforeTheArrayGrows)
{
    QWidget a, b, c, d, e, f;
    EXPECT_EQ(engine.HookWindow(&a), 0);
    EXPECT_EQ(engine.HookWindow(&b), 1);
    EXPECT_EQ(engine.HookWindow(&c), 2);

    engine.UnhookWindow(&a);
    engine.UnhookWindow(&b);
    EXPECT_EQ(engine.EntryWindow(0), nullptr);
    EXPECT_EQ(engine.HookWindow(&d), 1);
    EXPECT_EQ(engine.HookWindow(&e), 0);
    EXPECT_EQ(engine.HookWindow(&f), 3);
    EXPECT_EQ(engine.EntryCount(), 4);
}

TEST_F(HookEngineTest, DestroyedWidgetLeavesItsEntryFree)
{
    auto doomed = std::make_unique<QWidget>();
    engine.HookWindow(doomed.get());
    engine.HookMessage(doomed.get(), 7, HookAfter);
    doomed.reset();

    EXPECT_EQ(engine.EntryWindow(0), nullptr);
    EXPECT_EQ(engine.HookWindow(&widget), 0);
    EXPECT_TRUE(engine.AfterList(0).isEmpty());
}

TEST_F(HookEngineTest, WidgetHookedTwiceRunsTheNewerEntryAroundTheOlder)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    EXPECT_EQ(engine.HookWindow(&widget), 1);
    engine.HookMessage(&widget, 7, HookBoth);
    client.react = [](bool bBefore, bool &, qint32 &, QWidget *&, quint32 &, QVariant &wParam) {
        if (bBefore)
            wParam = wParam.toInt() + 1;
    };

    Send(&widget, 7);
    EXPECT_EQ(log, QStringList({"before 7 w0", "before 7 w1", "own 7 w2", "after 7 w2", "after 7 w2"}));

    log.clear();
    engine.UnhookWindow(&widget);  // the newer entry
    EXPECT_EQ(engine.EntryWindow(1), nullptr);
    Send(&widget, 7);
    EXPECT_EQ(log, QStringList({"before 7 w0", "own 7 w1", "after 7 w1"}));
}

TEST_F(HookEngineTest, UnhookingInsideTheCallbackLetsTheWidgetHandleTheMessageWithoutAfterCall)
{
    engine.HookWindow(&widget);
    engine.HookMessage(&widget, 7, HookBoth);
    client.react = [this](bool bBefore, bool &, qint32 &, QWidget *&, quint32 &, QVariant &) {
        if (bBefore)
            engine.UnhookWindow(&widget);
    };

    Send(&widget, 7);
    Send(&widget, 7);
    EXPECT_EQ(log, QStringList({"before 7 w0", "own 7 w0", "own 7 w0"}));
}

TEST_F(HookEngineTest, UnhookAllFreesEveryEntry)
{
    QWidget other;
    engine.HookWindow(&widget);
    engine.HookWindow(&other);
    engine.HookMessage(&widget, 7, HookBoth);

    engine.UnhookAll();
    Send(&widget, 7);
    EXPECT_EQ(log, QStringList({"own 7 w0"}));
    EXPECT_EQ(engine.EntryWindow(0), nullptr);
    EXPECT_EQ(engine.EntryWindow(1), nullptr);
}

TEST_F(HookEngineTest, HookingMessagesOfAWidgetThatIsNotHookedIsAnError)
{
    EXPECT_THROW(engine.HookMessage(&widget, 7, HookAfter), std::invalid_argument);
    EXPECT_THROW(engine.UnhookWindow(&widget), std::invalid_argument);
}

TEST_F(HookEngineTest, MoveIsMessage3AfterTheWidgetMoved)
{
    QWidget parent;
    auto *child = new LoggingWidget(log, &parent);
    parent.show();
    engine.HookWindow(child);
    engine.HookMessage(child, MsgMove, HookAfter);
    QPoint seenAt;
    client.react = [&](bool, bool &, qint32 &, QWidget *&window, quint32 &, QVariant &) { seenAt = window->pos(); };

    child->move(7, 9);
    EXPECT_EQ(log, QStringList({"after 3 w0"}));
    EXPECT_EQ(client.lastLParam.toPoint(), QPoint(7, 9));
    EXPECT_EQ(seenAt, QPoint(7, 9));
}

// Right-button presses come through the window, as real ones do, so that Qt
// adds its context-menu requests and makes the second press of a double
// click a double-click event.
class RightButtonTest : public HookEngineTest
{
protected:
    void SetUp() override
    {
        widget.resize(100, 100);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        engine.HookWindow(&widget);
        engine.HookMessage(&widget, MsgRightButtonDown, HookBoth);
    }
    QWindow *Window() { return widget.windowHandle(); }
};

TEST_F(RightButtonTest, StoppedPressTakesItsContextMenuAlongAndDoubleClicksArePressesToo)
{
    client.react = [](bool bBefore, bool &bHandled, qint32 &, QWidget *&, quint32 &, QVariant &) {
        bHandled = bBefore;
    };

    QTest::mouseClick(Window(), Qt::RightButton, {}, QPoint(10, 10));
    QTest::mouseDClick(Window(), Qt::RightButton, {}, QPoint(20, 10));
    QTest::mouseClick(Window(), Qt::LeftButton, {}, QPoint(10, 10));

    EXPECT_EQ(log.filter("before 516").size(), 3);
    EXPECT_EQ(log.filter("after 516").size(), 0);
    EXPECT_FALSE(log.contains("menu"));
    EXPECT_EQ(log.filter("double").size(), 0);
    EXPECT_EQ(log.filter("press 2").size(), 0);
    EXPECT_EQ(log.filter("press 1").size(), 1);
}

TEST_F(RightButtonTest, PressLetThroughReachesTheWidgetBetweenTheCalls)
{
    QTest::mouseClick(Window(), Qt::RightButton, {}, QPoint(10, 10));

    EXPECT_EQ(log, QStringList({"before 516 w2", "press 2", "after 516 w2", "menu"}));
    EXPECT_EQ(client.lastLParam.toPoint(), QPoint(10, 10));
}

} // namespace
