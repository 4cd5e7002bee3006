// The base video renderer: its input pin and the filter calls around the program's three
// overrides.
#include "filter_base.h"

ComObjectCount gVideoRenderers;

// The renderer's count of references is its part's, whose last release deletes the renderer
// (whose destructor deletes the part): the program's renderer class cannot derive from the
// layer's base itself.
struct CBaseVideoRenderer::Input final : ComObject<IUnknown, gVideoRenderers>, PinOwner {
    explicit Input(CBaseVideoRenderer* renderer) : renderer(renderer), pin(this, PINDIR_INPUT) {}

    void LastReleased() override { delete renderer; }

    IBaseFilter* OwnerFilter() override { return renderer; }
    HRESULT CheckPinType(LayerPin*, const AM_MEDIA_TYPE* type) override {
        return renderer->CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
    }
    HRESULT PinConnected(LayerPin*, const AM_MEDIA_TYPE* type) override {
        return renderer->SetMediaType(type);
    }
    HRESULT PinReceive(LayerPin*, IMediaSample* sample) override {
        return renderer->DoRenderSample(sample);
    }
    HRESULT PinEndOfStream(LayerPin*) override {
        if (graph != nullptr) graph->Notify(EC_COMPLETE, 0, 0);
        return S_OK;
    }

    CBaseVideoRenderer* renderer;
    LayerPin pin;
    IMediaEventSink* graph = nullptr;
};

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID classId, const char* name, LPUNKNOWN outer,
                                       HRESULT* result)
    : input_(new Input(this)) {
    if (result != nullptr) *result = S_OK;
}

CBaseVideoRenderer::~CBaseVideoRenderer() {
    delete input_;
}

HRESULT CBaseVideoRenderer::SetMediaType(const AM_MEDIA_TYPE* type) {
    return S_OK;
}

HRESULT CBaseVideoRenderer::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        *object = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CBaseVideoRenderer::AddRef() {
    return input_->AddRef();
}

ULONG CBaseVideoRenderer::Release() {
    return input_->Release();
}

HRESULT CBaseVideoRenderer::Stop() {
    return S_OK;
}

HRESULT CBaseVideoRenderer::Pause() {
    return S_OK;
}

HRESULT CBaseVideoRenderer::Run(REFERENCE_TIME start) {
    return S_OK;
}

HRESULT CBaseVideoRenderer::SetSyncSource(IReferenceClock* clock) {
    return S_OK;
}

HRESULT CBaseVideoRenderer::EnumPins(IEnumPins** pins) {
    return MakePinEnumerator(this, {&input_->pin}, pins);
}

HRESULT CBaseVideoRenderer::JoinFilterGraph(IMediaEventSink* graph, LPCWSTR name) {
    input_->graph = graph;
    return S_OK;
}
