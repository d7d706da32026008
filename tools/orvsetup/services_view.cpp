#include "services_view.h"

#include "json_text.h"

#include <winsim/services/services.h>

namespace orvsetup {

std::vector<ServiceView> view_services(winsim::Machine& machine) {
    std::vector<ServiceView> view;
    winsim::Services services = machine.services();
    for (const std::string& name : services.names()) {
        const winsim::ServiceConfig config = services.config(name);
        view.push_back(ServiceView{name, config.display_name, config.type, config.start, config.image_path,
                                   config.object_name, services.state(name)});
    }
    return view;
}

std::string service_type_words(std::uint32_t type) {
    std::string words;
    switch (type & ~static_cast<std::uint32_t>(SERVICE_INTERACTIVE_PROCESS)) {
    case SERVICE_KERNEL_DRIVER: words = "kernel driver"; break;
    case SERVICE_FILE_SYSTEM_DRIVER: words = "file system driver"; break;
    case SERVICE_WIN32_OWN_PROCESS: words = "own process"; break;
    case SERVICE_WIN32_SHARE_PROCESS: words = "shared process"; break;
    default: words = "unknown type"; break;
    }
    if (type & SERVICE_INTERACTIVE_PROCESS) words += ", interactive";
    return words;
}

const char* start_type_words(std::uint32_t start) {
    switch (start) {
    case SERVICE_BOOT_START: return "boot";
    case SERVICE_SYSTEM_START: return "system";
    case SERVICE_AUTO_START: return "automatic";
    case SERVICE_DEMAND_START: return "manual";
    case SERVICE_DISABLED: return "disabled";
    default: return "unknown start";
    }
}

void print_services(std::FILE* out, const std::vector<ServiceView>& services) {
    if (services.empty()) std::fputs("no services\n", out);
    for (const ServiceView& service : services) {
        std::fprintf(out, "%s\n", service.name.c_str());
        std::fprintf(out, "  %-13s %s\n", "display name", service.display_name.c_str());
        std::fprintf(out, "  %-13s 0x%03x %s\n", "type", service.type, service_type_words(service.type).c_str());
        std::fprintf(out, "  %-13s %u %s\n", "start", service.start, start_type_words(service.start));
        std::fprintf(out, "  %-13s %s\n", "image path", service.image_path.c_str());
        std::fprintf(out, "  %-13s %s\n", "account", service.account.c_str());
        std::fprintf(out, "  %-13s %s\n", "state", winsim::service_state_name(service.state));
    }
}

void print_services_json(std::FILE* out, const std::vector<ServiceView>& services) {
    for (const ServiceView& service : services) {
        std::fputs("{\"service\": ", out);
        print_json_string(out, service.name);
        print_json_field(out, "display_name", service.display_name);
        std::fprintf(out, ", \"type\": %u, \"start\": %u", service.type, service.start);
        print_json_field(out, "image_path", service.image_path);
        print_json_field(out, "account", service.account);
        print_json_field(out, "state", winsim::service_state_name(service.state));
        std::fputs("}\n", out);
    }
}

}  // namespace orvsetup
