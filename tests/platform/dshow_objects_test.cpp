// The DirectShow objects' COM identity: each answers exactly its interfaces, and every
// interface pointer of one object (its pins' among them) shares one count of references.
#include <gtest/gtest.h>
#include <platform/dshow.h>
#include <platform/testing.h>
#include <platform/testing_dshow.h>

#include <vector>

namespace {

const IID* const kEveryIid[] = {&IID_IUnknown,        &IID_IPin,          &IID_IEnumPins,
                                &IID_IEnumFilters,    &IID_IBaseFilter,   &IID_IMediaFilter,
                                &IID_IMediaSample,    &IID_IGraphBuilder, &IID_IAsyncReader,
                                &IID_IMediaControl,   &IID_IBasicAudio,   &IID_IMediaEvent,
                                &IID_IMediaEventSink, &IID_IMediaSeeking};

// The identifiers of kEveryIid the object answers; each answer's reference is given back.
std::vector<const IID*> Answered(IUnknown* object) {
    std::vector<const IID*> answered;
    for (const IID* iid : kEveryIid) {
        IUnknown* got = nullptr;
        if (object->QueryInterface(*iid, reinterpret_cast<void**>(&got)) == S_OK) {
            answered.push_back(iid);
            got->Release();
        } else {
            EXPECT_EQ(got, nullptr);
        }
    }
    return answered;
}

IUnknown* Query(IUnknown* object, REFIID iid) {
    IUnknown* got = nullptr;
    EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&got)), S_OK);
    return got;
}

IPin* FirstPin(IBaseFilter* filter) {
    IEnumPins* pins = nullptr;
    EXPECT_EQ(filter->EnumPins(&pins), S_OK);
    IPin* pin = nullptr;
    EXPECT_EQ(pins->Next(1, &pin, nullptr), S_OK);
    pins->Release();
    return pin;
}

class DirectShowObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        before_ = TestCountDirectShowObjects();
    }
    void TearDown() override {
        EXPECT_EQ(TestCountDirectShowObjects(), before_);
        CoUninitialize();
    }
    template <class Interface>
    Interface* Create(REFCLSID classId, REFIID iid) {
        Interface* object = nullptr;
        EXPECT_EQ(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   reinterpret_cast<void**>(&object)),
                  S_OK);
        return object;
    }

    int before_ = 0;
};

using Iids = std::vector<const IID*>;

TEST_F(DirectShowObjectsTest, TheGraphAnswersItsInterfacesAndGoesWithItsLastReference) {
    auto* graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(Answered(graph),
              (Iids{&IID_IUnknown, &IID_IMediaFilter, &IID_IGraphBuilder, &IID_IMediaControl,
                    &IID_IBasicAudio, &IID_IMediaEvent, &IID_IMediaEventSink, &IID_IMediaSeeking}));
    IUnknown* control = Query(graph, IID_IMediaControl);
    IUnknown* seeking = Query(control, IID_IMediaSeeking);
    EXPECT_NE(static_cast<void*>(control), static_cast<void*>(seeking));
    // One identity whichever interface is asked.
    IUnknown* identity = Query(seeking, IID_IUnknown);
    EXPECT_EQ(static_cast<void*>(identity), static_cast<void*>(graph));
    identity->Release();
    int live = TestCountDirectShowObjects();
    graph->Release();
    control->Release();
    EXPECT_EQ(TestCountDirectShowObjects(), live);
    EXPECT_EQ(seeking->Release(), 0u);
}

TEST_F(DirectShowObjectsTest, APinCountsItsFiltersReferences) {
    auto* renderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(Answered(renderer), (Iids{&IID_IUnknown, &IID_IBaseFilter, &IID_IMediaFilter}));
    IPin* pin = FirstPin(renderer);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(Answered(pin), (Iids{&IID_IUnknown, &IID_IPin}));
    int live = TestCountDirectShowObjects();
    renderer->Release();
    // The pin's reference holds the filter, and the filter its pin.
    EXPECT_EQ(TestCountDirectShowObjects(), live);
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_INPUT);
    EXPECT_EQ(pin->Release(), 0u);
}

TEST_F(DirectShowObjectsTest, TheMemoryReaderAndItsPinAnswerOneAsyncReader) {
    const BYTE bytes[4] = {1, 2, 3, 4};
    D_CMemStream stream(bytes, sizeof bytes);
    AM_MEDIA_TYPE type{};
    HRESULT result = E_FAIL;
    D_CMemReader* reader = D_CMemReader::Create(&stream, &type, &result);
    ASSERT_EQ(result, S_OK);
    EXPECT_EQ(Answered(reader),
              (Iids{&IID_IUnknown, &IID_IBaseFilter, &IID_IMediaFilter, &IID_IAsyncReader}));
    IPin* pin = FirstPin(reader);
    EXPECT_EQ(Answered(pin), (Iids{&IID_IUnknown, &IID_IPin, &IID_IAsyncReader}));
    IUnknown* fromPin = Query(pin, IID_IAsyncReader);
    IUnknown* fromFilter = Query(reader, IID_IAsyncReader);
    EXPECT_EQ(fromPin, fromFilter);
    reader->Release();
    pin->Release();
    fromPin->Release();
    EXPECT_EQ(fromFilter->Release(), 0u);
}

// A program's renderer: deleted once, by the last release of any of its pointers.
class CountingRenderer final : public CBaseVideoRenderer {
public:
    explicit CountingRenderer(int* deleted)
        : CBaseVideoRenderer(IID_IUnknown, "counting", nullptr, nullptr), deleted_(deleted) {}
    ~CountingRenderer() override { ++*deleted_; }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }

private:
    int* deleted_;
};

TEST_F(DirectShowObjectsTest, AVideoRendererGoesOnceWithItsLastReference) {
    int deleted = 0;
    auto* renderer = new CountingRenderer(&deleted);
    EXPECT_EQ(Answered(renderer), (Iids{&IID_IUnknown, &IID_IBaseFilter, &IID_IMediaFilter}));
    IUnknown* filter = Query(renderer, IID_IMediaFilter);
    IPin* pin = FirstPin(renderer);
    EXPECT_EQ(Answered(pin), (Iids{&IID_IUnknown, &IID_IPin}));
    renderer->Release();
    filter->Release();
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(pin->Release(), 0u);
    EXPECT_EQ(deleted, 1);
}

}  // namespace
