// NUMBER columns wider than a double: the record keeps the NUMBER bytes behind the double, so every digit
// reaches the grid, the copies and the statements that write the row back.
#include "dataset/ByteIO.h"
#include "oracle/OraClasses.h"
#include "oranet/NetHandles.h"
#include "oranet/NetNumber.h"

#include <cstring>

// The double of each fetched value, from its NUMBER bytes (the same conversion the network client uses
// for a float define, so values of up to 15 digits come out as before).
void TOCIRecordSet::FinishExactNumbers(PBlockHeader block, int fetched) {
    TBlockManager& bm = BlockManager();
    for (int fi = 0; fi < FieldCount(); ++fi) {
        TFieldDesc* f = fields_[fi];
        if (f->ParentField || f->DataType != dtFloat || f->Size != ExactNumberFieldSize) continue;
        for (int i = 0; i < fetched; ++i) {
            uint8_t* rec = ItemData(bm.BlockItem(block, i));
            uint8_t* p = rec + f->Offset;
            const int16_t ind = Load<int16_t>(rec + dataSize_ + 2 * fi);
            uint16_t len = Load<uint16_t>(p + 8);
            if (ind == -1 || len == 0 || len > 22) {
                // No value, or no NUMBER form: the room stays empty and the double zero.
                std::memset(p, 0, ExactNumberFieldSize);
                if (ind != -1) Store<int16_t>(rec + dataSize_ + 2 * fi, -1);
                continue;
            }
            Store<double>(p, oranet::NumberToFloat(p + 10, len));
        }
    }
}

bool TOCIRecordSet::DecodeExactNumber(const uint8_t* room, size_t size, std::string& text) {
    if (size < 2 + 22) return false;
    const uint16_t len = Load<uint16_t>(room);
    // Up to 7 base-100 digits make at most 14 decimal digits: the double holds those exactly.
    if (len <= 8 || len > 22) return false;
    text = oranet::NumberToDecimalText(room + 2, len);
    return !text.empty();
}

bool TOCIRecordSet::EncodeExactNumber(const std::string& text, uint8_t* room, size_t size) {
    std::string bytes;
    if (size < 2 + 22 || !oranet::DecimalTextToNumber(text, bytes) || bytes.size() > 22) return false;
    std::memset(room, 0, size);
    Store<uint16_t>(room, uint16_t(bytes.size()));
    std::memcpy(room + 2, bytes.data(), bytes.size());
    return true;
}
