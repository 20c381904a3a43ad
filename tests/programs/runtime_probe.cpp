// runtime_probe [uncaught]: shows how the C++ runtime behaves where the stub
// relies on it. The Windows builds link the stub's own stand-ins for parts of
// libstdc++ (platform_runtime); built natively, the program shows what the
// full library does, and both must print the same. One line per case:
//   <case>=<outcome>
// where outcome is how the error arrived: "bad_array_new_length", "bad_alloc",
// "exception" (any other std::exception with a message), "exception without
// message", "other" or "nothing". "format=" tells whether platform::Format
// formatted a text longer than its small buffer. With "uncaught", the program
// lets a library error escape main instead (it ends through abort()).
#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "platform/strings.h"

namespace {

// Keeps the compiler from seeing the values, and so from warning about them.
volatile std::size_t g_zero = 0;
const char* volatile g_null = nullptr;

template <typename Action>
const char* Outcome(Action action) {
    try {
        action();
    } catch (const std::bad_array_new_length&) {
        return "bad_array_new_length";
    } catch (const std::bad_alloc&) {
        return "bad_alloc";
    } catch (const std::exception& e) {
        return e.what() != nullptr && e.what()[0] != '\0' ? "exception" : "exception without message";
    } catch (...) {
        return "other";
    }
    return "nothing";
}

void SubstrOutOfRange() { std::string("abc").substr(4 + g_zero); }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "uncaught") {
        SubstrOutOfRange();
        return 0;
    }
    std::allocator<int> allocator;
    const std::size_t tooMany = std::allocator_traits<std::allocator<int>>::max_size(allocator) + 1 + g_zero;
    const std::size_t overflowing = static_cast<std::size_t>(-1) / sizeof(int) + 1 + g_zero;
    struct Case {
        const char* name;
        const char* outcome;
    } cases[] = {
        {"substr_out_of_range", Outcome(SubstrOutOfRange)},
        {"string_too_long", Outcome([] { std::string().reserve(std::string().max_size() + 1 + g_zero); })},
        {"string_from_null", Outcome([] { std::string text(g_null); })},
        {"allocate_too_many", Outcome([&] { (void)allocator.allocate(tooMany); })},
        {"allocate_overflowing", Outcome([&] { (void)allocator.allocate(overflowing); })},
        {"nothing_wrong", Outcome([] { std::string("abc").substr(3 + g_zero); })},
    };
    for (const Case& c : cases) std::printf("%s=%s\n", c.name, c.outcome);

    const std::string text(300, 'x');
    const bool formatted = platform::Format("%s|%d|%s", text.c_str(), -42, "end") == text + "|-42|end";
    std::printf("format=%s\n", formatted ? "ok" : "wrong");
    return 0;
}
