#include "dataset/DAParamParser.h"
#include "dataset/StrUtil.h"

namespace {

bool IsNameChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#' || c >= 0xC0;
}

} // namespace

std::vector<std::string> ParseParamNames(const std::string& sql) {
    std::vector<std::string> names;
    auto add = [&](const std::string& n) {
        if (n.empty()) return;
        for (auto& e : names)
            if (SameText(e, n)) return;
        names.push_back(n);
    };
    size_t i = 0, n = sql.size();
    while (i < n) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            size_t end = sql.find(c, i + 1);
            i = end == std::string::npos ? n : end + 1; // a doubled quote reads as two strings: same effect
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            size_t end = sql.find('\n', i);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == ':') {
            if (i + 1 < n && (sql[i + 1] == ':' || sql[i + 1] == '=')) {
                i += 2;
            } else if (i + 1 < n && sql[i + 1] == '"') {
                size_t end = sql.find('"', i + 2);
                if (end == std::string::npos) {
                    i = n;
                } else {
                    add(sql.substr(i + 2, end - i - 2));
                    i = end + 1;
                }
            } else {
                size_t s = ++i;
                while (i < n && IsNameChar(static_cast<unsigned char>(sql[i])))
                    ++i;
                add(sql.substr(s, i - s));
            }
        } else {
            ++i;
        }
    }
    return names;
}
