// The one seam through which the system shows message boxes. Tests install an interceptor that
// records the text and caption and answers with a chosen button, so nothing blocks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qs {

struct MessageBoxRequest {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT flags;
};

using MessageBoxInterceptor = std::function<int(const MessageBoxRequest&)>;

// Shows a message box (MessageBoxW) unless an interceptor is installed; returns the button pressed.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) noexcept;

// Installs an interceptor for this process and returns the previous one; an empty function removes it.
MessageBoxInterceptor SetMessageBoxInterceptor(MessageBoxInterceptor interceptor);

} // namespace qs
