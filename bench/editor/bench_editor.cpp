// bench-editor: the SQL editor on the offscreen platform with 100 000 tables in the completion's dictionary
// cache and 300 lines of SQL in the text.
// METRIC keystroke_ms_p99: one key typed while the completion list is open, until the editor (colours
// included) and the narrowed list are painted; the 99th percentile of 600 keystrokes.
// METRIC completion_first_list_ms: Ctrl+Space on a table name's start until the list is painted (names from
// the cache; reading them from the server runs in the background and blocks nothing).
#include "app/SqlCompletion.h"
#include "app/gui/SqlCompleter.h"
#include "app/gui/SqlEditor.h"
#include "oracle/Ora.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void Metric(const char* name, double value, const char* unit) {
    std::printf("METRIC %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

void Paint(TSqlEditor& ed, QAbstractItemView* popup) {
    QApplication::processEvents();
    ed.viewport()->repaint();
    if (popup->isVisible()) popup->viewport()->repaint();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TOraSession session; // never connected: the names come from the cache
    TSqlEditor ed;
    ed.resize(1000, 600);
    auto* completion = new TEditorCompletion(
        &ed, session, [](std::function<void()>, std::function<void(std::exception_ptr)>) { return false; },
        [] { return std::string("bench@cache"); }, &ed);
    auto cache = std::make_shared<TDictionaryCache>();
    std::vector<TDictObject> objects;
    objects.reserve(100000);
    std::vector<std::string> owners;
    for (int o = 0; o < 50; ++o)
        owners.push_back("OWNER" + std::to_string(o));
    for (int i = 0; i < 100000; ++i)
        objects.push_back({owners[size_t(i % 50)], "TABLE_" + std::to_string(i), i % 10 == 0});
    cache->SetOwners(owners);
    cache->SetObjects(std::move(objects));
    completion->Adopt(cache);

    QString text;
    for (int i = 0; i < 100; ++i)
        text += QString("select t.col_a, t.col_b, 'text %1' -- comment\n  from owner1.table_%1 t\n where "
                        "t.id = :id%1 "
                        "and t.n > 1.5;\n")
                    .arg(i);
    ed.setPlainText(text);
    ed.show();
    if (!QTest::qWaitForWindowExposed(&ed)) return 1;
    QAbstractItemView* popup = completion->Completer()->popup();

    // The first list: at the end, "select * from TABLE_1" and Ctrl+Space.
    std::vector<double> first;
    for (int round = 0; round < 20; ++round) {
        QTextCursor c = ed.textCursor();
        c.movePosition(QTextCursor::End);
        ed.setTextCursor(c);
        ed.insertPlainText("\nselect * from TABLE_1");
        Paint(ed, popup);
        const auto t0 = Clock::now();
        completion->Complete();
        Paint(ed, popup);
        first.push_back(Ms(t0, Clock::now()));
        if (!popup->isVisible() || popup->model()->rowCount() == 0) {
            std::fprintf(stderr, "bench-editor: no completion list\n");
            return 1;
        }
        QTest::keyClick(popup, Qt::Key_Escape);
    }
    Metric("completion_first_list_ms", Percentile(first, 0.5), "ms");

    // Keystrokes with the list open: a digit narrows the list, Backspace widens it again.
    completion->Complete();
    Paint(ed, popup);
    std::vector<double> keys;
    for (int i = 0; i < 600; ++i) {
        const bool type = i % 2 == 0;
        const auto t0 = Clock::now();
        if (type)
            QTest::keyClick(popup->isVisible() ? static_cast<QWidget*>(popup) : &ed,
                            char('0' + (i / 2) % 10));
        else
            QTest::keyClick(popup->isVisible() ? static_cast<QWidget*>(popup) : &ed, Qt::Key_Backspace);
        Paint(ed, popup);
        keys.push_back(Ms(t0, Clock::now()));
        if (!popup->isVisible()) completion->Complete();
    }
    Metric("keystroke_ms_p99", Percentile(keys, 0.99), "ms");
    QTest::keyClick(popup, Qt::Key_Escape);
    // The same keys without the list, for comparison: the editor's own share.
    std::vector<double> plain;
    for (int i = 0; i < 600; ++i) {
        const auto t0 = Clock::now();
        if (i % 2 == 0)
            QTest::keyClick(&ed, char('0' + (i / 2) % 10));
        else
            QTest::keyClick(&ed, Qt::Key_Backspace);
        Paint(ed, popup);
        plain.push_back(Ms(t0, Clock::now()));
    }
    Metric("keystroke_plain_ms_p99", Percentile(plain, 0.99), "ms");
    Metric("keystroke_ms_median", Percentile(keys, 0.5), "ms");
    return 0;
}
