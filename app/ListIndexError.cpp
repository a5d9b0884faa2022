#include "app/ListIndexError.h"

std::string ListIndexErrorText(int index) {
    return "Listenindex \xFC"
           "berschreitet das Maximum (" +
           std::to_string(index) + ")";
}

void RaiseListIndexError(int index) {
    throw EListError(ListIndexErrorText(index));
}

int CheckListIndex(int index, int count) {
    if (index < 0 || index >= count) RaiseListIndexError(index);
    return index;
}
