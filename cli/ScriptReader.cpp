#include "cli/ScriptReader.h"

std::vector<std::string> TScriptReader::SplitScript(const std::string& text) {
    std::vector<std::string> out;
    for (TSqlStatement& s : TStatementSplitter::Split(text))
        out.push_back(std::move(s.text));
    return out;
}
