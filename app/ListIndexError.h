// The list error of a list box read at an index it does not have: "Listenindex überschreitet das Maximum
// (%d)".
#pragma once

#include <stdexcept>
#include <string>

// The message with the index filled in (Windows-1252).
std::string ListIndexErrorText(int index);

// The list error of the program's lists (list boxes, the history, the formatter's lines).
class EListError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// Throws EListError with ListIndexErrorText(index).
[[noreturn]] void RaiseListIndexError(int index);

// Checks a list index: returns it when 0 <= index < count, else throws the list error for that index.
int CheckListIndex(int index, int count);
