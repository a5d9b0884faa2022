// The list error of a list box read at an index it does not have: "Listenindex überschreitet das Maximum
// (%d)".
#pragma once

#include <stdexcept>
#include <string>

// The message with the index filled in (Windows-1252).
std::string ListIndexErrorText(int index);

class EListError : public std::runtime_error {
public:
    explicit EListError(const std::string& message) : std::runtime_error(message) {}
};

// Throws EListError with ListIndexErrorText(index).
[[noreturn]] void RaiseListIndexError(int index);

// Checks a list index: returns it when 0 <= index < count, else throws the list error for that index.
int CheckListIndex(int index, int count);
