// The base of every COM object the layer makes: a reference count whose last Release deletes
// the object, the count of one module's live objects that tests read, and QueryInterface
// answering IUnknown and the identifiers of the interfaces the object implements.
#pragma once

#include <atomic>

#include "platform/com.h"

// The live objects of one module.
struct ComObjectCount {
    std::atomic<int> live{0};
};

// `Interface` is what the object implements; `kIids` the identifiers it answers besides
// IUnknown (the interface's own, then those of the interfaces it derives from). An object
// whose identifiers are known only when it is made answers them in Answers instead.
template <class Interface, ComObjectCount& kCount, IID... kIids>
class ComObject : public Interface {
public:
    ComObject() { ++kCount.live; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() { --kCount.live; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || ((iid == kIids) || ...) || Answers(iid)) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual bool Answers(REFIID iid) const { return false; }

private:
    std::atomic<ULONG> references_{1};
};
