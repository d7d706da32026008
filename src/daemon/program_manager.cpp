#include "program_manager.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/text_builder.h"

namespace {

constexpr const char program_manager_name[] = "PROGMAN";
constexpr const char startup_group_value_name[] = "Startup (Common)";
constexpr DWORD transaction_timeout_ms = 100000;

// The library only asks; nothing is ever sent back to it.
HDDEDATA CALLBACK ignore_dde_calls(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

// One DDEML instance, given back on every path.
class DdeInstance {
public:
    DdeInstance() = default;
    ~DdeInstance() {
        if (id_) DdeUninitialize(id_);
    }
    DdeInstance(const DdeInstance&) = delete;
    DdeInstance& operator=(const DdeInstance&) = delete;
    UINT initialize() { return DdeInitializeA(&id_, ignore_dde_calls, APPCMD_CLIENTONLY, 0); }
    DWORD id() const { return id_; }

private:
    DWORD id_ = 0;
};

// Program Manager's conversation. Without Program Manager there is none; every command
// then fails and is recorded, as nothing else tells the setup program.
HCONV connect_to_program_manager(DWORD instance) {
    HSZ name = DdeCreateStringHandleA(instance, program_manager_name, CP_WINANSI);
    CONVCONTEXT context{};
    context.cb = sizeof context;
    HCONV conversation = DdeConnect(instance, name, name, &context);
    if (name) DdeFreeStringHandle(instance, name);
    return conversation;
}

bool send_text(HCONV conversation, LPCSTR command) {
    return DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<LPSTR>(command)), lstrlenA(command) + 1, conversation,
                                nullptr, CF_TEXT, XTYP_EXECUTE, transaction_timeout_ms, nullptr) != nullptr;
}

// The item commands travel in a data handle, which the transaction takes over; the
// removal's text is sent without its terminator, the addition's with it.
bool send_through_handle(DWORD instance, HCONV conversation, LPCSTR command, bool with_terminator) {
    const DWORD length = static_cast<DWORD>(lstrlenA(command)) + (with_terminator ? 1 : 0);
    HDDEDATA data = DdeCreateDataHandle(instance, reinterpret_cast<LPBYTE>(const_cast<LPSTR>(command)), length, 0,
                                        nullptr, CF_TEXT, 0);
    return DdeClientTransaction(reinterpret_cast<LPBYTE>(data), static_cast<DWORD>(-1), conversation, nullptr, 0,
                                XTYP_EXECUTE, transaction_timeout_ms, nullptr) != nullptr;
}

// Sends one item command made from `format`; a command whose text cannot be made counts
// as failed for want of memory.
void send_item_command(DWORD instance, HCONV conversation, LPCSTR format, const TextArgument* arguments, int count,
                       bool with_terminator, UINT message_id, LPCSTR entry_name, DWORD ignored) {
    BuiltText command(format, arguments, count);
    if (!command.get()) {
        record_error(ERROR_NOT_ENOUGH_MEMORY, message_id, entry_name, 0, 0);
        return;
    }
    if (!send_through_handle(instance, conversation, command.get(), with_terminator))
        record_error(DdeGetLastError(instance), message_id, entry_name, ignored, 0);
}

}  // namespace

LONG update_startup_group(LPCSTR entry_name, LPCSTR program_path) {
    DdeInstance instance;
    if (UINT failure = instance.initialize()) return record_error(failure, IDS_STARTING_DDE_TO_PROGRAM_MANAGER, nullptr, 0, 0);
    HCONV conversation = connect_to_program_manager(instance.id());

    if (!send_text(conversation, "[CreateGroup(Startup,1)]"))
        record_error(DdeGetLastError(instance.id()), IDS_CREATING_GROUP_USING_DDE_TO_PROGMAN, startup_group_value_name, 0, 0);
    // Program Manager reports an item it does not have as not processed: a new entry.
    const TextArgument entry = text_argument(entry_name);
    send_item_command(instance.id(), conversation, "[DeleteItem(%s)]", &entry, 1, false, IDS_DELETING_OLD_ITEM_USING_DDE,
                      entry_name, DMLERR_NOTPROCESSED);
    if (program_path) {
        const TextArgument item[] = {text_argument(program_path), entry};
        send_item_command(instance.id(), conversation, "[AddItem(%s,%s)]", item, 2, true, IDS_CREATING_ITEM_USING_DDE,
                          entry_name, 0);
    }
    if (!send_text(conversation, "[ShowGroup(Startup,6,1)]"))
        record_error(DdeGetLastError(instance.id()), IDS_SENDING_COMMAND_TO_ICONIZE_GROUP, startup_group_value_name, 0, 0);

    if (conversation) DdeDisconnect(conversation);
    return 0;
}
