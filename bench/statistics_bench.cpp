// Reading, decoding and showing one statistics block. The window shows the block only at
// the end of start-up and of a kick; a kick with no drawer ticked is the shortest way in.
// Its waits take no time here and its message boxes are answered through the services, so
// what remains is the read, the decoding and the filling of the six boxes, painted or not.
#include "crmodule1.h"
#include "crtest_form.h"
#include "desktopservices.h"
#include "statisticsblock.h"
#include "zerodriver.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

// Set when a benchmark no longer exercises what it claims to; the run then fails.
bool broken = false;

void fail(benchmark::State &state, const char *why)
{
    broken = true;
    state.SkipWithError(why);
}

// Median, min and max over the repetitions the runner asks for.
void spread(benchmark::internal::Benchmark *b)
{
    b->ComputeStatistics("min", [](const std::vector<double> &v) {
         return *std::min_element(v.begin(), v.end());
     })
     ->ComputeStatistics("max", [](const std::vector<double> &v) {
         return *std::max_element(v.begin(), v.end());
     })
     ->Unit(benchmark::kMicrosecond);
}

class InstantServices final : public FormServices
{
public:
    explicit InstantServices(bool paints) : m_paints(paints) { }

    int messages = 0;

    void sleep(std::chrono::milliseconds) override { }
    void yield() override { }
    void show(QWidget *window) override { m_desktop.show(window); }
    // The same call the desktop makes, so the boxes are really drawn when asked.
    void paint(QWidget *widget) override
    {
        if (m_paints)
            m_desktop.paint(widget);
    }
    void message(QWidget *, const QString &) override { ++messages; }
    void startHelp(std::function<void(const QString &)>) override { }
    void endProgram(int) override { }

private:
    bool m_paints;
    DesktopServices m_desktop;
};

void BM_DecodeBlock(benchmark::State &state)
{
    ZeroDriver driver(false);
    StatisticsBuffer buffer;
    driver.retrieveStatistics(0, 15, buffer.data(), StatLen[15]);
    for (auto _ : state) {
        const std::array<QByteArray, 15> records = cutRecords(buffer);
        for (const int record : ShownRecords) {
            QString text = isCountRecord(record) ? crModule1::decodeCount(records[record])
                                                 : recordText(records[record]);
            benchmark::DoNotOptimize(text);
        }
    }
    if (crModule1::decodeCount(cutRecords(buffer)[13]) != QLatin1String("123456"))
        fail(state, "the good-open count no longer decodes");
}
BENCHMARK(BM_DecodeBlock)->Apply(spread);

// range(0): 1 to paint the window as the desktop does, 0 to leave painting out.
void BM_ShowStatistics(benchmark::State &state)
{
    ZeroDriver driver(false);
    InstantServices services(state.range(0) != 0);
    CRTEST_Form form(&driver, QString(), services);
    form.load();
    QCoreApplication::processEvents();
    driver.forget();
    services.messages = 0;
    for (auto _ : state)
        form.findChild<QPushButton *>("Kick_Cmd")->click();
    const auto shown = int64_t(driver.statisticsReads.size());
    if (shown != state.iterations() || services.messages != 2 * shown
        || form.findChild<QLineEdit *>("crTextSValue_13")->text() != QLatin1String("123456")
        || form.findChild<QLineEdit *>("crTextSValue_5")->text() != QLatin1String("SN-000123456"))
        fail(state, "a kick no longer reads and shows the statistics block");
}

// The floor under the painted figure: one box changed and painted, the least one paint()
// can cost on this platform. Showing a block paints three times on purpose: the cleared
// boxes, then each count's raw characters while its message box is up.
void BM_PaintOneBox(benchmark::State &state)
{
    ZeroDriver driver(false);
    InstantServices services(true);
    CRTEST_Form form(&driver, QString(), services);
    form.load();
    QCoreApplication::processEvents();
    QLineEdit *box = form.findChild<QLineEdit *>("crTextSValue_13");
    bool odd = false;
    for (auto _ : state) {
        box->setText((odd = !odd) ? QStringLiteral("1") : QStringLiteral("2"));
        services.paint(box);
    }
}
BENCHMARK(BM_PaintOneBox)->UseRealTime()->Apply(spread);

BENCHMARK(BM_ShowStatistics)->ArgName("paint")->Arg(0)->Arg(1)->UseRealTime()->Apply(spread);

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return broken ? 1 : 0;
}
