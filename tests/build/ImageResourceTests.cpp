// Checks of the image strips embedded in the built DLL: each loads as a 32 bpp DIB section of 16x16
// cells, one per image (the form an ILC_COLOR32 image list takes), every cell is a picture on a
// transparent background, and no two cells are the same picture.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/qsHandles.h"

#include <cstdint>
#include <cstring>
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

void DeleteBitmap(HBITMAP b) noexcept { ::DeleteObject(b); }
using UniqueHbitmap = qs::UniqueAny<HBITMAP, &DeleteBitmap>;

constexpr int kCell = 16;

struct Strip {
    const wchar_t* name;
    int images;
};

const Strip kStrips[] = {
    {L"PROPERTYIMAGES", 8}, // number, text, object, date, Boolean, currency, no value, method
    {L"TOOLBARIMAGES", 10}, // Refresh, Browse, QueryInterface, Call, Help, Clear, Run, Open, Save, New
};

std::string Narrow(const wchar_t* s) { return std::string(s, s + std::wcslen(s)); }

class ImageStrips : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll = qs::UniqueHmodule(::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_dll);
    }

    UniqueHbitmap Load(const Strip& strip) const {
        return UniqueHbitmap(static_cast<HBITMAP>(
            ::LoadImageW(m_dll.Get(), strip.name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }

    // The pixels of one cell as 32-bit BGRA values, row by row.
    static std::vector<uint32_t> Cell(const DIBSECTION& ds, int index) {
        std::vector<uint32_t> pixels(kCell * kCell);
        const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
        for (int y = 0; y < kCell; ++y)
            std::memcpy(&pixels[y * kCell], bits + y * ds.dsBm.bmWidthBytes + index * kCell * 4, kCell * 4);
        return pixels;
    }

    qs::UniqueHmodule m_dll;
};

TEST_F(ImageStrips, LoadAsThirtyTwoBitDibSectionsOfSixteenPixelCells) {
    for (const Strip& strip : kStrips) {
        SCOPED_TRACE(Narrow(strip.name));
        UniqueHbitmap bitmap = Load(strip);
        ASSERT_TRUE(bitmap);
        DIBSECTION ds{};
        ASSERT_EQ(::GetObjectW(bitmap.Get(), sizeof ds, &ds), static_cast<int>(sizeof ds)) << "not a DIB section";
        EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
        EXPECT_EQ(ds.dsBm.bmWidth, strip.images * kCell);
        EXPECT_EQ(ds.dsBm.bmHeight, kCell);
        EXPECT_NE(ds.dsBm.bmBits, nullptr);
    }
}

TEST_F(ImageStrips, EveryCellIsAPictureOnATransparentBackground) {
    for (const Strip& strip : kStrips) {
        UniqueHbitmap bitmap = Load(strip);
        ASSERT_TRUE(bitmap) << Narrow(strip.name);
        DIBSECTION ds{};
        ASSERT_EQ(::GetObjectW(bitmap.Get(), sizeof ds, &ds), static_cast<int>(sizeof ds));
        ASSERT_EQ(ds.dsBm.bmWidth, strip.images * kCell);
        for (int i = 0; i < strip.images; ++i) {
            SCOPED_TRACE(Narrow(strip.name) + " image " + std::to_string(i));
            int opaque = 0, transparent = 0;
            for (uint32_t pixel : Cell(ds, i)) {
                const uint32_t alpha = pixel >> 24;
                opaque += alpha == 0xFF;
                transparent += alpha == 0;
            }
            // A picture, not a blank cell, and not a filled square that would hide the button face.
            EXPECT_GE(opaque, 24);
            EXPECT_GE(transparent, 24);
        }
    }
}

TEST_F(ImageStrips, NoTwoCellsAreTheSamePicture) {
    for (const Strip& strip : kStrips) {
        UniqueHbitmap bitmap = Load(strip);
        ASSERT_TRUE(bitmap) << Narrow(strip.name);
        DIBSECTION ds{};
        ASSERT_EQ(::GetObjectW(bitmap.Get(), sizeof ds, &ds), static_cast<int>(sizeof ds));
        ASSERT_EQ(ds.dsBm.bmWidth, strip.images * kCell);
        for (int i = 0; i < strip.images; ++i)
            for (int j = i + 1; j < strip.images; ++j)
                EXPECT_NE(Cell(ds, i), Cell(ds, j)) << Narrow(strip.name) << " images " << i << " and " << j;
    }
}

} // namespace
