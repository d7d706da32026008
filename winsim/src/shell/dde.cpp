// The client side of the Dynamic Data Exchange Management Library: instances, string
// handles, conversations and execute transactions. The only server on the machine is
// Program Manager (on NT 3.x) or the shell that stands in for it, which answers the
// service and topic "PROGMAN" while the machine's session runs it.
#include "core/api.h"

#include <cstring>

namespace {

using winsim::detail::ApiCall;
using winsim::detail::DdeInstance;
using winsim::detail::state;

constexpr const char* program_manager_name = "PROGMAN";

DdeInstance* find_instance(DWORD id) {
    auto& instances = state().session.dde_instances;
    auto it = instances.find(id);
    return it == instances.end() ? nullptr : &it->second;
}

// Handles of every kind come from one counter, so that no two are alike.
std::uintptr_t new_handle() {
    std::uintptr_t& next = state().session.next_dde_handle;
    next += 4;
    return next;
}

// A conversation handle that is none leaves DDEML without the instance it belongs to:
// Windows sets the error on the calling thread's instances, which here are all the
// process's (unconfirmed).
void fail_every_instance(UINT error) {
    for (auto& [id, instance] : state().session.dde_instances) instance.last_error = error;
}

// The instance that owns a conversation, or null.
DdeInstance* conversation_instance(HCONV conversation) {
    auto& conversations = state().session.conversations;
    auto it = conversations.find(reinterpret_cast<std::uintptr_t>(conversation));
    return it == conversations.end() ? nullptr : find_instance(it->second);
}

}  // namespace

UINT WINAPI DdeInitializeA(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD afCmd, DWORD ulRes) {
    ApiCall call("DdeInitializeA");
    if (DWORD code = call.injected()) return static_cast<UINT>(code);
    if (!pidInst || !pfnCallback || ulRes) return DMLERR_INVALID_PARAMETER;
    if (*pidInst || !(afCmd & APPCMD_CLIENTONLY)) {
        winsim::detail::report_not_simulated("DdeInitializeA of a DDE server or of an instance already made");
        return DMLERR_DLL_USAGE;
    }
    auto& session = state().session;
    const DWORD id = session.next_dde_instance++;
    session.dde_instances[id] = DdeInstance{};
    *pidInst = id;
    return DMLERR_NO_ERROR;
}

BOOL WINAPI DdeUninitialize(DWORD idInst) {
    ApiCall call("DdeUninitialize");
    if (call.injected() || !find_instance(idInst)) return FALSE;
    auto& session = state().session;
    for (std::uintptr_t conversation : session.dde_instances[idInst].conversations) session.conversations.erase(conversation);
    session.dde_instances.erase(idInst);
    return TRUE;
}

HSZ WINAPI DdeCreateStringHandleA(DWORD idInst, LPCSTR psz, int iCodePage) {
    ApiCall call("DdeCreateStringHandleA");
    DdeInstance* instance = find_instance(idInst);
    if (!instance) return nullptr;
    if (DWORD code = call.injected()) {
        instance->last_error = static_cast<UINT>(code);
        return nullptr;
    }
    if (!psz || (iCodePage != 0 && iCodePage != CP_WINANSI)) {
        instance->last_error = DMLERR_INVALID_PARAMETER;
        return nullptr;
    }
    const std::uintptr_t handle = new_handle();
    instance->strings[handle] = psz;
    return reinterpret_cast<HSZ>(handle);
}

BOOL WINAPI DdeFreeStringHandle(DWORD idInst, HSZ hsz) {
    ApiCall call("DdeFreeStringHandle");
    DdeInstance* instance = find_instance(idInst);
    if (!instance || call.injected()) return FALSE;
    return instance->strings.erase(reinterpret_cast<std::uintptr_t>(hsz)) ? TRUE : FALSE;
}

HCONV WINAPI DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic, PCONVCONTEXT pCC) {
    ApiCall call("DdeConnect");
    DdeInstance* instance = find_instance(idInst);
    if (!instance) return nullptr;
    if (DWORD code = call.injected()) {
        instance->last_error = static_cast<UINT>(code);
        return nullptr;
    }
    if (pCC && pCC->cb != sizeof(CONVCONTEXT)) {
        instance->last_error = DMLERR_INVALID_PARAMETER;
        return nullptr;
    }
    // A null name is any service or topic; a name of another server finds nobody.
    auto names_program_manager = [&](HSZ name) {
        if (!name) return true;
        auto it = instance->strings.find(reinterpret_cast<std::uintptr_t>(name));
        return it != instance->strings.end() && winsim::detail::same_name(it->second, program_manager_name);
    };
    if (!state().options.program_manager || !names_program_manager(hszService) || !names_program_manager(hszTopic)) {
        instance->last_error = DMLERR_NO_CONV_ESTABLISHED;
        return nullptr;
    }
    const std::uintptr_t handle = new_handle();
    instance->conversations.push_back(handle);
    state().session.conversations[handle] = idInst;
    return reinterpret_cast<HCONV>(handle);
}

BOOL WINAPI DdeDisconnect(HCONV hConv) {
    ApiCall call("DdeDisconnect");
    DdeInstance* instance = conversation_instance(hConv);
    if (!instance) {
        fail_every_instance(DMLERR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DWORD code = call.injected()) {
        instance->last_error = static_cast<UINT>(code);
        return FALSE;
    }
    const auto handle = reinterpret_cast<std::uintptr_t>(hConv);
    std::erase(instance->conversations, handle);
    state().session.conversations.erase(handle);
    return TRUE;
}

HDDEDATA WINAPI DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff, HSZ hszItem, UINT wFmt,
                                    UINT afCmd) {
    ApiCall call("DdeCreateDataHandle");
    DdeInstance* instance = find_instance(idInst);
    if (!instance) return nullptr;
    if (DWORD code = call.injected()) {
        instance->last_error = static_cast<UINT>(code);
        return nullptr;
    }
    (void)wFmt;
    if (cbOff || hszItem || afCmd) {
        winsim::detail::report_not_simulated("DdeCreateDataHandle with an offset, an item or flags");
        instance->last_error = DMLERR_INVALID_PARAMETER;
        return nullptr;
    }
    const std::uintptr_t handle = new_handle();
    instance->data[handle] = pSrc ? std::string(reinterpret_cast<const char*>(pSrc), cb) : std::string(cb, '\0');
    return reinterpret_cast<HDDEDATA>(handle);
}

// An execute transaction: the command text (from a buffer, or from a data handle passed
// with the length -1, which the transaction takes over) goes to the server, which
// answers it processed or not.
HDDEDATA WINAPI DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv, HSZ hszItem, UINT wFmt, UINT wType,
                                     DWORD dwTimeout, LPDWORD pdwResult) {
    ApiCall call("DdeClientTransaction");
    (void)hszItem;
    (void)wFmt;
    (void)dwTimeout;
    DdeInstance* instance = conversation_instance(hConv);
    if (!instance) {
        fail_every_instance(DMLERR_INVALID_PARAMETER);
        return nullptr;
    }
    if (DWORD code = call.injected()) {
        instance->last_error = static_cast<UINT>(code);
        return nullptr;
    }
    if (wType != XTYP_EXECUTE) {
        winsim::detail::report_not_simulated("DdeClientTransaction other than XTYP_EXECUTE");
        instance->last_error = DMLERR_INVALID_PARAMETER;
        return nullptr;
    }
    std::string text;
    if (cbData == static_cast<DWORD>(-1)) {
        auto it = instance->data.find(reinterpret_cast<std::uintptr_t>(pData));
        if (it == instance->data.end()) {
            instance->last_error = DMLERR_INVALID_PARAMETER;
            return nullptr;
        }
        text = std::move(it->second);
        instance->data.erase(it);
    } else if (pData) {
        text.assign(reinterpret_cast<const char*>(pData), cbData);
    }
    // The command ends at its terminator, when it has one.
    text.resize(std::strlen(text.c_str()));
    if (pdwResult) *pdwResult = 0;
    if (!winsim::detail::execute_program_manager_commands(state(), text)) {
        instance->last_error = DMLERR_NOTPROCESSED;
        return nullptr;
    }
    if (pdwResult) *pdwResult = DDE_FACK;
    return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(TRUE));
}

UINT WINAPI DdeGetLastError(DWORD idInst) {
    ApiCall call("DdeGetLastError");
    DdeInstance* instance = find_instance(idInst);
    if (!instance) return DMLERR_DLL_NOT_INITIALIZED;
    // The error is handed out once: reading it clears it.
    const UINT error = instance->last_error;
    instance->last_error = DMLERR_NO_ERROR;
    return error;
}
