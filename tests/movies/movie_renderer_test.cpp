// The framework's renderer filter: the types it takes, rows turned top-down, and samples too
// short for a picture left alone.
#include "movie/movie_renderer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TestSample final : IMediaSample {
    std::vector<BYTE> bytes;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override {
        *buffer = bytes.data();
        return S_OK;
    }
    long GetActualDataLength() override { return static_cast<long>(bytes.size()); }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
};

AM_MEDIA_TYPE VideoType(const GUID& subtype, VIDEOINFOHEADER* info, int width, int height) {
    *info = {};
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof *info;
    type.pbFormat = reinterpret_cast<BYTE*>(info);
    return type;
}

TEST(MovieRendererTest, TakesItsTypesAndTurnsBottomUpRowsTopDown) {
    HRESULT result;
    MovieRenderer* renderer = CreateMovieRenderer(nullptr, &result);
    ASSERT_NE(renderer, nullptr);
    VIDEOINFOHEADER info;
    AM_MEDIA_TYPE type = VideoType(MEDIASUBTYPE_RGB24, &info, 5, 3);
    EXPECT_EQ(renderer->CheckMediaType(nullptr), E_POINTER);
    AM_MEDIA_TYPE other = type;
    other.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(renderer->CheckMediaType(&other), E_INVALIDARG);
    other = type;
    other.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(renderer->CheckMediaType(&other), E_FAIL);
    other = type;
    other.subtype = MEDIASUBTYPE_PCM;
    EXPECT_EQ(renderer->CheckMediaType(&other), E_FAIL);
    other.subtype = MEDIASUBTYPE_YUY2;
    EXPECT_EQ(renderer->CheckMediaType(&other), S_OK);
    EXPECT_EQ(renderer->subtypeKind, kMovieYuy2);

    ASSERT_EQ(renderer->CheckMediaType(&type), S_OK);
    ASSERT_EQ(renderer->SetMediaType(&type), S_OK);
    EXPECT_EQ(renderer->flipRows, 1);
    EXPECT_EQ(renderer->pitch, 16);  // (5 + 1) x 3 rounded down to 4
    TestSample sample;
    sample.bytes.resize(16 * 2);  // short of a picture: left alone
    EXPECT_EQ(renderer->DoRenderSample(&sample), S_OK);
    EXPECT_EQ(renderer->hasNewFrame.load(), 0);
    sample.bytes.resize(16 * 3);
    for (int row = 0; row < 3; ++row) std::fill_n(&sample.bytes[row * 16], 16, 10 + row);
    EXPECT_EQ(renderer->DoRenderSample(&sample), S_OK);
    EXPECT_EQ(renderer->hasNewFrame.load(), 1);
    EXPECT_EQ(renderer->frameBuffer[0], 12);
    EXPECT_EQ(renderer->frameBuffer[2 * 16], 10);

    // A top-down YUY2 stream of flat grey becomes 32-bit pixels of that grey.
    type = VideoType(MEDIASUBTYPE_YUY2, &info, 4, -2);
    ASSERT_EQ(renderer->CheckMediaType(&type), S_OK);
    ASSERT_EQ(renderer->SetMediaType(&type), S_OK);
    EXPECT_EQ(renderer->flipRows, 0);
    sample.bytes.assign(4 * 2 * 2, 0);
    for (size_t i = 0; i < sample.bytes.size(); ++i) sample.bytes[i] = i % 2 == 0 ? 90 : 128;
    renderer->DoRenderSample(&sample);
    EXPECT_EQ(renderer->frameBuffer[0], 90);
    EXPECT_EQ(renderer->frameBuffer[3], 255);
    renderer->Release();
}

}  // namespace
