// Reading rows for views that paint many of them: display texts of any fetched record without moving the
// current one, fetching the next block on request, and where a pending edit buffer stands.
#include "dataset/MemDS.h"

#include <algorithm>
#include <cstring>

namespace {

std::string HexText(const std::string& bytes, size_t maxBytes) {
    static const char digits[] = "0123456789ABCDEF";
    size_t n = std::min(bytes.size(), maxBytes);
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

bool IsTextBlob(TFieldType t) {
    return t == ftMemo || t == ftFmtMemo || t == ftOraClob;
}

} // namespace

std::string TMemDataSet::FieldViewText(TField* field, int memoChars) {
    if (field->IsNull()) return std::string();
    TFieldType t = field->DataType();
    if (t == ftBytes || t == ftVarBytes) return HexText(field->GetAsString(), size_t(-1));
    if (field->IsBlobField()) {
        // Only the first characters: painting must not read a whole LOB.
        size_t want = memoChars > 0 ? size_t(memoChars) : 0;
        size_t bytes = IsTextBlob(t) ? want : (want + 1) / 2;
        std::string s(bytes, '\0');
        auto stream = field->DataSet()->CreateBlobStream(field, bmRead);
        if (!stream) return std::string();
        int64_t got = bytes ? stream->Read(s.data(), int64_t(bytes)) : 0;
        s.resize(size_t(got > 0 ? got : 0));
        return IsTextBlob(t) ? s : HexText(s, s.size());
    }
    return field->DisplayText();
}

bool TMemDataSet::GetRecordTexts(int recNo, std::vector<std::string>& texts, int memoChars) {
    texts.clear();
    return ReadOtherRecord(recNo, [&] {
        texts.reserve(size_t(FieldCount()));
        for (int i = 0; i < FieldCount(); ++i)
            texts.push_back(FieldViewText(Fields(i), memoChars));
    });
}

int TMemDataSet::FetchNextBlock() {
    TMemData* md = MemData();
    if (!Active() || !md || md->AllRowsFetched()) return 0;
    int before = md->GetRecordCount();
    md->Fetch(false);
    int added = md->GetRecordCount() - before;
    return added > 0 ? added : 0;
}

bool TMemDataSet::AllRowsFetched() {
    TMemData* md = MemData();
    return !Active() || !md || md->AllRowsFetched();
}

bool TMemDataSet::PendingRow(int& recNo, bool& inserted) {
    recNo = 0;
    inserted = false;
    if (State() == dsEdit) {
        recNo = RecNo();
        return recNo > 0;
    }
    if (State() != dsInsert) return false;
    inserted = true;
    const TBookmark& bm = InsertBookmark();
    if (InsertAtEnd() || bm.size() != sizeof(TRecBookmark)) {
        recNo = data_->GetRecordCount() + 1;
        return true;
    }
    TRecBookmark rb;
    std::memcpy(&rb, bm.data(), sizeof rb);
    recNo = rb.RecNo > 0 ? rb.RecNo : 1;
    return true;
}
