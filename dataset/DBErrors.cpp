#include "dataset/DBErrors.h"

std::string FormatMsg(std::string_view pattern, std::initializer_list<std::string> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    auto it = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char k = pattern[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd' || k == 'g') {
                if (it != args.end()) out += *it++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void RaiseConvertError() {
    throw EConvertError(SCannotConvertType);
}

void RaiseAssertion(const std::string& check) {
    throw EAssertionFailed(check);
}

void RaiseAssertion() {
    throw EAssertionFailed("Assertion failed");
}
