// The product's printer driver as the lane lays it out before the scenarios: its file
// in the spooler's driver directory and its models registered with the spooler, NT's
// on the NT family and the 95/98 ones on 95/98, as the product's setup would have
// installed them. Under Wine the file is real code (driver/), because Wine loads it when
// a printer is added; winsim only needs the file to be there.
#pragma once

namespace conformance {

inline constexpr char product_driver_file[] = "ORVDRV.DLL";

struct ProductModels {
    const char* plain;
    const char* docket;
};
inline constexpr ProductModels nt_models = {"Orvana Print Driver", "Orvana Docket Driver"};
inline constexpr ProductModels win9x_models = {"Orvana Win98 Driver", "Orvana Win98 Docket Driver"};

// The models of the system the program runs on.
const ProductModels& product_models();

#ifdef _WIN32
// Copies the driver from beside the program into the driver directory and registers
// its models; a model already registered (an earlier run) stays. 0 or a Windows code.
unsigned long lay_out_product_driver();
#endif

}  // namespace conformance
