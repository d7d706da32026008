// The product's driver files laid out in a setup source, and the installation a setup
// program makes of them, on a machine whose printers a test can sweep.
#pragma once

#include "spooler/printer_sweep.h"
#include "support/components.h"

#include <filesystem>
#include <map>
#include <string>

namespace testing_support {

class DriverTest : public PrinterSweep {
protected:
    static constexpr char source_dir[] = "C:\\SETUP\\";
    static constexpr char config_file[] = "C:\\SETUP\\orvdrvui.dll";
    // The help file is registered as the caller names it: it travels with the dependent files.
    static constexpr char help_file[] = "orvdrv.hlp";
    static constexpr char dependents[] = "orvfont.dat\0D:\\ELSEWHERE\\orvcover.dll\0orvdrv.hlp\0";

    void lay_out(winsim::Platform platform, bool with_thunk = true, std::filesystem::path folder = {}) {
        start(platform, {}, std::move(folder));
        for (const char* name : {"orvdrv.dll", "orvdrv351.dll", "orvdrvui.dll", "orvdrv.hlp", "orvfont.dat",
                                 "orvcover.dll", "orvfax.drv"})
            machine->files().write_file(std::string(source_dir) + name, sample_component(name));
        if (with_thunk && !machine->is_nt())
            machine->files().write_file(std::string(machine->platform_info().system_directory) + "\\brg32res.dll",
                                        sample_component("brg32res.dll"));
        directory = winsim_test::driver_directory();
    }
    // The product's driver file of the platform: 95/98's 16-bit driver, NT 3.51's own build.
    std::string driver_file() const {
        if (!machine->is_nt()) return std::string(source_dir) + "orvfax.drv";
        return std::string(source_dir) + (machine->platform() == winsim::Platform::nt351 ? "orvdrv351.dll" : "orvdrv.dll");
    }
    std::string model() const { return machine->is_nt() ? "Orvana Print Driver" : "Orvana Win98 Driver"; }
    LONG install(char* model_name = nullptr) {
        return insAddPrintDriverEx(driver_file().c_str(), config_file, help_file, dependents, model_name);
    }
    // A newer source: the safe copy replaces only an older installed file.
    void renew_sources() {
        Sleep(5000);
        for (const char* name : {"orvdrv.dll", "orvdrv351.dll", "orvdrvui.dll", "orvfax.drv"})
            machine->files().write_file(std::string(source_dir) + name, sample_component(name));
    }
    // Where the spooler keeps a registered driver's files.
    std::string installed_directory(DWORD version) const {
        return machine->is_nt() ? directory + "\\" + std::to_string(version) : directory;
    }
    // The registered drivers at level 2, by name.
    std::map<std::string, DRIVER_INFO_2A> drivers(std::vector<BYTE>& buffer) const {
        DWORD needed = 0, returned = 0;
        EnumPrinterDriversA(nullptr, nullptr, 2, nullptr, 0, &needed, &returned);
        buffer.assign(needed + 1, 0);
        std::map<std::string, DRIVER_INFO_2A> by_name;
        if (!EnumPrinterDriversA(nullptr, nullptr, 2, buffer.data(), needed, &needed, &returned)) return by_name;
        for (DWORD i = 0; i < returned; ++i) {
            const auto& info = reinterpret_cast<const DRIVER_INFO_2A*>(buffer.data())[i];
            by_name[info.pName] = info;
        }
        return by_name;
    }
    std::string driver_of(const char* printer) const {
        const std::vector<BYTE> record = winsim_test::printer_record(printer);
        return record.empty() ? std::string() : reinterpret_cast<const PRINTER_INFO_2A*>(record.data())->pDriverName;
    }
    std::string port_of(const char* printer) const {
        const std::vector<BYTE> record = winsim_test::printer_record(printer);
        return record.empty() ? std::string() : reinterpret_cast<const PRINTER_INFO_2A*>(record.data())->pPortName;
    }
    bool present(const char* name) {
        LONG answer = -1;
        EXPECT_EQ(insIsPrintDriverPresent(name, &answer), 0);
        return answer == 1;
    }
    std::string directory;
};

}  // namespace testing_support
