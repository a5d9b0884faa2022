#include "app/ServerOutput.h"

#include "oracle/Ora.h"

const char* const TServerOutput::kFetchBlock =
    "DECLARE\n"
    "  fetched DBMS_OUTPUT.CHARARR;\n"
    "  got INTEGER;\n"
    "  joined VARCHAR2(32767);\n"
    "  n INTEGER := 0;\n"
    "BEGIN\n"
    "  LOOP\n"
    "    got := 1;\n"
    "    DBMS_OUTPUT.GET_LINES(fetched, got);\n"
    "    EXIT WHEN got = 0;\n"
    "    n := n + 1;\n"
    "    IF NVL(LENGTHB(joined), 0) + NVL(LENGTHB(fetched(1)), 0) + 1 > 32767 THEN\n"
    "      :REST := fetched(1);\n"
    "      EXIT;\n"
    "    END IF;\n"
    "    joined := joined || fetched(1) || CHR(10);\n"
    "    EXIT WHEN n >= :MAXLINES;\n"
    "  END LOOP;\n"
    "  :LINES := joined;\n"
    "  :NUMLINES := n;\n"
    "END;";

void AppendFetchedLines(const std::string& joined, const std::string* rest, std::vector<std::string>& out) {
    size_t b = 0;
    while (b < joined.size()) {
        const size_t e = joined.find('\n', b);
        if (e == std::string::npos) {
            out.push_back(joined.substr(b)); // not written by the block, which ends every line
            break;
        }
        out.push_back(joined.substr(b, e - b));
        b = e + 1;
    }
    if (rest) out.push_back(*rest);
}

TServerOutput::TServerOutput(TOraSession& sess) : sess_(sess) {}

TServerOutput::~TServerOutput() = default;

void TServerOutput::SessionChanged() {
    std::lock_guard<std::mutex> lock(mutex_);
    serverOn_ = false;
}

void TServerOutput::Sync() {
    bool on;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        on = serverOn_;
    }
    const bool want = wanted_;
    if (want == on) return;
    TOraSQL sql(&sess_);
    sql.SetParamCheck(false);
    // NULL: no limit on the buffer (Oracle 10.2 and later).
    sql.SetSQL(want ? "BEGIN DBMS_OUTPUT.ENABLE(NULL); END;" : "BEGIN DBMS_OUTPUT.DISABLE; END;");
    sql.Execute();
    std::lock_guard<std::mutex> lock(mutex_);
    serverOn_ = want;
}

void TServerOutput::Fetch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!serverOn_) return;
    }
    if (!sql_) {
        sql_ = std::make_unique<TOraSQL>(&sess_);
        sql_->SetSQL(kFetchBlock);
    }
    TOraSQL& sql = *sql_;
    for (;;) {
        TParam* maxLines = sql.ParamByName("MAXLINES");
        maxLines->ParamType = ptInput;
        maxLines->SetAsInteger(BatchLines < 1 ? 1 : BatchLines);
        for (const char* name : {"LINES", "REST"}) {
            TParam* p = sql.ParamByName(name);
            p->DataType = ftString;
            p->ParamType = ptOutput;
            p->Size = 32767;
            p->Clear();
        }
        TParam* count = sql.ParamByName("NUMLINES");
        count->DataType = ftInteger;
        count->ParamType = ptOutput;
        count->Clear();
        sql.Execute();
        const int n = count->AsInteger();
        std::vector<std::string> got;
        TParam* rest = sql.ParamByName("REST");
        const std::string restText = rest->AsString();
        AppendFetchedLines(sql.ParamByName("LINES")->AsString(), rest->IsNull() ? nullptr : &restText, got);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.insert(lines_.end(), got.begin(), got.end());
        }
        // A line that came alone in :REST ended the round trip early: more may wait.
        if (n < (BatchLines < 1 ? 1 : BatchLines) && rest->IsNull()) break;
    }
}

void TServerOutput::Around(const std::function<void()>& statement) {
    Sync();
    std::exception_ptr error;
    try {
        statement();
    } catch (...) {
        error = std::current_exception();
    }
    try {
        Fetch();
    } catch (const std::exception& e) {
        // The statement's own outcome is what the user waits for; the lines stay on the server.
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::string("Serverausgabe nicht lesbar: ") + e.what());
    }
    if (error) std::rethrow_exception(error);
}

std::vector<std::string> TServerOutput::TakeLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(lines_);
    return out;
}
