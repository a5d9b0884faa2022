// Tokenises a 10 MB SQL script with the Oracle lexer (blanks and comments omitted) and with the generic lexer
// (blanks and comments returned), and prints the throughput.
#include "dataset/OraParser.h"
#include "dataset/QxParser.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string MakeScript(size_t bytes) {
    const char* pieces[] = {
        "select e.empno, e.ename, d.dname, nvl(e.comm, 0) as comm\r\n  from scott.emp e, scott.dept d\r\n",
        " where e.deptno = d.deptno and e.sal >= 1500.25 -- salary floor\r\n   and d.loc <> 'NEW YORK'\r\n",
        " order by e.ename;\r\n/* a block comment\r\n   over two lines */\r\n",
        "begin :result := sys.dbms_transaction.local_transaction_id; end;\r\n",
        "insert into t (a, b, \"Mixed Case\") values (:a, :b, 'it''s');\r\n",
        "update v$session set x#1 = 42 where rownum < 10;\r\n",
    };
    std::string s;
    s.reserve(bytes + 256);
    size_t i = 0;
    while (s.size() < bytes)
        s += pieces[i++ % (sizeof pieces / sizeof *pieces)];
    return s;
}

template <class Lexer> double Run(const std::string& script, bool omit, long& tokens) {
    Lexer p(script);
    p.OmitBlank = omit;
    p.OmitComment = omit;
    std::string text;
    tokens = 0;
    auto t0 = std::chrono::steady_clock::now();
    while (p.GetNextToken(text) != lxEnd)
        ++tokens;
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count();
}

} // namespace

int main() {
    const std::string script = MakeScript(10 * 1024 * 1024);
    const double mb = double(script.size()) / (1024.0 * 1024.0);
    long tokens = 0;
    double best = 1e9;
    for (int i = 0; i < 3; ++i)
        best = std::min(best, Run<TOraParser>(script, true, tokens));
    std::printf("METRIC lexer_throughput %.1f MB/s\n", mb / best);
    std::printf("METRIC lexer_tokens %ld tokens\n", tokens);
    best = 1e9;
    for (int i = 0; i < 3; ++i)
        best = std::min(best, Run<TParser>(script, false, tokens));
    std::printf("METRIC lexer_throughput_all_tokens %.1f MB/s\n", mb / best);
    return 0;
}
