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
#include "driverloader.h"

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

[[noreturn]] void die(const char *why)
{
    std::fprintf(stderr, "recorder: %s\n", why);
    std::_Exit(70);
}

// Bound at the first call, inside the program, which has threads by then: the driver
// binding's trial load may fork among them (in a program without its trial helper), so the
// recorder loads the driver itself.
const DriverFunctions &target()
{
    static const DriverFunctions bound = [] {
        const char *path = std::getenv("CRTEST_RECORD_DRIVER");
        void *library = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!library)
            die(path ? dlerror() : "CRTEST_RECORD_DRIVER is not set");
        DriverFunctions found;
#define BIND(function, parameters, arguments)                                             \
    found.function = reinterpret_cast<function##Fn>(dlsym(library, #function));            \
    if (!found.function)                                                                   \
        die("the driver lacks " #function);
        BEXOR_FUNCTIONS(BIND)
#undef BIND
        return found;
    }();
    return bound;
}

void note(const std::string &line)
{
    static const int fd = [] {
        const char *path = std::getenv("CRTEST_RECORD_LOG");
        return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    const auto ns =
            std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
    const std::string text = std::to_string(ns) + ' ' + line + '\n';
    if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size()))
        die("cannot write the call log");
}

void delay(const char *function)
{
    const char *delays = std::getenv("CRTEST_RECORD_DELAY");
    const std::string key = std::string(function) + '=';
    const char *at = delays ? std::strstr(delays, key.c_str()) : nullptr;
    if (at && (at == delays || at[-1] == ','))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(at + key.size())));
}

// A call's numeric arguments as the log writes them, in brackets if there are any; a
// buffer's address says nothing.
template <typename... Arguments>
std::string argumentText(Arguments... arguments)
{
    std::string text;
    [[maybe_unused]] const auto add = [&text](auto argument) {
        if constexpr (std::is_integral_v<decltype(argument)>)
            text += (text.empty() ? "(" : ",") + std::to_string(argument);
    };
    (add(arguments), ...);
    return text.empty() ? text : text + ')';
}

} // namespace

#define RECORDED(function, parameters, arguments)                                          \
    int32_t BEXOR_CALL function parameters                                                 \
    {                                                                                      \
        const std::string call = #function + argumentText arguments;                       \
        note("> " + call);                                                                 \
        delay(#function);                                                                  \
        const int32_t result = target().function arguments;                                \
        note("< " + call + " = " + std::to_string(result));                                \
        return result;                                                                     \
    }
BEXOR_FUNCTIONS(RECORDED)
#undef RECORDED
