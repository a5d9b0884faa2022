#include "cli/SqlRunner.h"

#include "app/AnsiText.h"
#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/Worksheet.h"
#include "cli/TablePrinter.h"
#include "dataset/Cp1252.h"
#include "oracle/Ora.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWithWord(const std::string& upper, const char* word) {
    const size_t n = std::strlen(word);
    return upper.compare(0, n, word) == 0 &&
           (upper.size() == n || !std::isalnum(static_cast<unsigned char>(upper[n])));
}

} // namespace

TSqlRunner::TSqlRunner(const TCliOptions& options, std::FILE* out, std::FILE* err)
    : opt_(options), out_(out), err_(err) {}

TSqlRunner::~TSqlRunner() {
    controller_.reset();
    query_.reset();
    session_.reset();
    if (file_) std::fclose(file_);
}

void TSqlRunner::Connect(const std::string& user, const std::string& password, const std::string& server) {
    session_ = std::make_unique<TOraSession>();
    session_->ConnectPrompt = false;
    session_->Options().SetNet(true);
    session_->Options().SetConnectTimeout(opt_.connectTimeout);
    session_->Options().SetDateLanguage("German");
    session_->Options().SetDateFormat("DD.MM.YYYY");
    session_->SetUsername(user);
    session_->SetPassword(password);
    session_->SetServer(server);
    session_->Connect();

    // The worksheet query: read-only, auto-commit off.
    query_ = std::make_unique<TOraQuery>(session_.get());
    query_->ReadOnly = true;
    query_->SetAutoCommit(false);
    if (opt_.fetchRows > 0) query_->SetFetchRows(opt_.fetchRows);
    controller_ = std::make_unique<TWorksheetController>(*session_, *query_, history_,
                                                         static_cast<IWorksheetView&>(*this));
    if (const std::string warning = controller_->LogonWarningText(); !warning.empty())
        ShowMessage(warning + "\n");

    if (!opt_.out.empty()) {
        file_ = std::fopen(opt_.out.c_str(), "wb");
        if (!file_)
            throw std::runtime_error("Datei " + opt_.out + " kann nicht erstellt werden. " +
                                     std::strerror(errno));
    }
}

// Results and status texts go to the --out file when there is one. Text for the terminal (and table output
// anywhere) is UTF-8; tsv and export files keep Windows-1252 like the program's files.
void TSqlRunner::Print(const std::string& text, bool toFile) {
    std::FILE* f = toFile && file_ ? file_ : out_;
    const bool keep1252 = f == file_ && opt_.format != TCliOptions::FormatTable;
    const std::string bytes = keep1252 ? text : cp1252::ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
}

bool TSqlRunner::AskParameters(std::vector<std::pair<std::string, std::string>>& nameValue) {
    for (auto& [paramName, paramValue] : nameValue) {
        bool found = false;
        for (const auto& [name, value] : opt_.params) {
            if (UpperAscii(name) == UpperAscii(paramName)) {
                // A value Windows-1252 cannot hold is refused, never sent as "?".
                std::string message;
                if (!Utf8ToAnsi(value, paramValue, message, "Die Anweisung wurde nicht ausgef\xC3\xBChrt.")) {
                    std::fprintf(err_, "--param %s: %s\n", value.c_str(), message.c_str());
                    return false;
                }
                found = true;
            }
        }
        if (found) continue;
        if (!AskParam || !AskParam(paramName, paramValue)) {
            std::fprintf(err_, "%s\n", cp1252::ToUtf8("Kein Wert f\xFCr den Parameter " + paramName).c_str());
            return false;
        }
    }
    return true;
}

void TSqlRunner::ShowMessage(const std::string& text1252) {
    std::fputs(cp1252::ToUtf8(text1252).c_str(), err_);
}

void TSqlRunner::PrintResult() {
    TDataSetResult result(*query_);
    auto emit = [this](const std::string& piece) { Print(piece, true); };
    TCliOptions::Format format = opt_.format;
    if (format == TCliOptions::FormatAuto)
        format = TerminalOutput ? TCliOptions::FormatTable : TCliOptions::FormatTsv;
    if (format == TCliOptions::FormatTable) {
        const long rows = PrintTable(result, emit);
        Print("(" + std::to_string(rows) + (rows == 1 ? " Zeile)\n" : " Zeilen)\n"), true);
    } else if (format == TCliOptions::FormatTsv) {
        StreamResultText(result, "\t", true, false, emit);
    } else {
        StreamResultText(result, ParseSeparator(opt_.sep, opt_.hex), opt_.header, opt_.trim, emit);
    }
    // Every row has been read: the values shown with '?' are told apart from the server's own text.
    if (unsigned n = query_->SubstitutedValues(); n > 0)
        ShowMessage("Hinweis: " + SubstitutedValuesText(n) + "\n");
}

bool TSqlRunner::Run(const std::string& statement) {
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;
    try {
        // Reject a bad separator before anything runs, as the export does.
        if (opt_.format == TCliOptions::FormatExport) ParseSeparator(opt_.sep, opt_.hex);
        // The worksheet's Execute sequence; the same text again runs again.
        query_->Close();
        if (!controller_->Execute(statement)) {
            ++failures_;
            return false;
        }
        const int rows = controller_->LastRowsAffected();
        if (rows < 0) {
            PrintResult();
        } else {
            Print(StatusTextFor(rows) + "\n", false);
            const std::string upper = UpperAscii(TrimWorksheetText(statement));
            if (StartsWithWord(upper, "COMMIT") || StartsWithWord(upper, "ROLLBACK") ||
                StartsWithWord(upper, "CREATE") || StartsWithWord(upper, "DROP") ||
                StartsWithWord(upper, "ALTER") || StartsWithWord(upper, "TRUNCATE") ||
                StartsWithWord(upper, "GRANT") || StartsWithWord(upper, "REVOKE"))
                dirty_ = false; // ended the transaction (DDL commits implicitly)
            else
                dirty_ = true;
        }
        ok = true;
    } catch (const std::exception& e) {
        std::fflush(out_);
        std::fprintf(err_, "%s\n", cp1252::ToUtf8(e.what()).c_str());
        ++failures_;
    }
    std::fflush(out_);
    if (file_) std::fflush(file_);
    if (opt_.timing) {
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(err_, "Zeit: %.3f s\n", s);
    }
    return ok;
}

void TSqlRunner::Finish() {
    if (!session_ || !session_->Connected()) return;
    try {
        query_->Close();
        if (opt_.commit) {
            session_->Commit();
        } else {
            session_->Rollback();
            if (dirty_)
                std::fprintf(err_, "%s\n",
                             cp1252::ToUtf8("Nicht best\xE4tigte \xC4nderungen wurden zur\xFC"
                                            "ckgerollt.")
                                 .c_str());
        }
        session_->Disconnect();
    } catch (const std::exception& e) {
        std::fprintf(err_, "%s\n", cp1252::ToUtf8(e.what()).c_str());
        ++failures_;
    }
}
