// Shows, for a fresh machine of every platform, what Windows answers a program that
// asks for its version and loads the library.
#include <winsim/machine.h>

#include <cstdio>
#include <string>

int main() {
    for (const winsim::PlatformInfo& platform : winsim::all_platforms()) {
        auto machine = winsim::Machine::create(platform.platform);
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        HMODULE library = LoadLibraryA("OrvInstl.dll");
        std::printf("%-8s %-26s %lu.%-2lu build %-10lu platform %lu  \"%s\"  OrvInstl.dll %s\n",
                    std::string(platform.name).c_str(), std::string(platform.title).c_str(),
                    static_cast<unsigned long>(version.dwMajorVersion), static_cast<unsigned long>(version.dwMinorVersion),
                    static_cast<unsigned long>(version.dwBuildNumber & 0xFFFF), static_cast<unsigned long>(version.dwPlatformId),
                    version.szCSDVersion, library ? "loaded" : "not loaded");
        if (library) FreeLibrary(library);
    }
    return 0;
}
