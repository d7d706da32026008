/* brg32res.dll: reads string resources of 16-bit (NE) modules for 32-bit callers.
 *
 * int WINAPI LoadString32_16(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size)
 *
 * Copies string `id` of the 16-bit module at `module_path` into `buffer`, under
 * LoadStringA's rules for cutting: at most buffer_size - 1 characters, always followed
 * by a NUL, and the result is the number of characters copied (the terminator not
 * counted).
 *
 * - buffer null or buffer_size 0 or less: 0, and nothing is written.
 * - The module cannot be opened or read, is not an NE image, is cut short before the
 *   string, or has no string of that ID (IDs above 65535 included): 0, and the buffer
 *   holds an empty string. An empty string that the module does hold gives 0 too.
 * - The module path is taken as CreateFileA takes it (relative to the current
 *   directory); the file is opened for reading, sharing reading and writing, and is
 *   never read past its end.
 *
 * The last error is left as the file calls set it; callers rely only on the result.
 */
#ifndef BRG32RES_H
#define BRG32RES_H

#ifdef _WIN32
#include <windows.h>
#else
#include <winsim/windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

int WINAPI LoadString32_16(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size);

typedef int(WINAPI* LoadString32_16Function)(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size);

#ifdef __cplusplus
}
#endif

#endif
