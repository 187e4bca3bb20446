// The real window in this process, against the fake driver, which answers at once: a
// STATUS refresh and a kick with the desktop's own waits, yields and painting, so that
// whatever they take beyond their deliberate waits is the utility's own cost; then the
// statistics display, reached through a kick with no drawer ticked, whose waits and yields
// take no time here.
//
//   crbench_window [--runs N] [--batches N] [--batch-seconds S]
//
// Message boxes are answered through the window's services at once. Exits non-zero only
// when a handler no longer makes the driver calls the figures rely on.
#include "fakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void broken(const std::string &why)
{
    std::fprintf(stderr, "crbench_window: %s\n", why.c_str());
    std::exit(1);
}

void row(const char *figure, const std::vector<double> &values, double limit = 0)
{
    const Summary s = summarise(values);
    char target[32] = "";
    if (limit > 0)
        std::snprintf(target, sizeof target, "<= %g %s", limit,
                      s.median <= limit ? "met" : "NOT MET");
    std::printf("%-44s %9.3f %9.3f %9.3f  %s\n", figure, s.median, s.min, s.max, target);
}

// A block as a controller in use returns it: texts padded with zeros, and the two counters
// the window decodes, least significant byte first.
QByteArray blockInUse()
{
    QByteArray block(106, '\0');
    const auto put = [&block](int offset, const char *text) {
        block.replace(offset, int(std::strlen(text)), text);
    };
    put(46, "SN-000123456");
    put(62, "20240115");
    put(70, "R2.0");
    put(82, "20240301");
    const uint32_t good = 123456, failed = 789;
    for (int i = 0; i < 4; ++i) {
        block[98 + i] = char(good >> (8 * i));
        block[102 + i] = char(failed >> (8 * i));
    }
    return block;
}

// The window started against a driver with the given drawers, counting its message boxes.
struct Rig : FormRig
{
    Rig(FakeServices::Real real, bool drawers) : FormRig(real)
    {
        for (int32_t n = 0; n < 8; ++n)
            driver.states[size_t(n)] = drawers ? 16 * n + 1 : -1; // closed or absent
        driver.statisticsBlock = blockInUse();
        services.onMessage = [this](const QString &) { ++messages; };
        start();
    }
    void forget()
    {
        driver.calls.clear();
        services.waits.clear();
        messages = 0;
    }
    QPushButton *button(const char *name) { return form->findChild<QPushButton *>(name); }
    double sleptMs() const
    {
        double total = 0;
        for (const auto &[from, to] : services.waits)
            total += msBetween(from, to);
        return total;
    }

    int messages = 0;
};

void refreshAndKick(int runs)
{
    Rig rig({.waits = true, .show = true, .paint = true}, true);
    if (!rig.button("Status_Cmd")->isEnabled() || rig.messages != 2)
        broken("start-up did not refresh and show the statistics");

    std::vector<double> refreshOver, overslept, ours;
    for (int run = 0; run < runs; ++run) {
        rig.forget();
        const Clock::time_point start = Clock::now();
        rig.button("Status_Cmd")->click();
        const double wall = msBetween(start, Clock::now());
        if (rig.driver.times("DrawerState").size() != 8 || rig.services.waits.size() != 8)
            broken("a STATUS refresh no longer reads eight drawers with a wait each");
        refreshOver.push_back(wall - 800);
        overslept.push_back(rig.sleptMs() - 800);
        ours.push_back(wall - rig.sleptMs());
    }

    std::vector<double> kickGaps, statisticsGaps;
    for (int run = 0; run < runs; ++run) {
        for (QCheckBox *check : rig.form->findChildren<QCheckBox *>())
            check->setChecked(true);
        rig.forget();
        rig.button("Kick_Cmd")->click();
        // Eight kicks, the settle wait, eight reads with their waits, then one statistics read.
        const auto kicks = rig.driver.times("DrawerOpen");
        const auto reads = rig.driver.times("RetrieveStatistics");
        if (kicks.size() != 8 || rig.services.waits.size() != 9 || reads.size() != 1
            || rig.messages != 2)
            broken("a kick no longer kicks, reads back and shows the statistics of eight drawers");
        for (size_t i = 1; i < kicks.size(); ++i)
            kickGaps.push_back(msBetween(kicks[i - 1], kicks[i]));
        statisticsGaps.push_back(msBetween(rig.services.waits.back().second, reads[0]));
    }

    row("STATUS refresh: wall time beyond 800 ms", refreshOver, 8);
    row("  of which the waits overslept", overslept);
    row("  of which the utility's own work", ours);
    row("kick: gap between DrawerOpen calls", kickGaps, 1);
    row("kick: last refresh wait to statistics read", statisticsGaps, 1);
}

// Reading, decoding and filling the six boxes, painted as the desktop paints or not at all:
// the mean of a batch of clicks lasting at least batchSeconds, after one unmeasured batch.
std::vector<double> showStatistics(bool paint, int batches, double batchSeconds)
{
    Rig rig({.show = true, .paint = paint}, false);
    QCoreApplication::processEvents();
    rig.forget();
    QPushButton *kick = rig.button("Kick_Cmd");
    std::vector<double> means;
    long long clicks = 0;
    for (int batch = 0; batch <= batches; ++batch) {
        const Clock::time_point start = Clock::now();
        long long n = 0;
        do {
            kick->click();
            ++n;
        } while (msBetween(start, Clock::now()) < batchSeconds * 1000);
        if (batch > 0)
            means.push_back(msBetween(start, Clock::now()) / double(n));
        clicks += n;
    }
    if (rig.driver.times("RetrieveStatistics").size() != size_t(clicks)
        || rig.messages != 2 * clicks
        || rig.form->findChild<QLineEdit *>("crTextSValue_13")->text() != QLatin1String("123456")
        || rig.form->findChild<QLineEdit *>("crTextSValue_5")->text()
                   != QLatin1String("SN-000123456"))
        broken("a kick no longer reads and shows the statistics block");
    return means;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    int runs = 15, batches = 10;
    double batchSeconds = 0.5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--batches") == 0)
            batches = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--batch-seconds") == 0)
            batchSeconds = std::atof(argv[i + 1]);
        else
            broken(std::string("unknown option ") + argv[i]);
    }
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("== the window in process: platform %s; refresh and kick %d runs each, "
                "statistics %d batches of %g s ==\n",
                platform ? platform : "(default)", runs, batches, batchSeconds);
    std::printf("%-44s %9s %9s %9s  %s\n", "figure (ms)", "median", "min", "max", "target");
    // The handlers run from inside the event loop, as they do in the utility.
    QTimer::singleShot(0, &application, [&] {
        refreshAndKick(runs);
        application.quit();
    });
    application.exec();
    row("statistics display, not painted", showStatistics(false, batches, batchSeconds));
    row("statistics display, painted", showStatistics(true, batches, batchSeconds), 1);
    return 0;
}
