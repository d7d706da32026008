#include "shell_link.h"

namespace {

// The shell's link object and the interfaces the library uses, as the shell names them.
constexpr CLSID shell_link_class = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID shell_link_interface = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID persist_file_interface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// An interface pointer released when it goes.
template <typename Interface>
class ComReference {
public:
    ComReference() = default;
    ~ComReference() {
        if (pointer_) pointer_->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

// COM for the calling thread for as long as one link is made.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (entered()) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // S_FALSE: COM was running on the thread already, and is kept for this call all the same.
    bool entered() const { return result_ == S_OK || result_ == S_FALSE; }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

HRESULT save_link(IShellLinkA* link_object, LPCSTR link) {
    ComReference<IPersistFile> file;
    HRESULT result = link_object->QueryInterface(persist_file_interface, file.out());
    if (FAILED(result)) return result;
    WCHAR wide_path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, link, -1, wide_path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    return file->Save(wide_path, TRUE);
}

}  // namespace

HRESULT create_shell_link(LPCSTR target, LPCSTR link, LPCSTR description, LPCSTR arguments, LPCSTR working_directory) {
    ComApartment apartment;
    if (!apartment.entered()) return apartment.result();
    ComReference<IShellLinkA> link_object;
    HRESULT result = CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface, link_object.out());
    if (FAILED(result)) return result;
    // A link saved without its target or folder would start nothing at logon: a setter
    // that fails means no link, and the caller records why.
    if (FAILED(result = link_object->SetPath(target))) return result;
    if (FAILED(result = link_object->SetDescription(description))) return result;
    if (arguments && FAILED(result = link_object->SetArguments(arguments))) return result;
    if (working_directory && FAILED(result = link_object->SetWorkingDirectory(working_directory))) return result;
    return save_link(link_object.get(), link);
}
