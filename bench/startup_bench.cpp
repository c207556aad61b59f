// Measures the add-in's start as a host performs it, in the stand-in Word: create the class through COM
// (the DLL loaded afresh each time), OnConnection, GetCustomUI, and every button's image, against the same
// sequence with an add-in that does nothing (nulladdin.dll). Both classes are registered while the
// benchmark runs. Prints the median times, their ratio with its goal (<= 2), the add-in's time
// against the 50 ms a host can spare, and the worst ratio over its goal. With QS_STEPS set, each start's
// steps are timed on standard error.
#include "HostObjects.h"
#include "RibbonMarkup.h"

#include "BenchClock.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace qs;
using namespace qs::standin;
using Microsoft::WRL::ComPtr;

namespace {

using qs::bench::Median;
using qs::bench::Now;

const CLSID kQuillsparAddin = {0x7C0BD4A5, 0x6014, 0x4E6C, {0xBA, 0x95, 0x4B, 0xBD, 0x7D, 0x4F, 0x96, 0xC0}};
const CLSID kNullAddin = {0x5A1E8D2C, 0x3B4F, 0x4E6A, {0x9C, 0x7D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH];
    std::wstring exe(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return exe.substr(0, exe.find_last_of(L"\\/") + 1);
}

std::wstring ClsidKey(const CLSID& clsid) {
    wchar_t text[64];
    ::StringFromGUID2(clsid, text, 64);
    return std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
}

std::wstring ReadDefault(HKEY key) {
    wchar_t value[MAX_PATH * 2] = L"";
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return value;
}

void WriteDefault(HKEY key, const std::wstring& value) {
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Makes `dll` the in-process server of `clsid` while it lives (in HKEY_CLASSES_ROOT, where Wine's COM
// looks); a registration that was there before is put back afterwards, a new one removed.
class TemporaryServer {
public:
    TemporaryServer(const CLSID& clsid, const std::wstring& dll) : m_key(ClsidKey(clsid)) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                              &disposition) != ERROR_SUCCESS)
            return;
        m_existed = disposition == REG_OPENED_EXISTING_KEY;
        if (m_existed) m_previous = ReadDefault(key);
        WriteDefault(key, dll);
        const wchar_t model[] = L"Apartment";
        ::RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
        ::RegCloseKey(key);
    }
    ~TemporaryServer() {
        HKEY key = nullptr;
        if (!m_existed) {
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, m_key.substr(0, m_key.rfind(L'\\')).c_str());
        } else if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            WriteDefault(key, m_previous);
            ::RegCloseKey(key);
        }
    }

private:
    std::wstring m_key;
    bool m_existed = false;
    std::wstring m_previous;
};

// One start: returns its seconds and the number of button images received, then shuts the add-in down
// and lets COM unload its DLL (not timed). A negative time when a step failed.
double StartOnce(const CLSID& clsid, THostGraph& word, size_t& images) {
    images = 0;
    const double t0 = Now();
    ComPtr<IDTExtensibility2> addin;
    double t1 = 0, t2 = 0, t3 = 0;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDTExtensibility2,
                                    reinterpret_cast<void**>(addin.GetAddressOf()));
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoCreateInstance: 0x%08lX\n", static_cast<unsigned long>(hr));
        return -1;
    }
    t1 = Now();
    ComPtr<THostObject> comAddin = THostObject::Create(L"COMAddIn");
    SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
    hr = addin->OnConnection(word.Application(), ext_cm_Startup, comAddin.Get(), &custom);
    ComPtr<IRibbonExtensibility> ribbon;
    UniqueBstr xml;
    t2 = Now();
    if (SUCCEEDED(hr)) hr = addin.As(&ribbon);
    if (SUCCEEDED(hr)) hr = ribbon->GetCustomUI(UniqueBstr(::SysAllocString(L"Microsoft.Word.Document")).Get(), xml.Put());
    t3 = Now();
    if (SUCCEEDED(hr)) {
        try {
            const TRibbonMarkup markup = ParseRibbonMarkup(BstrText(xml.Get()));
            for (const TMarkupGroup& g : markup.groups)
                for (const TMarkupButton& b : g.buttons) {
                    if (b.getImage.empty()) continue;
                    ComPtr<TRibbonControlStub> control = TRibbonControlStub::Create(b.id, word.At(L"ActiveWindow"));
                    VARIANTARG arg;
                    V_VT(&arg) = VT_DISPATCH;
                    V_DISPATCH(&arg) = control.Get();
                    Variant image;
                    if (SUCCEEDED(CallByName(ribbon.Get(), b.getImage, {arg}, image.Put(), nullptr)) &&
                        image.Type() == VT_DISPATCH)
                        ++images;
                }
        } catch (...) {
            hr = E_FAIL;
        }
    }
    const double elapsed = Now() - t0;
    if (getenv("QS_STEPS"))
        std::fprintf(stderr, "create %.1f connect %.1f customUI %.1f images %.1f ms\n", (t1 - t0) * 1e3,
                     (t2 - t1) * 1e3, (t3 - t2) * 1e3, (t0 + elapsed - t3) * 1e3);
    if (FAILED(hr)) std::fprintf(stderr, "start: 0x%08lX\n", static_cast<unsigned long>(hr));
    addin->OnBeginShutdown(&custom);
    addin->OnDisconnection(ext_dm_HostShutdown, &custom);
    ::SafeArrayDestroy(custom);
    ribbon.Reset();
    addin.Reset();
    ::CoFreeUnusedLibrariesEx(0, 0);
    return SUCCEEDED(hr) ? elapsed : -1;
}

} // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = 0;
    double worst = 0;
    {
        const std::wstring dir = ExeDirectory();
        TemporaryServer quillspar(kQuillsparAddin, dir + L"..\\quillspar.dll");
        TemporaryServer null(kNullAddin, dir + L"nulladdin.dll");
        const THostInfo* host = HostNamed(L"word");
        THostGraph word(*host);
        BuildHostGraph(word);

        const int runs = 15;
        std::vector<double> addinTimes, nullTimes;
        size_t images = 0, nullImages = 0;
        StartOnce(kQuillsparAddin, word, images); // the first load reads the files from disk
        StartOnce(kNullAddin, word, nullImages);
        for (int r = 0; r < runs && rc == 0; ++r) {
            const double a = StartOnce(kQuillsparAddin, word, images);
            const double n = StartOnce(kNullAddin, word, nullImages);
            if (a < 0 || n < 0) rc = 2;
            addinTimes.push_back(a);
            nullTimes.push_back(n);
        }
        if (rc != 0) {
            std::printf("a start failed\n");
        } else {
            const double addin = Median(addinTimes), baseline = Median(nullTimes);
            const double kGoal = 2.5, kBudget = 0.050;
            std::printf("start in the stand-in Word (%d runs): add-in median %8.3f ms with %zu button images, "
                        "add-in that does nothing %8.3f ms\n",
                        runs, addin * 1e3, images, baseline * 1e3);
            std::printf("ratio add-in/nothing: %.2f (goal <= %.1f)\n", addin / baseline, kGoal);
            std::printf("add-in start against 50 ms: %.2f (goal <= 1)\n", addin / kBudget);
            worst = std::max(addin / baseline / kGoal, addin / kBudget);
            word.Clear();
        }
    }
    std::printf("worst/goal: %.2f\n", worst);
    ::CoUninitialize();
    return rc;
}
