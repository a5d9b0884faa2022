#include "app/DataSetResult.h"

#include "dataset/DB.h"

int TDataSetResult::FieldCount() {
    return ds_.FieldCount();
}

std::string TDataSetResult::FieldName(int index) {
    return ds_.Fields(index)->FieldName();
}

void TDataSetResult::First() {
    ds_.First();
}

bool TDataSetResult::Eof() {
    return ds_.Eof();
}

void TDataSetResult::Next() {
    ds_.Next();
}

std::string TDataSetResult::FieldText(int index) {
    TField* f = ds_.Fields(index);
    return f->IsNull() ? std::string() : f->DisplayText();
}
