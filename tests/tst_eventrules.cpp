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

    // Each step is logged as "Handler.step" when it runs, except:
    //   yield   yields; the handler stops ("Handler.stops") if the program has ended meanwhile
    //   pause   yields and goes on whatever happened (the shut-down handlers)
    //   end     the device is closed for good
    //   close!  the window is asked to close while the handler is busy
    //   throw   the handler fails
    const QMap<QString, QString> scripts{
            {"Kick", "open yield sleep yield stats"},
            {"Status", "read"},
            {"Unload", "closeBexor end pause"},
            {"Busy", "read close! read"},
            {"BusyYield", "read close! read yield stats"},
            {"BusyFail", "read close! throw"},
    };

    QStringList log;
    std::unique_ptr<EventRules> rules;

    void runHandler(const QString &name)
    {
        rules->run([this, name] {
            for (const QString &step : scripts[name].split(' ')) {
                if (step == "throw")
                    throw std::runtime_error(qPrintable(name));
                if (step == "end")
                    rules->end();
                else if (step == "close!")
                    requestClose();
                else
                    log << name + '.' + step;
                if ((step == "yield" || step == "pause") && !rules->yield() && step == "yield") {
                    log << name + ".stops";
                    return;
                }
            }
        });
    }

    // Logs the rules' answer, in their order: "close:unload" (then the unload runs and
    // "closed" follows), "close:wait" or "close:closed".
    void requestClose()
    {
        const EventRules::CloseAnswer answer = rules->requestClose();
        log << QStringList{"close:unload", "close:wait", "close:closed"}.at(int(answer));
        if (answer == EventRules::CloseAnswer::RunUnload) {
            runHandler("Unload");
            log << "closed";
        }
    }

private slots:
    void handlerOrder_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<Delivery>("arrives");
        QTest::addColumn<QStringList>("expected"); // written with a blank between entries
        const auto row = [](const char *name, const char *handler, Delivery arrives,
                            const char *log) {
            QTest::newRow(name) << QString(handler) << arrives << QString(log).split(' ');
        };
        row("a click at a yield runs to its end inside the handler", "Kick", {{2, {"Status"}}},
            "Kick.open Kick.yield Kick.sleep Kick.yield Status.read Kick.stats");
        // The unload's pause is yield 2: the clicks there find the device closed.
        row("a close at a yield unloads; nothing starts after; the handler stops", "Kick",
            {{1, {"close"}}, {2, {"Status", "Kick"}}},
            "Kick.open Kick.yield close:unload Unload.closeBexor Unload.pause closed Kick.stops");
        row("a close after the end closes without unloading", "Unload", {{1, {"close"}}},
            "Unload.closeBexor Unload.pause close:closed");
        row("a close while a handler is busy goes ahead at its next yield", "BusyYield", {},
            "BusyYield.read close:wait BusyYield.read BusyYield.yield close:unload "
            "Unload.closeBexor Unload.pause closed BusyYield.stops");
        row("a close while a nested handler is busy waits for that one", "Kick", {{1, {"Busy"}}},
            "Kick.open Kick.yield Busy.read close:wait Busy.read close:unload Unload.closeBexor "
            "Unload.pause closed Kick.stops");
        row("a nested failure ends the program: the close waiting for it is dropped, the outer "
            "handler stops", "Kick", {{1, {"BusyFail"}}},
            "Kick.open Kick.yield BusyFail.read close:wait error:BusyFail Kick.stops");
    }
    void handlerOrder()
    {
        QFETCH(QString, handler);
        QFETCH(Delivery, arrives);
        log.clear();
        int yields = 0;
        rules = std::make_unique<EventRules>(EventRules::Hooks{
                [&] {
                    for (const QString &event : arrives.value(++yields))
                        event == "close" ? requestClose() : runHandler(event);
                },
                [this] { requestClose(); },
                [this](const QString &reason) {
                    log << "error:" + reason;
                    rules->end();
                }});
        runHandler(handler);
        QTEST(log, "expected");
    }
};

QTEST_GUILESS_MAIN(EventRulesTest)
#include "tst_eventrules.moc"
