// Checks of the ribbon button icons embedded in the built DLL: every image name that a button gives
// loads as an icon at 48x48 and at 16x16, also by its lower-case name, each icon group holds 48, 32 and
// 16 pixel images of 32 bits with a real alpha channel, and no two buttons show the same picture.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/qsHandles.h"

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

#define QS_WIDEN2(x) L##x
#define QS_WIDEN(x) QS_WIDEN2(x)

// The DLL sits in the build folder; test executables in build/tests.
std::wstring DllPath() {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"..\\" QS_WIDEN(QS_DLL_PATH);
}

void DestroyIconChecked(HICON icon) noexcept { ::DestroyIcon(icon); }
using UniqueHicon = qs::UniqueAny<HICON, &DestroyIconChecked>;
void DeleteBitmap(HBITMAP b) noexcept { ::DeleteObject(b); }
using UniqueHbitmap = qs::UniqueAny<HBITMAP, &DeleteBitmap>;

// The image names of the ribbon buttons: the two that every host has, then each host's in ribbon order.
const wchar_t* const kImageNames[] = {
    L"Script", L"About",
    L"WordApplication", L"WordOptions", L"WordWindow", L"WordDocument", L"WordSelection", L"WordStyle",
    L"WordRange",
    L"ExcelApplication", L"ExcelWindow", L"ExcelWorkbook", L"ExcelWorksheet", L"ExcelChart", L"ExcelSelection",
    L"ExcelCell", L"ExcelStyle",
    L"PowerPointApplication", L"PowerPointWindow", L"PowerPointPresentation", L"PowerPointView",
    L"PowerPointSlide", L"PowerPointSelection",
    L"OneNoteApplication", L"OneNoteWindow",
    L"PublisherApplication", L"PublisherWindow", L"PublisherDocument", L"PublisherView", L"PublisherPage",
    L"PublisherSelection",
    L"AccessApplication", L"AccessProject", L"AccessCommand", L"AccessScreen", L"AccessControl",
    L"AccessDBEngine", L"AccessConnection", L"AccessWorkspace", L"AccessDatabase", L"AccessTable",
    L"InfoPathApplication",
    L"VisioApplication", L"VisioApplicationSettings", L"VisioWindow", L"VisioPage", L"VisioDocument",
    L"VisioSelection", L"VisioShape",
    L"ProjectApplication", L"ProjectWindow", L"ProjectProject", L"ProjectSelection", L"ProjectCell",
    L"ProjectTask",
};

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

#pragma pack(push, 2)
struct GroupIconEntry { // GRPICONDIRENTRY: one image of an RT_GROUP_ICON resource
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

class ButtonIcons : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll = qs::UniqueHmodule(::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_dll);
    }

    UniqueHicon Load(const std::wstring& name, int size) const {
        return UniqueHicon(static_cast<HICON>(::LoadImageW(m_dll.Get(), name.c_str(), IMAGE_ICON, size, size, 0)));
    }

    // The size of an icon's colour bitmap, or 0x0 when it has none.
    static SIZE ColourSize(HICON icon) {
        ICONINFO info{};
        if (!::GetIconInfo(icon, &info)) return {0, 0};
        UniqueHbitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        if (!colour || !::GetObjectW(colour.Get(), sizeof bm, &bm)) return {0, 0};
        return {bm.bmWidth, bm.bmHeight};
    }

    std::vector<BYTE> Resource(const wchar_t* name, const wchar_t* type) const {
        HRSRC res = ::FindResourceW(m_dll.Get(), name, type);
        if (!res) return {};
        const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(m_dll.Get(), res)));
        return data ? std::vector<BYTE>(data, data + ::SizeofResource(m_dll.Get(), res)) : std::vector<BYTE>{};
    }

    // The entries of an icon group resource.
    std::vector<GroupIconEntry> Group(const wchar_t* name) const {
        const auto bytes = Resource(name, MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
        std::vector<GroupIconEntry> entries;
        if (bytes.size() < 6) return entries;
        WORD count = 0;
        std::memcpy(&count, bytes.data() + 4, sizeof count);
        for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupIconEntry) <= bytes.size(); ++i) {
            GroupIconEntry e;
            std::memcpy(&e, bytes.data() + 6 + i * sizeof e, sizeof e);
            entries.push_back(e);
        }
        return entries;
    }

    qs::UniqueHmodule m_dll;
};

TEST_F(ButtonIcons, EveryImageNameLoadsAt48And16) {
    for (const wchar_t* name : kImageNames) {
        SCOPED_TRACE(Narrow(name));
        for (int size : {48, 16}) {
            UniqueHicon icon = Load(name, size);
            ASSERT_TRUE(icon) << "LoadImage at " << size << " failed: " << ::GetLastError();
            const SIZE got = ColourSize(icon.Get());
            EXPECT_EQ(got.cx, size);
            EXPECT_EQ(got.cy, size);
        }
    }
}

TEST_F(ButtonIcons, NamesAreFoundWhateverTheirCase) {
    for (const wchar_t* name : kImageNames) {
        SCOPED_TRACE(Narrow(name));
        EXPECT_TRUE(Load(Lower(name), 48));
    }
}

TEST_F(ButtonIcons, EachGroupHolds48_32And16PixelImagesOf32Bits) {
    for (const wchar_t* name : kImageNames) {
        SCOPED_TRACE(Narrow(name));
        std::set<int> sizes;
        for (const auto& e : Group(name)) {
            sizes.insert(e.width);
            EXPECT_EQ(e.bitCount, 32) << "image of " << int(e.width) << " px";
            EXPECT_EQ(e.width, e.height);
        }
        EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
    }
}

// A 32-bit image whose alpha is all zero or all opaque would show as a black or solid square.
TEST_F(ButtonIcons, The48PixelImagesHaveTransparentAndOpaquePixels) {
    for (const wchar_t* name : kImageNames) {
        SCOPED_TRACE(Narrow(name));
        const auto group = Group(name);
        const GroupIconEntry* big = nullptr;
        for (const auto& e : group)
            if (e.width == 48) big = &e;
        ASSERT_NE(big, nullptr);
        const auto image = Resource(MAKEINTRESOURCEW(big->id), MAKEINTRESOURCEW(3)); // RT_ICON
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER) + 48 * 48 * 4);
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        ASSERT_EQ(header.biBitCount, 32);
        int transparent = 0, opaque = 0;
        for (size_t i = 0; i < 48 * 48; ++i) {
            const BYTE alpha = image[header.biSize + i * 4 + 3];
            transparent += alpha == 0;
            opaque += alpha == 255;
        }
        EXPECT_GT(transparent, 0);
        EXPECT_GT(opaque, 48 * 48 / 10);
    }
}

// Two buttons with the very same picture are a copy left unedited.
TEST_F(ButtonIcons, NoTwoImageNamesShowTheSamePicture) {
    std::map<std::vector<BYTE>, std::wstring> seen;
    for (const wchar_t* name : kImageNames) {
        const auto group = Group(name);
        ASSERT_FALSE(group.empty()) << Narrow(name);
        const auto image = Resource(MAKEINTRESOURCEW(group.front().id), MAKEINTRESOURCEW(3));
        const auto [it, added] = seen.emplace(image, name);
        EXPECT_TRUE(added) << Narrow(name) << " shows the same picture as " << Narrow(it->second);
    }
}

} // namespace
