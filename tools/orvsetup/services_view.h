// The services of a machine as the setup author checks them after installing the
// daemon as a service: how each is registered and what it is doing now.
#pragma once

#include <winsim/machine.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orvsetup {

struct ServiceView {
    std::string name;
    std::string display_name;
    std::uint32_t type = 0;
    std::uint32_t start = 0;
    std::string image_path;
    std::string account;
    std::uint32_t state = 0;
};

// Empty on 95/98, which have no services.
std::vector<ServiceView> view_services(winsim::Machine& machine);

// Aligned and readable, for a person.
void print_services(std::FILE* out, const std::vector<ServiceView>& services);
// One JSON object a line, one a service.
void print_services_json(std::FILE* out, const std::vector<ServiceView>& services);

// The words for a service's type and start type, as the services console shows them.
std::string service_type_words(std::uint32_t type);
const char* start_type_words(std::uint32_t start);

}  // namespace orvsetup
