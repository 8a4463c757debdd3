// What one redraw of the lens costs, against the bare floor of the same work in plain Xlib.
//
// Runs against a private Xvfb (1024 x 768) whose root shows the standard test picture. The
// lens is created in this process as the program creates it, and redrawn through its paint
// handler; every iteration ends with an XSync on a connection of our own, so that the X
// server's share of the work is inside the measured time. Wall time is what the iteration
// count is chosen by; "CPU" is this whole process (Qt's threads too), server_cpu the X
// server's, total_cpu both, each per iteration.
#include <benchmark/benchmark.h>

#include "bench/x11_floor.h"
#include "lens/lenti_form1.h"
#include "platform/forms.h"
#include "platform/qt/qt_driver.h"
#include "tests/xharness/xharness.h"

#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr int kScreenW = 1024, kScreenH = 768;

// Made before the window system is initialised, so that it goes after Qt at exit: Qt ends the
// process when its server disappears under it.
xh::Xvfb& Server() {
    static xh::Xvfb server(kScreenW, kScreenH);
    return server;
}

std::unique_ptr<xh::Client> g_sync;   // the connection each iteration syncs on
int g_server_pid = 0;
std::string g_setup_error;

// Xvfb writes its pid into the lock file of its display.
int ServerPid(int display_number) {
    std::ifstream lock("/tmp/.X" + std::to_string(display_number) + "-lock");
    int pid = 0;
    lock >> pid;
    return pid;
}

// User plus system CPU seconds of a process so far; 0 when it cannot be read.
double ProcessCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t paren = text.rfind(')');
    if (paren == std::string::npos) return 0;
    std::istringstream fields(text.substr(paren + 2));
    std::string skip;
    // After the name: state, then fields 4 to 13, then utime and stime.
    for (int i = 0; i < 11; ++i) fields >> skip;
    unsigned long long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double OwnCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Measures the CPU of this process and of the X server over a benchmark's loop.
class CpuMeter {
public:
    CpuMeter() : own_(OwnCpuSeconds()), server_(ProcessCpuSeconds(g_server_pid)) {}
    void Report(benchmark::State& state) const {
        const double server = ProcessCpuSeconds(g_server_pid) - server_;
        const double own = OwnCpuSeconds() - own_;
        state.counters["server_cpu"] = benchmark::Counter(server, benchmark::Counter::kAvgIterations);
        state.counters["total_cpu"] = benchmark::Counter(own + server, benchmark::Counter::kAvgIterations);
    }

private:
    double own_, server_;
};

void Pump(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        Application->ProcessMessages();
        floorbench::Sync(g_sync->Dpy());
        ::usleep(1000);
    }
}

void SetUp() {
    const std::string display = Server().Display();
    ::setenv("DISPLAY", display.c_str(), 1);
    g_server_pid = ServerPid(Server().Number());
    g_sync = std::make_unique<xh::Client>(display);
    g_sync->SetRootPicture(xh::PatternPixel);
    Application->Initialize();
    Application->SetTitle("Lenticor");
    Application->CreateForm(Form1);
    Form1->Show();
    if (!xh::WaitUntil([] { return Form1->Showing(); }, 10000, [] { Application->ProcessMessages(); }))
        throw std::runtime_error("the lens did not show within 10 s");
    Pump(50);
}

TMenuItem* ItemTagged(std::initializer_list<TMenuItem*> items, int tag) {
    for (TMenuItem* item : items)
        if (item && item->Tag == tag) return item;
    return nullptr;
}

void BM_DrawLens(benchmark::State& state) {
    if (!g_setup_error.empty()) return state.SkipWithError(g_setup_error.c_str());
    const int size = static_cast<int>(state.range(0)), zoom = static_cast<int>(state.range(1));
    TMenuItem* sizeItem = ItemTagged({Form1->SmallS1, Form1->MediumM1, Form1->LargeL1}, size);
    TMenuItem* zoomItem = ItemTagged({Form1->K1, Form1->K2, Form1->K3}, zoom);
    if (!sizeItem || !zoomItem) return state.SkipWithError("the menu offers no such size or zoom");
    // Through the menu handlers, as a user would choose them.
    Form1->LargeL1Click(sizeItem);
    Form1->K1Click(zoomItem);
    Pump(20);
    if (Form1->CurrentLensSize() != size || Form1->CurrentZoom() != zoom)
        return state.SkipWithError("the menu handlers did not take the size and zoom");

    ::Display* dpy = g_sync->Dpy();
    const CpuMeter meter;
    for (auto _ : state) {
        Form1->FormPaint(Form1);
        floorbench::Sync(dpy);
    }
    meter.Report(state);
    Pump(5);
}

// The same work with nothing in between: get the square, enlarge it in C, put it, sync.
void BM_X11Floor(benchmark::State& state) {
    if (!g_setup_error.empty()) return state.SkipWithError(g_setup_error.c_str());
    const int s = static_cast<int>(state.range(0)), z = static_cast<int>(state.range(1));
    // Clear of the lens, which sits in the middle of the screen; the square is read elsewhere.
    floorbench::Floor floor(Server().Display(), 10, 10, s, z);
    if (!floor.Error().empty()) return state.SkipWithError(floor.Error().c_str());
    const CpuMeter meter;
    for (auto _ : state)
        if (!floor.Frame(700, 500)) return state.SkipWithError("XGetImage of the root failed");
    meter.Report(state);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({120, 2})->Args({180, 3})->Args({270, 5});
    b->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
}

BENCHMARK(BM_DrawLens)->Apply(Sizes);
BENCHMARK(BM_X11Floor)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    try {
        SetUp();
    } catch (const std::exception& e) {
        g_setup_error = std::string("no lens to measure: ") + e.what();
        std::fprintf(stderr, "%s\n", g_setup_error.c_str());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete Form1;
    static_cast<QtDriver&>(backend::TheDriver()).Shutdown();
    g_sync.reset();
    return g_setup_error.empty() ? 0 : 1;
}
