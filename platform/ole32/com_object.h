// The base of every COM object the layer makes: a reference count whose last Release deletes
// the object (or the count of the object it lives inside), the count of one module's live
// objects that tests read, and QueryInterface answering IUnknown and the identifiers of the
// interfaces the object implements, each with its own interface pointer.
#pragma once

#include <atomic>

#include "platform/com.h"

// The live objects of one module.
struct ComObjectCount {
    std::atomic<int> live{0};
};

// One interface an object implements and the identifiers it answers with it: the interface's
// own, then those of the interfaces it derives from.
template <class Interface, IID... kIids>
struct ComInterface {
    using Type = Interface;
    static bool Answers(REFIID iid) { return ((iid == kIids) || ...); }
};

// The interfaces of an object with several; the first is the one that answers IUnknown.
template <class... Interfaces>
struct ComInterfaces : Interfaces::Type... {};

namespace com_object_detail {

// An object of one interface names it and its identifiers directly.
template <class Interface, IID... kIids>
struct InterfacesOf {
    using Type = ComInterfaces<ComInterface<Interface, kIids...>>;
};
template <class... Interfaces>
struct InterfacesOf<ComInterfaces<Interfaces...>> {
    using Type = ComInterfaces<Interfaces...>;
};

// The object's pointer for the interface `iid` names, or null.
template <class First, class... Rest>
void* FindInterface(ComInterfaces<First, Rest...>* object, REFIID iid) {
    if (iid == IID_IUnknown || First::Answers(iid)) {
        return static_cast<typename First::Type*>(object);
    }
    void* found = nullptr;
    ((found = found == nullptr && Rest::Answers(iid) ? static_cast<typename Rest::Type*>(object)
                                                     : found),
     ...);
    return found;
}

}  // namespace com_object_detail

// `Interface` is either what the object implements, `kIids` the identifiers it answers besides
// IUnknown, or a ComInterfaces list of several. An object whose identifiers are known only when
// it is made answers them in Answers instead, with its first interface.
template <class Interface, ComObjectCount& kCount, IID... kIids>
class ComObject : public com_object_detail::InterfacesOf<Interface, kIids...>::Type {
    using Bases = typename com_object_detail::InterfacesOf<Interface, kIids...>::Type;

public:
    ComObject() { ++kCount.live; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() { --kCount.live; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = com_object_detail::FindInterface(static_cast<Bases*>(this),
                                                   Answers(iid) ? IID_IUnknown : iid);
        if (*object == nullptr) return E_NOINTERFACE;
        this->AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return owner_ != nullptr ? owner_->AddRef() : ++references_; }
    ULONG Release() override {
        if (owner_ != nullptr) return owner_->Release();
        ULONG left = --references_;
        if (left == 0) LastReleased();
        return left;
    }

protected:
    // An object that lives inside `owner` (a pin inside its filter): its references are the
    // owner's, and the owner deletes it.
    explicit ComObject(IUnknown* owner) : owner_(owner) { ++kCount.live; }

    virtual bool Answers(REFIID iid) const { return false; }
    // An object whose count stands for a larger one's deletes that instead.
    virtual void LastReleased() { delete this; }

private:
    IUnknown* owner_ = nullptr;
    std::atomic<ULONG> references_{1};
};
