// A driver library that stands in front of another one and writes down every call, with
// the moments it began and ended, so a test that drives the real program from outside can
// see the order of calls and when each happened. It can also make calls slow, as a
// controller on a busy USB bus is, so that a click lands inside a call.
//
//   CRTEST_RECORD_DRIVER  the driver to forward to (a path)
//   CRTEST_RECORD_LOG     the file the calls are appended to, two lines a call:
//                           <monotonic ns> > DrawerOpen(3)
//                           <monotonic ns> < DrawerOpen(3) = 0
//   CRTEST_RECORD_DELAY   e.g. "DrawerOpen=300,DrawerState=150": milliseconds each such
//                         call takes before it is forwarded
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>

namespace {

struct Target
{
    OpenBexorFn openBexor = nullptr;
    CloseBexorFn closeBexor = nullptr;
    DrawerOpenFn drawerOpen = nullptr;
    DrawerStateFn drawerState = nullptr;
    RetrieveStatisticsFn retrieveStatistics = nullptr;
};

[[noreturn]] void die(const std::string &why)
{
    std::fprintf(stderr, "recorder: %s\n", why.c_str());
    std::_Exit(70);
}

template <typename Fn>
void bind(void *library, const char *name, Fn *function)
{
    *function = reinterpret_cast<Fn>(dlsym(library, name));
    if (!*function)
        die(std::string("the driver lacks ") + name);
}

const Target &target()
{
    static const Target bound = [] {
        const char *path = std::getenv("CRTEST_RECORD_DRIVER");
        void *library = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!library)
            die(path ? dlerror() : "CRTEST_RECORD_DRIVER is not set");
        Target t;
        bind(library, "OpenBexor", &t.openBexor);
        bind(library, "CloseBexor", &t.closeBexor);
        bind(library, "DrawerOpen", &t.drawerOpen);
        bind(library, "DrawerState", &t.drawerState);
        bind(library, "RetrieveStatistics", &t.retrieveStatistics);
        return t;
    }();
    return bound;
}

void write(const std::string &line)
{
    static const int fd = [] {
        const char *path = std::getenv("CRTEST_RECORD_LOG");
        return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    const std::string text = std::to_string(ns) + ' ' + line + '\n';
    if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size()))
        die("cannot write the call log");
}

void delay(const char *function)
{
    const char *spec = std::getenv("CRTEST_RECORD_DELAY");
    const std::string key = std::string(function) + '=';
    const char *at = spec ? std::strstr(spec, key.c_str()) : nullptr;
    if (at && (at == spec || at[-1] == ','))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(at + key.size())));
}

// Writes the call when it begins and when it ends, around the time it takes.
template <typename Call>
int32_t recorded(const char *function, const std::string &call, Call &&forward)
{
    write("> " + call);
    delay(function);
    const int32_t result = forward();
    write("< " + call + " = " + std::to_string(result));
    return result;
}

std::string withArgument(const char *function, long argument)
{
    return std::string(function) + '(' + std::to_string(argument) + ')';
}

} // namespace

int32_t BEXOR_CALL OpenBexor(void)
{
    return recorded("OpenBexor", "OpenBexor", [] { return target().openBexor(); });
}

int32_t BEXOR_CALL CloseBexor(void)
{
    return recorded("CloseBexor", "CloseBexor", [] { return target().closeBexor(); });
}

int32_t BEXOR_CALL DrawerOpen(int32_t drawer)
{
    return recorded("DrawerOpen", withArgument("DrawerOpen", drawer),
                    [drawer] { return target().drawerOpen(drawer); });
}

int32_t BEXOR_CALL DrawerState(int32_t drawer)
{
    return recorded("DrawerState", withArgument("DrawerState", drawer),
                    [drawer] { return target().drawerState(drawer); });
}

int32_t BEXOR_CALL RetrieveStatistics(int32_t unit, int32_t selector, uint8_t *buffer,
                                      int32_t length)
{
    const std::string call = "RetrieveStatistics(" + std::to_string(unit) + ','
            + std::to_string(selector) + ',' + std::to_string(length) + ')';
    return recorded("RetrieveStatistics", call, [=] {
        return target().retrieveStatistics(unit, selector, buffer, length);
    });
}

// A definition whose parameters differ from the interface's is a C++ overload of its own
// that nothing exports, and the program would find no such function in the recorder; an
// overloaded name has no single address, so these stop the build instead.
static_assert(std::is_same_v<decltype(&OpenBexor), OpenBexorFn>);
static_assert(std::is_same_v<decltype(&CloseBexor), CloseBexorFn>);
static_assert(std::is_same_v<decltype(&DrawerOpen), DrawerOpenFn>);
static_assert(std::is_same_v<decltype(&DrawerState), DrawerStateFn>);
static_assert(std::is_same_v<decltype(&RetrieveStatistics), RetrieveStatisticsFn>);
