#include "printer_context.h"

#include <cstring>

namespace {

// The words each version of the definition has, version 1 first.
constexpr SIZE_T version_words[] = {23, 31, 36, 37};
constexpr DWORD newest_version = 4;

using D = INS_PRINTER_DEFINITION;

// The number fields: the caller may leave anything in a word's upper half, so each is
// taken as the signed 32-bit value of its lower half.
constexpr LONG_PTR D::* number_fields[] = {
    &D::dwKind,         &D::nSpawnInUserContext, &D::nSeparateVdm,  &D::nServerShareFlag, &D::nFileType,
    &D::nMppfFlag,      &D::nSpoolMode,          &D::nColorMode,    &D::nDitherPattern,   &D::nNtDitherPattern,
    &D::nIntensity,     &D::nDriverTimeout,      &D::nSecondTimeout, &D::nResolution,     &D::nPaperSize,
    &D::nOrientation,   &D::nLeftMargin,         &D::nSubfileType,  &D::nPrintMode,       &D::nJpegQuality,
    &D::nCsidEnable,
};

// What a field that the caller's version lacks takes: the value that leaves its
// setting unchanged, except that a definition without CSID fields turns CSID off.
INS_PRINTER_DEFINITION absent_fields() {
    INS_PRINTER_DEFINITION fields{};
    fields.nDriverTimeout = -1;
    fields.nSecondTimeout = -1;
    fields.nResolution = 0;
    fields.nPaperSize = -1;
    fields.nOrientation = -1;
    fields.nLeftMargin = -1;
    fields.nSubfileType = -1;
    fields.nPrintMode = 0;
    fields.nJpegQuality = -1;
    fields.nCsidEnable = 0;
    return fields;
}

}  // namespace

static_assert(sizeof(INS_PRINTER_DEFINITION) == version_words[newest_version - 1] * sizeof(DWORD_PTR),
              "the definition is a sequence of pointer-sized words");

bool read_printer_definition(const INS_PRINTER_DEFINITION* caller, INS_PRINTER_DEFINITION* full) {
    const DWORD version = static_cast<DWORD>(caller->dwVersion);
    if (version < 1 || version > newest_version) return false;
    *full = absent_fields();
    // Only the caller's own words are read: a version 1 definition may end where its
    // 23rd word does.
    std::memcpy(full, caller, version_words[version - 1] * sizeof(DWORD_PTR));
    full->dwVersion = version;
    for (LONG_PTR D::* field : number_fields) full->*field = static_cast<LONG>(full->*field);
    return true;
}
