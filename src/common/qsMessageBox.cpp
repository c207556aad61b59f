// The message-box seam: MessageBoxW, or the interceptor that a test installed.
#include "common/qsMessageBox.h"

#include "common/qsError.h"
#include "common/qsModule.h"

#include <utility>

namespace qs {

namespace {
MessageBoxInterceptor& Interceptor() {
    static MessageBoxInterceptor interceptor;
    return interceptor;
}
} // namespace

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) noexcept {
    try {
        // The box's loop runs the host's messages: the module stays loaded under it.
        TModuleLock lock;
        if (auto& f = Interceptor()) return f(MessageBoxRequest{owner, text, caption, flags});
        return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
    } catch (...) {
        TraceCaughtException(L"ShowMessageBox");
        return 0;
    }
}

MessageBoxInterceptor SetMessageBoxInterceptor(MessageBoxInterceptor interceptor) {
    return std::exchange(Interceptor(), std::move(interceptor));
}

} // namespace qs
