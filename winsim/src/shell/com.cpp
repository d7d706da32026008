// COM as far as a setup program reaches it: the apartment of the calling thread, and
// the shell's link object (CLSID_ShellLink), which keeps a link's texts and saves them
// as a link file in the shell's binary format.
#include "core/api.h"
#include "kernel/code_page_1252.h"

#include <cstring>
#include <string>

namespace {

using winsim::detail::ApiCall;
using winsim::detail::state;

constexpr CLSID shell_link_class = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID unknown_interface = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID shell_link_interface = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID persist_interface = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID persist_file_interface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool same_guid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// An injected Windows error comes back as COM reports one, an HRESULT of facility 7; an
// injected HRESULT as it is.
HRESULT injected_result(const ApiCall& call) {
    const DWORD code = call.injected();
    return code & 0x80000000u ? static_cast<HRESULT>(code) : HRESULT_FROM_WIN32(code);
}

// The link object: one object with both interfaces, alive while either is referenced.
class ShellLink final : public IShellLinkA, public IPersistFile {
public:
    ShellLink() { ++state().session.com_objects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (same_guid(riid, unknown_interface) || same_guid(riid, shell_link_interface))
            *ppvObject = static_cast<IShellLinkA*>(this);
        else if (same_guid(riid, persist_file_interface) || same_guid(riid, persist_interface))
            *ppvObject = static_cast<IPersistFile*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (!left) {
            --state().session.com_objects;
            delete this;
        }
        return left;
    }

    // A target that is not there is kept all the same; S_FALSE tells the caller so.
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR pszFile) override {
        ApiCall call("IShellLinkA::SetPath");
        if (call.injected()) return injected_result(call);
        if (!pszFile) return E_INVALIDARG;
        link_.target = pszFile;
        DWORD error = 0;
        return state().files.find(pszFile, error) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR pszName) override { return set_text(pszName, link_.description, "IShellLinkA::SetDescription"); }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR pszDir) override {
        return set_text(pszDir, link_.working_directory, "IShellLinkA::SetWorkingDirectory");
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR pszArgs) override { return set_text(pszArgs, link_.arguments, "IShellLinkA::SetArguments"); }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
        if (!pClassID) return E_POINTER;
        *pClassID = shell_link_class;
        return S_OK;
    }

    // Written as CreateFileA would write it: a folder that is not there gives
    // ERROR_PATH_NOT_FOUND as an HRESULT, a file held or read-only its own code.
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) override {
        ApiCall call("IPersistFile::Save");
        (void)fRemember;
        if (call.injected()) return injected_result(call);
        if (!pszFileName) return E_INVALIDARG;
        std::string path;
        for (const OLECHAR* at = pszFileName; *at; ++at) path.push_back(winsim::detail::to_1252(*at));
        const std::string bytes = winsim::detail::shell_link_bytes(state(), link_);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
        DWORD written = 0;
        const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        const DWORD error = wrote ? 0 : GetLastError();
        CloseHandle(file);
        return wrote ? S_OK : HRESULT_FROM_WIN32(error);
    }

private:
    ~ShellLink() = default;

    static HRESULT set_text(LPCSTR text, std::string& into, const char* name) {
        ApiCall call(name);
        if (call.injected()) return injected_result(call);
        if (!text) return E_INVALIDARG;
        into = text;
        return S_OK;
    }

    ULONG references_ = 1;
    winsim::ShellLinkContents link_;
};

}  // namespace

// The first initialisation of the thread answers S_OK, each further one S_FALSE; each
// wants its CoUninitialize.
HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    ApiCall call("CoInitialize");
    if (call.injected()) return injected_result(call);
    if (pvReserved) return E_INVALIDARG;
    return state().session.com_initialised++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    ApiCall call("CoUninitialize");
    if (state().session.com_initialised > 0) --state().session.com_initialised;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    ApiCall call("CoCreateInstance");
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (call.injected()) return injected_result(call);
    if (!state().session.com_initialised) return CO_E_NOTINITIALIZED;
    if (!same_guid(rclsid, shell_link_class) || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    auto* link = new ShellLink;
    const HRESULT result = link->QueryInterface(riid, ppv);
    static_cast<IShellLinkA*>(link)->Release();
    return result;
}
