#include "product_driver.h"

#include "system_version.h"

#include <string>

namespace conformance {

const ProductModels& product_models() { return system_is_nt() ? nt_models : win9x_models; }

#ifdef _WIN32
unsigned long lay_out_product_driver() {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length == sizeof program) return GetLastError();
    std::string source(program, length);
    source = source.substr(0, source.rfind('\\') + 1) + product_driver_file;
    char directory[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed))
        return GetLastError();
    const std::string target = std::string(directory) + "\\" + product_driver_file;
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) return GetLastError();
    const bool nt = system_is_nt();
    const ProductModels& models = nt ? nt_models : win9x_models;
    for (const char* model : {models.plain, models.docket}) {
        DRIVER_INFO_3A info{};
        info.cVersion = nt ? 3 : 0;
        info.pName = const_cast<char*>(model);
        info.pDriverPath = info.pDataFile = info.pConfigFile = const_cast<char*>(product_driver_file);
        if (!AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) &&
            GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
            return GetLastError();
    }
    return 0;
}
#endif

}  // namespace conformance
