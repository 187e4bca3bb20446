// The real window in this process, against the fake driver, which answers at once: a
// STATUS refresh and a kick with the desktop's own waits, yields and painting, so that
// whatever they take beyond their deliberate waits is the utility's own cost; then the
// statistics display, reached through a kick with no drawer ticked, whose waits and yields
// take no time here; and the memory of a long day, many refreshes and kicks whose waits,
// yields and painting take no time.
//
//   crbench_window [--runs N] [--batches N] [--batch-seconds S] [--memory-refreshes N]
//
// Message boxes are answered through the window's services at once. Exits non-zero only
// when a handler no longer makes the driver calls the figures rely on.
#include "desktopservices.h"
#include "fakes.h"
#include "timing.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

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

// The fake driver without a log, noting when each call came.
struct TimedDriver : FakeDriver
{
    std::vector<std::pair<std::string_view, Clock::time_point>> calls;

    int32_t drawerOpen(int32_t n) override { return note("DrawerOpen"), FakeDriver::drawerOpen(n); }
    int32_t drawerState(int32_t n) override
    {
        return note("DrawerState"), FakeDriver::drawerState(n);
    }
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override
    {
        note("RetrieveStatistics");
        return FakeDriver::retrieveStatistics(unit, selector, buffer, length);
    }
    void note(std::string_view function) { calls.emplace_back(function, Clock::now()); }
    // When the calls of one function came, in order.
    std::vector<Clock::time_point> times(std::string_view function) const
    {
        std::vector<Clock::time_point> found;
        for (const auto &[call, at] : calls)
            if (call == function)
                found.push_back(at);
        return found;
    }
};

// The fake services without a log, leaving to the desktop what is asked; each wait's start
// and end noted.
struct TimedServices : FakeServices
{
    struct Real
    {
        bool waits = false, show = false, paint = false;
    };
    explicit TimedServices(Real real) : real(real) { }

    Real real;
    DesktopServices desktop;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> waits;

    void sleep(std::chrono::milliseconds time) override
    {
        const Clock::time_point start = Clock::now();
        if (real.waits)
            desktop.sleep(time);
        waits.emplace_back(start, Clock::now());
    }
    void yield() override
    {
        if (real.waits)
            desktop.yield();
    }
    void show(QWidget *window) override { real.show ? desktop.show(window) : window->show(); }
    void paint(QWidget *widget) override
    {
        if (real.paint)
            desktop.paint(widget);
    }
};

// The real window on them, started against a driver with the given drawers, counting its
// message boxes.
struct Rig
{
    Rig(TimedServices::Real real, bool drawers) : services(real)
    {
        for (int32_t n = 0; n < 8; ++n)
            driver.states[size_t(n)] = drawers ? 16 * n + 1 : -1; // closed or absent
        driver.statisticsBlock = blockInUse();
        services.onMessage = [this](const QString &) { ++messages; };
        form = std::make_unique<CRTEST_Form>(controller, services);
        form->load();
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

    TimedDriver driver;
    TimedServices services;
    Controller controller{&driver, {}, {}};
    std::unique_ptr<CRTEST_Form> form;
    int messages = 0;
};

// A technician's click is handled by an event loop that has first painted what the last
// handler left changed; so is each measured click here.
void paintPending()
{
    QCoreApplication::processEvents();
}

void refreshAndKick(int runs)
{
    Rig rig({.waits = true, .show = true, .paint = true}, true);
    if (!rig.button("Status_Cmd")->isEnabled() || rig.messages != 2)
        broken("start-up did not refresh and show the statistics");

    std::vector<double> refreshOver, overslept, ours;
    for (int run = 0; run < runs; ++run) {
        paintPending();
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
        paintPending();
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

    row("STATUS refresh: wall time beyond 800 ms", refreshOver, 5);
    row("  of which the waits overslept", overslept);
    row("  of which the utility's own work", ours, 2);
    row("kick: gap between DrawerOpen calls", kickGaps, 1);
    // Offscreen nothing reaches a display between the last read and the statistics.
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    const bool x11 = platform && std::strcmp(platform, "xcb") == 0;
    row("kick: last refresh wait to statistics read", statisticsGaps, x11 ? 1 : 0);
}

// Resident memory now and at its peak so far (VmRSS, VmHWM), in KiB.
std::pair<long, long> residentKiB()
{
    std::pair<long, long> kib{-1, -1};
    std::FILE *status = std::fopen("/proc/self/status", "r");
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            kib.first = std::strtol(line + 6, nullptr, 10);
        else if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib.second = std::strtol(line + 6, nullptr, 10);
    if (status)
        std::fclose(status);
    return kib;
}

// A long day at the till: STATUS clicked the given number of times, every drawer ticked and
// kicked after each tenth click, the event loop run after each. The fakes' own notes are
// dropped as they come, so only what the window keeps can grow. Prints the peak and the
// current resident memory after the first 100 refreshes and at the end.
std::string memoryGrowth(int refreshes)
{
    Rig rig({}, true);
    rig.driver.calls.clear();
    QPushButton *status = rig.form->findChild<QPushButton *>("Status_Cmd");
    QPushButton *kick = rig.form->findChild<QPushButton *>("Kick_Cmd");
    const int early = std::min(100, refreshes);
    std::pair<long, long> first{}, last{};
    size_t reads = 0, kicks = 0;
    for (int n = 1; n <= refreshes; ++n) {
        status->click();
        if (n % 10 == 0) {
            for (QCheckBox *check : rig.form->findChildren<QCheckBox *>())
                check->setChecked(true);
            kick->click();
        }
        reads += rig.driver.times("DrawerState").size();
        kicks += rig.driver.times("DrawerOpen").size();
        rig.driver.calls.clear();
        rig.services.waits.clear();
        QCoreApplication::processEvents();
        if (n == early) {
            // The peak of start-up and warming up is not the day's: it starts again here.
            std::FILE *peak = std::fopen("/proc/self/clear_refs", "w");
            if (!peak || std::fputs("5", peak) < 0 || std::fclose(peak) != 0)
                broken("cannot reset the peak resident memory through /proc/self/clear_refs");
            first = residentKiB();
        }
    }
    last = residentKiB();
    // Each refresh reads eight drawers; each kick kicks eight and reads them back.
    if (reads != size_t(refreshes + refreshes / 10) * 8 || kicks != size_t(refreshes / 10) * 8)
        broken("a refresh or kick no longer reads or kicks every drawer (" + std::to_string(reads)
               + " reads, " + std::to_string(kicks) + " kicks)");
    const long growth = last.second - first.second;
    char line[320];
    std::snprintf(line, sizeof line,
                  "memory, %d STATUS refreshes and %d kicks: peak RSS %ld KiB after the first %d "
                  "refreshes, %ld KiB at the end, growth %ld KiB, target <= 256 %s; current RSS "
                  "%ld then %ld KiB\n",
                  refreshes, refreshes / 10, first.second, early, last.second, growth,
                  growth <= 256 ? "met" : "NOT MET", first.first, last.first);
    return line;
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
    int runs = 15, batches = 10, memoryRefreshes = 10000;
    double batchSeconds = 0.5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--batches") == 0)
            batches = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--batch-seconds") == 0)
            batchSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--memory-refreshes") == 0)
            memoryRefreshes = std::max(10, std::atoi(argv[i + 1]));
        else
            broken(std::string("unknown option ") + argv[i]);
    }
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("== the window in process: platform %s; refresh and kick %d runs each, "
                "statistics %d batches of %g s ==\n",
                platform ? platform : "(default)", runs, batches, batchSeconds);
    std::printf("%-44s %9s %9s %9s  %s\n", "figure (ms)", "median", "min", "max", "target");
    // The handlers run from inside the event loop, as they do in the utility. The long day
    // comes first, while the heap holds nothing the other figures freed: a leak could hide
    // in freed memory and not show in the resident size.
    std::string memory;
    QTimer::singleShot(0, &application, [&] {
        memory = memoryGrowth(memoryRefreshes);
        refreshAndKick(runs);
        application.quit();
    });
    application.exec();
    row("statistics display, not painted", showStatistics(false, batches, batchSeconds));
    row("statistics display, painted", showStatistics(true, batches, batchSeconds), 1);
    std::fputs(memory.c_str(), stdout);
    return 0;
}
