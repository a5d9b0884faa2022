#include "dataset/Platform.h"

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {
std::atomic<char> g_decimalSeparator{'.'};
}

char DecimalSeparator() {
    return g_decimalSeparator.load(std::memory_order_relaxed);
}

void SetDecimalSeparator(char c) {
    g_decimalSeparator.store(c, std::memory_order_relaxed);
}

void InitLocaleFromEnvironment() {
    // Ask the C library which separator the user's numeric locale uses, then go back to the "C" locale so
    // that the program's own number formatting stays locale-independent.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* lc = std::localeconv();
        if (lc && lc->decimal_point && std::strlen(lc->decimal_point) == 1)
            SetDecimalSeparator(lc->decimal_point[0]);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace platform
