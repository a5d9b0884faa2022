#include "ocicall/OraCall.h"

#include <cstring>

namespace oracall {

namespace {

// One "not linked" routine per signature: a slot always holds a callable routine of its own type.
template <class F> struct NotLinked;
template <class R, class... A> struct NotLinked<R (*)(A...)> {
    static R Call(A...) { throw EOCICallError("OCI function is not linked"); }
};

void DefaultCheckGlobal(sword status) {
    if (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO) return;
    sb4 code = 0;
    char text[1024] = {};
    sword r = OCIErrorGet(hOCIError, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text,
                          OCI_HTYPE_ERROR);
    std::string msg = r == OCI_SUCCESS ? std::string(text, strnlen(text, sizeof text)) : std::string();
    while (!msg.empty() && (msg.back() == ' ' || msg.back() == '\n' || msg.back() == '\r'))
        msg.pop_back();
    if (msg.empty()) msg = "OCI call failed with status " + std::to_string(status);
    throw EOCIStatusError(code < 0 ? -code : code, msg);
}

} // namespace

#define VESTRA_OCI_DEFINE_SLOT(name, ret, params) T##name name = &NotLinked<T##name>::Call;
VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_DEFINE_SLOT)
VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_DEFINE_SLOT)
#undef VESTRA_OCI_DEFINE_SLOT

void ResetOCICalls() {
#define VESTRA_OCI_RESET_SLOT(name, ret, params) name = &NotLinked<T##name>::Call;
    VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_RESET_SLOT)
    VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_RESET_SLOT)
#undef VESTRA_OCI_RESET_SLOT
}

void InstallOCICalls(const TOCICalls& calls) {
#define VESTRA_OCI_COPY_SLOT(name, ret, params)                                                              \
    if (calls.name) name = calls.name;
    VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_COPY_SLOT)
    VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_COPY_SLOT)
#undef VESTRA_OCI_COPY_SLOT
}

bool OCICallLinked(const void* slotValue) {
#define VESTRA_OCI_IS_STUB(name, ret, params)                                                                \
    if (slotValue == reinterpret_cast<const void*>(&NotLinked<T##name>::Call)) return false;
    VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_IS_STUB)
    VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_IS_STUB)
#undef VESTRA_OCI_IS_STUB
    return slotValue != nullptr;
}

int OCIFunctionGroups = 0;
int OCIClientVersionCode = 0;
int OCIDefaultCallStyle = 0;
bool OCIInited = false;
OCIEnv* hOCIEnv = nullptr;
OCIError* hOCIError = nullptr;

TCheckGlobalProc CheckGlobalProc = &DefaultCheckGlobal;

void CheckGlobal(sword status) {
    if (CheckGlobalProc)
        CheckGlobalProc(status);
    else
        DefaultCheckGlobal(status);
}

} // namespace oracall
