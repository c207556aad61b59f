// Module-wide state of the add-in part.
#include "addin/uAddinGlobals.h"

#include <windows.h>

namespace qs {

bool ForwardAllKeys = false;

namespace {

LARGE_INTEGER g_connected{}, g_lastImage{};

} // namespace

void NoteConnection() noexcept {
    ::QueryPerformanceCounter(&g_connected);
    g_lastImage.QuadPart = 0;
}

void NoteButtonImage() noexcept {
    if (g_connected.QuadPart) ::QueryPerformanceCounter(&g_lastImage);
}

double StartupMilliseconds() noexcept {
    if (!g_connected.QuadPart || !g_lastImage.QuadPart) return -1;
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(g_lastImage.QuadPart - g_connected.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

} // namespace qs
