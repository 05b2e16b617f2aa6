// Tests of the hook engine: before/after lists, the dispatch order and the
// bHandled rule, on right-button presses that come through the window as
// real ones do (so that Qt adds its context-menu requests and makes the
// second press of a double click a double-click event).
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

class RightButtonTest : public ::testing::Test
{
protected:
    QStringList log;
    LoggingClient client{log};
    HookEngine engine{client};
    LoggingWidget widget{log};

    void SetUp() override
    {
        widget.resize(100, 100);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        engine.HookWindow(&widget);
    }
    QWindow *Window() { return widget.windowHandle(); }
    void Click() { QTest::mouseClick(Window(), Qt::RightButton, {}, QPoint(10, 10)); }
};

TEST_F(RightButtonTest, PressLetThroughReachesTheWidgetBetweenTheCalls)
{
    engine.HookMessage(&widget, MsgRightButtonDown, HookBoth);
    Click();
    EXPECT_EQ(log, QStringList({"before 516 w2", "press 2", "after 516 w2", "menu"}));
    EXPECT_EQ(client.lastLParam.toPoint(), QPoint(10, 10));
    EXPECT_EQ(client.lastWindow, &widget);
}

TEST_F(RightButtonTest, TimingChoosesTheLists)
{
    engine.HookMessage(&widget, MsgRightButtonDown, HookAfter);
    Click();
    EXPECT_EQ(log, QStringList({"press 2", "after 516 w2", "menu"}));
    EXPECT_EQ(engine.BeforeList(&widget), QList<quint32>());
    EXPECT_EQ(engine.AfterList(&widget), QList<quint32>({516}));

    log.clear();
    engine.HookMessage(&widget, MsgRightButtonDown, HookBefore);
    engine.HookMessage(&widget, MsgRightButtonDown, HookBoth);  // listed once
    EXPECT_EQ(engine.BeforeList(&widget), QList<quint32>({516}));
    EXPECT_EQ(engine.AfterList(&widget), QList<quint32>({516}));
    QTest::mouseClick(Window(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(log, QStringList({"press 1"}));  // not hooked
}

TEST_F(RightButtonTest, HandledBeforeStopsThePressItsContextMenuAndDoubleClicks)
{
    engine.HookMessage(&widget, MsgRightButtonDown, HookBoth);
    client.react = [](bool bBefore, bool &bHandled, qint32 &, QWidget *&, quint32 &, QVariant &) {
        bHandled = bBefore;
    };

    Click();
    QTest::mouseDClick(Window(), Qt::RightButton, {}, QPoint(20, 10));
    QTest::mouseClick(Window(), Qt::LeftButton, {}, QPoint(10, 10));

    EXPECT_EQ(log.filter("before 516").size(), 3);
    EXPECT_EQ(log.filter("after 516").size(), 0);
    EXPECT_FALSE(log.contains("menu"));
    EXPECT_EQ(log.filter("double").size(), 0);
    EXPECT_EQ(log.filter("press 2").size(), 0);
    EXPECT_EQ(log.filter("press 1").size(), 1);
}

TEST_F(RightButtonTest, UnhookingInsideTheCallbackLetsTheWidgetHandleThePressWithoutAfterCall)
{
    engine.HookMessage(&widget, MsgRightButtonDown, HookBoth);
    client.react = [this](bool bBefore, bool &, qint32 &, QWidget *&, quint32 &, QVariant &) {
        if (bBefore)
            engine.UnhookWindow(&widget);
    };
    Click();
    Click();
    EXPECT_EQ(log, QStringList({"before 516 w2", "press 2", "menu", "press 2", "menu"}));
    EXPECT_FALSE(engine.Hooked(&widget));
}

TEST_F(RightButtonTest, HookingMessagesOfAWidgetThatIsNotHookedIsAnError)
{
    QWidget other;
    EXPECT_THROW(engine.HookMessage(&other, MsgRightButtonDown, HookAfter), std::invalid_argument);
    EXPECT_THROW(engine.UnhookWindow(&other), std::invalid_argument);
    engine.UnhookAll();
    EXPECT_FALSE(engine.Hooked(&widget));
}

} // namespace
