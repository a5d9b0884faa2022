#include "oracle/OraError.h"
#include "dataset/StrUtil.h"

#include <cstdlib>
#include <cstring>

using namespace oracall;

bool IsFatalOraCode(int code) {
    switch (code < 0 ? -code : code) {
    case 28:
    case 1012:
    case 3113:
    case 3114:
    case 12203:
    case 12571:
        return true;
    default:
        return false;
    }
}

void GetOraErrorText(sword status, OCIError* errhp, int& code, std::string& text) {
    if (!errhp) errhp = hOCIError;
    code = 0;
    text.clear();
    switch (status) {
    case OCI_SUCCESS:
        return;
    case OCI_SUCCESS_WITH_INFO:
    case OCI_NO_DATA:
    case OCI_ERROR: {
        if (OCIDefaultCallStyle != 2) throw Exception(SNeedOCI8);
        sb4 c = 0;
        char buf[513] = {};
        sword r = OCIErrorGet(errhp, 1, nullptr, &c, reinterpret_cast<OraText*>(buf), 512, OCI_HTYPE_ERROR);
        text.assign(buf, strnlen(buf, 512));
        code = c;
        if (r == OCI_ERROR) {
            if (text.compare(0, 4, "ORA-") == 0 && text.size() >= 9) {
                std::string digits = text.substr(4, 5);
                char* end = nullptr;
                long v = std::strtol(digits.c_str(), &end, 10);
                if (end && *end == 0) code = int(v);
            }
        } else if (r == OCI_SUCCESS_WITH_INFO) {
            text = "OCI_SUCCESS_WITH_INFO";
        } else if (r == OCI_NO_DATA) {
            text = "OCI_NO_DATA";
        } else if (r == OCI_SUCCESS && text.empty()) {
            text = "ORA-" + std::to_string(code < 0 ? -code : code);
        }
        break;
    }
    case OCI_NEED_DATA:
        text = "OCI_NEED_DATA";
        code = 99;
        break;
    case OCI_INVALID_HANDLE:
        text = "OCI_INVALID_HANDLE";
        code = 2;
        break;
    default:
        text = "Unknown error: ORA-" + std::to_string(status);
        code = status;
    }
    if (code < 0) code = -code;
    text = TrimRight(text);
}

void OraCheckGlobal(sword status) {
    if (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO) return;
    int code;
    std::string text;
    GetOraErrorText(status, hOCIError, code, text);
    throw EOraError(code, text);
}

void InstallOraCheckGlobal() {
    CheckGlobalProc = &OraCheckGlobal;
}
