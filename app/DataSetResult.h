// A data set read as a result for the clipboard copy, the export and vestra-sql.
#pragma once

#include "app/ResultText.h"

class TDataSet;

class TDataSetResult : public IResultSource {
public:
    explicit TDataSetResult(TDataSet& dataSet) : ds_(dataSet) {}
    int FieldCount() override;
    std::string FieldName(int index) override;
    void First() override;
    bool Eof() override;
    void Next() override;
    // The field's text as the data set renders it; a NULL gives an empty text.
    std::string FieldText(int index) override;

private:
    TDataSet& ds_;
};
