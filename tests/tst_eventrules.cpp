// When handlers may run, on their own, without a window: nesting only at yields, a close
// that must wait for a busy handler, nothing after the end, and failures that end the
// program. Handlers are scripts of steps; what the toolkit delivers at each yield is
// scripted too.
#include "eventrules.h"

#include <QTest>

#include <stdexcept>

using Delivery = QMap<int, QStringList>; // yield number (from 1) -> what arrives there

class EventRulesTest : public QObject
{
    Q_OBJECT

    // Each step is logged as "Handler.Step", except:
    //   yield   yields; the handler stops if the program has ended meanwhile
    //   pause   yields and goes on whatever happened (the shut-down handlers)
    //   end     the device is closed for good
    //   close!  the window is asked to close while the handler is busy
    //   throw   the handler fails
    const QMap<QString, QString> scripts{
            {"Kick", "DrawerOpen yield Sleep yield Statistics"},
            {"Status", "DrawerState"},
            {"Unload", "CloseBexor end pause"},
            {"Exit", "CloseBexor end pause Quit"},
            {"Busy", "DrawerState close! DrawerState"},
            {"BusyYield", "DrawerState close! DrawerState yield Statistics"},
            {"BusyTwice", "DrawerState close! close! DrawerState"},
            {"BusyFail", "DrawerState close! throw"},
            {"Fail", "DrawerState throw"},
    };

    QStringList log;
    Delivery delivery;
    int yields = 0;
    std::unique_ptr<EventRules> rules;

    void runHandler(const QString &name)
    {
        rules->run([this, name] {
            for (const QString &step : scripts[name].split(' ')) {
                if (step == "yield" || step == "pause") {
                    log << name + " yields";
                    if (!rules->yield() && step == "yield") {
                        log << name + " stops";
                        return;
                    }
                } else if (step == "end") {
                    rules->end();
                } else if (step == "close!") {
                    requestClose();
                } else if (step == "throw") {
                    throw std::runtime_error(qPrintable(name + " failed"));
                } else {
                    log << name + '.' + step;
                }
            }
        });
    }

    void requestClose()
    {
        switch (rules->requestClose()) {
        case EventRules::CloseAnswer::RunUnload:
            log << "close: unload";
            runHandler("Unload");
            log << "window closed";
            break;
        case EventRules::CloseAnswer::Wait:
            log << "close: wait";
            break;
        case EventRules::CloseAnswer::Close:
            log << "close: window closed";
            break;
        }
    }

private slots:
    void init()
    {
        log.clear();
        delivery.clear();
        yields = 0;
        rules = std::make_unique<EventRules>(EventRules::Hooks{
                [this] {
                    for (const QString &event : delivery.value(++yields)) {
                        if (event == "close")
                            requestClose();
                        else
                            runHandler(event);
                    }
                },
                [this] { requestClose(); },
                [this](const QString &reason) {
                    log << "error: " + reason;
                    rules->end();
                }});
    }

    void handlerOrder_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<Delivery>("arrives");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("a handler runs to its end")
                << "Kick" << Delivery{}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Kick.Sleep", "Kick yields",
                               "Kick.Statistics"};
        QTest::newRow("a click at a yield runs to its end inside the handler")
                << "Kick" << Delivery{{2, {"Status"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Kick.Sleep", "Kick yields",
                               "Status.DrawerState", "Kick.Statistics"};
        QTest::newRow("two clicks at one yield run one after the other")
                << "Kick" << Delivery{{1, {"Status", "Status"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Status.DrawerState",
                               "Status.DrawerState", "Kick.Sleep", "Kick yields",
                               "Kick.Statistics"};
        QTest::newRow("a close at a yield unloads there and the handler stops")
                << "Kick" << Delivery{{1, {"close"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "close: unload",
                               "Unload.CloseBexor", "Unload yields", "window closed",
                               "Kick stops"};
        QTest::newRow("no handler starts once the device is closed")
                << "Kick" << Delivery{{1, {"close"}}, {2, {"Status", "Kick"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "close: unload",
                               "Unload.CloseBexor", "Unload yields", "window closed",
                               "Kick stops"};
        QTest::newRow("exit inside a handler: the handler stops after it")
                << "Kick" << Delivery{{1, {"Exit"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Exit.CloseBexor",
                               "Exit yields", "Exit.Quit", "Kick stops"};
        QTest::newRow("a close after the end closes without unloading")
                << "Exit" << Delivery{{1, {"close"}}}
                << QStringList{"Exit.CloseBexor", "Exit yields", "close: window closed",
                               "Exit.Quit"};
        QTest::newRow("a close while a handler is busy waits for its end")
                << "Busy" << Delivery{}
                << QStringList{"Busy.DrawerState", "close: wait", "Busy.DrawerState",
                               "close: unload", "Unload.CloseBexor", "Unload yields",
                               "window closed"};
        QTest::newRow("a close while a handler is busy goes ahead at its next yield")
                << "BusyYield" << Delivery{}
                << QStringList{"BusyYield.DrawerState", "close: wait", "BusyYield.DrawerState",
                               "BusyYield yields", "close: unload", "Unload.CloseBexor",
                               "Unload yields", "window closed", "BusyYield stops"};
        QTest::newRow("a close while a nested handler is busy waits for that one")
                << "Kick" << Delivery{{1, {"Busy"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Busy.DrawerState",
                               "close: wait", "Busy.DrawerState", "close: unload",
                               "Unload.CloseBexor", "Unload yields", "window closed",
                               "Kick stops"};
        QTest::newRow("two closes while busy unload once")
                << "BusyTwice" << Delivery{}
                << QStringList{"BusyTwice.DrawerState", "close: wait", "close: wait",
                               "BusyTwice.DrawerState", "close: unload", "Unload.CloseBexor",
                               "Unload yields", "window closed"};
        QTest::newRow("a failing handler takes the error path")
                << "Fail" << Delivery{}
                << QStringList{"Fail.DrawerState", "error: Fail failed"};
        QTest::newRow("a nested failure ends the program: the outer handler stops")
                << "Kick" << Delivery{{1, {"Fail"}}, {2, {"Status"}}}
                << QStringList{"Kick.DrawerOpen", "Kick yields", "Fail.DrawerState",
                               "error: Fail failed", "Kick stops"};
        QTest::newRow("a close waiting for a handler that fails is dropped")
                << "BusyFail" << Delivery{}
                << QStringList{"BusyFail.DrawerState", "close: wait", "error: BusyFail failed"};
    }
    void handlerOrder()
    {
        QFETCH(QString, handler);
        QFETCH(Delivery, arrives);
        delivery = arrives;
        runHandler(handler);
        QTEST(log, "expected");
    }

    // What stays true once the program has ended, whatever asks.
    void endedIsFinal()
    {
        rules->end();
        runHandler("Status");
        QVERIFY(!rules->yield());
        QCOMPARE(rules->requestClose(), EventRules::CloseAnswer::Close);
        QVERIFY(log.isEmpty());
    }
};

QTEST_GUILESS_MAIN(EventRulesTest)
#include "tst_eventrules.moc"
