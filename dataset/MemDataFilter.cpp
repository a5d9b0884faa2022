// The local filter: parsing FilterText with the filter lexer and evaluating the tree for a record.
#include "dataset/MemData.h"
#include "dataset/QxParser.h"

#include <cstring>

class TFilterParser {
public:
    TFilterParser(TData& data, const std::string& text) : data_(data), text_(text), lexer_(text_.c_str()) {}

    TFilterNode* Parse() {
        TFilterNode* root = ParseExpression();
        if (Next() != lxEnd) Illegal();
        return root;
    }

private:
    [[noreturn]] void Illegal() { throw EDatabaseError(SIllegalFilter); }

    int Next() {
        try {
            return lexer_.GetNextToken(tok_);
        } catch (const EParserError& e) {
            throw EDatabaseError(e.what());
        }
    }

    TFilterNode* NewNode(TFilterNode::Kind kind) {
        data_.filterNodes_.push_back(std::make_unique<TFilterNode>());
        TFilterNode* n = data_.filterNodes_.back().get();
        n->NodeKind = kind;
        return n;
    }

    TFilterNode* ParseExpression() {
        TFilterNode* left = ParseTerm();
        while (Next() == bpOr) {
            TFilterNode* n = NewNode(TFilterNode::fnOr);
            n->Left = left;
            n->Right = ParseTerm();
            left = n;
        }
        lexer_.StepBack();
        return left;
    }

    TFilterNode* ParseTerm() {
        TFilterNode* left = ParseFactor();
        while (Next() == bpAnd) {
            TFilterNode* n = NewNode(TFilterNode::fnAnd);
            n->Left = left;
            n->Right = ParseFactor();
            left = n;
        }
        lexer_.StepBack();
        return left;
    }

    TFilterNode* ParseFactor() {
        int code = Next();
        switch (code) {
        case bpLParen: {
            TFilterNode* e = ParseExpression();
            if (Next() != bpRParen) Illegal();
            return e;
        }
        case bpNot: {
            TFilterNode* n = NewNode(TFilterNode::fnNot);
            n->Left = ParseFactor();
            return n;
        }
        case bpTrue:
            return NewNode(TFilterNode::fnTrue);
        case bpFalse:
            return NewNode(TFilterNode::fnFalse);
        default:
            break;
        }
        lexer_.StepBack();
        TFilterNode* n = NewNode(TFilterNode::fnCompare);
        ParseOperand(n->A, true);
        int op = Next();
        if (!((op >= bpEqual && op <= bpNotEqual) || op == bpLike)) Illegal();
        n->Op = op;
        ParseOperand(n->B, false);
        return n;
    }

    void ParseOperand(TFilterOperand& operand, bool leftSide) {
        int code = Next();
        switch (code) {
        case lxIdent: {
            std::string name = tok_;
            for (;;) {
                int c = Next();
                if (c == lxSymbol && tok_ == ".") {
                    if (Next() != lxIdent) Illegal();
                    name += "." + tok_;
                } else {
                    lexer_.StepBack();
                    break;
                }
            }
            SetField(operand, name);
            return;
        }
        case bpLBracket: {
            int start = lexer_.CurrPos();
            int c;
            do
                c = Next();
            while (c != bpRBracket && c != lxEnd);
            if (c != bpRBracket) Illegal();
            int end = lexer_.CurrPos() - 1;
            SetField(operand, text_.substr(size_t(start), size_t(end - start)));
            return;
        }
        case lxString:
            operand.Value = Variant(tok_);
            return;
        case lxNumber:
            operand.Value = Number(tok_, false);
            return;
        case bpMinus:
        case bpPlus:
            if (Next() != lxNumber) Illegal();
            operand.Value = Number(tok_, code == bpMinus);
            return;
        case bpTrue:
        case bpFalse:
            if (leftSide) Illegal();
            operand.Value = Variant(code == bpTrue);
            return;
        case bpNull:
            if (leftSide) Illegal();
            operand.Value = Variant::Null();
            return;
        default:
            Illegal();
        }
    }

    void SetField(TFilterOperand& operand, const std::string& name) {
        TFieldDesc* f = data_.FindField(name);
        if (!f) throw EDatabaseError(FormatMsg(SFieldNotFoundStore, {name}));
        operand.Field = f;
    }

    static Variant Number(const std::string& text, bool negative) {
        int64_t i;
        if (TryStrToInt64(text, i)) {
            if (negative) i = -i;
            if (i >= INT32_MIN && i <= INT32_MAX) return Variant(int32_t(i));
            return Variant(i);
        }
        double d;
        if (!TryStrToFloat(text, d)) throw EDatabaseError(SIllegalFilter);
        return Variant(negative ? -d : d);
    }

    TData& data_;
    std::string text_;
    TBoolParser lexer_;
    std::string tok_;
};

void TData::SetFilterText(const std::string& text) {
    if (active_) {
        FreeFilter();
        filterText_ = text;
        ParseFilter();
    } else
        filterText_ = text;
}

void TData::FreeFilter() {
    filterRoot_ = nullptr;
    filterNodes_.clear();
}

void TData::ParseFilter() {
    FreeFilter();
    std::string trimmed = filterText_;
    while (!trimmed.empty() && (unsigned char)trimmed.back() <= ' ')
        trimmed.pop_back();
    size_t b = 0;
    while (b < trimmed.size() && (unsigned char)trimmed[b] <= ' ')
        ++b;
    if (b == trimmed.size()) return;
    try {
        TFilterParser parser(*this, filterText_);
        filterRoot_ = parser.Parse();
    } catch (...) {
        FreeFilter();
        throw;
    }
}

bool TData::EvaluateNode(const TFilterNode* node, uint8_t* recBuf) {
    switch (node->NodeKind) {
    case TFilterNode::fnAnd:
        return EvaluateNode(node->Left, recBuf) && EvaluateNode(node->Right, recBuf);
    case TFilterNode::fnOr:
        return EvaluateNode(node->Left, recBuf) || EvaluateNode(node->Right, recBuf);
    case TFilterNode::fnNot:
        return !EvaluateNode(node->Left, recBuf);
    case TFilterNode::fnTrue:
        return true;
    case TFilterNode::fnFalse:
        return false;
    case TFilterNode::fnCompare:
        return EvaluateCompare(node, recBuf);
    }
    return false;
}

namespace {

// '*' matches any run of characters (also none), '_' exactly one; the whole string must be consumed.
bool MatchPattern(const char* s, size_t sn, const char* p, size_t pn) {
    size_t si = 0, pi = 0, starP = SIZE_MAX, starS = 0;
    while (si < sn) {
        if (pi < pn && (p[pi] == '_' || p[pi] == s[si])) {
            ++si;
            ++pi;
        } else if (pi < pn && p[pi] == '*') {
            starP = pi++;
            starS = si;
        } else if (starP != SIZE_MAX) {
            pi = starP + 1;
            si = ++starS;
        } else
            return false;
    }
    while (pi < pn && p[pi] == '*')
        ++pi;
    return pi == pn;
}

bool IsDateType(uint16_t t) {
    return t == dtDate || t == dtTime || t == dtDateTime;
}

} // namespace

// Comparisons of a plain number or string field with a constant, without building Variants.
bool TData::CompareFast(const TFilterNode* node, uint8_t* recBuf, bool& result) {
    TFieldDesc* f = node->A.Field;
    if (!f || node->B.Field || f->ParentField) return false;
    const Variant& k = node->B.Value;
    uint16_t t = f->DataType;
    bool numeric = t == dtInt16 || t == dtInt32 || t == dtFloat;
    bool text = (t == dtString || t == dtExtString) && !FilterCaseInsensitive;
    if (!(numeric && (k.IsNumeric() || k.IsNull())) && !(text && (k.StringPtr() || k.IsNull()))) return false;
    int op = node->Op;
    bool eqOp = op == bpEqual || op == bpLike || op == bpNotEqual;
    if (GetNull(f->FieldNo, recBuf) || k.IsNull()) {
        bool eq = GetNull(f->FieldNo, recBuf) && k.IsNull();
        result = eqOp ? (op == bpNotEqual ? !eq : eq) : false;
        return true;
    }
    const uint8_t* p = recBuf + f->Offset;
    int c;
    if (numeric) {
        double a;
        if (t == dtInt16) {
            int16_t v;
            std::memcpy(&v, p, 2);
            a = v;
        } else if (t == dtInt32) {
            int32_t v;
            std::memcpy(&v, p, 4);
            a = v;
        } else
            std::memcpy(&a, p, 8);
        double b = k.AsDouble();
        c = a < b ? -1 : (b < a ? 1 : 0);
        if (eqOp) {
            result = op == bpNotEqual ? c != 0 : c == 0;
            return true;
        }
    } else {
        const char* s;
        size_t n;
        if (t == dtString) {
            s = reinterpret_cast<const char*>(p);
            n = strnlen(s, f->Size);
            if (f->Fixed && TrimFixedChar)
                while (n > 0 && s[n - 1] == ' ')
                    --n;
        } else {
            std::memcpy(&s, p, sizeof s);
            if (!s) s = "";
            n = std::strlen(s);
        }
        const std::string& kb = *k.StringPtr();
        if (eqOp) {
            bool eq = FilterNoPartialCompare ? (n == kb.size() && std::memcmp(s, kb.data(), n) == 0)
                                             : MatchPattern(s, n, kb.data(), kb.size());
            result = op == bpNotEqual ? !eq : eq;
            return true;
        }
        size_t m = std::min(n, kb.size());
        int r = m ? std::memcmp(s, kb.data(), m) : 0;
        c = r != 0 ? (r < 0 ? -1 : 1) : (n < kb.size() ? -1 : (n > kb.size() ? 1 : 0));
    }
    switch (op) {
    case bpGreater:
        result = c > 0;
        break;
    case bpLess:
        result = c < 0;
        break;
    case bpGreaterEqual:
        result = c >= 0;
        break;
    case bpLessEqual:
        result = c <= 0;
        break;
    default:
        result = false;
    }
    return true;
}

bool TData::EvaluateCompare(const TFilterNode* node, uint8_t* recBuf) {
    bool fast;
    if (CompareFast(node, recBuf, fast)) return fast;
    Variant a, b;
    if (node->A.Field)
        GetFieldAsVariant(node->A.Field->FieldNo, recBuf, a);
    else
        a = node->A.Value;
    if (node->B.Field)
        GetFieldAsVariant(node->B.Field->FieldNo, recBuf, b);
    else
        b = node->B.Value;
    try {
        if (node->A.Field && IsDateType(node->A.Field->DataType) && b.IsString())
            b = Variant::FromDateTime(b.AsDateTime());
        if (node->B.Field && IsDateType(node->B.Field->DataType) && a.IsString())
            a = Variant::FromDateTime(a.AsDateTime());
        if (FilterCaseInsensitive) {
            if (a.IsString()) a = Variant(AnsiUpperCase(a.AsString()));
            if (b.IsString()) b = Variant(AnsiUpperCase(b.AsString()));
        }
        int op = node->Op;
        if (op == bpEqual || op == bpLike || op == bpNotEqual) {
            bool eq;
            if (!FilterNoPartialCompare && a.IsString() && b.IsString()) {
                std::string sa = a.AsString(), sb = b.AsString();
                eq = MatchPattern(sa.data(), sa.size(), sb.data(), sb.size());
            } else
                eq = a.Equals(b);
            return op == bpNotEqual ? !eq : eq;
        }
        if (a.IsNull() || b.IsNull()) return false;
        int c = a.Compare(b);
        switch (op) {
        case bpGreater:
            return c > 0;
        case bpLess:
            return c < 0;
        case bpGreaterEqual:
            return c >= 0;
        case bpLessEqual:
            return c <= 0;
        default:
            return false;
        }
    } catch (const EConvertError&) {
        // Values that cannot be compared do not match.
        return false;
    }
}
